#include "report/ReportModel.h"

#include <QColor>
#include <QDateTime>
#include <QLocale>

#include "report/ShareBars.h"

namespace {
// A gone folder's line is told from a node's by the low bit of its
// internal id: nodes and gone folders are both aligned, so it is free.
constexpr quintptr kGoneTag = 1;

// "+1.2 GiB", "-300 MiB".
QString SignedSize(std::int64_t bytes) {
  return bytes < 0 ? "-" + ReadableSize(-bytes) : "+" + ReadableSize(bytes);
}
}  // namespace

TReportModel::TReportModel(TReportTree& tree, QObject* parent)
    : QAbstractItemModel(parent), tree_(tree) {
  tree_.AddObserver(this);
}

TReportModel::~TReportModel() {
  tree_.RemoveObserver(this);
}

TTreeNode* TReportModel::NodeOf(const QModelIndex& index) const {
  if (!index.isValid() || index.model() != this || (index.internalId() & kGoneTag)) return nullptr;
  return static_cast<TTreeNode*>(index.internalPointer());
}

const TReportChanges::Gone* TReportModel::GoneOf(const QModelIndex& index) const {
  if (!index.isValid() || index.model() != this || !(index.internalId() & kGoneTag)) return nullptr;
  return reinterpret_cast<const TReportChanges::Gone*>(index.internalId() & ~kGoneTag);
}

void TReportModel::SetChanges(std::shared_ptr<const TReportChanges> changes) {
  Flush();
  // Lines come and go after the nodes' own: a layout change, in which the
  // views' indexes of gone folders' lines lapse and the others stay.
  emit layoutAboutToBeChanged();
  const QModelIndexList from = persistentIndexList();
  QModelIndexList to;
  to.reserve(from.size());
  for (const QModelIndex& i : from) to.append(IndexOf(NodeOf(i), i.column()));
  changes_ = std::move(changes);
  changePersistentIndexList(from, to);
  emit layoutChanged();
}

QModelIndex TReportModel::IndexOf(TTreeNode* node, int column) const {
  if (!node) return {};
  return createIndex(static_cast<int>(node->Row()), column, node);
}

QModelIndex TReportModel::index(int row, int column, const QModelIndex& parent) const {
  if (row < 0 || column < 0 || column >= kColumns) return {};
  if (TTreeNode* p = NodeOf(parent)) {
    if (parent.column() != 0) return {};
    const auto r = static_cast<std::size_t>(row);
    if (r < p->ChildCount()) return createIndex(row, column, p->Child(r));
    if (!changes_ || r - p->ChildCount() >= changes_->GoneCount(p)) return {};
    const auto& gone = changes_->GoneAt(p, r - p->ChildCount());
    return createIndex(row, column, reinterpret_cast<quintptr>(&gone) | kGoneTag);
  }
  if (parent.isValid() || static_cast<std::size_t>(row) >= tree_.TopLevelCount()) return {};
  return createIndex(row, column, tree_.TopLevel(static_cast<std::size_t>(row)));
}

QModelIndex TReportModel::parent(const QModelIndex& child) const {
  if (const TReportChanges::Gone* gone = GoneOf(child)) {
    return IndexOf(const_cast<TTreeNode*>(gone->parent));
  }
  TTreeNode* node = NodeOf(child);
  return node ? IndexOf(node->Parent()) : QModelIndex();
}

int TReportModel::rowCount(const QModelIndex& parent) const {
  if (!parent.isValid()) return static_cast<int>(tree_.TopLevelCount());
  if (parent.column() != 0) return 0;
  TTreeNode* node = NodeOf(parent);
  if (!node) return 0;
  return static_cast<int>(node->ChildCount() + (changes_ ? changes_->GoneCount(node) : 0));
}

int TReportModel::columnCount(const QModelIndex&) const {
  return kColumns;
}

bool TReportModel::hasChildren(const QModelIndex& parent) const {
  return rowCount(parent) > 0;
}

const QString TReportModel::kIncompleteSuffix = QStringLiteral(" (incomplete)");
const QString TReportModel::kIncompleteTip = QStringLiteral(
    "Stop ended the scan while this folder was being read: "
    "its numbers are what was measured until then");

