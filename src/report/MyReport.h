#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <exception>
#include <string>
#include <utility>

#include "settings/MyMainForm.h"

class TFontDialog;
class TMyDialog;
class TMyWizard;

// Base of report windows: owns a settings dialog and a wizard, keeps their
// settings with its own, and runs the Dialog, Wizard, Font and named
// configuration commands on top of four operations a concrete window gives.
class TMyReport : public TMyMainForm {
  Q_OBJECT

 public:
  // The section is the base name followed by "\Report".
  TMyReport(QWidget* owner, const QString& root, const QString& baseName);

  void ReadSettings() override;
  void WriteSettings() override;
  // Switches the window, then the dialog, then the wizard.
  void SetConfiguration(const QString& name) override;

  virtual void ScanFromDialog() = 0;
  virtual void ScanFromWizard() = 0;
  virtual TFontDialog* GetFontDialog() = 0;
  virtual void ApplyFont(const QFont& font, const QColor& color) = 0;

  void RunDialog();
  void RunWizard();
  void ChangeFont();
  void SaveConfiguration();
  void LoadConfiguration();
  // Picks a saved configuration, asks, and removes its settings; the one
  // in use is refused, as the window would write it back at its end.
  void DeleteConfiguration();

  int SettingsVersion = 0;
  TMyDialog* Dialog = nullptr;
  TMyWizard* Wizard = nullptr;

  // Runs one command: an error ends it and is shown in the standard error box.
  template <class F>
  void Command(F&& command) {
    try {
      std::forward<F>(command)();
    } catch (const std::exception& e) {
      ReportError(e);
    }
  }
  void ReportError(const std::exception& e);

 protected:
  // RestoreForm that reads as much as it can: a value that fails to read
  // keeps the window's current value and does not stop the values after it.
  // The first failure is raised at the end.
  void RestoreAll();
  // One step of ReadSettings: inside RestoreAll a failure is noted and
  // reading goes on; elsewhere it is raised at once.
  template <class F>
  void ReadStep(F&& step) {
    if (!restoring_) {
      std::forward<F>(step)();
      return;
    }
    try {
      std::forward<F>(step)();
    } catch (const std::exception& e) {
      NoteReadError(e);
    }
  }

 private:
  void NoteReadError(const std::exception& e);

  bool restoring_ = false;
  bool settingsRead_ = false;
  std::string firstReadError_;
};
