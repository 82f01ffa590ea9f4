#pragma once

#include <QPixmap>
#include <QRectF>
#include <QTimer>
#include <QWidget>
#include <string>
#include <vector>

#include "scan/ReportTree.h"

// The report as nested rectangles: each folder's area is proportional to
// its size, the files lying directly in a folder make one plain rectangle
// of their own. Draws the subtree of its root (every top-level node when it
// has none) and follows the tree as it changes, redrawn at most four times
// a second. The mouse handling lives here; what a click means to the rest
// of the window goes out through the signals.
class TTreemapView : public QWidget, public TTreeObserver {
  Q_OBJECT

 public:
  explicit TTreemapView(TReportTree& tree, QWidget* parent = nullptr);
  ~TTreemapView() override;

  TTreeNode* Root() const { return root_; }
  void SetRoot(TTreeNode* node);
  // Back to the root's parent (all top-level nodes above a top-level root).
  void Up();
  // The deepest folder drawn at a point of the widget, or null.
  TTreeNode* NodeAt(const QPoint& point) const;
  // Where a node was drawn last (empty when it was too small to draw).
  QRectF RectOf(const TTreeNode* node) const;
  // Draws the picture now, as the next paint would (for measuring).
  void Redraw();
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
  struct THit {
    QRectF rect;
    TTreeNode* node;
  };
  void Changed();
  void DrawNode(QPainter& painter, TTreeNode* node, const QRectF& rect, int depth);
  void DrawChildren(QPainter& painter, const std::vector<TTreeNode*>& children,
                    std::int64_t ownFiles, const QRectF& area, int depth);

  TReportTree& tree_;
  TTreeNode* root_ = nullptr;
  QPixmap picture_;
  std::vector<THit> hits_;  // parents before their children
  bool dirty_ = true;
  QTimer redraw_;
};
