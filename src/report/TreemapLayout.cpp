#include "report/TreemapLayout.h"

#include <algorithm>
#include <limits>
#include <numeric>
#include <unordered_map>

#include "scan/DocumentLookup.h"
#include "scan/FileType.h"
#include "scan/ScanDocument.h"

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

TFileTiles LayOutFiles(const std::vector<std::shared_ptr<const TScanDocument>>& documents,
                       const std::vector<TFilesArea>& areas, double minimumArea,
                       std::size_t maximumTiles) {
  TFileTiles out;
  std::unordered_map<std::string, std::int32_t> typeIndex;
  std::vector<std::pair<std::int64_t, std::uint64_t>> large;  // bytes, file
  std::vector<double> sizes;
  for (std::uint32_t a = 0; a < areas.size(); ++a) {
    const TFilesArea& area = areas[a];
    const double pixels = area.rect.width() * area.rect.height();
    if (area.bytes <= 0 || pixels < minimumArea) continue;
    const TDocumentLookup::Place place = TDocumentLookup::Find(documents, area.path);
    if (!place) continue;
    const TScanDocument& document = *place.document;
    const std::uint64_t first = document.Folder(place.folder).firstFile;
    const std::uint64_t end = document.KeptFilesEnd(place.folder);
    // Below this a file's tile would be too small to see.
    const double smallest = minimumArea * static_cast<double>(area.bytes) / pixels;
    large.clear();
    std::int64_t small = 0, files = 0;
    std::uint64_t smallCount = 0;
    for (std::uint64_t j = first; j < end; ++j) {
      const std::int64_t counted = document.File(j).counted;
      if (counted <= 0) continue;
      files += counted;
      if (static_cast<double>(counted) < smallest) {
        small += counted;
        ++smallCount;
      } else {
        large.emplace_back(counted, j);
      }
    }
    if (large.size() > maximumTiles) {
      std::nth_element(large.begin(), large.begin() + static_cast<std::ptrdiff_t>(maximumTiles),
                       large.end(), [](const auto& x, const auto& y) { return x.first > y.first; });
      for (std::size_t k = maximumTiles; k < large.size(); ++k) small += large[k].first;
      smallCount += large.size() - maximumTiles;
      large.resize(maximumTiles);
    }
    // The files may count more than the line says (a report edited since):
    // the line's bytes decide the area, the files share it.
    const std::int64_t rest = std::max<std::int64_t>(0, area.bytes - files);
    sizes.clear();
    for (const auto& [bytes, file] : large) sizes.push_back(static_cast<double>(bytes));
    sizes.push_back(static_cast<double>(small));
    sizes.push_back(static_cast<double>(rest));
    const std::vector<QRectF> rects = SquarifiedLayout(sizes, area.rect);
    for (std::size_t k = 0; k < large.size(); ++k) {
      if (rects[k].isEmpty()) continue;
      const std::string type = FileTypeOf(document.FileName(large[k].second));
      const auto [it, added] = typeIndex.emplace(type, static_cast<std::int32_t>(out.types.size()));
      if (added) out.types.push_back(type);
      out.tiles.push_back({rects[k], a, TFileTile::File, it->second, place.folder, &document,
                           large[k].second, large[k].first});
    }
    if (!rects[large.size()].isEmpty()) {
      out.tiles.push_back({rects[large.size()], a, TFileTile::Small, -1, place.folder, &document,
                           smallCount, small});
    }
    if (!rects[large.size() + 1].isEmpty()) {
      out.tiles.push_back(
          {rects[large.size() + 1], a, TFileTile::Rest, -1, place.folder, &document, 0, rest});
    }
  }
  return out;
}
