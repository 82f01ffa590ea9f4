#include "report/TreemapView.h"

#include <QContextMenuEvent>
#include <QFutureWatcher>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QtConcurrent/QtConcurrentRun>
#include <optional>
#include <unordered_map>

#include "report/BackgroundPool.h"
#include "report/ReportModel.h"
#include "report/ScanControl.h"
#include "report/ShareBars.h"
#include "report/TypeColours.h"
#include "scan/ScanDocument.h"

namespace {
// A changing tree is drawn again at most this often.
constexpr int kRedrawMs = 250;
constexpr int kFrameWidth = 1;
// Files whose tile would be smaller than this (square pixels) share one
// tile, as do those beyond the largest few hundred of a folder.
constexpr double kMinimumTileArea = 16;
constexpr std::size_t kMaximumTiles = 300;
// Up to this many files are laid out at once; more, off the interface thread.
constexpr std::uint64_t kFilesLaidOutHere = 150000;
constexpr int kLegendMargin = 4;

// A folder's tile: filled, framed a shade darker, and named when there is room.
// A folder a stopped scan left unfinished is hatched, as not final.
template <class Hit>
void PaintFolderTile(QPainter& painter, const Hit& hit, const QColor& colour) {
  painter.fillRect(hit.rect, colour);
  if (hit.node->Incomplete())
    painter.fillRect(hit.rect, QBrush(colour.darker(125), Qt::BDiagPattern));
  painter.setPen(colour.darker(170));
  painter.drawRect(hit.rect.adjusted(0, 0, -kFrameWidth, -kFrameWidth));
  if (!hit.name.isEmpty()) {
    painter.setPen(Qt::black);
    painter.drawText(hit.rect.adjusted(3, 2, -2, -2), Qt::AlignLeft | Qt::AlignTop, hit.name);
  }
}

// The legends' lettering, a little smaller than the picture's, and the
// sizes that follow from it.
struct TLegendLettering {
  // Sets it on `painter` too.
  TLegendLettering(const QFont& base, QPainter& painter)
      : font(Smaller(base)), metrics(font), line(metrics.height()), swatch(std::max(8, line - 6)) {
    painter.setFont(font);
  }
  static QFont Smaller(QFont font) {
    font.setPointSizeF(std::max(6.0, font.pointSizeF() * 0.9));
    return font;
  }
  QFont font;
  QFontMetrics metrics;
  int line;
  int swatch;
  static constexpr int gap = 4;
};
// The tile of the files too small to draw one by one: no type's colour.
const QColor kSmallFiles(214, 214, 208);

// Colours by change; unchanged is a quiet grey, so what changed stands out.
const QColor kNewColour(214, 72, 62);
const QColor kGrownColour(245, 168, 112);
const QColor kShrunkColour(104, 168, 224);
const QColor kUnchangedColour(208, 208, 203);
// Above this many files of its own a folder's tiles take its colour: pairing
// them would hold up the interface.
constexpr std::uint64_t kMostFilesPaired = 50000;

QColor ChangeColour(const TReportChanges::Line& line) {
  if (!line.compared) return kUnchangedColour;
  if (line.isNew) return kNewColour;
  return line.change > 0 ? kGrownColour : line.change < 0 ? kShrunkColour : kUnchangedColour;
}

QColor ChangeColour(TScanComparison::FileState state) {
  switch (state) {
    case TScanComparison::FileState::New:
      return kNewColour;
    case TScanComparison::FileState::Grown:
      return kGrownColour;
    case TScanComparison::FileState::Shrunk:
      return kShrunkColour;
    default:
      return kUnchangedColour;
  }
}

// A colour that gives way to a highlighted one.
QColor Faded(const QColor& c) {
  constexpr double kKeep = 0.3;
  const auto mix = [](int v) { return static_cast<int>(v * kKeep + 255 * (1 - kKeep)); };
  return QColor(mix(c.red()), mix(c.green()), mix(c.blue()));
}

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

// A child's folder path from its parent's, as TReportTree::PathOf makes it
// (empty when the labels make no path).
std::string ChildPath(const std::string& parentPath, const TTreeNode* child, bool topLevel) {
  std::string name = child->Name();
  if (topLevel) return !name.empty() && name.front() == '/' ? name : std::string();
  if (parentPath.empty() || name.empty() || name == "." || name == ".." ||
      name.find('/') != std::string::npos) {
    return {};
  }
  std::string path = parentPath;
  if (path.back() != '/') path += '/';
  return path + name;
}
}  // namespace

