#pragma once

#include <QDialog>
#include <QString>

#include "settings/PlacedWindow.h"

// Base of every dialog that remembers its placement and values between runs.
// A QDialog, so it can be shown modally.
class TMyForm : public TPlacedWindow<QDialog> {
  Q_OBJECT

 public:
  // Reads nothing: the owner of the window triggers RestoreForm.
  TMyForm(QWidget* owner, const QString& root, const QString& section);
  ~TMyForm() override;
};
