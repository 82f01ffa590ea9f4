#include "dialogs/DialogCommon.h"

#include "dialogs/ErrorBox.h"

#include <QApplication>
#include <QMessageBox>

static void InitResourcesOnce() {
  // Outside any namespace: the macro declares a global function.
  Q_INIT_RESOURCE(vorn_dialogs);
}

QFont DesignFont(bool bold) {
  QFont font = QApplication::font();
  font.setPixelSize(11);
  font.setBold(bold);
  return font;
}

void ShowErrorMessage(QWidget* parent, const QString& text) {
  ShowErrorBox(text, parent);
}

void InitDialogResources() {
  static const bool done = [] {
    InitResourcesOnce();
    return true;
  }();
  (void)done;
}
