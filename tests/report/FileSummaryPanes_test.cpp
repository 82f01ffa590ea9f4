#include <fcntl.h>
#include <sys/stat.h>

#include <QCheckBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>
#include <QTreeView>

#include "ReportSupport.h"
#include "dialogs/DialogCommon.h"
#include "report/FileAgesPane.h"
#include "report/FileTypesPane.h"
#include "report/FilesModel.h"
#include "report/FilesPane.h"
#include "report/LargestFilesPane.h"
#include "report/ReportViews.h"
#include "report/TypeColours.h"

namespace {

// The Largest Files, File Types and File Ages panes, driven through the
// window after a real scan of files of known sizes, types and times.
class FileSummaryPanesTest : public ReportTest {
 protected:
  void SetUp() override {
    ReportTest::SetUp();
    root = TempPath("root");
    Write("a/disk.iso", 50000, 2023);
    Write("a/old.iso", 30000, 2019);
    Write("a/notes.txt", 20000, 2023);
    Write("b/photo.jpg", 40000, 2019);
    Write("b/README", 5000, 2023);
    Write("b/deep/small.txt", 500, 2021);
  }

  void Scan() {
    window = NewWindow();
    window->resize(1000, 700);
    window->show();
    largest = window->findChild<TLargestFilesPane*>();
    types = window->findChild<TFileTypesPane*>();
    ages = window->findChild<TFileAgesPane*>();
    ASSERT_TRUE(largest && types && ages);
    largest->show();
    types->show();
    ages->show();
    largest->raise();  // it shares a place with the Files pane
    answer = [&](QDialog& d) {
      FillDialog(*qobject_cast<TUsageDialog*>(&d), {root}, "0", "0", true);
      return int(mrOk);
    };
    Trigger(*window, "Dialog1");
    answer = nullptr;
    Settle();
  }

  // Mid-year, local time.
  void Write(const QString& relative, int bytes, int year) {
    const QString path = root + "/" + relative;
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(bytes, 'x'));
    f.close();
    const time_t when = QDateTime(QDate(year, 6, 15), QTime(12, 0)).toSecsSinceEpoch();
    const timespec times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
  }

  // Until the panes show what was last asked of them.
  void Settle() {
    QElapsedTimer waited;
    waited.start();
    while (types->Counting() || largest->Counting() || ages->Counting()) {
      ASSERT_LT(waited.elapsed(), 20000) << "the panes never finished counting";
      QTest::qWait(5);
    }
  }

  // "name bytes", largest first.
  std::string LargestRows() const {
    QStringList rows;
    const TLargestFilesModel* model = largest->Model();
    for (int r = 0; r < model->rowCount(); ++r) {
      rows << QString::fromStdString(model->RowAt(r).rawName) + " " +
                  QString::number(model->RowAt(r).bytes);
    }
    return rows.join(", ").toStdString();
  }

  static std::string Lines(const QAbstractItemModel& model) {
    QStringList lines;
    for (int r = 0; r < model.rowCount(); ++r) {
      QStringList cells;
      for (int c = 0; c < model.columnCount() - 1; ++c)
        cells << model.index(r, c).data().toString();
      lines << cells.join(" ");
    }
    return lines.join(", ").toStdString();
  }

  static void Click(QTableView* table, int row) {
    table->scrollTo(table->model()->index(row, 0));
    const QPoint at = table->visualRect(table->model()->index(row, 0)).center();
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, at);
  }

  static int RowOf(const QAbstractItemModel& model, const QString& text) {
    for (int r = 0; r < model.rowCount(); ++r) {
      if (model.index(r, 0).data().toString() == text) return r;
    }
    ADD_FAILURE() << "no line " << text.toStdString();
    return 0;
  }

  QString root;
  std::unique_ptr<TUsageReport> window;
  TLargestFilesPane* largest = nullptr;
  TFileTypesPane* types = nullptr;
  TFileAgesPane* ages = nullptr;
};

