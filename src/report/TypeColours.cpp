#include "report/TypeColours.h"

#include <algorithm>

namespace {

// Told apart at a glance and none of them grey; by rank, so the largest
// type always gets the first.
const QColor kPalette[TTypeColours::kNamed] = {
    QColor(31, 119, 180),  QColor(255, 127, 14),  QColor(44, 160, 44),   QColor(214, 39, 40),
    QColor(148, 103, 189), QColor(140, 86, 75),   QColor(227, 119, 194), QColor(188, 189, 34),
    QColor(23, 190, 207),  QColor(174, 199, 232), QColor(255, 187, 120), QColor(152, 223, 138),
};

}  // namespace

TTypeColours::TTypeColours(QObject* parent) : QObject(parent) {}

void TTypeColours::SetTypes(const std::vector<std::string>& largestFirst) {
  std::vector<std::string> named(
      largestFirst.begin(),
      largestFirst.begin() + static_cast<std::ptrdiff_t>(std::min(largestFirst.size(), kNamed)));
  if (named == named_) return;
  named_ = std::move(named);
  colours_.clear();
  for (std::size_t i = 0; i < named_.size(); ++i) colours_.emplace(named_[i], kPalette[i]);
  emit Changed();
}

QColor TTypeColours::Of(std::string_view type) const {
  const auto it = colours_.find(std::string(type));
  return it == colours_.end() ? Other() : it->second;
}

QColor TTypeColours::Other() {
  return QColor(170, 170, 170);
}

void TTypeColours::SetHighlighted(const std::optional<std::string>& type) {
  if (type == highlighted_) return;
  highlighted_ = type;
  emit HighlightChanged();
}
