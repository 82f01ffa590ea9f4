#include "settings/MyForm.h"

TMyForm::TMyForm(QWidget* owner, const QString& root, const QString& section)
    : QDialog(owner), IniFile(std::make_unique<TMyIniFile>(root)), Section(section) {}
TMyForm::~TMyForm() = default;
void TMyForm::RestoreForm() {
  ReadSettings();
}
void TMyForm::SaveForm() {
  WriteSettings();
}
void TMyForm::ReadSettings() {}
void TMyForm::WriteSettings() {}
void TMyForm::SetConfiguration(const QString& name) {
  IniFile = std::make_unique<TMyIniFile>(ConfigurationRoot(name));
}
void TMyForm::SetPosition(int position) {
  position_ = position;
}
int TMyForm::State() const {
  return 0;
}
void TMyForm::SetState(int) {}
int TMyForm::FrameLeft() const {
  return frameGeometry().left();
}
int TMyForm::FrameTop() const {
  return frameGeometry().top();
}
int TMyForm::FrameWidth() const {
  return frameGeometry().width();
}
int TMyForm::FrameHeight() const {
  return frameGeometry().height();
}
void TMyForm::SetFrameLeft(int) {}
void TMyForm::SetFrameTop(int) {}
void TMyForm::SetFrameWidth(int) {}
void TMyForm::SetFrameHeight(int) {}
void TMyForm::setVisible(bool visible) {
  QDialog::setVisible(visible);
}
void TMyForm::ApplyShowingRule() {}
void TMyForm::LeaveMaximisedForPlacement() {}
