#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>

#include "ReportSupport.h"
#include "report/ReportViews.h"
#include "report/ScanControl.h"
#include "report/ScanFiles.h"
#include "scan/ReportTree.h"
#include "scan/ScanArchive.h"

namespace {

class ScanFilesTest : public ReportTest {};

TTreeNode* Find(const TReportTree& tree, const QString& path) {
  for (std::size_t i = 0; i < tree.TopLevelCount(); ++i) {
    for (TTreeNode* n = tree.TopLevel(i); n; n = TReportTree::NextInTreeOrder(n)) {
      if (TReportTree::PathOf(n) == path.toStdString()) return n;
    }
  }
  return nullptr;
}

template <class F>
bool WaitFor(F done) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < 20000) QApplication::processEvents(QEventLoop::AllEvents, 20);
  return done();
}

// A finished scan goes to the archive; exported, it opens as the same report
// with its commands live; one made elsewhere opens for looking at only; a
// damaged one is refused with where, and changes nothing.
TEST_F(ScanFilesTest, ScansAreKeptExportedAndOpened) {
  const QString root = MakeFolders();
  UsageOptions options;
  options.Folders = {root.toStdString()};
  options.ClearReport = true;
  options.MaxDepth = 2;
  auto window = NewWindow();
  window->RunScan(options);
  const std::string report = window->Tree().TextForm();
  ASSERT_EQ(report, CoreReport(options));
  ASSERT_TRUE(WaitFor([] { return TScanArchive(ScanArchiveFolder()).List().size() == 1; }));
  const ArchivedScan kept = TScanArchive(ScanArchiveFolder()).List().front();
  EXPECT_EQ(kept.folders, options.Folders);
  EXPECT_EQ(kept.fileCount, 6u);
  EXPECT_EQ(kept.folderCount, 8u);

  const QString file = TempPath("scan.json.zst");
  QSignalSpy exported(&window->ScanFiles(), &TScanFiles::Exported);
  window->ScanFiles().Export(window->Scan().Documents().front(), file);
  ASSERT_TRUE(WaitFor([&] { return exported.count() == 1; }));
  EXPECT_TRUE(exported.front().at(1).toBool());

  // Opened in a fresh window with the dialog's limits: the same report.
  auto other = NewWindow();
  other->UsageDialog()->Depth->setText("2");
  other->ScanFiles().Open(file);
  EXPECT_EQ(other->Tree().TextForm(), report);
  other->Views().SelectNode(Find(other->Tree(), root + "/a"));
  EXPECT_TRUE(other->FindAction("RescanFolder1")->isEnabled());
  // Another such scan is not kept: only a walk is a baseline.
  EXPECT_EQ(TScanArchive(ScanArchiveFolder()).List().size(), 1u);

  // As ncdu writes it: no machine named, so not this one.
  const QString foreign = TempPath("ncdu.json");
  QFile ncdu(foreign);
  ASSERT_TRUE(ncdu.open(QIODevice::WriteOnly));
  ncdu.write(("[1,2,{\"progname\":\"ncdu\",\"progver\":\"1.18\",\"timestamp\":1},\n[{\"name\":\"" +
              root.toUtf8() +
              "\"},{\"name\":\"f\",\"asize\":5000,\"dsize\":8192},[{\"name\":\"a\"}," +
              "{\"name\":\"g\",\"asize\":70}]]]\n"));
  ncdu.close();
  other->ScanFiles().Open(foreign);
  TTreeNode* a = Find(other->Tree(), root + "/a");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->Bytes(), 70);
  other->Views().SelectNode(a);
  EXPECT_FALSE(other->FindAction("RescanFolder1")->isEnabled());
  EXPECT_FALSE(other->FindAction("MoveToTrash1")->isEnabled());
  EXPECT_TRUE(other->FindAction("CopyPath1")->isEnabled());

  const std::string before = other->Tree().TextForm();
  QFile damaged(TempPath("bad.json"));
  ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
  damaged.write("[1,2,{},\n[{\"name\":\"/r\"},\n{\"name\":5}]]");
  damaged.close();
  answer = [](QDialog&) { return int(QDialog::Accepted); };
  other->ScanFiles().Open(TempPath("bad.json"));
  EXPECT_EQ(other->Tree().TextForm(), before);
  EXPECT_TRUE(LastErrorText().contains("line 3, column 9")) << LastErrorText().toStdString();
}

}  // namespace
