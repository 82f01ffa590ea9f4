#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <QTableView>
#include <QTest>
#include <QTreeView>

#include "ReportSupport.h"
#include "dialogs/DialogCommon.h"
#include "report/FileCommands.h"
#include "report/FilesModel.h"
#include "report/FilesPane.h"
#include "report/ScanControl.h"

namespace {

class FilesPaneTest : public ReportTest {
 protected:
  void SetUp() override {
    ReportTest::SetUp();
    root = TempPath("root");
    Write("a/big.bin", 10000);
    Write("a/small.bin", 900);
    Write("a/Zed.txt", 50);
    Write("a/alpha.log", 2000);
    Write("a/sub/below.bin", 5);
    Write("a/sub/zz.bin", 700);
    window = NewWindow();
    pane = window->FilesPane();
    ASSERT_NE(pane, nullptr);
    answer = [&](QDialog& d) {
      FillDialog(*qobject_cast<TUsageDialog*>(&d), {root}, "0", "0", true);
      return int(mrOk);
    };
    Trigger(*window, "Dialog1");
    answer = nullptr;
  }

  void Write(const QString& relative, int bytes) {
    const QString path = root + "/" + relative;
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(bytes, 'x'));
  }

  void Select(const QString& path) {
    TTreeNode* found = nullptr;
    for (TTreeNode* n = window->Tree().TopLevel(0); n; n = TReportTree::NextInTreeOrder(n)) {
      if (TReportTree::PathOf(n) == path.toStdString()) found = n;
    }
    ASSERT_NE(found, nullptr) << path.toStdString();
    window->resultField->setCurrentIndex(window->ViewIndexOf(found));
  }

  // "name size" a row, in the table's order.
  std::string Rows() const {
    QStringList rows;
    const QAbstractItemModel* shown = pane->Table()->model();
    for (int r = 0; r < shown->rowCount(); ++r) {
      rows << shown->index(r, TFilesModel::kNameColumn).data().toString() + " " +
                  shown->index(r, TFilesModel::kSizeColumn).data(TFilesModel::kSortRole).toString();
    }
    return rows.join(", ").toStdString();
  }

  void SelectRows(const QStringList& names) {
    QTableView* table = pane->Table();
    table->clearSelection();
    const QAbstractItemModel* shown = table->model();
    for (int r = 0; r < shown->rowCount(); ++r) {
      if (names.contains(shown->index(r, 0).data().toString())) {
        table->selectionModel()->select(shown->index(r, 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
        table->selectionModel()->setCurrentIndex(shown->index(r, 0), QItemSelectionModel::NoUpdate);
      }
    }
  }

  QAction* Command(const char* name) const {
    auto* action = pane->findChild<QAction*>(name);
    EXPECT_NE(action, nullptr) << name;
    return action;
  }

  QString root;
  std::unique_ptr<TUsageReport> window;
  TFilesPane* pane = nullptr;
};

// The folder's own files with what the report counted, sorted by the
// numbers and not their text ("900 B" against "9.8 KiB"), names without
// regard to case; a folder no scan holds shows a note instead.
TEST_F(FilesPaneTest, ShowsTheFoldersOwnFilesSortedByTheirNumbers) {
  EXPECT_FALSE(pane->Note().isEmpty());  // nothing selected
  Select(root + "/a");
  EXPECT_TRUE(pane->Note().isEmpty());
  // Largest first at the start.
  EXPECT_EQ(Rows(), "big.bin 10000, alpha.log 2000, small.bin 900, Zed.txt 50");
  QTableView* table = pane->Table();
  table->sortByColumn(TFilesModel::kSizeColumn, Qt::AscendingOrder);
  EXPECT_EQ(Rows(), "Zed.txt 50, small.bin 900, alpha.log 2000, big.bin 10000");
  table->sortByColumn(TFilesModel::kNameColumn, Qt::AscendingOrder);
  EXPECT_EQ(Rows(), "alpha.log 2000, big.bin 10000, small.bin 900, Zed.txt 50");
  table->sortByColumn(TFilesModel::kTypeColumn, Qt::DescendingOrder);
  EXPECT_EQ(Rows(), "Zed.txt 50, alpha.log 2000, small.bin 900, big.bin 10000");
  EXPECT_EQ(table->model()->index(0, TFilesModel::kTypeColumn).data().toString(), "txt");
  // The selection follows its file through a sort.
  table->selectRow(1);
  table->sortByColumn(TFilesModel::kSizeColumn, Qt::DescendingOrder);
  EXPECT_EQ(pane->SelectedRows(), std::vector<int>{1});
  EXPECT_EQ(pane->Model()->RawName(1), "alpha.log");

  // The order stays for the next folder.
  table->sortByColumn(TFilesModel::kSizeColumn, Qt::AscendingOrder);
  Select(root + "/a/sub");
  EXPECT_EQ(Rows(), "below.bin 5, zz.bin 700");

  // As when the report is read back from its text: no scan behind it.
  window->Scan().ForgetDocuments();
  EXPECT_FALSE(pane->Note().isEmpty());
  EXPECT_EQ(pane->Model()->rowCount(), 0);
  Select(root + "/a");
  EXPECT_FALSE(pane->Note().isEmpty());
  EXPECT_EQ(pane->Model()->rowCount(), 0);
}

TEST_F(FilesPaneTest, ARescannedFolderShowsTheFilesTheRescanFound) {
  Select(root + "/a");
  Write("a/new.bin", 777);
  ASSERT_TRUE(QFile::remove(root + "/a/big.bin"));
  Trigger(*window, "RescanFolder1");
  EXPECT_EQ(Rows(), "alpha.log 2000, small.bin 900, new.bin 777, Zed.txt 50");
  EXPECT_EQ(window->Scan().Documents().size(), 2u);
}

// The file commands act on the selected files, and Delete in the table
// means them, never the folder the tree has chosen.
TEST_F(FilesPaneTest, CopyPathAndMoveToTrashActOnTheSelectedFiles) {
  window->show();
  QApplication::setActiveWindow(window.get());
  Select(root + "/a");
  SelectRows({"Zed.txt", "big.bin"});
  Command("CopyFilePath1")->trigger();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), root + "/a/big.bin\n" + root + "/a/Zed.txt");

