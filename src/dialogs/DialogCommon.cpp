#include "dialogs/DialogCommon.h"

#include "dialogs/ErrorBox.h"
#include "settings/MyIniFile.h"

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

QString ConfigurationNameOf(const QString& settingsRoot) {
  const QString prefix = kConfigurationsRoot + QLatin1Char('\\');
  return settingsRoot.startsWith(prefix) ? settingsRoot.mid(prefix.size()) : QString();
}

QString CaptionFor(const QString& caption, const QString& settingsRoot) {
  const QString name = ConfigurationNameOf(settingsRoot);
  return name.isEmpty() ? caption : caption + QStringLiteral(" - ") + name;
}
