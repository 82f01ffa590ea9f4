#include "report/ReportViews.h"

#include <QHeaderView>
#include <QSplitter>
#include <QStyle>
#include <QStyleFactory>
#include <QTreeView>
#include <vector>

#include "dialogs/DialogCommon.h"
#include "report/LargestFirst.h"
#include "report/ReportModel.h"
#include "report/ShareBars.h"
#include "report/TreemapView.h"

namespace {
QFont DesignReportFont() {
  QFont font("Courier New", 10);
  font.setStyleHint(QFont::TypeWriter);  // a fixed-pitch stand-in where it is missing
  return font;
}
}  // namespace

TReportViews::TReportViews(TReportTree& tree, QWidget* window) : QObject(window), tree_(tree) {
  view_ = new QTreeView(window);
  view_->setObjectName("resultField");
  view_->setHeaderHidden(true);
  view_->setUniformRowHeights(true);
  view_->setIndentation(19);
  view_->setRootIsDecorated(true);
  view_->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
  view_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  // Wide labels scroll sideways instead of being cut; measuring a bounded
  // number of rows keeps that cheap on a large report.
  view_->header()->setStretchLastSection(false);
  view_->header()->setResizeContentsPrecision(256);
  // The share bars take the room the labels leave, down to a readable width.
  view_->header()->setMinimumSectionSize(170);
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
  delete largest_;
  delete model_;
}

void TReportViews::SetUpView() {
  // A new model on the view brings a new header and selection model.
  view_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  view_->header()->setSectionResizeMode(TReportModel::kShareColumn, QHeaderView::Stretch);
  connect(view_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) {
            TTreeNode* node = NodeAt(current);
            tree_.SetSelected(node);
            // The treemap draws what is chosen in the tree; a click in the
            // treemap itself only points at a node.
            if (!selectingFromTreemap_) treemap_->SetRoot(node);
            emit CurrentNodeChanged(node);
          });
}

TTreeNode* TReportViews::NodeAt(const QModelIndex& viewIndex) const {
  return largest_ ? largest_->NodeOf(viewIndex) : model_->NodeOf(viewIndex);
}

QModelIndex TReportViews::ViewIndexOf(TTreeNode* node, int column) const {
  return largest_ ? largest_->IndexOf(node, column) : model_->IndexOf(node, column);
}

void TReportViews::ShowShareBars(bool shown) {
  shareBars_ = shown;
  view_->setColumnHidden(TReportModel::kShareColumn, !shown);
}

void TReportViews::ShowTreemap(bool shown) {
  if (!shown && !treemap_->isHidden()) splitterSizes_ = splitter_->sizes();
  treemap_->setVisible(shown);
  if (shown && splitterSizes_.size() == 2) splitter_->setSizes(splitterSizes_);
}

void TReportViews::SetLargestFirst(bool on) {
  if (on == (largest_ != nullptr)) return;
  QItemSelectionModel* oldSelection = view_->selectionModel();
  TLargestFirstModel* oldProxy = largest_;
  largest_ = on ? new TLargestFirstModel(model_, this) : nullptr;
  if (largest_) {
    view_->setModel(largest_);
  } else {
    view_->setModel(model_);
  }
  delete oldSelection;
  delete oldProxy;
  SetUpView();
  ShowShareBars(shareBars_);
  ReopenFromTree();
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
  view_->setFont(font);
  QPalette palette = view_->palette();
  palette.setColor(QPalette::Text, color);
  view_->setPalette(palette);
}
