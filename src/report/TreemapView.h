#pragma once

#include <QPixmap>
#include <QRectF>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "report/ReportChanges.h"
#include "report/TreemapLayout.h"
#include "scan/ReportTree.h"

class TScanControl;
class TTypeColours;

// The report as nested rectangles: each folder's area is proportional to
// its size. Beside its sub-folders, a folder's own files get tiles of their
// own coloured by type, when a scan document of the window holds them
// (ShowFiles); files too small to see share one tile. Draws the subtree of its root (every
// top-level node when it has none) and follows the tree as it changes, redrawn at most four times
// a second. The mouse handling lives here; what a click means to the rest
// of the window goes out through the signals.
class TTreemapView : public QWidget, public TTreeObserver {
  Q_OBJECT

 public:
  explicit TTreemapView(TReportTree& tree, QWidget* parent = nullptr);
  ~TTreemapView() override;

  TTreeNode* Root() const { return root_; }
  void SetRoot(TTreeNode* node);
  // Back to the root's parent (all top-level nodes above a top-level root);
  // nothing when CanGoUp() is false.
  void Up();
  // Whether Up would show more: not at every top-level node, nor at the only one.
  bool CanGoUp() const;
  // Whether the picture is empty for want of bytes (a report of 0 bytes),
  // as last laid out.
  bool ShowsNothing() const { return empty_; }
  // The deepest folder drawn at a point of the widget, or null.
  TTreeNode* NodeAt(const QPoint& point) const;
  // Where a node was drawn last (empty when it was too small to draw).
  QRectF RectOf(const TTreeNode* node) const;
  // Draws the picture now, as the next paint would, its files laid out
  // here and now (for measuring).
  void Redraw();
  // Draws the files of `scan`'s documents in `colours`, and follows both.
  void ShowFiles(TScanControl& scan, TTypeColours& colours);
  // While the report is compared with an earlier scan (null: not), and
  // whether folders and files are coloured by their change (grown, shrunk,
  // new, unchanged) instead of by depth and type.
  void SetChanges(std::shared_ptr<const TReportChanges> changes);
  void ColourByChange(bool on);
  bool ColouredByChange() const { return byChange_ && changes_; }
  // The file tiles drawn last.
  const TFileTiles& Tiles() const { return tiles_; }
  // Where a file was drawn last (empty when it shares a tile or was not drawn).
  QRectF FileRectOf(const std::string& folderPath, const std::string& rawName) const;
  // The folder's path as the tooltip shows it: its name below its ancestors'.
  static QString PathOf(const TTreeNode* node);

  // TTreeObserver
  void NodesAboutToBeInserted(TTreeNode*, std::size_t) override {}
  void NodesInserted() override { Changed(); }
  void NodesAboutToBeRemoved(TTreeNode* parent, std::size_t row) override;
  void NodesRemoved() override { Changed(); }
  void NodeAboutToMove(TTreeNode*, std::size_t, std::size_t) override {}
  void NodeMoved() override { Changed(); }
  void LabelChanged(TTreeNode*) override { Changed(); }
  void ExpandedChanged(TTreeNode*) override {}
  void AboutToReorder() override {}
  void Reordered() override { Changed(); }
  void AboutToReset() override;
  void Reset() override { Changed(); }

 signals:
  // A click on a folder's rectangle.
  void NodeClicked(TTreeNode* node);
  // A click on a file's tile: its folder's path and its raw name.
  void FileClicked(const std::string& folderPath, const std::string& rawName);
  // A context menu asked for on a folder's rectangle (or on no folder: null).
  void ContextMenuRequested(TTreeNode* node, const QPoint& globalPos);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  bool event(QEvent* event) override;

 private:
  // A folder's rectangle as laid out, with what its painting needs.
  struct THit {
    QRectF rect;
    TTreeNode* node;
    int depth;
    QString name;  // elided to fit; empty when there is no room
  };
  struct TLegendEntry {
    QRectF rect;
    std::string type;
    bool other;
  };
  void Changed();
  // Lays the folders out anew, and their files (here, or off this thread
  // when `wait` is false and they are many).
  void LayOut(bool wait);
  void LayOutNode(TTreeNode* node, const QRectF& rect, int depth, const std::string& path);
  void LayOutChildren(const std::vector<TTreeNode*>& children, std::int64_t ownFiles,
                      const QRectF& area, int depth, const std::string& path,
                      std::int64_t ownCount);
  void Paint();
  void PaintLegend(QPainter& painter);
  // The picture coloured by change, and its legend.
  void PaintChanges(QPainter& painter);
  void PaintChangeLegend(QPainter& painter);
  void Repaint();
  // The file or small files' tile at a point; -1 when there is none.
  int TileAt(const QPoint& point) const;
  QString TipOf(const TFileTile& tile) const;

  TReportTree& tree_;
  TTreeNode* root_ = nullptr;
  TScanControl* scan_ = nullptr;
  TTypeColours* colours_ = nullptr;
  QPixmap picture_;
  std::vector<THit> hits_;  // parents before their children
  std::vector<TFilesArea> areas_;
  std::vector<int> areaDepths_;
  std::vector<TTreeNode*> areaNodes_;  // the folder's line whose files each area holds
  TTreeNode* areaOwner_ = nullptr;     // while laying out a line's children
  std::uint64_t areaFiles_ = 0;        // the files the areas' folders hold, as the lines count them
  // The documents the tiles point into, kept while they do.
  std::vector<std::shared_ptr<const TScanDocument>> tileDocuments_;
  TFileTiles tiles_;
  std::vector<TLegendEntry> legend_;
  std::shared_ptr<const TReportChanges> changes_;
  bool byChange_ = false;
  std::uint64_t generation_ = 0;  // the layout's, so a late result of an older one is dropped
  bool laidOut_ = false;
  bool dirty_ = true;
  bool empty_ = false;  // folders to draw, all of 0 bytes
  QTimer redraw_;
};
