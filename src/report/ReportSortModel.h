#pragma once

#include <QSortFilterProxyModel>

#include "report/ReportModel.h"

// Shows a report model's siblings sorted by any of its columns, either way,
// whatever order the report itself keeps; the tree, Save As, Print and Sort
// are untouched. Siblings compare by the column's TReportModel::kSortRole
// value, taken from the nodes' numbers: the label column in the order Edit >
// Sort gives, a node with no size as 0 bytes, an unknown file count below
// 0. Equal values keep the report's order in both directions. Sorted by
// kSizeColumn, descending, it is View > Largest First; sort column -1 shows
// the report's own order.
class TReportSortModel : public QSortFilterProxyModel {
  Q_OBJECT

 public:
  // Starts in the report's order; sort() chooses a column and direction.
  explicit TReportSortModel(TReportModel* source, QObject* parent = nullptr);

  TTreeNode* NodeOf(const QModelIndex& index) const;
  QModelIndex IndexOf(TTreeNode* node, int column = 0) const;

 protected:
  bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

 private:
  TReportModel* source_;
};
