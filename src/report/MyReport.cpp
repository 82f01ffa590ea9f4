#include "report/MyReport.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>

#include "dialogs/DialogCommon.h"
#include "dialogs/ErrorBox.h"
#include "dialogs/ModalHook.h"
#include "dialogs/MyDialog.h"
#include "dialogs/MyWizard.h"
#include "report/ConfigNames.h"
#include "report/FontDialog.h"
#include "report/LoadConfig.h"
#include "report/SaveConfig.h"
#include "scan/Errors.h"
#include "settings/MyIniFile.h"

namespace {
void CheckConfigurationName(const QString& name) {
  if (!IsValidConfigurationName(name)) {
    throw EVorntoolsError(FormatMessage(
        "'%s' cannot name a configuration: a name must not be empty or contain \"/\" or \"\\\"",
        name.toStdString()));
  }
}
}  // namespace

TMyReport::TMyReport(QWidget* owner, const QString& root, const QString& baseName)
    : TMyMainForm(owner, root, baseName + "\\Report") {}

void TMyReport::ReadSettings() {
  settingsRead_ = true;
  TMyMainForm::ReadSettings();
  ReadStep([this] { SettingsVersion = IniFile->ReadNumber(Section, "Version", 0); });
  if (Dialog) ReadStep([this] { Dialog->RestoreForm(); });
  if (Wizard) ReadStep([this] { Wizard->RestoreForm(); });
}

void TMyReport::RestoreAll() {
  restoring_ = true;
  settingsRead_ = false;
  firstReadError_.clear();
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{restoring_};
  try {
    RestoreForm();
  } catch (const std::exception& e) {
    NoteReadError(e);
  }
  // A failure in the placement stops RestoreForm before the window's own values.
  if (!settingsRead_) ReadSettings();
  if (!firstReadError_.empty()) throw EVorntoolsError(firstReadError_);
}

void TMyReport::NoteReadError(const std::exception& e) {
  if (firstReadError_.empty()) firstReadError_ = e.what();
}

void TMyReport::WriteSettings() {
  TMyMainForm::WriteSettings();
  IniFile->WriteNumber(Section, "Version", 1);
  if (Dialog) Dialog->SaveForm();
  if (Wizard) Wizard->SaveForm();
}

void TMyReport::SetConfiguration(const QString& name) {
  TMyMainForm::SetConfiguration(name);
  if (Dialog) Dialog->SetConfiguration(name);
  if (Wizard) Wizard->SetConfiguration(name);
}

void TMyReport::RunDialog() {
  const int result = ExecModal(*Dialog);
  if (result == mrIgnore) {
    RunWizard();
  } else if (result == mrOk) {
    ScanFromDialog();
  }
}

void TMyReport::RunWizard() {
  if (ExecModal(*Wizard) == mrOk) ScanFromWizard();
}

void TMyReport::ChangeFont() {
  TFontDialog* dialog = GetFontDialog();
  if (ExecModal(*dialog) == QDialog::Accepted) ApplyFont(dialog->Font(), dialog->Color());
}

void TMyReport::SaveConfiguration() {
  TSaveConfig dialog(this);
  if (ExecModal(dialog) != QDialog::Accepted) return;
  const QString name = dialog.EditName->text();
  CheckConfigurationName(name);
  SetConfiguration(name);
  SaveForm();
}

void TMyReport::LoadConfiguration() {
  TLoadConfig dialog(this);
  if (ExecModal(dialog) != QDialog::Accepted) return;
  const QString name = dialog.ComboBoxNames->currentText();
  CheckConfigurationName(name);
  SetConfiguration(name);
  RestoreAll();
}

void TMyReport::DeleteConfiguration() {
  if (ConfigurationNames().isEmpty())
    throw EVorntoolsError("There is no saved configuration to delete");
  TLoadConfig dialog(this);
  dialog.setObjectName("DeleteConfig");
  dialog.setWindowTitle("Delete Configuration");
  if (ExecModal(dialog) != QDialog::Accepted) return;
  const QString name = dialog.ComboBoxNames->currentText();
  if (name == ConfigurationNameOf(IniFile->SettingsRoot())) {
    throw EVorntoolsError(FormatMessage(
        "The configuration '%s' is in use and cannot be deleted: load another one first",
        name.toStdString()));
  }
  QMessageBox confirm(QMessageBox::Question, "Delete Configuration",
                      QString("Delete the configuration '%1' and all its settings?").arg(name),
                      QMessageBox::Yes | QMessageBox::No, this);
  confirm.setObjectName("ConfirmDeleteConfig");
  confirm.setDefaultButton(QMessageBox::No);
  if (ExecModal(confirm) != QMessageBox::Yes) return;
  TMyIniFile(kConfigurationsRoot).EraseSection(name);
}

void TMyReport::ReportError(const std::exception& e) {
  ShowErrorBox(QString::fromStdString(e.what()), this);
}
