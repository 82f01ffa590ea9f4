#pragma once

#include <QAbstractItemModel>
#include <QModelIndexList>
#include <vector>

#include "scan/ReportTree.h"

// Shows a report tree in a Qt view without copying it: the model's items are
// the tree's own nodes (internalPointer is the TTreeNode), and every change
// the tree makes, a running scan's included, reaches the view as the
// matching item-model notification.
class TReportModel : public QAbstractItemModel, public TTreeObserver {
  Q_OBJECT

 public:
  explicit TReportModel(TReportTree& tree, QObject* parent = nullptr);
  ~TReportModel() override;

  TReportTree& Tree() const { return tree_; }
  TTreeNode* NodeOf(const QModelIndex& index) const;
  QModelIndex IndexOf(TTreeNode* node) const;

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  bool hasChildren(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // TTreeObserver
  void NodesAboutToBeInserted(TTreeNode* parent, std::size_t row) override;
  void NodesInserted() override;
  void NodesAboutToBeRemoved(TTreeNode* parent, std::size_t row) override;
  void NodesRemoved() override;
  void NodeAboutToMove(TTreeNode* parent, std::size_t from, std::size_t beforeRow) override;
  void NodeMoved() override;
  void LabelChanged(TTreeNode* node) override;
  void ExpandedChanged(TTreeNode* node) override;
  void AboutToReorder() override;
  void Reordered() override;
  void AboutToReset() override;
  void Reset() override;

 signals:
  // The tree's Expand or Collapse changed a node: the view should follow.
  void NodeExpandedChanged(const QModelIndex& index, bool expanded);

 private:
  TReportTree& tree_;
  bool moving_ = false;  // a move the model announced and must close
  QModelIndexList reorderFrom_;
  std::vector<TTreeNode*> reorderNodes_;
};