// Types by bytes give the window its colours; a chosen type and a chosen
// year narrow the largest files together, and both are lifted again.
TEST_F(FileSummaryPanesTest, TypesAndYearsNarrowTheLargestFiles) {
  Scan();
  EXPECT_EQ(Lines(*types->Model()), "iso 2 78 KiB, jpg 1 39 KiB, txt 2 20 KiB, no type 1 4.9 KiB");
  EXPECT_EQ(window->TypeColours().Named(), (std::vector<std::string>{"iso", "jpg", "txt", ""}));
  EXPECT_EQ(types->Model()->index(0, 0).data(Qt::DecorationRole).value<QColor>(),
            window->TypeColours().Of("iso"));
  // Totals sort by their bytes, not their text ("20 KiB" before "4.9 KiB").
  types->Table()->sortByColumn(TFileTypesPane::kTotalColumn, Qt::AscendingOrder);
  EXPECT_EQ(types->Model()->index(0, 0).data().toString(), "no type");
  EXPECT_EQ(Lines(*ages->Model()), "2023 3 73 KiB, 2021 1 500 B, 2019 2 68 KiB");
  EXPECT_EQ(LargestRows(),
            "disk.iso 50000, photo.jpg 40000, old.iso 30000, notes.txt 20000, README 5000, "
            "small.txt 500");

  Click(types->Table(), RowOf(*types->Model(), "txt"));
  EXPECT_EQ(window->TypeColours().Highlighted(), std::optional<std::string>("txt"));
  Settle();
  EXPECT_EQ(LargestRows(), "notes.txt 20000, small.txt 500");
  Click(ages->Table(), RowOf(*ages->Model(), "2023"));
  EXPECT_EQ(largest->Year(), std::optional<int>(2023));
  Settle();
  EXPECT_EQ(LargestRows(), "notes.txt 20000");
  EXPECT_FALSE(largest->FilterText().isEmpty());

  // The type again lifts it; the year stays.
  Click(types->Table(), RowOf(*types->Model(), "txt"));
  EXPECT_FALSE(window->TypeColours().Highlighted());
  Settle();
  EXPECT_EQ(LargestRows(), "disk.iso 50000, notes.txt 20000, README 5000");
  Click(types->Table(), RowOf(*types->Model(), "no type"));
  Settle();
  EXPECT_EQ(LargestRows(), "README 5000");

  largest->findChild<QPushButton*>("LargestClearFilter")->click();
  EXPECT_FALSE(window->TypeColours().Highlighted());
  EXPECT_FALSE(largest->Year());
  EXPECT_TRUE(largest->FilterText().isEmpty());
  Settle();
  EXPECT_EQ(largest->Model()->rowCount(), 6);
  EXPECT_TRUE(ages->Table()->selectionModel()->selectedRows().isEmpty());
}

// Below the selected folder, both panes count only its sub-tree; Enter
// (or a double click) on a file shows it in the tree and the Files pane.
TEST_F(FileSummaryPanesTest, BelowTheFolderAndGoingToAFile) {
  Scan();
  largest->BelowFolder()->setChecked(true);
  ages->BelowFolder()->setChecked(true);
  TTreeNode* b = nullptr;
  for (TTreeNode* n = window->Tree().TopLevel(0); n; n = TReportTree::NextInTreeOrder(n)) {
    if (TReportTree::PathOf(n) == (root + "/b").toStdString()) b = n;
  }
  ASSERT_NE(b, nullptr);
  window->Views().SelectNode(b);
  Settle();
  EXPECT_EQ(LargestRows(), "photo.jpg 40000, README 5000, small.txt 500");
  EXPECT_EQ(Lines(*ages->Model()), "2023 1 4.9 KiB, 2021 1 500 B, 2019 1 39 KiB");

  // Enter acts as a double click does (the view's activation).
  largest->Table()->setCurrentIndex(largest->Model()->index(2, 0));
  QTest::keyClick(largest->Table(), Qt::Key_Return);
  const QModelIndex current = window->resultField->currentIndex();
  EXPECT_EQ(TReportTree::PathOf(window->NodeAt(current)), (root + "/b/deep").toStdString());
  TFilesPane* files = window->FilesPane();
  ASSERT_EQ(files->SelectedRows().size(), 1u);
  EXPECT_EQ(files->Model()->RawName(files->SelectedRows().front()), "small.txt");
}

// A thousand at a time: Show More adds the next thousand, and no more
// than there are.
TEST_F(FileSummaryPanesTest, ShowMoreAddsTheNextThousand) {
  for (int i = 0; i < 1100; ++i) {
    QFile f(root + QString("/many/f%1.dat").arg(i));
    if (i == 0) QDir().mkpath(root + "/many");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(1 + i, 'x'));
  }
  Scan();
  EXPECT_EQ(largest->Model()->rowCount(), TLargestFilesPane::kStep);
  EXPECT_EQ(largest->Model()->RowAt(0).rawName, "disk.iso");
  ASSERT_TRUE(largest->ShowMoreButton()->isEnabled());
  largest->ShowMoreButton()->click();
  Settle();
  EXPECT_EQ(largest->Model()->rowCount(), 1106);
  EXPECT_FALSE(largest->ShowMoreButton()->isEnabled());
  EXPECT_EQ(largest->Model()->RowAt(1105).rawName, "f0.dat");
}

}  // namespace
