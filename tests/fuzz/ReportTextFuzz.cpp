#include <string>

#include "FuzzTargets.h"
#include "scan/Errors.h"
#include "scan/LabelCollation.h"
#include "scan/ReportTree.h"

namespace {

// Walks the whole tree and checks its links, rows, levels, count and the
// numbers each node read from its label.
void CheckShape(const TReportTree& tree) {
  std::size_t seen = 0;
  for (std::size_t r = 0; r < tree.TopLevelCount(); ++r) {
    const TTreeNode* top = tree.TopLevel(r);
    FUZZ_CHECK(top->Parent() == nullptr && top->Row() == r && top->Level() == 0);
    for (const TTreeNode* node = top; node; node = TReportTree::NextInTreeOrder(node)) {
      ++seen;
      for (std::size_t c = 0; c < node->ChildCount(); ++c) {
        const TTreeNode* child = node->Child(c);
        FUZZ_CHECK(child->Parent() == node && child->Row() == c);
        FUZZ_CHECK(child->Level() == node->Level() + 1);
      }
      const LabelFields f = ParseLabel(node->Label());
      FUZZ_CHECK(node->HasSize() == f.sized);
      if (f.sized) {
        FUZZ_CHECK(node->Failed() == f.failed);
        FUZZ_CHECK(RoundedKilobytes(node->Bytes()) == f.kilobytes);
      }
      // Every label is one line that reads back as itself.
      FUZZ_CHECK(node->Label().find_first_of("\r\n") == std::string::npos);
      FUZZ_CHECK(node->Label().empty() || (node->Label()[0] != '\t' && node->Label()[0] != ' '));
    }
  }
  FUZZ_CHECK(seen == tree.Count());
  if (tree.Count() > 0) {
    FUZZ_CHECK(tree.NodeAt(0) == tree.First());
    FUZZ_CHECK(tree.NodeAt(static_cast<std::int64_t>(tree.Count()) - 1) != nullptr);
  }
}

void CheckSiblingsSorted(const TTreeNode* parent, const TReportTree& tree) {
  const std::size_t n = parent ? parent->ChildCount() : tree.TopLevelCount();
  for (std::size_t i = 0; i < n; ++i) {
    const TTreeNode* node = parent ? parent->Child(i) : tree.TopLevel(i);
    if (i > 0) {
      const TTreeNode* before = parent ? parent->Child(i - 1) : tree.TopLevel(i - 1);
      FUZZ_CHECK(CompareLabels(before->Label(), node->Label()) <= 0);
    }
    CheckSiblingsSorted(node, tree);
  }
}

}  // namespace

// Any bytes as a report file: the loader either reads them or raises its
// message, and what it read is a sound tree whose text form reads back the same.
int FuzzReportText(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  TReportTree tree;
  try {
    tree.LoadText(text);
  } catch (const EVorntoolsError& e) {
    FUZZ_CHECK(std::string(e.what()) == "Invalid item level assignment");
  }
  CheckShape(tree);
  const std::string form = tree.TextForm();
  TReportTree again;
  again.LoadText(form);  // a saved form always loads whole
  CheckShape(again);
  FUZZ_CHECK(again.TextForm() == form);

  again.SortByLabel();
  CheckShape(again);
  FUZZ_CHECK(again.Count() == tree.Count());
  if (again.Count() < 2000) CheckSiblingsSorted(nullptr, again);
  return 0;
}
