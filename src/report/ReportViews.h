#pragma once

#include <QColor>
#include <QList>
#include <QModelIndex>
#include <QObject>
#include <string>

class QFont;
class QSplitter;
class QTreeView;
class QWidget;
class QAction;
class TReportSortModel;
class TReportModel;
class TReportTree;
class TTreeNode;
class TTreemapView;

// The report's views: the tree view over the treemap in one splitter, the
// model the tree view shows with its columns and the column order put over
// it, the share bars, and the view's following of the tree's expand and
// collapse.
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
  // model sorted by a column.
  TTreeNode* NodeAt(const QModelIndex& viewIndex) const;
  QModelIndex ViewIndexOf(TTreeNode* node, int column = 0) const;

  // The View menu's switches.
  void ShowShareBars(bool shown);
  void ShowTreemap(bool shown);
  // Largest First is the view sorted by size, largest first; off, the
  // report's own order.
  void SetLargestFirst(bool on);
  bool LargestFirst() const;

  // The view sorted by a column of TReportModel, either way; -1 shows the
  // report's own order. A click on a header sorts by that column, a second
  // one reverses it, a third goes back to the report's order.
  void SortBy(int column, Qt::SortOrder order);
  int SortColumn() const;
  Qt::SortOrder SortOrder() const;

  // The Size and Files columns can be hidden from the header's menu; the
  // share column follows Share Bars. Widths are those of Size and Files.
  void ShowColumn(int column, bool shown);
  bool ColumnShown(int column) const;
  QList<int> ColumnWidths() const;
  void SetColumnWidths(const QList<int>& widths);
  // The Change column, shown while the report is compared with an earlier
  // scan; hidden, the view leaves an order by change for the report's own.
  void ShowChanges(bool shown);
  bool ChangesShown() const { return changesShown_; }
  // Adds the Share Bars item to the header's menu.
  void SetShareBarsAction(QAction* action) { shareBarsAction_ = action; }

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

  // Makes `node` the tree's current line, opening its ancestors and
  // scrolling to it.
  void SelectNode(TTreeNode* node);

 signals:
  // The tree view's current node changed (nullptr: none).
  void CurrentNodeChanged(TTreeNode* node);
  // The view's order changed (a header click, Largest First).
  void SortChanged();
  // A file's tile was clicked in the treemap; the treemap keeps its root
  // while the window goes to the file.
  void TreemapFileClicked(const std::string& folderPath, const std::string& rawName);

 private:
  void SetUpView();
  // Selects a node the treemap was clicked on, showing it in the tree.
  void SelectFromTreemap(TTreeNode* node);
  // Opens in the view what the tree has open, and shows its selection.
  void ReopenFromTree();
  void HeaderClicked(int column);
  void HeaderMenu(const QPoint& pos);

  TReportTree& tree_;
  QSplitter* splitter_ = nullptr;
  QTreeView* view_ = nullptr;
  TTreemapView* treemap_ = nullptr;
  TReportModel* model_ = nullptr;
  TReportSortModel* sorted_ = nullptr;  // set while the view is sorted by a column
  QAction* shareBarsAction_ = nullptr;
  bool shareBars_ = true;
  bool sizeShown_ = true;
  bool filesShown_ = true;
  bool modifiedShown_ = true;
  bool changesShown_ = false;
  QList<int> widths_;       // Size's, Files' and Modified's widths, also while hidden
  bool settingUp_ = false;  // the header's sizes are being set, not the user's
  bool selectingFromTreemap_ = false;
  QList<int> splitterSizes_;  // the splitter's last sizes with the treemap shown
  QColor fontColor_ = Qt::black;
};
