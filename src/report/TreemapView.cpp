#include "report/TreemapView.h"

#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include "report/TreemapLayout.h"

namespace {
// A changing tree is drawn again at most this often.
constexpr int kRedrawMs = 250;
constexpr int kFrameWidth = 1;

// Neighbouring depths get clearly different hues; the lightness stays high
// so black names read on every one.
QColor DepthColour(int depth) {
  static const QColor kColours[] = {
      QColor(116, 169, 226), QColor(244, 177, 96),  QColor(137, 204, 135), QColor(231, 130, 132),
      QColor(178, 150, 219), QColor(236, 214, 102), QColor(110, 203, 200), QColor(222, 156, 200),
  };
  return kColours[depth % static_cast<int>(std::size(kColours))];
}

// The folder's name: what follows the size field and the mark of a sized label.
QString NameOf(const TTreeNode* node) {
  const std::string& label = node->Label();
  if (node->HasSize()) {
    const std::size_t k = label.find("K ");
    if (k != std::string::npos && k + 3 <= label.size()) {
      return QString::fromStdString(label.substr(k + 3));
    }
  }
  return QString::fromStdString(label);
}

double SizeOf(const TTreeNode* node) {
  return node->HasSize() ? static_cast<double>(node->Bytes()) : 0.0;
}
}  // namespace

TTreemapView::TTreemapView(TReportTree& tree, QWidget* parent) : QWidget(parent), tree_(tree) {
  setObjectName("TreemapView1");
  setFocusPolicy(Qt::StrongFocus);
  setMinimumHeight(60);
  redraw_.setSingleShot(true);
  redraw_.setInterval(kRedrawMs);
  connect(&redraw_, &QTimer::timeout, this, [this] {
    dirty_ = true;
    update();
  });
  tree_.AddObserver(this);
}

TTreemapView::~TTreemapView() {
  tree_.RemoveObserver(this);
}

void TTreemapView::SetRoot(TTreeNode* node) {
  if (node == root_) return;
  root_ = node;
  dirty_ = true;
  update();
}

void TTreemapView::Up() {
  if (root_) SetRoot(root_->Parent());
}

void TTreemapView::Changed() {
  // Hidden, it only notes that it must draw again; shown, it waits so a
  // scan's many changes cost one drawing per interval.
  if (!isVisible()) {
    dirty_ = true;
    return;
  }
  if (!redraw_.isActive()) redraw_.start();
}

void TTreemapView::NodesAboutToBeRemoved(TTreeNode* parent, std::size_t row) {
  const TTreeNode* gone = parent ? parent->Child(row) : tree_.TopLevel(row);
  for (const TTreeNode* n = root_; n; n = n->Parent()) {
    if (n == gone) {
      root_ = parent;  // the root goes: its nearest remaining ancestor takes its place
      break;
    }
  }
  // The hits must not name a node that is gone before the next drawing.
  hits_.clear();
  dirty_ = true;
}

void TTreemapView::AboutToReset() {
  // Every node goes: nothing drawn may be named until the next drawing.
  root_ = nullptr;
  hits_.clear();
  dirty_ = true;
}

QString TTreemapView::PathOf(const TTreeNode* node) {
  QString path = NameOf(node);
  for (const TTreeNode* p = node->Parent(); p; p = p->Parent()) {
    QString above = NameOf(p);
    if (!above.endsWith('/')) above += '/';
    path.prepend(above);
  }
  return path;
}

TTreeNode* TTreemapView::NodeAt(const QPoint& point) const {
  const QPointF p(point.x() + 0.5, point.y() + 0.5);
  for (auto hit = hits_.rbegin(); hit != hits_.rend(); ++hit) {
    if (hit->rect.contains(p)) return hit->node;
  }
  return nullptr;
}

QRectF TTreemapView::RectOf(const TTreeNode* node) const {
  for (const THit& hit : hits_) {
    if (hit.node == node) return hit.rect;
  }
  return {};
}

void TTreemapView::Redraw() {
  dirty_ = false;
  hits_.clear();
  picture_ = QPixmap(size());
  picture_.fill(palette().color(QPalette::Base));
  QPainter painter(&picture_);
  painter.setFont(font());
  const QRectF area(0, 0, width(), height());
  if (root_) {
    DrawNode(painter, root_, area, root_->Level());
    return;
  }
  std::vector<TTreeNode*> tops;
  tops.reserve(tree_.TopLevelCount());
  for (std::size_t i = 0; i < tree_.TopLevelCount(); ++i) tops.push_back(tree_.TopLevel(i));
  DrawChildren(painter, tops, 0, area, 0);
}

