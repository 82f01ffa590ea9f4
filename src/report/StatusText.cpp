#include "report/StatusText.h"

#include <QPainter>

TStatusText::TStatusText(QWidget* parent) : QWidget(parent) {
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

void TStatusText::SetText(const QString& text) {
  if (text == text_) return;
  text_ = text;
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
  QPainter painter(this);
  const QRect area = rect().adjusted(2, 0, -2, 0);
  const QString shown = fontMetrics().elidedText(text_, Qt::ElideMiddle, area.width());
  painter.setPen(palette().color(QPalette::WindowText));
  painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter, shown);
}
