#pragma once

#include <QDialog>
#include <QString>

#include "settings/FormSettings.h"

// Base of every dialog that remembers its placement and values between runs.
// A QDialog, so it can be shown modally.
class TMyForm : public QDialog, public TFormSettings {
  Q_OBJECT

 public:
  // Reads nothing: the owner of the window triggers RestoreForm.
  TMyForm(QWidget* owner, const QString& root, const QString& section);
  ~TMyForm() override;

  void setVisible(bool visible) override;

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void changeEvent(QEvent* event) override;
};
