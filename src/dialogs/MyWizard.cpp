#include "dialogs/MyWizard.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <vector>

#include "dialogs/DialogCommon.h"

QImage FillConnectedArea(QImage image, QPoint seed, QColor colour, QColor fill) {
  image = image.convertToFormat(QImage::Format_ARGB32);
  if (!image.rect().contains(seed)) return image;
  const QRgb from = colour.rgb();
  const QRgb to = fill.rgb();
  if (image.pixel(seed) != from || from == to) return image;
  std::vector<QPoint> pending{seed};
  image.setPixel(seed, to);
  while (!pending.empty()) {
    const QPoint p = pending.back();
    pending.pop_back();
    for (const QPoint next :
         {p + QPoint(1, 0), p - QPoint(1, 0), p + QPoint(0, 1), p - QPoint(0, 1)}) {
      if (image.rect().contains(next) && image.pixel(next) == from) {
        image.setPixel(next, to);
        pending.push_back(next);
      }
    }
  }
  return image;
}

TMyWizard::TMyWizard(QWidget* owner, const QString& root, const QString& baseName)
    : TMyForm(owner, root, baseName + "\\Wizard") {
  InitDialogResources();
  BtnBack = new QPushButton(this);
  BtnBack->setObjectName("BtnBack");
  BtnNext = new QPushButton(this);
  BtnNext->setObjectName("BtnNext");
  // Enter must do nothing unless a page makes a button the default, so no
  // button may become the default by merely having the focus.
  BtnBack->setAutoDefault(false);
  BtnNext->setAutoDefault(false);
  connect(BtnNext, &QPushButton::clicked, this, [this] {
    const int result = nextModalResult_;
    BtnNextClick();
    if (result != mrNone) done(result);
  });

  ImageFlag = new QLabel(this);
  ImageFlag->setObjectName("ImageFlag");
  const QImage flag(QStringLiteral(":/vorntools/flag.png"));
  ImageFlag->setPixmap(QPixmap::fromImage(FillConnectedArea(flag, QPoint(1, 1), QColor(255, 0, 255),
                                                            palette().color(QPalette::Button))));
}

TMyWizard::~TMyWizard() = default;

void TMyWizard::ReadSettings() {
  TMyForm::ReadSettings();
}

void TMyWizard::WriteSettings() {
  TMyForm::WriteSettings();
}

void TMyWizard::reject() {
  done(mrCancel);
}
