#pragma once

#include <QAbstractItemModel>
#include <QModelIndexList>
#include <memory>
#include <unordered_map>
#include <vector>

#include "report/ReportChanges.h"
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
  // How many persistent indexes the views hold (each costs time at every
  // structural change in Qt's model base).
  int PersistentIndexCount() const { return static_cast<int>(persistentIndexList().size()); }

  // Batching, for a scan: while on, the tree's inserts, removals, moves and
  // relabels are not announced one by one but gathered into one layout
  // change that Flush() announces. Qt's model base visits every persistent
  // index (each expanded item of a view) at every single insert, removal or
  // move, which makes a scan slow in the square of what is expanded; a
  // layout change visits them once. Views must not look at the model
  // between a change and the next Flush(): the scan flushes before it lets
  // the interface process its events.
  void SetBatching(bool on);
  void Flush();
  // Null for a gone folder's line too.
  TTreeNode* NodeOf(const QModelIndex& index) const;
  QModelIndex IndexOf(TTreeNode* node, int column = 0) const;

  // While the report is compared with an earlier scan: the change of each
  // line, and after a line's sub-folders those of its folders that are
  // gone (greyed, and never in the tree, so what is saved and printed
  // stays the report). Null ends it.
  void SetChanges(std::shared_ptr<const TReportChanges> changes);
  const TReportChanges* Changes() const { return changes_.get(); }
  // The gone folder a line stands for; null for any other line.
  const TReportChanges::Gone* GoneOf(const QModelIndex& index) const;

  // The label, as the report keeps it and edits it in place; the size in
  // binary units; the share of the parent, drawn as a bar (kShareRole gives
  // it from 0 to 1); the files in the folder and below, empty when unknown;
  // the newest file's modification date, empty when unknown.
  static constexpr int kLabelColumn = 0;
  static constexpr int kSizeColumn = 1;
  static constexpr int kShareColumn = 2;
  static constexpr int kFilesColumn = 3;
  static constexpr int kModifiedColumn = 4;
  // The change since the earlier scan compared with: "+1.2 GiB", "-300
  // MiB", "new", "gone"; empty when unchanged or not compared.
  static constexpr int kChangeColumn = 5;
  static constexpr int kColumns = 6;
  static constexpr int kShareRole = Qt::UserRole + 1;
  // What a column sorts by, from the node's own numbers: the label for the
  // label column (ordered as Edit > Sort orders it), the bytes (0 without a
  // size), the share from 0 to 1, the files (-1 when unknown), the newest
  // file's time in seconds since 1970 (TTreeNode::kNoNewest when unknown),
  // the change in bytes (0 when unchanged or not compared, a new folder's
  // total, less a gone folder's).
  static constexpr int kSortRole = Qt::UserRole + 2;
  // True on a line a stopped scan left with only the numbers measured so
  // far (TTreeNode::Incomplete); its label shows kIncompleteSuffix after it.
  static constexpr int kIncompleteRole = Qt::UserRole + 3;
  static const QString kIncompleteSuffix;  // " (incomplete)"
  static const QString kIncompleteTip;

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  bool hasChildren(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
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
  QVariant GoneData(const TReportChanges::Gone& gone, int column, int role) const;

  TReportTree& tree_;
  std::shared_ptr<const TReportChanges> changes_;
  // Opens the batch's layout change at its first change.
  void BeginBatchChange();
  bool batching_ = false;
  bool batchOpen_ = false;
  std::unordered_multimap<TTreeNode*, std::size_t> batchSlots_;  // node -> reorderNodes_ slots

  bool moving_ = false;  // a move the model announced and must close
  QModelIndexList reorderFrom_;
  std::vector<TTreeNode*> reorderNodes_;
  std::vector<int> reorderColumns_;
};
