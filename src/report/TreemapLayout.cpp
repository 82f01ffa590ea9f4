#include "report/TreemapLayout.h"

#include <algorithm>
#include <limits>
#include <numeric>

std::vector<QRectF> SquarifiedLayout(const std::vector<double>& sizes, const QRectF& area) {
  std::vector<QRectF> out(sizes.size(), QRectF(area.topLeft(), QSizeF(0, 0)));
  std::vector<std::size_t> order;
  order.reserve(sizes.size());
  double total = 0;
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    if (sizes[i] > 0) {
      order.push_back(i);
      total += sizes[i];
    }
  }
  if (order.empty() || area.width() <= 0 || area.height() <= 0) return out;
  // Largest first: rows of similar sizes make the squarest rectangles.
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return sizes[a] > sizes[b]; });
  const double scale = area.width() * area.height() / total;
  QRectF free = area;
  std::size_t i = 0;
  while (i < order.size()) {
    const double side = std::min(free.width(), free.height());
    const double side2 = side * side;
    const double largest = sizes[order[i]] * scale;
    double rowSum = 0;
    double best = std::numeric_limits<double>::infinity();
    std::size_t j = i;
    // Add to the row while that makes its worst aspect ratio no worse.
    for (; j < order.size(); ++j) {
      const double a = sizes[order[j]] * scale;
      const double s = rowSum + a;
      const double worst = std::max(side2 * largest / (s * s), (s * s) / (side2 * a));
      if (j > i && worst > best) break;
      best = worst;
      rowSum = s;
    }
    const bool last = j == order.size();
    if (free.width() >= free.height()) {
      // A column along the left edge.
      const double thick = last ? free.width() : rowSum / free.height();
      double y = free.top();
      for (std::size_t k = i; k < j; ++k) {
        const double h = k + 1 == j ? free.bottom() - y : sizes[order[k]] * scale / thick;
        out[order[k]] = QRectF(free.left(), y, thick, h);
        y += h;
      }
      free.setLeft(free.left() + thick);
    } else {
      // A row along the top edge.
      const double thick = last ? free.height() : rowSum / free.width();
      double x = free.left();
      for (std::size_t k = i; k < j; ++k) {
        const double w = k + 1 == j ? free.right() - x : sizes[order[k]] * scale / thick;
        out[order[k]] = QRectF(x, free.top(), w, thick);
        x += w;
      }
      free.setTop(free.top() + thick);
    }
    i = j;
  }
  return out;
}
