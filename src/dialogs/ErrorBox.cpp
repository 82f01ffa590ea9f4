#include "dialogs/ErrorBox.h"

#include <QApplication>
#include <QMessageBox>

#include "dialogs/ModalHook.h"

namespace {
QString& LastText() {
  static QString text;
  return text;
}
}  // namespace

QString ApplicationTitle() {
  // main() names the application; a program that did not still gets a title.
  QString title = QApplication::applicationDisplayName();
  if (title.isEmpty()) title = QApplication::applicationName();
  return title.isEmpty() ? QStringLiteral("Vorntools") : title;
}

void ShowErrorBox(const QString& message, QWidget* parent) {
  // Always a full stop, even after a file name that ends in one.
  const QString text = message + QLatin1Char('.');
  LastText() = text;
  QMessageBox box(QMessageBox::Critical, ApplicationTitle(), text, QMessageBox::Ok, parent);
  ExecModal(box);
}

QString LastErrorText() {
  return LastText();
}

void ClearLastErrorText() {
  LastText().clear();
}