TTreemapView::TTreemapView(TReportTree& tree, QWidget* parent) : QWidget(parent), tree_(tree) {
  setObjectName("TreemapView1");
  setFocusPolicy(Qt::StrongFocus);
  setMinimumHeight(60);
  redraw_.setSingleShot(true);
  redraw_.setInterval(kRedrawMs);
  connect(&redraw_, &QTimer::timeout, this, [this] {
    laidOut_ = false;
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
  laidOut_ = false;
  update();
}

void TTreemapView::Up() {
  if (CanGoUp()) SetRoot(root_->Parent());
}

bool TTreemapView::CanGoUp() const {
  // Above the only top-level folder is the same picture.
  return root_ && (root_->Parent() || tree_.TopLevelCount() > 1);
}

void TTreemapView::Changed() {
  // Hidden, it only notes that it must draw again; shown, it waits so a
  // scan's many changes cost one drawing per interval.
  if (!isVisible()) {
    laidOut_ = false;
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
  laidOut_ = false;
}

void TTreemapView::AboutToReset() {
  // Every node goes: nothing drawn may be named until the next drawing.
  root_ = nullptr;
  hits_.clear();
  laidOut_ = false;
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

void TTreemapView::ShowFiles(TScanControl& scan, TTypeColours& colours) {
  scan_ = &scan;
  colours_ = &colours;
  connect(&scan, &TScanControl::DocumentsChanged, this, [this] {
    laidOut_ = false;
    Changed();
  });
  // A colour or the highlight changes the paint, never the layout.
  connect(&colours, &TTypeColours::Changed, this, &TTreemapView::Repaint);
  connect(&colours, &TTypeColours::HighlightChanged, this, &TTreemapView::Repaint);
  laidOut_ = false;
  dirty_ = true;
  update();
}

void TTreemapView::SetChanges(std::shared_ptr<const TReportChanges> changes) {
  changes_ = std::move(changes);
  Repaint();
}

void TTreemapView::ColourByChange(bool on) {
  byChange_ = on;
  Repaint();
}

void TTreemapView::Repaint() {
  dirty_ = true;
  update();
}

void TTreemapView::Redraw() {
  LayOut(true);
  Paint();
}

void TTreemapView::LayOut(bool wait) {
  laidOut_ = true;
  dirty_ = true;
  ++generation_;
  hits_.clear();
  areas_.clear();
  areaDepths_.clear();
  areaNodes_.clear();
  areaOwner_ = nullptr;
  areaFiles_ = 0;
  tiles_ = {};
  tileDocuments_.clear();
  const QRectF area(0, 0, width(), height());
  // Folders that hold nothing have no area: an empty picture, not one panel.
  // A root still without a size (being scanned) is drawn by its lines below.
  const auto total = [](const TTreeNode* node) {
    if (node->HasSize()) return SizeOf(node);
    double sum = 0;
    for (std::size_t i = 0; i < node->ChildCount(); ++i) sum += SizeOf(node->Child(i));
    return sum;
  };
  bool any = root_ != nullptr;
  double bytes = root_ ? total(root_) : 0;
  for (std::size_t i = 0; !root_ && i < tree_.TopLevelCount(); ++i) {
    any = true;
    bytes += total(tree_.TopLevel(i));
  }
  empty_ = any && bytes <= 0;
  if (empty_) return;
  if (root_) {
    LayOutNode(root_, area, root_->Level(), TReportTree::PathOf(root_));
  } else {
    std::vector<TTreeNode*> tops;
    tops.reserve(tree_.TopLevelCount());
    for (std::size_t i = 0; i < tree_.TopLevelCount(); ++i) tops.push_back(tree_.TopLevel(i));
    LayOutChildren(tops, 0, area, 0, {}, 0);
  }
  if (!scan_ || scan_->Documents().empty() || areas_.empty()) return;
  auto documents = scan_->Documents();
  if (wait || areaFiles_ <= kFilesLaidOutHere) {
    tiles_ = LayOutFiles(documents, areas_, kMinimumTileArea, kMaximumTiles);
    tileDocuments_ = std::move(documents);
    return;
  }
  // Many files: the folders show at once, their files when they are laid out.
  auto* watcher = new QFutureWatcher<TFileTiles>(this);
  const std::uint64_t generation = generation_;
  connect(watcher, &QFutureWatcher<TFileTiles>::finished, this,
          [this, watcher, generation, documents] {
            watcher->deleteLater();
            if (generation != generation_) return;  // laid out anew meanwhile
            tiles_ = watcher->result();
            tileDocuments_ = documents;
            Repaint();
          });
  watcher->setFuture(QtConcurrent::run(&BackgroundPool(), [documents, areas = areas_] {
    return LayOutFiles(documents, areas, kMinimumTileArea, kMaximumTiles);
  }));
}

void TTreemapView::LayOutNode(TTreeNode* node, const QRectF& rect, int depth,
                              const std::string& path) {
  // Under a pixel there is nothing to see or to click: neither drawn nor descended into.
  if (rect.width() < 1 || rect.height() < 1) return;
  hits_.push_back({rect, node, depth, {}});
  QRectF inner = rect.adjusted(2, 2, -2, -2);
  const QFontMetrics metrics(font());
  const int line = metrics.height();
  if (inner.height() >= line && inner.width() >= metrics.averageCharWidth() * 3) {
    const QString name = metrics.elidedText(
        node->Incomplete() ? NameOf(node) + TReportModel::kIncompleteSuffix : NameOf(node),
        Qt::ElideMiddle, static_cast<int>(inner.width()) - 2);
    // A lone ellipsis tells nothing: the tooltip names such a folder.
    if (name.size() > 1) {
      hits_.back().name = name;
      inner.setTop(inner.top() + line);
    }
  }
  if (inner.width() < 1 || inner.height() < 1) return;
  std::vector<TTreeNode*> children;
  children.reserve(node->ChildCount());
  std::int64_t childBytes = 0, childFiles = 0;
  for (std::size_t i = 0; i < node->ChildCount(); ++i) {
    children.push_back(node->Child(i));
    childBytes += static_cast<std::int64_t>(SizeOf(node->Child(i)));
    childFiles += std::max<std::int64_t>(0, node->Child(i)->Files());
  }
  areaOwner_ = node;
  LayOutChildren(children, std::max<std::int64_t>(0, node->Bytes() - childBytes), inner, depth + 1,
                 path, std::max<std::int64_t>(0, node->Files() - childFiles));
}

void TTreemapView::LayOutChildren(const std::vector<TTreeNode*>& children, std::int64_t ownFiles,
                                  const QRectF& area, int depth, const std::string& path,
                                  std::int64_t ownCount) {
  std::vector<double> sizes;
  sizes.reserve(children.size() + 1);
  for (TTreeNode* child : children) sizes.push_back(SizeOf(child));
  sizes.push_back(static_cast<double>(ownFiles));
  const std::vector<QRectF> rects = SquarifiedLayout(sizes, area);
  // The files lying directly in the folder: one rectangle, tiled by file
  // when a document holds them.
  const QRectF& files = rects.back();
  if (files.width() >= 1 && files.height() >= 1) {
    areas_.push_back({path, files, ownFiles});
    areaDepths_.push_back(depth - 1);
    areaNodes_.push_back(areaOwner_);
    areaFiles_ += static_cast<std::uint64_t>(ownCount);
  }
  areaOwner_ = nullptr;
  for (std::size_t i = 0; i < children.size(); ++i) {
    if (rects[i].width() < 1 || rects[i].height() < 1) continue;
    LayOutNode(children[i], rects[i], depth, ChildPath(path, children[i], depth == 0));
  }
}

void TTreemapView::Paint() {
  dirty_ = false;
  picture_ = QPixmap(size());
  picture_.fill(palette().color(QPalette::Base));
  QPainter painter(&picture_);
  painter.setFont(font());
  if (empty_) {
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, "Nothing to draw: 0 bytes");
    legend_.clear();
    return;
  }
  if (ColouredByChange()) {
    PaintChanges(painter);
    return;
  }
  for (const THit& hit : hits_) PaintFolderTile(painter, hit, DepthColour(hit.depth));
  for (std::size_t a = 0; a < areas_.size(); ++a) {
    painter.fillRect(areas_[a].rect, DepthColour(areaDepths_[a]).lighter(125));
  }
  if (tiles_.tiles.empty() || !colours_) {
    legend_.clear();
    return;
  }
  // Colours by type, once each; a highlighted type stands out, the others fade.
  const std::optional<std::string>& highlighted = colours_->Highlighted();
  std::vector<QColor> colours(tiles_.types.size());
  std::vector<bool> chosen(tiles_.types.size(), false);
  for (std::size_t t = 0; t < colours.size(); ++t) {
    colours[t] = colours_->Of(tiles_.types[t]);
    chosen[t] = highlighted && *highlighted == tiles_.types[t];
    if (highlighted && !chosen[t]) colours[t] = Faded(colours[t]);
  }
  const QColor small = highlighted ? Faded(kSmallFiles) : kSmallFiles;
  for (const TFileTile& tile : tiles_.tiles) {
    if (tile.kind == TFileTile::Rest) continue;  // the area's own shade shows
    const bool file = tile.kind == TFileTile::File;
    const QColor colour = file ? colours[static_cast<std::size_t>(tile.type)] : small;
    painter.fillRect(tile.rect, colour);
    if (tile.rect.width() >= 4 && tile.rect.height() >= 4) {
      painter.setPen(file && chosen[static_cast<std::size_t>(tile.type)] ? QColor(Qt::black)
                                                                         : colour.darker(140));
      painter.drawRect(tile.rect.adjusted(0, 0, -kFrameWidth, -kFrameWidth));
    }
  }
  PaintLegend(painter);
}

void TTreemapView::PaintLegend(QPainter& painter) {
  legend_.clear();
  if (width() < 240 || height() < 120) return;
  const TLegendLettering lettering(font(), painter);
  const QFontMetrics& metrics = lettering.metrics;
  const int line = lettering.line;
  const int swatch = lettering.swatch;
  const int gap = TLegendLettering::gap;
  for (const std::string& type : colours_->Named()) legend_.push_back({{}, type, false});
  legend_.push_back({{}, {}, true});
  // Entries flow in rows no wider than about half the picture.
  const double widest = std::max(160.0, width() * 0.5);
  double x = 0, y = 0, boxWidth = 0;
  std::vector<QString> labels;
  for (TLegendEntry& entry : legend_) {
    const QString label =
        entry.other ? QStringLiteral("other")
        : entry.type.empty()
            ? QStringLiteral("no type")
            : QString::fromUtf8(entry.type.data(), static_cast<qsizetype>(entry.type.size()));
    const double w = swatch + gap + metrics.horizontalAdvance(label) + 2 * gap;
    if (x > 0 && x + w > widest) {
      x = 0;
      y += line;
    }
    entry.rect = QRectF(x, y, w, line);
    labels.push_back(label);
    x += w;
    boxWidth = std::max(boxWidth, x);
  }
  const QRectF box(width() - boxWidth - 2 * gap - kLegendMargin,
                   height() - (y + line) - 2 * gap - kLegendMargin, boxWidth + 2 * gap,
                   y + line + 2 * gap);
  painter.setPen(QColor(120, 120, 120));
  painter.setBrush(QColor(255, 255, 255, 225));
  painter.drawRect(box);
  const std::optional<std::string>& highlighted = colours_->Highlighted();
  for (std::size_t i = 0; i < legend_.size(); ++i) {
    TLegendEntry& entry = legend_[i];
    entry.rect.translate(box.left() + gap, box.top() + gap);
    const QColor colour = entry.other ? TTypeColours::Other() : colours_->Of(entry.type);
    const QRectF square(entry.rect.left() + gap, entry.rect.center().y() - swatch / 2.0, swatch,
                        swatch);
    const bool chosen = !entry.other && highlighted && *highlighted == entry.type;
    painter.setPen(chosen ? QPen(Qt::black, 2) : QPen(colour.darker(150)));
    painter.setBrush(colour);
    painter.drawRect(square);
    QFont face = lettering.font;
    face.setBold(chosen);
    painter.setFont(face);
    painter.setPen(Qt::black);
    painter.drawText(entry.rect.adjusted(2 * gap + swatch, 0, 0, 0),
                     Qt::AlignLeft | Qt::AlignVCenter, labels[i]);
  }
  painter.setBrush(Qt::NoBrush);
  painter.setFont(font());
}

void TTreemapView::PaintChanges(QPainter& painter) {
  legend_.clear();
  for (const THit& hit : hits_) {
    PaintFolderTile(painter, hit, ChangeColour(changes_->OfLine(hit.node)).lighter(112));
  }
  // A folder's own files: each file by its change, once its folder's files
  // are paired; those drawn together, and the rest, as the folder.
  std::vector<QColor> areaColours(areas_.size(), kUnchangedColour);
  for (std::size_t a = 0; a < areas_.size(); ++a) {
    if (areaNodes_[a]) areaColours[a] = ChangeColour(changes_->OfLine(areaNodes_[a]));
    painter.fillRect(areas_[a].rect, areaColours[a].lighter(118));
  }
  std::unordered_map<std::uint64_t, TScanComparison::FileState> states;
  const TScanDocument* pairedDocument = nullptr;
  std::uint32_t pairedFolder = TScanDocument::kNoFolder;
  for (const TFileTile& tile : tiles_.tiles) {
    if (tile.kind == TFileTile::Rest) continue;
    QColor colour = areaColours[tile.area];
    if (tile.kind == TFileTile::File) {
      // The tiles of a folder come together.
      if (tile.document != pairedDocument || tile.folder != pairedFolder) {
        pairedDocument = tile.document;
        pairedFolder = tile.folder;
        states.clear();
        const ScanFolder& folder = tile.document->Folder(tile.folder);
        if (tile.document->KeptFilesEnd(tile.folder) - folder.firstFile <= kMostFilesPaired) {
          for (const auto& f : changes_->FileChanges(tile.document, tile.folder)) {
            if (f.now != TScanComparison::kNoFile) states.emplace(f.now, f.state);
          }
        }
      }
      if (const auto at = states.find(tile.file); at != states.end()) {
        colour = ChangeColour(at->second);
      }
    } else {
      colour = colour.lighter(110);
    }
    painter.fillRect(tile.rect, colour);
    if (tile.rect.width() >= 4 && tile.rect.height() >= 4) {
      painter.setPen(colour.darker(140));
      painter.drawRect(tile.rect.adjusted(0, 0, -kFrameWidth, -kFrameWidth));
    }
  }
  PaintChangeLegend(painter);
}

void TTreemapView::PaintChangeLegend(QPainter& painter) {
  if (width() < 240 || height() < 120) return;
  const TLegendLettering l(font(), painter);
  constexpr int gap = TLegendLettering::gap;
  const std::pair<QString, QColor> entries[] = {{"new", kNewColour},
                                                {"grown", kGrownColour},
                                                {"shrunk", kShrunkColour},
                                                {"unchanged", kUnchangedColour}};
  double boxWidth = 0;
  for (const auto& [label, colour] : entries) {
    boxWidth += l.swatch + gap + l.metrics.horizontalAdvance(label) + 2 * gap;
  }
  const QRectF box(width() - boxWidth - 2 * gap - kLegendMargin,
                   height() - l.line - 2 * gap - kLegendMargin, boxWidth + 2 * gap,
                   l.line + 2 * gap);
  painter.setPen(QColor(120, 120, 120));
  painter.setBrush(QColor(255, 255, 255, 225));
  painter.drawRect(box);
  double x = box.left() + gap;
  for (const auto& [label, colour] : entries) {
    const double w = l.swatch + gap + l.metrics.horizontalAdvance(label) + 2 * gap;
    const QRectF entry(x, box.top() + gap, w, l.line);
    painter.setPen(colour.darker(150));
    painter.setBrush(colour);
    painter.drawRect(
        QRectF(entry.left() + gap, entry.center().y() - l.swatch / 2.0, l.swatch, l.swatch));
    painter.setPen(Qt::black);
    painter.drawText(entry.adjusted(2 * gap + l.swatch, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                     label);
    x += w;
  }
  painter.setBrush(Qt::NoBrush);
  painter.setFont(font());
}

int TTreemapView::TileAt(const QPoint& point) const {
  const QPointF p(point.x() + 0.5, point.y() + 0.5);
  for (std::size_t i = 0; i < tiles_.tiles.size(); ++i) {
    const TFileTile& tile = tiles_.tiles[i];
    if (tile.kind != TFileTile::Rest && tile.rect.contains(p)) return static_cast<int>(i);
  }
  return -1;
}

QRectF TTreemapView::FileRectOf(const std::string& folderPath, const std::string& rawName) const {
  for (const TFileTile& tile : tiles_.tiles) {
    if (tile.kind == TFileTile::File && areas_[tile.area].path == folderPath &&
        tile.document->FileName(tile.file) == rawName) {
      return tile.rect;
    }
  }
  return {};
}

QString TTreemapView::TipOf(const TFileTile& tile) const {
  QString folder = QString::fromStdString(areas_[tile.area].path);
  if (tile.kind == TFileTile::Small) {
    return folder + "\n" +
           (tile.file == 1 ? QStringLiteral("1 smaller file, %1")
                           : QStringLiteral("%1 smaller files, %2").arg(tile.file))
               .arg(ReadableSize(tile.bytes));
  }
  if (!folder.endsWith('/')) folder += '/';
  const std::string_view name = tile.document->FileName(tile.file);
  return folder + QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())) + "\n" +
         ReadableSize(tile.bytes);
}

void TTreemapView::paintEvent(QPaintEvent*) {
  if (!laidOut_) LayOut(false);
  if (dirty_ || picture_.size() != size()) Paint();
  QPainter painter(this);
  painter.drawPixmap(0, 0, picture_);
  // The folder selected in the report, outlined so it shows on every colour:
  // a dark frame with a light one inside it.
  if (const TTreeNode* selected = tree_.Selected()) {
    const QRectF at = RectOf(selected).intersected(QRectF(rect()));
    if (!at.isEmpty()) {
      painter.setBrush(Qt::NoBrush);
      painter.setPen(QPen(Qt::black, 3, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
      painter.drawRect(at.adjusted(1.5, 1.5, -1.5, -1.5));
      if (at.width() > 8 && at.height() > 8) {
        painter.setPen(QPen(Qt::white, 1));
        painter.drawRect(at.adjusted(3.5, 3.5, -4.5, -4.5));
      }
    }
  }
  if (hasFocus()) {
    painter.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
  }
}

void TTreemapView::resizeEvent(QResizeEvent* event) {
  laidOut_ = false;
  QWidget::resizeEvent(event);
}

void TTreemapView::showEvent(QShowEvent* event) {
  laidOut_ = false;  // changes while hidden were only noted
  QWidget::showEvent(event);
}

void TTreemapView::mousePressEvent(QMouseEvent* event) {
  setFocus(Qt::MouseFocusReason);
  if (event->button() != Qt::LeftButton) return;
  const QPoint point = event->position().toPoint();
  const QPointF at(point.x() + 0.5, point.y() + 0.5);
  for (const TLegendEntry& entry : legend_) {
    if (!entry.rect.contains(at)) continue;
    // A type's entry highlights its files; a second click ends that.
    if (!entry.other && colours_) {
      const bool chosen = colours_->Highlighted() == entry.type;
      colours_->SetHighlighted(chosen ? std::nullopt : std::optional<std::string>(entry.type));
    }
    return;
  }
  const int tile = TileAt(point);
  if (tile >= 0 && tiles_.tiles[static_cast<std::size_t>(tile)].kind == TFileTile::File) {
    const TFileTile& file = tiles_.tiles[static_cast<std::size_t>(tile)];
    emit FileClicked(areas_[file.area].path, std::string(file.document->FileName(file.file)));
    return;
  }
  if (TTreeNode* node = NodeAt(point)) emit NodeClicked(node);
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
    if (const int tile = TileAt(help->pos()); tile >= 0) {
      QToolTip::showText(help->globalPos(), TipOf(tiles_.tiles[static_cast<std::size_t>(tile)]),
                         this);
    } else if (TTreeNode* node = NodeAt(help->pos())) {
      QString tip = PathOf(node) + "\n" + QString::fromStdString(node->Label());
      if (node->Incomplete()) tip += "\n" + TReportModel::kIncompleteTip;
      QToolTip::showText(help->globalPos(), tip, this);
    } else {
      QToolTip::hideText();
    }
    return true;
  }
  return QWidget::event(event);
}
