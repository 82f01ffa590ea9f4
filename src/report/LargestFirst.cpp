#include "report/LargestFirst.h"

namespace {

std::int64_t SizeOf(const TTreeNode* node) {
  return node && node->HasSize() ? node->Bytes() : 0;
}

}  // namespace

TLargestFirstModel::TLargestFirstModel(TReportModel* source, QObject* parent)
    : QSortFilterProxyModel(parent), source_(source) {
  setSourceModel(source);
  // Keeps the order as sizes change during a scan or after an edit.
  setDynamicSortFilter(true);
  sort(0, Qt::DescendingOrder);
}

TTreeNode* TLargestFirstModel::NodeOf(const QModelIndex& index) const {
  if (!index.isValid() || index.model() != this) return nullptr;
  return source_->NodeOf(mapToSource(index));
}

QModelIndex TLargestFirstModel::IndexOf(TTreeNode* node, int column) const {
  return node ? mapFromSource(source_->IndexOf(node, column)) : QModelIndex();
}

bool TLargestFirstModel::lessThan(const QModelIndex& left, const QModelIndex& right) const {
  // Compared by the numbers the nodes keep: no text is made or parsed.
  return SizeOf(source_->NodeOf(left)) < SizeOf(source_->NodeOf(right));
}
