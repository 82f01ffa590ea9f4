#include <QHeaderView>
#include <QTableView>
#include <QTest>
#include <QTreeView>

#include "ReportSupport.h"
#include "dialogs/DialogCommon.h"
#include "report/FilesModel.h"
#include "report/FilesPane.h"
#include "report/ReportComparison.h"
#include "report/ReportModel.h"
#include "report/ReportViews.h"
#include "report/ScanControl.h"

namespace {

class ComparisonTest : public ReportTest {
 protected:
  void SetUp() override {
    ReportTest::SetUp();
    root = TempPath("root");
    window = NewWindow();
  }

  // Sizes in whole blocks, so a file's length and its blocks change alike.
  void Write(const QString& relative, int blocks) {
    const QString path = root + "/" + relative;
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(QByteArray(blocks * 4096, 'x'));
  }

  void Scan() {
    answer = [&](QDialog& d) {
      FillDialog(*qobject_cast<TUsageDialog*>(&d), {root}, "0", "0", true);
      return int(mrOk);
    };
    Trigger(*window, "Dialog1");
    answer = nullptr;
  }

  TTreeNode* Node(const QString& relative) const {
    const std::string path = (root + "/" + relative).toStdString();
    for (TTreeNode* n = window->Tree().TopLevel(0); n; n = TReportTree::NextInTreeOrder(n)) {
      if (TReportTree::PathOf(n) == path) return n;
    }
    ADD_FAILURE() << "no line for " << path;
    return nullptr;
  }

  QVariant Change(TTreeNode* node, int role) const {
    return window->Model()->IndexOf(node, TReportModel::kChangeColumn).data(role);
  }

  // The names of the root line's rows, in the view's order.
  QStringList Order() const {
    QTreeView* view = window->resultField;
    const QModelIndex top = window->ViewIndexOf(window->Tree().TopLevel(0));
    QStringList names;
    for (int r = 0; r < view->model()->rowCount(top); ++r) {
      const QModelIndex row = view->model()->index(r, 0, top);
      TTreeNode* node = window->NodeAt(row);
      names << (node ? QString::fromStdString(node->Name()) : row.data().toString());
    }
    return names;
  }

  QString root;
  std::unique_ptr<TUsageReport> window;
};

// A tree scanned, changed (a folder grown, one shrunk, one added, one
// removed) and scanned again, then compared with the first scan: each
// line's change in bytes, the gone folder's line after the others, the
// order by change, each file's change, and a new scan ending it all.
TEST_F(ComparisonTest, ChangesOfTheLinesTheirOrderAndTheEnd) {
  Write("grow/g.bin", 2);
  Write("shrink/s.bin", 10);
  Write("keep/k.bin", 1);
  Write("gone/x.bin", 3);
  Scan();
  ASSERT_EQ(window->Scan().Documents().size(), 1u);
  const std::shared_ptr<const TScanDocument> first = window->Scan().Documents().front();
  const std::int64_t goneBytes = Node("gone")->Bytes();
  ASSERT_GT(goneBytes, 0);

  Write("grow/g.bin", 7);
  Write("shrink/s.bin", 1);
  Write("new/n.bin", 2);
  ASSERT_TRUE(QDir(root + "/gone").removeRecursively());
  Scan();
  EXPECT_EQ(window->Model()->Changes(), nullptr);
  EXPECT_TRUE(window->resultField->isColumnHidden(TReportModel::kChangeColumn));

  window->CompareWith(first, "the first scan");
  QTRY_VERIFY_WITH_TIMEOUT(window->Comparison().Changes() != nullptr, 20000);
  EXPECT_FALSE(window->resultField->isColumnHidden(TReportModel::kChangeColumn));

  TTreeNode* top = window->Tree().TopLevel(0);
  EXPECT_EQ(Change(Node("grow"), TReportModel::kSortRole).toLongLong(), 5 * 4096);
  EXPECT_EQ(Change(Node("shrink"), TReportModel::kSortRole).toLongLong(), -9 * 4096);
  EXPECT_EQ(Change(Node("keep"), TReportModel::kSortRole).toLongLong(), 0);
  EXPECT_EQ(Change(Node("keep"), Qt::DisplayRole).toString(), "");
  TTreeNode* added = Node("new");
  EXPECT_EQ(Change(added, TReportModel::kSortRole).toLongLong(), added->Bytes());
  EXPECT_EQ(Change(added, Qt::DisplayRole).toString(), "new");
  EXPECT_EQ(Change(top, TReportModel::kSortRole).toLongLong(),
            5 * 4096 - 9 * 4096 + added->Bytes() - goneBytes);

  // The gone folder: one line after the root's own, with its old size, in
  // no tree.
  TReportModel& model = *window->Model();
  const QModelIndex topIndex = model.IndexOf(top);
  ASSERT_EQ(model.rowCount(topIndex), static_cast<int>(top->ChildCount()) + 1);
  const QModelIndex gone = model.index(static_cast<int>(top->ChildCount()), 0, topIndex);
  ASSERT_NE(model.GoneOf(gone), nullptr);
  EXPECT_EQ(model.NodeOf(gone), nullptr);
  EXPECT_EQ(gone.parent(), topIndex);
  EXPECT_EQ(gone.data().toString(), "gone");
  EXPECT_EQ(gone.siblingAtColumn(TReportModel::kSizeColumn).data(TReportModel::kSortRole),
            qint64{goneBytes});
  EXPECT_EQ(gone.siblingAtColumn(TReportModel::kChangeColumn).data(TReportModel::kSortRole),
            qint64{-goneBytes});
  EXPECT_EQ(top->ChildCount(), 4u);  // grow, keep, new, shrink

  // Largest growth first; the gone folder among them by what it lost.
  window->Views().SortBy(TReportModel::kChangeColumn, Qt::DescendingOrder);
  ASSERT_LT(added->Bytes(), 5 * 4096);
  ASSERT_LT(goneBytes, 9 * 4096);
  EXPECT_EQ(Order(), QStringList({"grow", "new", "keep", "gone", "shrink"}));
  window->Views().SortBy(TReportModel::kChangeColumn, Qt::AscendingOrder);
  EXPECT_EQ(Order(), QStringList({"shrink", "gone", "keep", "new", "grow"}));

  // The Files pane: each file's change.
  window->resultField->setCurrentIndex(window->ViewIndexOf(Node("grow")));
  const QAbstractItemModel* files = window->FilesPane()->Table()->model();
  ASSERT_EQ(files->rowCount(), 1);
  EXPECT_EQ(files->index(0, TFilesModel::kChangeColumn).data(TFilesModel::kSortRole),
            qint64{5 * 4096});
  window->resultField->setCurrentIndex(window->ViewIndexOf(added));
  ASSERT_EQ(files->rowCount(), 1);
  EXPECT_EQ(files->index(0, TFilesModel::kChangeColumn).data().toString(), "new");

  // A new scan: the column and the gone line go, the order is the report's.
  Scan();
  EXPECT_EQ(window->Comparison().Changes(), nullptr);
  EXPECT_EQ(window->Model()->Changes(), nullptr);
  EXPECT_TRUE(window->resultField->isColumnHidden(TReportModel::kChangeColumn));
  EXPECT_NE(window->Views().SortColumn(), TReportModel::kChangeColumn);
  top = window->Tree().TopLevel(0);
  EXPECT_EQ(model.rowCount(model.IndexOf(top)), static_cast<int>(top->ChildCount()));
}

}  // namespace
