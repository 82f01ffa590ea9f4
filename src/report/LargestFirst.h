#pragma once

#include <QSortFilterProxyModel>

#include "report/ReportModel.h"

// Shows a report model's siblings from the largest size to the smallest,
// whatever order the report itself keeps; the tree, Save As, Print and Sort
// are untouched. Equal sizes keep the report's order. A node with no size
// counts as 0.
class TLargestFirstModel : public QSortFilterProxyModel {
  Q_OBJECT

 public:
  explicit TLargestFirstModel(TReportModel* source, QObject* parent = nullptr);

  TTreeNode* NodeOf(const QModelIndex& index) const;
  QModelIndex IndexOf(TTreeNode* node, int column = 0) const;

 protected:
  bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

 private:
  TReportModel* source_;
};
