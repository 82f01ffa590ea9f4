#include "dialogs/MyDialog.h"

#include <QWidget>
#include <algorithm>

#include "dialogs/DialogCommon.h"

TMyDialog::TMyDialog(QWidget* owner, const QString& root, const QString& baseName)
    : TMyForm(owner, root, baseName + "\\Dialog") {}

TMyDialog::~TMyDialog() = default;

void TMyDialog::ReadSettings() {
  TMyForm::ReadSettings();
}

void TMyDialog::WriteSettings() {
  TMyForm::WriteSettings();
}

void TMyDialog::reject() {
  done(mrCancel);
}

QSize TMyDialog::OuterSize() const {
  return size() + measuredFrame_;
}

void TMyDialog::AddResize(QWidget* control, bool followRight, bool stretchWidth, bool followBottom,
                          bool stretchHeight) {
  if (resizeList_.empty()) measuredFrame_ = frameGeometry().size() - size();
  const QSize outer = OuterSize();
  const QRect bounds = control->geometry();
  auto rule = std::make_unique<TResize>();
  rule->component = control;
  rule->followRight = followRight;
  rule->stretchWidth = stretchWidth;
  rule->followBottom = followBottom;
  rule->stretchHeight = stretchHeight;
  rule->rightOffset = outer.width() - bounds.left();
  rule->widthOffset = outer.width() - bounds.width();
  rule->bottomOffset = outer.height() - bounds.top();
  rule->heightOffset = outer.height() - bounds.height();
  resizeList_.push_back(std::move(rule));
}

void TMyDialog::ResizeControls() {
  const QSize outer = OuterSize();
  for (const auto& rule : resizeList_) {
    QRect bounds = rule->component->geometry();
    if (rule->followRight) bounds.moveLeft(outer.width() - rule->rightOffset);
    // A control squeezed to nothing would vanish for good; keep one pixel.
    if (rule->stretchWidth) bounds.setWidth(std::max(1, outer.width() - rule->widthOffset));
    if (rule->followBottom) bounds.moveTop(outer.height() - rule->bottomOffset);
    if (rule->stretchHeight) bounds.setHeight(std::max(1, outer.height() - rule->heightOffset));
    rule->component->setGeometry(bounds);
  }
}