  SelectRows({"small.bin"});
  int asked = 0;
  answer = [&](QDialog& d) {
    ++asked;
    EXPECT_NE(qobject_cast<QMessageBox*>(&d), nullptr);
    return int(QMessageBox::Yes);
  };
  pane->Table()->setFocus();
  QTest::keyClick(pane->Table(), Qt::Key_Delete);
  EXPECT_EQ(asked, 1);
  EXPECT_FALSE(QFileInfo::exists(root + "/a/small.bin"));
  EXPECT_TRUE(QFileInfo(root + "/a/big.bin").isFile());
  EXPECT_TRUE(QFileInfo(TempPath("data/Trash/files/small.bin")).isFile());
  EXPECT_EQ(Rows(), "big.bin 10000, alpha.log 2000, Zed.txt 50");

  // A file that cannot go says which and why, and keeps its row.
  SelectRows({"big.bin", "Zed.txt"});
  ASSERT_TRUE(QFile::remove(root + "/a/Zed.txt"));
  Command("MoveFilesToTrash1")->trigger();
  EXPECT_FALSE(QFileInfo::exists(root + "/a/big.bin"));
  EXPECT_TRUE(LastErrorText().startsWith("Cannot move " + root + "/a/Zed.txt to the trash: "))
      << LastErrorText().toStdString();
  EXPECT_EQ(Rows(), "alpha.log 2000, Zed.txt 50");
}

}  // namespace

// Other views reach a file through the window: its folder's line becomes the
// tree's current one and the file the pane's; a folder without a line of its
// own gives the nearest line above it.
TEST_F(FilesPaneTest, GoToFileSelectsTheFolderAndTheFile) {
  const std::string a = (root + "/a").toStdString();
  ASSERT_TRUE(window->GoToFile(a + "/sub", "zz.bin"));
  EXPECT_EQ(TReportTree::PathOf(window->NodeAt(window->resultField->currentIndex())), a + "/sub");
  ASSERT_EQ(pane->SelectedRows().size(), 1u);
  EXPECT_EQ(pane->Model()->RawName(pane->SelectedRows()[0]), "zz.bin");
  ASSERT_TRUE(window->GoToFile(a, "small.bin"));
  EXPECT_EQ(pane->Model()->RawName(pane->SelectedRows()[0]), "small.bin");
  EXPECT_TRUE(window->GoToFile(a + "/sub/gone-deeper", "x"));
  EXPECT_EQ(TReportTree::PathOf(window->NodeAt(window->resultField->currentIndex())), a + "/sub");
  EXPECT_FALSE(window->GoToFile("/nowhere/else", "x"));
}
