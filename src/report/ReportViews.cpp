#include "report/ReportViews.h"

#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QSplitter>
#include <QStyle>
#include <QStyleFactory>
#include <QTreeView>
#include <algorithm>
#include <vector>

#include "dialogs/DialogCommon.h"
#include "report/FontDialog.h"
#include "report/ReportModel.h"
#include "report/ReportSortModel.h"
#include "report/ShareBars.h"
#include "report/TreemapView.h"

namespace {
QFont DesignReportFont() {
  QFont font("Courier New", 10);
  font.setStyleHint(QFont::TypeWriter);  // a fixed-pitch stand-in where it is missing
  return font;
}

// The direction a first click on a header sorts: names from A, numbers
// from the largest, as one looks for what takes the room.
Qt::SortOrder FirstOrder(int column) {
  return column == TReportModel::kLabelColumn ? Qt::AscendingOrder : Qt::DescendingOrder;
}
}  // namespace

namespace {
// Room for a date and time as the column shows them.
int ModifiedWidth(const QFontMetrics& metrics) {
  return metrics.horizontalAdvance("2026-12-31 23:59") + 16;
}
}  // namespace

TReportViews::TReportViews(TReportTree& tree, QWidget* window) : QObject(window), tree_(tree) {
  view_ = new QTreeView(window);
  view_->setObjectName("resultField");
  view_->setHeaderHidden(false);
  view_->setUniformRowHeights(true);
  view_->setIndentation(19);
  view_->setRootIsDecorated(true);
  view_->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
  view_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  // Wide labels scroll sideways instead of being cut; measuring a bounded
  // number of rows keeps that cheap on a large report.
  view_->header()->setStretchLastSection(false);
  view_->header()->setResizeContentsPrecision(256);
  QHeaderView* header = view_->header();
  header->setSectionsClickable(true);
  header->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(header, &QHeaderView::sectionClicked, this, &TReportViews::HeaderClicked);
  connect(header, &QWidget::customContextMenuRequested, this, &TReportViews::HeaderMenu);
  connect(header, &QHeaderView::sectionResized, this, [this](int column, int, int size) {
    // The user's widths, not those a new model or a hidden column gives.
    if (settingUp_ || size <= 0 || widths_.size() != 3) return;
    if (column == TReportModel::kSizeColumn) widths_[0] = size;
    if (column == TReportModel::kFilesColumn) widths_[1] = size;
    if (column == TReportModel::kModifiedColumn) widths_[2] = size;
  });
  // The classic style draws the dotted lines between nodes.
  if (QStyle* lines = QStyleFactory::create("Windows")) {
    lines->setParent(view_);
    view_->setStyle(lines);
  }
  view_->setFont(DesignReportFont());
  QPalette palette = view_->palette();
  palette.setColor(QPalette::Text, fontColor_);
  view_->setPalette(palette);

  splitter_ = new QSplitter(Qt::Vertical, window);
  splitter_->setObjectName("Splitter1");
  splitter_->setChildrenCollapsible(false);
  splitter_->addWidget(view_);
  treemap_ = new TTreemapView(tree_, splitter_);
  treemap_->setFont(DesignFont());
  splitter_->addWidget(treemap_);
  treemap_->hide();
  connect(treemap_, &TTreemapView::NodeClicked, this, &TReportViews::SelectFromTreemap);
  connect(treemap_, &TTreemapView::FileClicked, this,
          [this](const std::string& folderPath, const std::string& rawName) {
            selectingFromTreemap_ = true;
            emit TreemapFileClicked(folderPath, rawName);
            selectingFromTreemap_ = false;
          });

  model_ = new TReportModel(tree_);
  view_->setModel(model_);
  SetUpView();
  view_->setItemDelegateForColumn(TReportModel::kShareColumn, new TShareBarDelegate(view_));
  connect(model_, &TReportModel::NodeExpandedChanged, this,
          [this](const QModelIndex& index, bool expanded) {
            view_->setExpanded(ViewIndexOf(model_->NodeOf(index)), expanded);
          });
  connect(view_, &QTreeView::expanded, this, [this](const QModelIndex& index) {
    if (TTreeNode* node = NodeAt(index)) tree_.NoteExpanded(node, true);
  });
  connect(view_, &QTreeView::collapsed, this, [this](const QModelIndex& index) {
    if (TTreeNode* node = NodeAt(index)) tree_.NoteExpanded(node, false);
  });
}

