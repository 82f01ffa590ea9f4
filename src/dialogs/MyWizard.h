#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QString>

#include "settings/MyForm.h"

class QLabel;
class QPushButton;

// The area of `colour` connected to `seed` (edge to edge) filled with `fill`;
// unchanged when the seed has another colour.
QImage FillConnectedArea(QImage image, QPoint seed, QColor colour, QColor fill);

// Base of the wizards: a remembered window (section "<base>\Wizard") with the
// navigation buttons and the picture of its last page, a chequered flag whose
// magenta background takes the colour of the buttons.
class TMyWizard : public TMyForm {
  Q_OBJECT

 public:
  TMyWizard(QWidget* owner, const QString& root, const QString& baseName);
  ~TMyWizard() override;

  void ReadSettings() override;
  void WriteSettings() override;

  // Esc and the close box give mrCancel.
  void reject() override;

  // What a click on BtnNext closes the wizard with; mrNone keeps it open.
  int NextModalResult() const { return nextModalResult_; }
  void SetNextModalResult(int result) { nextModalResult_ = result; }

  // Controls the wizard logic knows by name; the concrete wizard places them.
  QPushButton* BtnBack;
  QPushButton* BtnNext;
  QLabel* ImageFlag;

 protected:
  // Run by a click on BtnNext before its modal result applies.
  virtual void BtnNextClick() {}

 private:
  int nextModalResult_ = 0;
};
