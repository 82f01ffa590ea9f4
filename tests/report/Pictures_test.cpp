#include <QApplication>
#include <QHeaderView>
#include <QSplitter>
#include <QTableView>
#include <QTest>
#include <QTreeView>
#include <random>

#include "ReportSupport.h"
#include "report/FilesModel.h"
#include "report/FilesPane.h"
#include "report/ReportModel.h"
#include "report/ReportViews.h"
#include "report/ScanControl.h"
#include "report/ShareBars.h"
#include "report/TreemapLayout.h"
#include "report/TreemapView.h"
#include "report/TypeColours.h"
#include "scan/ScanDocument.h"

namespace {

// ---------------------------------------------------------------- layout

struct LayoutCase {
  const char* name;
  std::vector<double> sizes;
  QRectF area;
};

std::vector<double> ManySiblings() {
  std::mt19937 random(7);
  std::lognormal_distribution<double> size(8, 2);
  std::vector<double> sizes(100000);
  for (double& s : sizes) s = std::floor(size(random));
  return sizes;
}

void PrintTo(const LayoutCase& c, std::ostream* out) {
  *out << c.name << " (" << c.sizes.size() << " sizes)";
}

class LayoutTest : public testing::TestWithParam<LayoutCase> {};

TEST_P(LayoutTest, AreasAreProportionalInsideTheAreaWithoutOverlap) {
  const LayoutCase& c = GetParam();
  const std::vector<QRectF> rects = SquarifiedLayout(c.sizes, c.area);
  ASSERT_EQ(rects.size(), c.sizes.size());
  double total = 0;
  for (double s : c.sizes) total += std::max(s, 0.0);
  const double whole = c.area.width() * c.area.height();
  const double eps = 1e-6 * whole;
  double covered = 0;
  for (std::size_t i = 0; i < rects.size(); ++i) {
    const QRectF& r = rects[i];
    const double expected = c.sizes[i] > 0 ? c.sizes[i] / total * whole : 0;
    EXPECT_NEAR(r.width() * r.height(), expected, eps + 1e-9 * expected) << i;
    EXPECT_GE(r.width(), 0) << i;
    EXPECT_GE(r.height(), 0) << i;
    if (r.isEmpty()) continue;
    EXPECT_GE(r.left(), c.area.left() - 1e-6) << i;
    EXPECT_GE(r.top(), c.area.top() - 1e-6) << i;
    EXPECT_LE(r.right(), c.area.right() + 1e-6) << i;
    EXPECT_LE(r.bottom(), c.area.bottom() + 1e-6) << i;
    covered += r.width() * r.height();
  }
  // Inside the area and covering all of it: no room for an overlap.
  if (total > 0) {
    EXPECT_NEAR(covered, whole, eps);
  }
  // Pairwise, where that is affordable.
  if (rects.size() <= 200) {
    for (std::size_t i = 0; i < rects.size(); ++i) {
      for (std::size_t j = i + 1; j < rects.size(); ++j) {
        const QRectF both = rects[i].intersected(rects[j]);
        EXPECT_LE(both.width() * both.height(), eps) << i << " and " << j;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, LayoutTest,
    testing::Values(LayoutCase{"single", {42}, QRectF(3, 5, 300, 100)},
                    LayoutCase{"mixed", {500, 1, 250, 250, 60, 3000, 7}, QRectF(0, 0, 640, 480)},
                    LayoutCase{"zerosAndTiny", {0, 1e-9, 1e9, 0, -5, 1}, QRectF(0, 0, 50, 800)},
                    LayoutCase{"allZero", {0, 0}, QRectF(0, 0, 10, 10)},
                    LayoutCase{"equal", std::vector<double>(150, 3.0), QRectF(10, 10, 97, 31)},
                    LayoutCase{"manySiblings", ManySiblings(), QRectF(0, 0, 1200, 800)}),
    [](const testing::TestParamInfo<LayoutCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- window

TTreeNode* Find(const TReportTree& tree, const std::string& name) {
  for (TTreeNode* n = tree.First(); n; n = TReportTree::NextInTreeOrder(n)) {
    if (n->Label().size() >= name.size() &&
        n->Label().compare(n->Label().size() - name.size(), name.size(), name) == 0)
      return n;
  }
  return nullptr;
}

// A point where the treemap shows the node itself, not one of its children.
QPoint PointOf(const TTreemapView& map, const TTreeNode* node) {
  const QRect r = map.RectOf(node).toAlignedRect();
  for (int y = r.top(); y <= r.bottom(); ++y) {
    for (int x = r.left(); x <= r.right(); ++x) {
      if (map.NodeAt({x, y}) == node) return {x, y};
    }
  }
  return {-1, -1};
}

void ScanInto(TUsageReport& window, const QString& folder) {
  UsageOptions options;
  options.Folders = {folder.toStdString()};
  options.ClearReport = true;
  window.RunScan(options);
}

TEST_F(ReportTest, BarsTreemapClicksAndTheViewItemsAcrossARestart) {
  const QString root = MakeFolders();
  {
    auto window = NewWindow();
    window->show();
    ScanInto(*window, root);
    TReportModel* model = window->Model();
    TTreeNode* a = Find(window->Tree(), " a");
    TTreeNode* c2 = Find(window->Tree(), " c2");
    ASSERT_TRUE(a && c2);
    // root holds 61348 bytes, a 53248 of them; root is the only top-level node.
    EXPECT_EQ(model->data(model->IndexOf(a, TReportModel::kShareColumn)).toString(), "86.8%");
    EXPECT_EQ(model->data(model->IndexOf(window->Tree().TopLevel(0), TReportModel::kShareColumn))
                  .toString(),
              "100.0%");
    EXPECT_FALSE(window->resultField->isColumnHidden(TReportModel::kShareColumn));
    // A label edited by hand has no size, so no share and no bar either.
    TTreeNode* b = Find(window->Tree(), " b");
    window->Tree().SetLabel(b, "notes");
    EXPECT_FALSE(model->data(model->IndexOf(b, TReportModel::kShareColumn)).isValid());
    EXPECT_FALSE(
        model->data(model->IndexOf(b, TReportModel::kShareColumn), TReportModel::kShareRole)
            .isValid());

    Trigger(*window, "Treemap1");
    window->resize(700, 600);
    window->Splitter1->setSizes({200, 400});
    QApplication::processEvents();
    TTreemapView* map = window->Treemap1;
    ASSERT_TRUE(map->isVisible());
    map->Redraw();
    // Areas follow the sizes: a holds 53248 of 61348 bytes.
    const QRectF ra = map->RectOf(a);
    const QRectF rroot = map->RectOf(window->Tree().TopLevel(0));
    EXPECT_NEAR(ra.width() * ra.height() / (rroot.width() * rroot.height()), 0.868, 0.08);

    // A click on the deep c2 selects it in the tree, its ancestors expanded.
    const QPoint inC2 = map->RectOf(c2).center().toPoint();
    ASSERT_EQ(map->NodeAt(inC2), c2);
    QTest::mouseClick(map, Qt::LeftButton, {}, inC2);
    EXPECT_EQ(window->Tree().Selected(), c2);
    EXPECT_TRUE(window->resultField->isExpanded(model->IndexOf(c2->Parent())));
    EXPECT_EQ(map->Root(), nullptr);  // pointing at a node does not re-root the picture
    // A double click on a makes it the root; Backspace goes back up.
    map->Redraw();
    const QPoint inA = PointOf(*map, a);
    ASSERT_EQ(map->NodeAt(inA), a);
    QTest::mouseDClick(map, Qt::LeftButton, {}, inA);
    EXPECT_EQ(map->Root(), a);
    map->Redraw();
    EXPECT_EQ(map->RectOf(a), QRectF(map->rect()));
    QTest::keyClick(map, Qt::Key_Backspace);
    EXPECT_EQ(map->Root(), window->Tree().TopLevel(0));

    // The picture follows the tree: a new folder shows after the next redraw.
    TTreeNode* added = window->Tree().AddChild(window->Tree().TopLevel(0), "new");
    window->Tree().SetResult(added, 200000, false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !map->RectOf(added).isEmpty(); }));
    // Deleting the root's subtree, or loading a report, leaves nothing dangling.
    window->Tree().Delete(window->Tree().TopLevel(0));
    EXPECT_EQ(map->Root(), nullptr);
    EXPECT_EQ(map->NodeAt(inA), nullptr);
    ScanInto(*window, root);
    map->Redraw();
    map->SetRoot(window->Tree().TopLevel(0));
    window->Tree().LoadText("....1K  x\r\n");
    EXPECT_EQ(map->Root(), nullptr);
    EXPECT_EQ(map->NodeAt(inA), nullptr);

    ScanInto(*window, root);
    Trigger(*window, "ShareBars1");
    EXPECT_TRUE(window->resultField->isColumnHidden(TReportModel::kShareColumn));
    window->Splitter1->setSizes({250, 350});
    QApplication::processEvents();
    Trigger(*window, "Exit1");
  }
  auto window = NewWindow();
  window->show();
  QApplication::processEvents();
  EXPECT_FALSE(window->FindAction("ShareBars1")->isChecked());
  EXPECT_TRUE(window->resultField->isColumnHidden(TReportModel::kShareColumn));
  EXPECT_TRUE(window->FindAction("Treemap1")->isChecked());
  EXPECT_TRUE(window->Treemap1->isVisible());
  const QList<int> sizes = window->Splitter1->sizes();
  ASSERT_EQ(sizes.size(), 2);
  EXPECT_NEAR(double(sizes[1]) / (sizes[0] + sizes[1]), 350.0 / 600, 0.02);
}

// The names the view shows under a node, in the view's order.
std::vector<std::string> ViewChildren(TUsageReport& window, TTreeNode* parent) {
  QAbstractItemModel* model = window.resultField->model();
  const QModelIndex p = window.ViewIndexOf(parent);
  std::vector<std::string> names;
  for (int row = 0; row < model->rowCount(p); ++row) {
    const std::string label = window.NodeAt(model->index(row, 0, p))->Label();
    names.push_back(label.substr(label.rfind(' ') + 1));
  }
  return names;
}

TEST_F(ReportTest, LargestFirstOrdersTheViewOnlyAndIsRemembered) {
  const QString root = MakeFolders();
  {
    auto window = NewWindow();
    window->show();
    ScanInto(*window, root);
    TReportTree& tree = window->Tree();
    TTreeNode* top = tree.TopLevel(0);
    TTreeNode* a = Find(tree, " a");
    window->resultField->expand(window->ViewIndexOf(top));
    window->resultField->setCurrentIndex(window->ViewIndexOf(a));
    const std::string reportOrder = tree.TextForm();
    EXPECT_EQ(ViewChildren(*window, top), (std::vector<std::string>{"b", "c", "a"}));

    Trigger(*window, "LargestFirst1");
    // a 53248, c 5000, b 100 bytes; a2 40K before a1 2K.
    EXPECT_EQ(ViewChildren(*window, top), (std::vector<std::string>{"a", "c", "b"}));
    EXPECT_EQ(ViewChildren(*window, a), (std::vector<std::string>{"a2", "a1"}));
    EXPECT_TRUE(window->resultField->isExpanded(window->ViewIndexOf(top)));
    EXPECT_EQ(window->NodeAt(window->resultField->currentIndex()), a);
    // A node that gets its size takes its place; the report keeps its order.
    TTreeNode* added = tree.AddChild(top, "big");
    tree.SetResult(added, 200000, false);
    EXPECT_EQ(ViewChildren(*window, top), (std::vector<std::string>{"big", "a", "c", "b"}));
    tree.Delete(added);
    EXPECT_EQ(tree.TextForm(), reportOrder);
    Trigger(*window, "Sort1");
    EXPECT_EQ(ViewChildren(*window, top), (std::vector<std::string>{"a", "c", "b"}));
    // A rescan in this view keeps the order.
    ScanInto(*window, root);
    EXPECT_EQ(ViewChildren(*window, tree.TopLevel(0)), (std::vector<std::string>{"a", "c", "b"}));
    Trigger(*window, "Exit1");
  }
  auto window = NewWindow();
  window->show();
  QApplication::processEvents();
  EXPECT_TRUE(window->FindAction("LargestFirst1")->isChecked());
  TTreeNode* top = window->Tree().TopLevel(0);
  ASSERT_TRUE(top);
  EXPECT_EQ(ViewChildren(*window, top), (std::vector<std::string>{"a", "c", "b"}));
  Trigger(*window, "LargestFirst1");
  EXPECT_EQ(ViewChildren(*window, top), (std::vector<std::string>{"b", "c", "a"}));
}

void ClickHeader(TUsageReport& window, int column) {
  QHeaderView* header = window.resultField->header();
  const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
}

TEST_F(ReportTest, HeaderSortsTheViewByAnyColumnAndColumnsAreRemembered) {
  const QString root = MakeFolders();
  {
    auto window = NewWindow();
    window->resize(900, 400);
    window->show();
    ScanInto(*window, root);
    TReportModel* model = window->Model();
    TTreeNode* top = window->Tree().TopLevel(0);
    TTreeNode* a = Find(window->Tree(), " a");
    // Files below each folder, from the scan: root 6, a 3 (a.bin, a1/x.bin, a2/y.bin).
    EXPECT_EQ(model->data(model->IndexOf(top, TReportModel::kFilesColumn)).toString(), "6");
    EXPECT_EQ(model->data(model->IndexOf(a, TReportModel::kFilesColumn)).toString(), "3");
    // The window keeps what the scan read, files and all.
    ASSERT_EQ(window->Scan().Documents().size(), 1u);
    EXPECT_EQ(window->Scan().Documents()[0]->FileCount(), 6u);

    window->resultField->expand(window->ViewIndexOf(top));
    ClickHeader(*window, TReportModel::kFilesColumn);  // most files first; b and c tie
    EXPECT_EQ(ViewChildren(*window, top), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_TRUE(window->resultField->isExpanded(window->ViewIndexOf(top)));
    ClickHeader(*window, TReportModel::kFilesColumn);
    EXPECT_EQ(window->Views().SortOrder(), Qt::AscendingOrder);
    EXPECT_EQ(ViewChildren(*window, top), (std::vector<std::string>{"b", "c", "a"}));
    ClickHeader(*window, TReportModel::kFilesColumn);  // the report's own order again
    EXPECT_EQ(window->Views().SortColumn(), -1);
    ClickHeader(*window, TReportModel::kSizeColumn);  // largest first is Largest First
    EXPECT_TRUE(window->FindAction("LargestFirst1")->isChecked());
    EXPECT_EQ(ViewChildren(*window, top), (std::vector<std::string>{"a", "c", "b"}));
    ClickHeader(*window, TReportModel::kFilesColumn);
    EXPECT_FALSE(window->FindAction("LargestFirst1")->isChecked());
    // Save As keeps the report's order whatever the view shows.
    EXPECT_EQ(window->Tree().TopLevel(0)->Child(0)->Name(), "b");

    window->resultField->header()->resizeSection(TReportModel::kSizeColumn, 123);
    window->Views().ShowColumn(TReportModel::kFilesColumn, false);
    Trigger(*window, "Exit1");
  }
  auto window = NewWindow();
  window->show();
  QApplication::processEvents();
  EXPECT_EQ(window->resultField->header()->sectionSize(TReportModel::kSizeColumn), 123);
  EXPECT_TRUE(window->resultField->isColumnHidden(TReportModel::kFilesColumn));
  EXPECT_EQ(window->Views().SortColumn(), TReportModel::kFilesColumn);
  EXPECT_EQ(window->Views().SortOrder(), Qt::DescendingOrder);
  // A report read back is no scan's: it has no document and no file counts.
  EXPECT_TRUE(window->Scan().Documents().empty());
  EXPECT_FALSE(window->Tree().TopLevel(0)->HasFiles());
  window->Views().ShowColumn(TReportModel::kFilesColumn, true);
  EXPECT_EQ(window->resultField->header()->sectionSize(TReportModel::kSizeColumn), 123);
}

TEST(ReadableSize, BinaryUnitsLikeTheLabels) {
  EXPECT_EQ(ReadableSize(0), "0 B");
  EXPECT_EQ(ReadableSize(1023), "1023 B");
  EXPECT_EQ(ReadableSize(40 * 1024), "40 KiB");
  EXPECT_EQ(ReadableSize(512LL << 20), "512 MiB");
  EXPECT_EQ(ReadableSize((12LL << 29) / 5), "1.2 GiB");
  EXPECT_EQ(ReadableSize(10239), "10 KiB");  // 9.999 KiB rounds to a whole 10
}

TEST_F(ReportTest, TreemapTilesFilesByTypeAndGoesToAClickedFile) {
  const QString root = TempPath("files");
  auto file = [&](const QString& path, qint64 bytes) {
    QDir().mkpath(QFileInfo(root + "/" + path).path());
    QFile f(root + "/" + path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_TRUE(f.resize(bytes));
  };
  file("d/big.dat", 4000000);
  file("d/mid.txt", 2000000);
  for (int i = 0; i < 300; ++i) file(QString("d/tiny%1.txt").arg(i), 10);
  file("d/sub/other.bin", 1000000);
  auto window = NewWindow();
  window->resize(900, 700);
  window->show();
  Trigger(*window, "Treemap1");
  ScanInto(*window, root);
  window->TypeColours().SetTypes({"dat", "txt", "bin"});
  window->Splitter1->setSizes({100, 600});
  QApplication::processEvents();
  TTreemapView* map = window->Treemap1;
  map->Redraw();

  // The big file's tile takes its share of the area of its folder's files.
  const std::string folder = (root + "/d").toStdString();
  const QRectF big = map->FileRectOf(folder, "big.dat");
  const QRectF mid = map->FileRectOf(folder, "mid.txt");
  ASSERT_FALSE(big.isEmpty());
  ASSERT_FALSE(mid.isEmpty());
  const TFileTile* bigTile = nullptr;
  for (const TFileTile& tile : map->Tiles().tiles) {
    if (tile.kind == TFileTile::File && tile.rect == big) bigTile = &tile;
  }
  ASSERT_NE(bigTile, nullptr);
  double pixels = 0;
  std::int64_t bytes = 0;
  const TFileTile* small = nullptr;
  for (const TFileTile& tile : map->Tiles().tiles) {
    if (tile.area != bigTile->area) continue;
    pixels += tile.rect.width() * tile.rect.height();
    bytes += tile.bytes;
    if (tile.kind == TFileTile::Small) small = &tile;
  }
  EXPECT_EQ(bigTile->bytes, 4000000);
  EXPECT_EQ(bytes, 6003000);
  EXPECT_NEAR(big.width() * big.height() / pixels, 4000000.0 / 6003000, 0.01);
  // The tiny files share one tile.
  ASSERT_NE(small, nullptr);
  EXPECT_EQ(small->file, 300u);
  EXPECT_EQ(small->bytes, 3000);
  for (int i = 0; i < 300; ++i) {
    EXPECT_TRUE(map->FileRectOf(folder, "tiny" + std::to_string(i) + ".txt").isEmpty()) << i;
  }

  // Highlighting a type fades the others.
  const auto pixel = [&](const QRectF& r) {
    return map->grab().toImage().pixelColor(r.center().toPoint());
  };
  EXPECT_EQ(pixel(big), window->TypeColours().Of("dat"));
  window->TypeColours().SetHighlighted(std::string("txt"));
  EXPECT_NE(pixel(big), window->TypeColours().Of("dat"));
  EXPECT_EQ(pixel(mid), window->TypeColours().Of("txt"));

  // A click on the file's tile goes to it: its folder's line, the file in the Files pane.
  TTreeNode* const rootShown = map->Root();
  QTest::mouseClick(map, Qt::LeftButton, {}, big.center().toPoint());
  ASSERT_NE(window->Tree().Selected(), nullptr);
  EXPECT_EQ(TReportTree::PathOf(window->Tree().Selected()), folder);
  const QModelIndex current = window->FilesPane()->Table()->currentIndex();
  EXPECT_EQ(current.siblingAtColumn(TFilesModel::kNameColumn).data().toString(), "big.dat");
  EXPECT_EQ(map->Root(), rootShown);  // going to a file does not re-root the picture
}

TEST_F(ReportTest, ScreenshotsOfBarsAndTreemapAfterScanningUsr) {
  if (!QFileInfo::exists("/usr/share")) GTEST_SKIP() << "no /usr/share to scan";
  auto window = NewWindow();
  window->SetFrameWidth(900);
  window->SetFrameHeight(640);
  window->show();
  UsageOptions options;
  options.Folders = {"/usr/share"};
  options.MaxDepth = 3;
  options.ClearReport = true;
  window->RunScan(options);
  const QModelIndex top = window->Model()->index(0, 0);
  window->resultField->expand(top);
  QApplication::processEvents();
  const QString folder = QString(VORN_SCREENSHOT_DIR);
  QDir().mkpath(folder);
  EXPECT_TRUE(window->grab().save(folder + "/report-bars.png"));
  Trigger(*window, "Treemap1");
  window->Splitter1->setSizes({220, 420});
  QApplication::processEvents();
  window->Treemap1->Redraw();
  window->Treemap1->update();
  QApplication::processEvents();
  EXPECT_TRUE(window->grab().save(folder + "/report-treemap.png"));
  EXPECT_FALSE(window->Treemap1->RectOf(window->Tree().TopLevel(0)).isEmpty());
}

}  // namespace
