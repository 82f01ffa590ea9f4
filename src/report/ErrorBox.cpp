#include "report/ErrorBox.h"

#include <QMessageBox>

#include "report/ModalHook.h"

namespace {
QString& LastText() {
  static QString text;
  return text;
}
}  // namespace

QString ApplicationTitle() {
  return QStringLiteral("Vorntools");
}

void ShowErrorBox(const QString& message, QWidget* parent) {
  QString text = message;
  if (!text.endsWith(QLatin1Char('.'))) text += QLatin1Char('.');
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