TReportViews::~TReportViews() {
  view_->setModel(nullptr);
  delete sorted_;
  delete model_;
}

void TReportViews::SetUpView() {
  // A new model on the view brings a new selection model, and the header
  // makes its sections anew.
  QHeaderView* header = view_->header();
  header->setSectionResizeMode(TReportModel::kLabelColumn, QHeaderView::ResizeToContents);
  header->setSectionResizeMode(TReportModel::kSizeColumn, QHeaderView::Interactive);
  header->setSectionResizeMode(TReportModel::kShareColumn, QHeaderView::Stretch);
  header->setSectionResizeMode(TReportModel::kFilesColumn, QHeaderView::Interactive);
  header->setSectionResizeMode(TReportModel::kModifiedColumn, QHeaderView::Interactive);
  header->setSectionResizeMode(TReportModel::kChangeColumn, QHeaderView::Interactive);
  // The share bars keep room for their percentage however narrow the window.
  const QFontMetrics metrics(view_->font());
  header->setMinimumSectionSize(metrics.horizontalAdvance("100.0%") + 12);
  if (widths_.size() != 3) {
    widths_ = {metrics.horizontalAdvance("1023.9 MiB") + 16,
               metrics.horizontalAdvance("99,999,999") + 16, ModifiedWidth(metrics)};
  }
  SetColumnWidths(widths_);
  view_->setColumnHidden(TReportModel::kSizeColumn, !sizeShown_);
  view_->setColumnHidden(TReportModel::kShareColumn, !shareBars_);
  view_->setColumnHidden(TReportModel::kFilesColumn, !filesShown_);
  view_->setColumnHidden(TReportModel::kModifiedColumn, !modifiedShown_);
  view_->setColumnHidden(TReportModel::kChangeColumn, !changesShown_);
  header->resizeSection(TReportModel::kChangeColumn, metrics.horizontalAdvance("+1023.9 MiB") + 16);
  header->setSortIndicatorShown(sorted_ != nullptr);
  if (sorted_) header->setSortIndicator(sorted_->sortColumn(), sorted_->sortOrder());
  connect(view_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) {
            TTreeNode* node = NodeAt(current);
            tree_.SetSelected(node);
            // The treemap draws what is chosen in the tree; a click in the
            // treemap itself only points at a node.
            if (!selectingFromTreemap_) treemap_->SetRoot(node);
            treemap_->update();  // it outlines the selected folder
            emit CurrentNodeChanged(node);
          });
}

TTreeNode* TReportViews::NodeAt(const QModelIndex& viewIndex) const {
  return sorted_ ? sorted_->NodeOf(viewIndex) : model_->NodeOf(viewIndex);
}

QModelIndex TReportViews::ViewIndexOf(TTreeNode* node, int column) const {
  return sorted_ ? sorted_->IndexOf(node, column) : model_->IndexOf(node, column);
}

void TReportViews::ShowShareBars(bool shown) {
  shareBars_ = shown;
  if (shareBarsAction_ && shareBarsAction_->isChecked() != shown) {
    shareBarsAction_->setChecked(shown);
  }
  view_->setColumnHidden(TReportModel::kShareColumn, !shown);
}

void TReportViews::ShowTreemap(bool shown) {
  if (!shown && !treemap_->isHidden()) splitterSizes_ = splitter_->sizes();
  treemap_->setVisible(shown);
  if (shown && splitterSizes_.size() == 2) splitter_->setSizes(splitterSizes_);
}

void TReportViews::SetLargestFirst(bool on) {
  if (on == LargestFirst()) return;
  if (on) {
    SortBy(TReportModel::kSizeColumn, Qt::DescendingOrder);
  } else {
    SortBy(-1, Qt::AscendingOrder);
  }
}

