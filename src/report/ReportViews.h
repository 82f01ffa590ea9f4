#pragma once

#include <QColor>
#include <QList>
#include <QModelIndex>
#include <QObject>

class QFont;
class QSplitter;
class QTreeView;
class QWidget;
class TLargestFirstModel;
class TReportModel;
class TReportTree;
class TTreeNode;
class TTreemapView;

// The report's views: the tree view over the treemap in one splitter, the
// model the tree view shows and the Largest First order put over it, the
// share bars, and the view's following of the tree's expand and collapse.
// Everything that knows the model's columns or which proxy is shown is here.
class TReportViews : public QObject {
  Q_OBJECT

 public:
  // Builds the splitter (for the window's central widget) and its views.
  TReportViews(TReportTree& tree, QWidget* window);
  // Takes the model off the view before the tree it refers to goes.
  ~TReportViews() override;

  QSplitter* Splitter() const { return splitter_; }
  QTreeView* TreeView() const { return view_; }
  TTreemapView* Treemap() const { return treemap_; }
  TReportModel* Model() const { return model_; }

  // The node a view index stands for, and back; the view may show the
  // model through the Largest First order.
  TTreeNode* NodeAt(const QModelIndex& viewIndex) const;
  QModelIndex ViewIndexOf(TTreeNode* node, int column = 0) const;

  // The View menu's switches.
  void ShowShareBars(bool shown);
  void ShowTreemap(bool shown);
  void SetLargestFirst(bool on);

  // The splitter's sizes with the treemap shown, kept while it is hidden;
  // given before the window is laid out, they apply when it is first shown.
  QList<int> TreemapSizes() const;
  void SetTreemapSizes(const QList<int>& sizes, bool laidOut);
  void ApplyTreemapSizes();

  // The report's font: the font alone (as read from the store), or with
  // its colour (the Font command).
  void SetFont(const QFont& font);
  void ApplyFont(const QFont& font, const QColor& color);
  QColor FontColor() const { return fontColor_; }

 signals:
  // The tree view's current node changed (nullptr: none).
  void CurrentNodeChanged(TTreeNode* node);

 private:
  void SetUpView();
  // Selects a node the treemap was clicked on, showing it in the tree.
  void SelectFromTreemap(TTreeNode* node);
  // Opens in the view what the tree has open, and shows its selection.
  void ReopenFromTree();

  TReportTree& tree_;
  QSplitter* splitter_ = nullptr;
  QTreeView* view_ = nullptr;
  TTreemapView* treemap_ = nullptr;
  TReportModel* model_ = nullptr;
  TLargestFirstModel* largest_ = nullptr;  // set while Largest First is on
  bool shareBars_ = true;
  bool selectingFromTreemap_ = false;
  QList<int> splitterSizes_;  // the splitter's last sizes with the treemap shown
  QColor fontColor_ = Qt::black;
};