void TTreemapView::DrawNode(QPainter& painter, TTreeNode* node, const QRectF& rect, int depth) {
  // Under a pixel there is nothing to see or to click: neither drawn nor descended into.
  if (rect.width() < 1 || rect.height() < 1) return;
  hits_.push_back({rect, node});
  const QColor colour = DepthColour(depth);
  painter.fillRect(rect, colour);
  painter.setPen(colour.darker(170));
  painter.drawRect(rect.adjusted(0, 0, -kFrameWidth, -kFrameWidth));

  QRectF inner = rect.adjusted(2, 2, -2, -2);
  const QFontMetrics metrics = painter.fontMetrics();
  const int line = metrics.height();
  if (inner.height() >= line && inner.width() >= metrics.averageCharWidth() * 3) {
    const QString name =
        metrics.elidedText(NameOf(node), Qt::ElideMiddle, static_cast<int>(inner.width()) - 2);
    // A lone ellipsis tells nothing: the tooltip names such a folder.
    if (name.size() > 1) {
      painter.setPen(Qt::black);
      painter.drawText(inner.adjusted(1, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop, name);
      inner.setTop(inner.top() + line);
    }
  }
  if (node->ChildCount() == 0 || inner.width() < 1 || inner.height() < 1) return;
  std::vector<TTreeNode*> children;
  children.reserve(node->ChildCount());
  std::int64_t childBytes = 0;
  for (std::size_t i = 0; i < node->ChildCount(); ++i) {
    children.push_back(node->Child(i));
    childBytes += static_cast<std::int64_t>(SizeOf(node->Child(i)));
  }
  DrawChildren(painter, children, std::max<std::int64_t>(0, node->Bytes() - childBytes), inner,
               depth + 1);
}

void TTreemapView::DrawChildren(QPainter& painter, const std::vector<TTreeNode*>& children,
                                std::int64_t ownFiles, const QRectF& area, int depth) {
  std::vector<double> sizes;
  sizes.reserve(children.size() + 1);
  for (TTreeNode* child : children) sizes.push_back(SizeOf(child));
  sizes.push_back(static_cast<double>(ownFiles));
  const std::vector<QRectF> rects = SquarifiedLayout(sizes, area);
  // The files lying directly in the folder: one plain rectangle.
  const QRectF& files = rects.back();
  if (files.width() >= 1 && files.height() >= 1) {
    painter.fillRect(files, DepthColour(depth - 1).lighter(125));
  }
  for (std::size_t i = 0; i < children.size(); ++i) DrawNode(painter, children[i], rects[i], depth);
}

void TTreemapView::paintEvent(QPaintEvent*) {
  if (dirty_ || picture_.size() != size()) Redraw();
  QPainter painter(this);
  painter.drawPixmap(0, 0, picture_);
  if (hasFocus()) {
    painter.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
  }
}

void TTreemapView::resizeEvent(QResizeEvent* event) {
  dirty_ = true;
  QWidget::resizeEvent(event);
}

void TTreemapView::showEvent(QShowEvent* event) {
  dirty_ = true;  // changes while hidden were only noted
  QWidget::showEvent(event);
}

void TTreemapView::mousePressEvent(QMouseEvent* event) {
  setFocus(Qt::MouseFocusReason);
  if (event->button() == Qt::LeftButton) {
    if (TTreeNode* node = NodeAt(event->position().toPoint())) emit NodeClicked(node);
  }
}

void TTreemapView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  if (TTreeNode* node = NodeAt(event->position().toPoint())) SetRoot(node);
}

void TTreemapView::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Backspace) {
    Up();
    return;
  }
  QWidget::keyPressEvent(event);
}

void TTreemapView::contextMenuEvent(QContextMenuEvent* event) {
  emit ContextMenuRequested(NodeAt(event->pos()), event->globalPos());
}

bool TTreemapView::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    if (TTreeNode* node = NodeAt(help->pos())) {
      QToolTip::showText(help->globalPos(),
                         PathOf(node) + "\n" + QString::fromStdString(node->Label()), this);
    } else {
      QToolTip::hideText();
    }
    return true;
  }
  return QWidget::event(event);
}