bool TReportViews::LargestFirst() const {
  return SortColumn() == TReportModel::kSizeColumn && SortOrder() == Qt::DescendingOrder;
}

int TReportViews::SortColumn() const {
  return sorted_ ? sorted_->sortColumn() : -1;
}

Qt::SortOrder TReportViews::SortOrder() const {
  return sorted_ ? sorted_->sortOrder() : Qt::AscendingOrder;
}

void TReportViews::SortBy(int column, Qt::SortOrder order) {
  if (column < 0 || column >= TReportModel::kColumns) column = -1;
  if (column == SortColumn() && (column < 0 || order == SortOrder())) return;
  if (column >= 0 && sorted_) {
    // Already sorted: the proxy reorders in place and the view keeps what is open.
    sorted_->sort(column, order);
    view_->header()->setSortIndicator(column, order);
    emit SortChanged();
    return;
  }
  // The proxy costs memory and time at every change of the report: it is
  // there only while the view is sorted.
  QItemSelectionModel* oldSelection = view_->selectionModel();
  TReportSortModel* oldProxy = sorted_;
  sorted_ = column >= 0 ? new TReportSortModel(model_, this) : nullptr;
  settingUp_ = true;
  if (sorted_) {
    sorted_->sort(column, order);
    view_->setModel(sorted_);
  } else {
    view_->setModel(model_);
  }
  settingUp_ = false;
  delete oldSelection;
  delete oldProxy;
  SetUpView();
  ReopenFromTree();
  emit SortChanged();
}

void TReportViews::HeaderClicked(int column) {
  const Qt::SortOrder first = FirstOrder(column);
  if (column != SortColumn()) {
    SortBy(column, first);
  } else if (SortOrder() == first) {
    SortBy(column, first == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder);
  } else {
    SortBy(-1, Qt::AscendingOrder);
  }
  // A click moves the header's indicator by itself: it shows the view's order.
  QHeaderView* header = view_->header();
  header->setSortIndicatorShown(sorted_ != nullptr);
  if (sorted_) header->setSortIndicator(sorted_->sortColumn(), sorted_->sortOrder());
}

void TReportViews::HeaderMenu(const QPoint& pos) {
  QMenu menu(view_);
  menu.setObjectName("HeaderMenu1");
  auto column = [&](const char* name, const QString& caption, int index) {
    QAction* action = menu.addAction(caption);
    action->setObjectName(name);
    action->setCheckable(true);
    action->setChecked(ColumnShown(index));
    connect(action, &QAction::toggled, this, [this, index](bool on) { ShowColumn(index, on); });
  };
  column("SizeColumn1", "&Size", TReportModel::kSizeColumn);
  if (shareBarsAction_) menu.addAction(shareBarsAction_);
  column("FilesColumn1", "&Files", TReportModel::kFilesColumn);
  column("ModifiedColumn1", "&Modified", TReportModel::kModifiedColumn);
  menu.exec(view_->header()->viewport()->mapToGlobal(pos));
}

void TReportViews::ShowColumn(int column, bool shown) {
  if (column == TReportModel::kShareColumn) {
    ShowShareBars(shown);
    return;
  }
  if (column == TReportModel::kSizeColumn) sizeShown_ = shown;
  if (column == TReportModel::kFilesColumn) filesShown_ = shown;
  if (column == TReportModel::kModifiedColumn) modifiedShown_ = shown;
  if (column == TReportModel::kSizeColumn || column == TReportModel::kFilesColumn ||
      column == TReportModel::kModifiedColumn) {
    view_->setColumnHidden(column, !shown);
    // A section shown again comes back at its own width, not the header's default.
    if (shown) SetColumnWidths(widths_);
  }
}

void TReportViews::ShowChanges(bool shown) {
  changesShown_ = shown;
  if (!shown && SortColumn() == TReportModel::kChangeColumn) SortBy(-1, Qt::AscendingOrder);
  view_->setColumnHidden(TReportModel::kChangeColumn, !shown);
  if (shown) {
    view_->header()->resizeSection(
        TReportModel::kChangeColumn,
        QFontMetrics(view_->font()).horizontalAdvance("+1023.9 MiB") + 16);
  }
}

