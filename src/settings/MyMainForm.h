#pragma once

#include <QMainWindow>
#include <QString>

#include "settings/PlacedWindow.h"

class QEventLoop;

// Base of a main window that remembers its placement and values between
// runs, the same way a TMyForm dialog does. Exec shows it and runs an event
// loop until it is closed or hidden, as a dialog's exec does, so the
// program's one loop is the window's.
class TMyMainForm : public TPlacedWindow<QMainWindow> {
  Q_OBJECT

 public:
  // Reads nothing: the owner of the window triggers RestoreForm.
  TMyMainForm(QWidget* owner, const QString& root, const QString& section);
  ~TMyMainForm() override;

  void Exec();
  void setVisible(bool visible) override;

 private:
  QEventLoop* loop_ = nullptr;  // while Exec runs
};
