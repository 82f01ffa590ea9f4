#pragma once

#include <QString>
#include <QStyledItemDelegate>
#include <cstdint>

class TReportTree;
class TTreeNode;

// A size in a readable binary unit, as the K of the labels is 1024 bytes:
// "512 B", "40 KiB", "1.2 GiB" (one decimal below 10 of a unit).
QString ReadableSize(std::int64_t bytes);
// The node's share of its parent, or of the sum of the top-level nodes for
// a top-level node; 0 when either has no size. A node without a size
// counts as 0.
double ShareOfParent(const TReportTree& tree, const TTreeNode& node);
// "42.3%": what the share column shows over its bar.
QString ShareText(const TReportTree& tree, const TTreeNode& node);

// Paints the share column: a bar as long as the share, the text over it.
class TShareBarDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
};