QVariant TReportModel::data(const QModelIndex& index, int role) const {
  if (const TReportChanges::Gone* gone = GoneOf(index))
    return GoneData(*gone, index.column(), role);
  TTreeNode* node = NodeOf(index);
  if (!node) return {};
  if (role == kIncompleteRole) return node->Incomplete();
  if (role == Qt::ToolTipRole && node->Incomplete()) return kIncompleteTip;
  // Worked out when painted, so a scan pays nothing for rows not shown; the
  // numbers come from the node, never from its label's text.
  switch (index.column()) {
    case kLabelColumn:
      // The mark is shown, never edited or sorted by: it is no part of the label.
      if (role == Qt::DisplayRole && node->Incomplete()) {
        return QString::fromStdString(node->Label()) + kIncompleteSuffix;
      }
      if (role == Qt::DisplayRole || role == Qt::EditRole || role == kSortRole) {
        return QString::fromStdString(node->Label());
      }
      return {};
    case kSizeColumn:
      if (role == Qt::DisplayRole)
        return node->HasSize() ? ReadableSize(node->Bytes()) : QVariant();
      if (role == kSortRole) return qint64{node->Bytes()};
      break;
    case kShareColumn:
      if (!node->HasSize() && role != kSortRole) return {};
      if (role == Qt::DisplayRole) return ShareText(tree_, *node);
      if (role == kShareRole || role == kSortRole) return ShareOfParent(tree_, *node);
      return {};
    case kFilesColumn:
      if (role == Qt::DisplayRole) {
        return node->HasFiles() ? QLocale().toString(qint64{node->Files()}) : QVariant();
      }
      if (role == kSortRole) return qint64{node->Files()};
      break;
    case kModifiedColumn:
      if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        if (!node->HasNewest()) return {};
        // The Files pane's form: sortable by eye, the same in every locale.
        const QDateTime when = QDateTime::fromSecsSinceEpoch(node->Newest());
        return role == Qt::ToolTipRole ? QLocale().toString(when, QLocale::LongFormat)
                                       : when.toString("yyyy-MM-dd HH:mm");
      }
      if (role == kSortRole) return qint64{node->Newest()};
      break;
    case kChangeColumn: {
      if (role != Qt::DisplayRole && role != kSortRole && role != Qt::TextAlignmentRole) return {};
      const TReportChanges::Line line = changes_ ? changes_->OfLine(node) : TReportChanges::Line{};
      if (role == kSortRole) return qint64{line.compared ? line.change : 0};
      if (role == Qt::DisplayRole) {
        if (!line.compared || (line.change == 0 && !line.isNew)) return {};
        return line.isNew ? QStringLiteral("new") : SignedSize(line.change);
      }
      break;
    }
    default:
      return {};
  }
  if (role == Qt::TextAlignmentRole) return (Qt::AlignRight | Qt::AlignVCenter).toInt();
  return {};
}

QVariant TReportModel::GoneData(const TReportChanges::Gone& gone, int column, int role) const {
  if (role == Qt::ForegroundRole) return QColor(Qt::gray);
  if (role == Qt::TextAlignmentRole && column != kLabelColumn) {
    return (Qt::AlignRight | Qt::AlignVCenter).toInt();
  }
  const bool sorting = role == kSortRole;
  if (role != Qt::DisplayRole && !sorting && role != Qt::ToolTipRole) return {};
  switch (column) {
    case kLabelColumn:
      return QString::fromUtf8(gone.name.data(), static_cast<qsizetype>(gone.name.size()));
    case kSizeColumn:
      if (sorting) return qint64{gone.oldTotal};
      return role == Qt::ToolTipRole ? QStringLiteral("Its size in the earlier scan")
                                     : ReadableSize(gone.oldTotal);
    case kShareColumn:
      return sorting ? QVariant(0.0) : QVariant();
    case kFilesColumn:
      return sorting ? QVariant(qint64{-1}) : QVariant();
    case kModifiedColumn:
      return sorting ? QVariant(qint64{TTreeNode::kNoNewest}) : QVariant();
    case kChangeColumn:
      if (sorting) return qint64{-gone.oldTotal};
      return role == Qt::ToolTipRole ? SignedSize(-gone.oldTotal) : QStringLiteral("gone");
    default:
      return {};
  }
}

QVariant TReportModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case kLabelColumn:
      return QStringLiteral("Folder");
    case kSizeColumn:
      return QStringLiteral("Size");
    case kShareColumn:
      return QStringLiteral("Share");
    case kFilesColumn:
      return QStringLiteral("Files");
    case kModifiedColumn:
      return QStringLiteral("Modified");
    case kChangeColumn:
      return QStringLiteral("Change");
    default:
      return {};
  }
}

bool TReportModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  TTreeNode* node = NodeOf(index);
  if (!node || role != Qt::EditRole || index.column() != kLabelColumn) return false;
  // The tree reports the change (and, when sorted, the move) itself.
  tree_.SetLabel(node, value.toString().toStdString());
  return true;
}

Qt::ItemFlags TReportModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  // A gone folder's line is only to be seen: drawn greyed, never chosen.
  if (GoneOf(index)) return Qt::NoItemFlags;
  if (index.column() != kLabelColumn) return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

