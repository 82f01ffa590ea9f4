#pragma once

#include <QFont>
#include <QString>

class QWidget;

// What a modal window returns from exec(), as the callers compare it.
enum TModalResult {
  mrNone = 0,
  mrOk = 1,      // OK, Enter, Finish
  mrCancel = 2,  // Cancel, Esc, the close box
  mrIgnore = 5,  // the settings dialog's Wizard button
};

// The root folder: what the windows show until the user has chosen a folder.
inline const QString kRootFolderText = QStringLiteral("/");

// The windows are laid out in pixels, so their text must have a fixed pixel
// height too: the desktop's own UI family, 11 pixels high.
QFont DesignFont(bool bold = false);

// The named configuration a settings root stands for; empty for the
// default settings.
QString ConfigurationNameOf(const QString& settingsRoot);
// A window's caption followed by the named configuration in use
// ("Usage Report - Work"); the caption alone on the default settings.
QString CaptionFor(const QString& caption, const QString& settingsRoot);

// The application's standard error box (ShowErrorBox in dialogs/ErrorBox.h).
void ShowErrorMessage(QWidget* parent, const QString& text);

// Makes the pictures of this library (main icon, finish flag) loadable; safe
// to call any number of times.
void InitDialogResources();
