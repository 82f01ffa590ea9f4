#include <clocale>
#include <string>
#include <vector>

#include "FuzzTargets.h"
#include "scan/LabelCollation.h"
#include "scan/ReportTree.h"

namespace {

int Sign(int v) {
  return (v > 0) - (v < 0);
}

bool HaveLocale = false;

}  // namespace

void FuzzLabelOrderInit() {
  // Names compare under the user's locale; one that ignores punctuation is
  // the hard case for a consistent order.
  HaveLocale = std::setlocale(LC_COLLATE, "en_US.UTF-8") != nullptr;
  std::setlocale(LC_COLLATE, "C");
}

// The labels are the input's lines (at most 8). The first byte picks C or
// the English locale. The order must be a strict weak order on them, and
// Sort must leave the siblings in that order.
int FuzzLabelOrder(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::setlocale(LC_COLLATE, (data[0] & 1) && HaveLocale ? "en_US.UTF-8" : "C");
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  std::vector<std::string> labels;
  std::size_t start = 0;
  while (labels.size() < 8) {
    const std::size_t end = text.find('\n', start);
    // Labels are C strings in the tree: a NUL ends one.
    std::string label = text.substr(start, end == std::string::npos ? end : end - start);
    label.resize(std::min(label.size(), label.find('\0')));
    labels.push_back(label);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  for (const std::string& a : labels) {
    FUZZ_CHECK(CompareLabels(a, a) == 0);
    for (const std::string& b : labels) {
      const int ab = Sign(CompareLabels(a, b));
      FUZZ_CHECK(ab == -Sign(CompareLabels(b, a)));
      for (const std::string& c : labels) {
        const int bc = Sign(CompareLabels(b, c));
        const int ac = Sign(CompareLabels(a, c));
        if (ab < 0 && bc < 0) FUZZ_CHECK(ac < 0);
        if (ab == 0 && bc == 0) FUZZ_CHECK(ac == 0);
        if (ab == 0 && bc < 0) FUZZ_CHECK(ac < 0);
        if (ab < 0 && bc == 0) FUZZ_CHECK(ac < 0);
      }
    }
  }

  // Sort orders siblings by the same comparison, and keeps them ordered as
  // more arrive.
  TReportTree tree;
  for (std::size_t i = 0; i < labels.size() / 2; ++i) tree.AddChild(nullptr, labels[i]);
  tree.SortByLabel();
  for (std::size_t i = labels.size() / 2; i < labels.size(); ++i) tree.AddChild(nullptr, labels[i]);
  for (std::size_t i = 1; i < tree.TopLevelCount(); ++i)
    FUZZ_CHECK(CompareLabels(tree.TopLevel(i - 1)->Label(), tree.TopLevel(i)->Label()) <= 0);
  std::setlocale(LC_COLLATE, "C");
  return 0;
}
