#include "report/ShareBars.h"

#include <QApplication>
#include <QPainter>

#include "report/ReportModel.h"
#include "scan/IntegerText.h"
#include "scan/ReportTree.h"

QString ReadableSize(std::int64_t bytes) {
  return QString::fromStdString(ReadableBytes(bytes));
}

double ShareOfParent(const TReportTree& tree, const TTreeNode& node) {
  std::int64_t whole = 0;
  if (const TTreeNode* parent = node.Parent()) {
    whole = parent->Bytes();
  } else {
    for (std::size_t i = 0; i < tree.TopLevelCount(); ++i) whole += tree.TopLevel(i)->Bytes();
  }
  if (whole <= 0 || node.Bytes() <= 0) return 0;
  return std::min(1.0, static_cast<double>(node.Bytes()) / static_cast<double>(whole));
}

QString ShareText(const TReportTree& tree, const TTreeNode& node) {
  // The size stands in its own column beside it.
  return QString::number(ShareOfParent(tree, node) * 100, 'f', 1) + "%";
}

void TShareBarDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
  QStyleOptionViewItem item = option;
  initStyleOption(&item, index);
  const QString text = item.text;
  // Background and selection only: the text goes over the bar below.
  const QWidget* widget = option.widget;
  QStyle* style = widget ? widget->style() : QApplication::style();
  style->drawPrimitive(QStyle::PE_PanelItemViewItem, &item, painter, widget);

  // A line without a size (a mount point left out) has no share to show.
  const QVariant shareData = index.data(TReportModel::kShareRole);
  if (!shareData.isValid()) return;
  const double share = shareData.toDouble();
  const QRect area = option.rect.adjusted(2, 2, -2, -2);
  painter->save();
  painter->setPen(QColor(150, 170, 200));
  painter->setBrush(Qt::NoBrush);
  painter->drawRect(area.adjusted(0, 0, -1, -1));
  const int length = static_cast<int>(share * (area.width() - 2) + 0.5);
  if (length > 0) {
    const QRect bar(area.left() + 1, area.top() + 1, length, area.height() - 2);
    painter->fillRect(bar, QColor(120, 170, 235));
    // A share of numbers a stopped scan left unfinished: hatched, as not final.
    if (index.data(TReportModel::kIncompleteRole).toBool()) {
      painter->fillRect(bar, QBrush(QColor(255, 255, 255, 150), Qt::BDiagPattern));
    }
  }
  painter->setPen(option.palette.color(QPalette::Text));
  painter->drawText(area.adjusted(4, 0, -4, 0), Qt::AlignVCenter | Qt::AlignLeft, text);
  painter->restore();
}