bool TReportViews::ColumnShown(int column) const {
  if (column == TReportModel::kSizeColumn) return sizeShown_;
  if (column == TReportModel::kShareColumn) return shareBars_;
  if (column == TReportModel::kFilesColumn) return filesShown_;
  if (column == TReportModel::kModifiedColumn) return modifiedShown_;
  return column == TReportModel::kLabelColumn;
}

QList<int> TReportViews::ColumnWidths() const {
  return widths_;
}

void TReportViews::SetColumnWidths(const QList<int>& widths) {
  // Two values come from before the Modified column, which keeps its own.
  if (widths.size() != 2 && widths.size() != 3) return;
  // A damaged stored value must not give a column nobody can see past.
  const int limit = 4000;
  const int modified = widths.size() == 3    ? widths[2]
                       : widths_.size() == 3 ? widths_[2]
                                             : ModifiedWidth(QFontMetrics(view_->font()));
  widths_ = {std::clamp(widths[0], 1, limit), std::clamp(widths[1], 1, limit),
             std::clamp(modified, 1, limit)};
  QHeaderView* header = view_->header();
  if (header->count() < TReportModel::kColumns) return;
  const bool before = settingUp_;
  settingUp_ = true;
  header->resizeSection(TReportModel::kSizeColumn, widths_[0]);
  header->resizeSection(TReportModel::kFilesColumn, widths_[1]);
  header->resizeSection(TReportModel::kModifiedColumn, widths_[2]);
  settingUp_ = before;
}

void TReportViews::ReopenFromTree() {
  // The view forgot what was open: the tree remembers it.
  std::vector<TTreeNode*> pending;
  for (std::size_t i = 0; i < tree_.TopLevelCount(); ++i) pending.push_back(tree_.TopLevel(i));
  while (!pending.empty()) {
    TTreeNode* node = pending.back();
    pending.pop_back();
    if (!node->Expanded()) continue;
    view_->expand(ViewIndexOf(node));
    for (std::size_t i = 0; i < node->ChildCount(); ++i) pending.push_back(node->Child(i));
  }
  if (TTreeNode* selected = tree_.Selected()) {
    selectingFromTreemap_ = true;  // the treemap keeps its root
    view_->setCurrentIndex(ViewIndexOf(selected));
    selectingFromTreemap_ = false;
    view_->scrollTo(view_->currentIndex());
  }
}

void TReportViews::SelectNode(TTreeNode* node) {
  const QModelIndex index = ViewIndexOf(node);
  for (TTreeNode* p = node->Parent(); p; p = p->Parent()) view_->expand(ViewIndexOf(p));
  view_->setCurrentIndex(index);
  view_->scrollTo(index);
}

void TReportViews::SelectFromTreemap(TTreeNode* node) {
  const QModelIndex index = ViewIndexOf(node);
  for (TTreeNode* p = node->Parent(); p; p = p->Parent()) view_->expand(ViewIndexOf(p));
  selectingFromTreemap_ = true;
  view_->setCurrentIndex(index);
  selectingFromTreemap_ = false;
  view_->scrollTo(index);
}

QList<int> TReportViews::TreemapSizes() const {
  // Sizes of a hidden pane are 0: keep the last ones it had on screen.
  const QList<int> sizes = splitter_->sizes();
  if (!treemap_->isHidden() && sizes.size() == 2 && sizes[1] > 0) return sizes;
  return splitterSizes_;
}

void TReportViews::SetTreemapSizes(const QList<int>& sizes, bool laidOut) {
  if (sizes.size() != 2) return;
  splitterSizes_ = sizes;
  // Sizes given before the window is laid out would be shared out anew.
  if (laidOut) splitter_->setSizes(sizes);
}

void TReportViews::ApplyTreemapSizes() {
  if (!treemap_->isHidden() && splitterSizes_.size() == 2) splitter_->setSizes(splitterSizes_);
}

void TReportViews::SetFont(const QFont& font) {
  view_->setFont(font);
}

void TReportViews::ApplyFont(const QFont& font, const QColor& color) {
  fontColor_ = color;
  ApplyFontAndColor(*view_, font, color);
}
