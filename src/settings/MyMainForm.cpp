#include "settings/MyMainForm.h"

#include <QEventLoop>
#include <QPointer>
#include <QResizeEvent>

TMyMainForm::TMyMainForm(QWidget* owner, const QString& root, const QString& section)
    : QMainWindow(owner), TFormSettings(*this, root, section) {}

TMyMainForm::~TMyMainForm() {
  if (loop_) loop_->exit();
}

void TMyMainForm::Exec() {
  show();
  QEventLoop loop;
  loop_ = &loop;
  const QPointer<TMyMainForm> alive(this);  // the loop may outlive the window
  loop.exec(QEventLoop::DialogExec);
  if (alive) loop_ = nullptr;
}

void TMyMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  OnShown();
}

void TMyMainForm::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  OnResized(event->spontaneous());
}

void TMyMainForm::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) OnStateChanged();
}

void TMyMainForm::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  OnMoved();
}

void TMyMainForm::setVisible(bool visible) {
  // show() and showMaximized() come through here, and so do close() and hide().
  if (visible && !isVisible()) OnShowing();
  QMainWindow::setVisible(visible);
  if (!visible && loop_) loop_->exit();
}
