#include "settings/MyMainForm.h"

#include <QEventLoop>
#include <QPointer>

TMyMainForm::TMyMainForm(QWidget* owner, const QString& root, const QString& section)
    : TPlacedWindow<QMainWindow>(owner, root, section) {}

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

void TMyMainForm::setVisible(bool visible) {
  TPlacedWindow<QMainWindow>::setVisible(visible);
  // close() and hide() come through here: they end Exec's loop.
  if (!visible && loop_) loop_->exit();
}
