#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTest>
#include <QTreeView>

#include "ReportSupport.h"
#include "dialogs/DialogCommon.h"
#include "report/FilesModel.h"
#include "report/FilesPane.h"
#include "report/FindModel.h"
#include "report/FindWindow.h"
#include "report/ScanControl.h"

namespace {

class FindWindowTest : public ReportTest {
 protected:
  void SetUp() override {
    ReportTest::SetUp();
    root = TempPath("root");
    Write("docs/Report.txt", 100);
    Write("docs/notes.md", 50);
    Write("pics/report-2024.png", 300);
    Write("pics/old/deeper/reports/x.bin", 5);
    window = NewWindow();
    // Lines down to pics/old only: deeper folders are in the scan but have
    // no line of their own.
    answer = [&](QDialog& d) {
      FillDialog(*qobject_cast<TUsageDialog*>(&d), {root}, "2", "0", true);
      return int(mrOk);
    };
    Trigger(*window, "Dialog1");
    answer = nullptr;
    Trigger(*window, "Find1");
    find = window->findChild<TFindWindow*>("FindWindow");
    ASSERT_NE(find, nullptr);
  }

  void Write(const QString& relative, int bytes) {
    const QString path = root + "/" + relative;
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(bytes, 'x'));
  }

  // Types the text as a user would and waits for the search it starts.
  void Type(const QString& text) {
    find->Text()->clear();
    QTest::keyClicks(find->Text(), text);
    EXPECT_TRUE(find->Searching());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !find->Searching(); }, 10000));
  }

  // "path below root" a row, in the table's order.
  QStringList Rows() const {
    QStringList rows;
    const QAbstractItemModel* shown = find->Table()->model();
    for (int r = 0; r < shown->rowCount(); ++r) {
      rows << shown->index(r, TFindModel::kPathColumn).data().toString().mid(root.size() + 1);
    }
    return rows;
  }

  int RowOf(const QString& below) const { return static_cast<int>(Rows().indexOf(below)); }

  std::string CurrentLine() const {
    return TReportTree::PathOf(window->NodeAt(window->resultField->currentIndex()));
  }

  QString root;
  std::unique_ptr<TUsageReport> window;
  TFindWindow* find = nullptr;
};

// Part of a name finds files and folders without regard to case; a
// pattern matches whole names; sizes sort by their numbers; a new scan
// or none searches again.
TEST_F(FindWindowTest, ListsMatchingFilesAndFolders) {
  Type("REPORT");
  QStringList rows = Rows();
  rows.sort();
  EXPECT_EQ(rows,
            (QStringList{"docs/Report.txt", "pics/old/deeper/reports", "pics/report-2024.png"}));
  EXPECT_EQ(find->Count()->text(), "3 found");
  find->Table()->sortByColumn(TFindModel::kSizeColumn, Qt::DescendingOrder);
  EXPECT_EQ(Rows(),
            (QStringList{"pics/report-2024.png", "docs/Report.txt", "pics/old/deeper/reports"}));

  Type("*.md");
  EXPECT_EQ(Rows(), QStringList{"docs/notes.md"});
  EXPECT_EQ(find->Count()->text(), "1 found");
  Type("*.mdx");
  EXPECT_TRUE(Rows().isEmpty());
  EXPECT_EQ(find->Count()->text(), "Nothing found");

  // Hits point into the scans: a new scan searches again, and so does a
  // report with no scan behind it.
  Type("notes");
  EXPECT_EQ(Rows(), QStringList{"docs/notes.md"});
  Write("docs/more-notes.txt", 1);
  answer = [&](QDialog& d) {
    FillDialog(*qobject_cast<TUsageDialog*>(&d), {root}, "2", "0", true);
    return int(mrOk);
  };
  Trigger(*window, "Dialog1");
  answer = nullptr;
  ASSERT_TRUE(QTest::qWaitFor([&] { return !find->Searching(); }, 10000));
  EXPECT_EQ(find->Count()->text(), "2 found");
  window->Scan().ForgetDocuments();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !find->Searching(); }, 10000));
  EXPECT_TRUE(Rows().isEmpty());
  EXPECT_EQ(find->Count()->text(), "No scan to search: scan a folder first");
}

// A file shows as its folder's line and the file in the Files pane; a
// folder as its line, or the nearest line above when it has none. Enter
// chooses and leaves the window open.
TEST_F(FindWindowTest, ChoosingAHitShowsItsLineOrFile) {
  Type("report");
  QTableView* table = find->Table();
  table->setCurrentIndex(table->model()->index(RowOf("docs/Report.txt"), 0));
  QTest::keyClick(table, Qt::Key_Return);
  EXPECT_TRUE(find->isVisible());
  EXPECT_EQ(CurrentLine(), (root + "/docs").toStdString());
  TFilesPane* pane = window->FilesPane();
  ASSERT_EQ(pane->SelectedRows().size(), 1u);
  EXPECT_EQ(pane->Model()->RawName(pane->SelectedRows()[0]), "Report.txt");

  table->setCurrentIndex(table->model()->index(RowOf("pics/old/deeper/reports"), 0));
  QTest::keyClick(table, Qt::Key_Enter);
  EXPECT_EQ(CurrentLine(), (root + "/pics/old").toStdString());

  Type("pics");
  QTest::keyClick(find->Text(), Qt::Key_Return);  // the first hit
  EXPECT_TRUE(find->isVisible());
  EXPECT_EQ(CurrentLine(), (root + "/pics").toStdString());
}

}  // namespace
