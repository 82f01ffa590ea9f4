#include "report/StatusText.h"

#include <QPainter>

TStatusText::TStatusText(QWidget* parent) : QWidget(parent) {
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

void TStatusText::SetText(const std::string& text) {
  text_ = text;
  if (repaintPending_) return;
  repaintPending_ = true;
  update();
}

QSize TStatusText::sizeHint() const {
  // The design height of 19 pixels, or more when the font needs it.
  return {100, qMax(19, fontMetrics().height() + 4)};
}

QSize TStatusText::minimumSizeHint() const {
  return {0, sizeHint().height()};
}

void TStatusText::paintEvent(QPaintEvent*) {
  repaintPending_ = false;
  QPainter painter(this);
  const QRect area = rect().adjusted(2, 0, -2, 0);
  const QString shown = fontMetrics().elidedText(Text(), Qt::ElideMiddle, area.width());
  painter.setPen(palette().color(QPalette::WindowText));
  painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter, shown);
}
