#include "report/ReportSortModel.h"

#include "report/ShareBars.h"

namespace {

// Below 0, 0 or above 0 as a sorts before, with or after b in ascending
// order by what kSortRole gives, read from the nodes without making a
// QVariant or any text; labels in the order of Edit > Sort.
int Compare(const TReportModel& model, const TTreeNode& a, const TTreeNode& b, int column) {
  const TReportTree& tree = model.Tree();
  const auto order = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
  switch (column) {
    case TReportModel::kLabelColumn:
      return CompareLabels(a.Label(), b.Label());
    case TReportModel::kSizeColumn:
      return order(a.Bytes(), b.Bytes());  // 0 for a node with no size
    case TReportModel::kShareColumn:
      // A top-level node's share sums the top-level sizes: few, as each is
      // a folder the user chose.
      return order(ShareOfParent(tree, a), ShareOfParent(tree, b));
    case TReportModel::kFilesColumn:
      return order(a.Files(), b.Files());  // -1 when unknown
    case TReportModel::kModifiedColumn:
      return order(a.Newest(), b.Newest());  // unknown before any time
    case TReportModel::kChangeColumn: {
      const TReportChanges* changes = model.Changes();
      if (!changes) return 0;
      const auto change = [changes](const TTreeNode& n) {
        const TReportChanges::Line line = changes->OfLine(&n);
        return line.compared ? line.change : 0;
      };
      return order(change(a), change(b));
    }
    default:
      return 0;
  }
}

}  // namespace

TReportSortModel::TReportSortModel(TReportModel* source, QObject* parent)
    : QSortFilterProxyModel(parent), source_(source) {
  setSourceModel(source);
  // The model announces its numbers' changes with this role: the order
  // follows sizes and counts as a scan sets them, and edits.
  setSortRole(TReportModel::kSortRole);
  setDynamicSortFilter(true);
}

TTreeNode* TReportSortModel::NodeOf(const QModelIndex& index) const {
  if (!index.isValid() || index.model() != this) return nullptr;
  return source_->NodeOf(mapToSource(index));
}

QModelIndex TReportSortModel::IndexOf(TTreeNode* node, int column) const {
  return node ? mapFromSource(source_->IndexOf(node, column)) : QModelIndex();
}

bool TReportSortModel::lessThan(const QModelIndex& left, const QModelIndex& right) const {
  const TTreeNode* a = source_->NodeOf(left);
  const TTreeNode* b = source_->NodeOf(right);
  if (a && b) {
    if (const int c = Compare(*source_, *a, *b, left.column())) return c < 0;
  } else {
    // A gone folder's line, while comparing: by the values it shows.
    const QPartialOrdering c = QVariant::compare(source_->data(left, TReportModel::kSortRole),
                                                 source_->data(right, TReportModel::kSortRole));
    if (c == QPartialOrdering::Less) return true;
    if (c == QPartialOrdering::Greater) return false;
  }
  // Equal values keep the report's order whichever way the view sorts: Qt
  // asks lessThan(right, left) when descending, and merges changed rows in
  // by search, so a strict order with the row as tie-break is what keeps
  // ties stable in every case.
  return sortOrder() == Qt::AscendingOrder ? left.row() < right.row() : left.row() > right.row();
}
