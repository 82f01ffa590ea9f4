#include "settings/MyForm.h"

#include <QResizeEvent>

TMyForm::TMyForm(QWidget* owner, const QString& root, const QString& section)
    : QDialog(owner), TFormSettings(*this, root, section) {}

TMyForm::~TMyForm() = default;

void TMyForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  OnShown();
}

void TMyForm::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  OnResized(event->spontaneous());
}

void TMyForm::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) OnStateChanged();
}

void TMyForm::moveEvent(QMoveEvent* event) {
  QDialog::moveEvent(event);
  OnMoved();
}

void TMyForm::setVisible(bool visible) {
  // exec(), show() and showMaximized() all come through here.
  if (visible && !isVisible()) OnShowing();
  QDialog::setVisible(visible);
}