void TReportModel::SetBatching(bool on) {
  if (!on) Flush();
  batching_ = on;
}

void TReportModel::BeginBatchChange() {
  if (batchOpen_) return;
  batchOpen_ = true;
  emit layoutAboutToBeChanged();
  reorderFrom_ = persistentIndexList();
  reorderNodes_.clear();
  reorderColumns_.clear();
  batchSlots_.clear();
  reorderNodes_.reserve(static_cast<std::size_t>(reorderFrom_.size()));
  for (const QModelIndex& i : reorderFrom_) {
    TTreeNode* node = NodeOf(i);
    batchSlots_.emplace(node, reorderNodes_.size());
    reorderNodes_.push_back(node);
    reorderColumns_.push_back(i.column());
  }
}

void TReportModel::Flush() {
  if (!batchOpen_) return;
  batchOpen_ = false;
  batchSlots_.clear();
  Reordered();
}

void TReportModel::NodesAboutToBeInserted(TTreeNode* parent, std::size_t row) {
  if (batching_) {
    BeginBatchChange();
    return;
  }
  const int r = static_cast<int>(row);
  beginInsertRows(IndexOf(parent), r, r);
}

void TReportModel::NodesInserted() {
  if (!batching_) endInsertRows();
}

void TReportModel::NodesAboutToBeRemoved(TTreeNode* parent, std::size_t row) {
  if (batching_) {
    BeginBatchChange();
    // Persistent indexes into the removed subtree become invalid. Only the
    // subtree is walked, so a scan pays for what it removes.
    TTreeNode* gone = parent ? parent->Child(row) : tree_.TopLevel(row);
    std::vector<TTreeNode*> pending{gone};
    while (!pending.empty() && !batchSlots_.empty()) {
      TTreeNode* node = pending.back();
      pending.pop_back();
      const auto [first, last] = batchSlots_.equal_range(node);
      for (auto slot = first; slot != last; ++slot) reorderNodes_[slot->second] = nullptr;
      batchSlots_.erase(first, last);
      for (std::size_t i = 0; i < node->ChildCount(); ++i) pending.push_back(node->Child(i));
    }
    return;
  }
  const int r = static_cast<int>(row);
  beginRemoveRows(IndexOf(parent), r, r);
}

void TReportModel::NodesRemoved() {
  if (!batching_) endRemoveRows();
}

void TReportModel::NodeAboutToMove(TTreeNode* parent, std::size_t from, std::size_t beforeRow) {
  if (batching_) {
    BeginBatchChange();
    return;
  }
  const QModelIndex p = IndexOf(parent);
  const int f = static_cast<int>(from);
  // Qt refuses moves that leave the row where it is; those change nothing.
  moving_ = beginMoveRows(p, f, f, p, static_cast<int>(beforeRow));
}

void TReportModel::NodeMoved() {
  if (moving_) endMoveRows();
  moving_ = false;
}

void TReportModel::LabelChanged(TTreeNode* node) {
  if (batchOpen_) return;  // the layout change repaints it
  // Every column shows the node's numbers, a file count set on its own too;
  // the sort role lets a sorting proxy re-sort. The shares of its siblings
  // change with it; the bars repaint when shown.
  emit dataChanged(IndexOf(node), IndexOf(node, kColumns - 1),
                   {Qt::DisplayRole, Qt::EditRole, kShareRole, kSortRole, kIncompleteRole});
}

void TReportModel::ExpandedChanged(TTreeNode* node) {
  Flush();  // the view acts on it at once
  emit NodeExpandedChanged(IndexOf(node), node->Expanded());
}

void TReportModel::AboutToReorder() {
  Flush();
  emit layoutAboutToBeChanged();
  // Nodes keep their identity while their rows change: remember which node
  // every persistent index (current item, expanded items) stands for.
  reorderFrom_ = persistentIndexList();
  reorderNodes_.clear();
  reorderColumns_.clear();
  reorderNodes_.reserve(static_cast<std::size_t>(reorderFrom_.size()));
  for (const QModelIndex& i : reorderFrom_) {
    reorderNodes_.push_back(NodeOf(i));
    reorderColumns_.push_back(i.column());
  }
}

void TReportModel::Reordered() {
  QModelIndexList to;
  to.reserve(reorderFrom_.size());
  for (std::size_t i = 0; i < reorderNodes_.size(); ++i) {
    to.append(IndexOf(reorderNodes_[i], reorderColumns_[i]));
  }
  changePersistentIndexList(reorderFrom_, to);
  reorderFrom_.clear();
  reorderNodes_.clear();
  reorderColumns_.clear();
  emit layoutChanged();
}

void TReportModel::AboutToReset() {
  Flush();
  beginResetModel();
}

void TReportModel::Reset() {
  endResetModel();
}
