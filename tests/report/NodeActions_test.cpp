#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QUrl>

#include "ReportSupport.h"
#include "Unprivileged.h"
#include "dialogs/DialogCommon.h"
#include "report/ProblemsWindow.h"
#include "report/ReportModel.h"
#include "report/ShareBars.h"
#include "report/TreemapView.h"
#include "scan/ScannedFolder.h"
#include "scan/UsageDirectory.h"

namespace {

// Every node's exact numbers, so a report can be compared beyond its whole K.
std::string Numbers(const TReportTree& tree) {
  std::string out;
  for (std::size_t i = 0; i < tree.TopLevelCount(); ++i) {
    for (const TTreeNode* n = tree.TopLevel(i); n; n = TReportTree::NextInTreeOrder(n)) {
      out += std::string(static_cast<std::size_t>(n->Level()), '\t') + n->Name() + " " +
             std::to_string(n->Bytes()) + (n->Failed() ? " *" : "") + "\n";
    }
  }
  return out;
}

TTreeNode* Find(const TReportTree& tree, const QString& path) {
  for (std::size_t i = 0; i < tree.TopLevelCount(); ++i) {
    for (TTreeNode* n = tree.TopLevel(i); n; n = TReportTree::NextInTreeOrder(n)) {
      if (TReportTree::PathOf(n) == path.toStdString()) return n;
    }
  }
  return nullptr;
}

// A folder made by its bytes below an open folder, with one file of
// `bytes` in it; the new folder's descriptor (O_PATH), or -1.
int MakeRawFolder(int at, const std::string& name, int bytes) {
  if (::mkdirat(at, name.c_str(), 0755) != 0) return -1;
  const int folder = ::openat(at, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW);
  const int file = ::openat(folder, "f.bin", O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const std::string data(static_cast<std::size_t>(bytes), 'x');
  const bool written = file >= 0 && ::write(file, data.data(), data.size()) == bytes;
  if (file >= 0) ::close(file);
  if (!written) {
    ::close(folder);
    return -1;
  }
  return folder;
}

// Whether the path names something, going one name at a time (a path
// past PATH_MAX cannot be asked about at once).
bool Exists(const std::string& path) {
  int at = ::open("/", O_PATH | O_DIRECTORY);
  std::size_t from = 1;
  while (at >= 0) {
    const std::size_t slash = path.find('/', from);
    const std::string name = path.substr(from, slash == std::string::npos ? slash : slash - from);
    struct stat st;
    if (slash == std::string::npos) {
      const bool there = ::fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
      ::close(at);
      return there;
    }
    const int next = ::openat(at, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW);
    ::close(at);
    at = next;
    from = slash + 1;
  }
  return false;
}

// The bytes bash makes of a text pasted onto its command line.
std::string AsBashReadsIt(const QString& text) {
  const std::string script = "printf %s " + text.toStdString();
  const std::string command = "bash -c \"$VORN_SCRIPT\"";
  ::setenv("VORN_SCRIPT", script.c_str(), 1);
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
      out.append(buffer, n);
    ::pclose(pipe);
  }
  ::unsetenv("VORN_SCRIPT");
  return out;
}

TTreeNode* ChildNamed(TTreeNode* node, const std::string& name) {
  for (std::size_t i = 0; node && i < node->ChildCount(); ++i) {
    if (node->Child(i)->Name() == name) return node->Child(i);
  }
  return nullptr;
}

std::string FullScan(const UsageOptions& options, bool sorted = false) {
  TReportTree tree;
  RunUsageScan(options, tree, nullptr, nullptr);
  if (sorted) tree.SortByLabel();
  return tree.TextForm() + Numbers(tree);
}

std::string Report(TUsageReport& window) {
  return window.Tree().TextForm() + Numbers(window.Tree());
}

// Receives the URLs the desktop would open.
class TUrlCatcher : public QObject {
  Q_OBJECT

 public:
  QList<QUrl> urls;

 public slots:
  void Open(const QUrl& url) { urls << url; }
};

class NodeActionsTest : public ReportTest {
 protected:
  void Scan(TUsageReport& window, const QString& folder, const QString& depth = "0",
            const QString& size = "0") {
    answer = [&](QDialog& d) {
      FillDialog(*qobject_cast<TUsageDialog*>(&d), {folder}, depth, size, true);
      return int(mrOk);
    };
    Trigger(window, "Dialog1");
    answer = nullptr;
  }
  static void Select(TUsageReport& window, TTreeNode* node) {
    ASSERT_NE(node, nullptr);
    window.resultField->setCurrentIndex(window.ViewIndexOf(node));
  }
  void Write(const QString& path, int bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(bytes, 'x'));
  }
};

TEST_F(NodeActionsTest, RescanOfAChangedFolderGivesTheReportOfAFullScan) {
  const QString root = MakeFolders();
  auto window = NewWindow();
  // Shown largest first: the view's rows are not the report's.
  Trigger(*window, "LargestFirst1");
  // Depth and size limits of the last scan apply to the folder scanned again.
  Scan(*window, root, "2", "1");
  UsageOptions options;
  options.Folders = {root.toStdString()};
  options.MaxDepth = 2;
  options.MinSizeK = 1;
  ASSERT_EQ(Report(*window), FullScan(options));
  TReportTree& tree = window->Tree();
  TTreeNode* top = tree.TopLevel(0);
  TTreeNode* a = Find(tree, root + "/a");
  window->resultField->expand(window->ViewIndexOf(top));
  window->resultField->expand(window->ViewIndexOf(a));
  Select(*window, a);

  Write(root + "/a/a1/more.bin", 3000);
  Write(root + "/a/new/deeper/n.bin", 7000);  // "deeper" is below the depth limit
  ASSERT_TRUE(QDir(root + "/a/a2").removeRecursively());
  Trigger(*window, "RescanFolder1");
  EXPECT_EQ(Report(*window), FullScan(options));
  EXPECT_EQ(window->StatusText(), "All Done");
  // The same node, still current and expanded, as its parent is.
  EXPECT_EQ(tree.Selected(), a);
  EXPECT_TRUE(window->resultField->isExpanded(window->ViewIndexOf(a)));
  EXPECT_TRUE(window->resultField->isExpanded(window->ViewIndexOf(top)));

  // Sorted, the new lines go in order; a folder now below the size limit goes.
  Trigger(*window, "Sort1");
  ASSERT_TRUE(QFile::remove(root + "/a/a1/more.bin"));
  ASSERT_TRUE(QFile::remove(root + "/a/a1/x.bin"));
  Write(root + "/a/zz/big.bin", 90000);
  Select(*window, a);
  Trigger(*window, "RescanFolder1");
  EXPECT_EQ(Report(*window), FullScan(options, true));
  EXPECT_EQ(Find(tree, root + "/a/a1"), nullptr);

  // Lines below the folder that were expanded stay so where they are still found.
  Select(*window, top);
  Trigger(*window, "RescanFolder1");
  EXPECT_EQ(Report(*window), FullScan(options, true));
  a = Find(tree, root + "/a");
  ASSERT_NE(a, nullptr);
  EXPECT_TRUE(a->Expanded());
  EXPECT_TRUE(window->resultField->isExpanded(window->ViewIndexOf(a)));
  EXPECT_FALSE(Find(tree, root + "/c")->Expanded());

  // Stopped, a rescan leaves the report as it was.
  const std::string before = Report(*window);
  Write(root + "/c/c1/more.bin", 50000);
  QTimer::singleShot(0, window.get(), [&] { Trigger(*window, "Stop1"); });
  Trigger(*window, "RescanFolder1");
  EXPECT_EQ(Report(*window), before);
  EXPECT_EQ(window->StatusText(), "Stopped: the report is unchanged");
}

// Marks of the ancestors: kept while another folder below them still has
// one, dropped once none has. Run unprivileged, where a folder without
// permissions cannot be read.
TEST_F(NodeActionsTest, RescanCorrectsTheMarksOfTheAncestors) {
  const QString root = MakeFolders();
  for (const char* shut : {"/a/shut", "/c/c1/shut"}) {
    QDir().mkpath(root + shut);
    ::chmod(QFile::encodeName(root + shut).constData(), 0);
  }
  const auto out = RunUnprivileged(
      [&] {
        auto window = NewWindow();
        Scan(*window, root);
        UsageOptions options;
        options.Folders = {root.toStdString()};
        std::string text;
        auto check = [&] {
          const bool same = Report(*window) == FullScan(options);
          text += same ? "same" : "differs:\n" + Report(*window) + "\n" + FullScan(options);
          text += window->Tree().TopLevel(0)->Failed() ? " marked\n" : " unmarked\n";
        };
        check();
        ::chmod(QFile::encodeName(root + "/a/shut").constData(), 0755);
        Select(*window, Find(window->Tree(), root + "/a"));
        Trigger(*window, "RescanFolder1");
        check();
        text += window->StatusText().toStdString() + "\n";
        ::chmod(QFile::encodeName(root + "/c/c1/shut").constData(), 0755);
        Select(*window, Find(window->Tree(), root + "/c/c1"));
        Trigger(*window, "RescanFolder1");
        check();
        text += std::to_string(window->ProblemsWindow->Problems().size());
        return text;
      },
      {home_.path().toStdString()});
  if (!out) GTEST_SKIP() << "SKIPPED LOUDLY: cannot run as an unprivileged user here";
  // The problem in c1 stays listed until c1 is scanned again.
  EXPECT_EQ(*out,
            "same marked\nsame marked\nAll Done (1 problem: View > Problems...)\n"
            "same unmarked\n0");
}

TEST_F(NodeActionsTest, MoveToTrashAsksFirstThenMovesTheFolderToTheTrash) {
  const QString root = MakeFolders();
  auto window = NewWindow();
  Scan(*window, root);
  Select(*window, Find(window->Tree(), root + "/a"));
  const std::string before = Report(*window);
  QString question;
  answer = [&](QDialog& d) {
    auto* box = qobject_cast<QMessageBox*>(&d);
    EXPECT_NE(box, nullptr);
    if (!box) return 0;
    question = box->text();
    EXPECT_EQ(box->standardButton(box->defaultButton()), QMessageBox::No);
    return int(QMessageBox::No);
  };
  Trigger(*window, "MoveToTrash1");
  EXPECT_EQ(question.toStdString(),
            ("Move \"" + root + "/a\" (52 KiB, 5 items) to the trash?").toStdString());
  EXPECT_EQ(Report(*window), before);
  EXPECT_TRUE(QFileInfo(root + "/a/a2/y.bin").exists());

  answer = [&](QDialog&) { return int(QMessageBox::Yes); };
  Trigger(*window, "MoveToTrash1");
  EXPECT_FALSE(QFileInfo::exists(root + "/a"));
  UsageOptions options;
  options.Folders = {root.toStdString()};
  EXPECT_EQ(Report(*window), FullScan(options));
  // In the user's trash, with what the desktop needs to restore it.
  const QString trash = TempPath("data/Trash");
  EXPECT_TRUE(QFileInfo(trash + "/files/a/a2/y.bin").isFile());
  QFile info(trash + "/info/a.trashinfo");
  ASSERT_TRUE(info.open(QIODevice::ReadOnly));
  EXPECT_TRUE(info.readAll().contains("Path=" + QUrl::toPercentEncoding(root + "/a", "/")));
}

TEST_F(NodeActionsTest, AFailedMoveToTheTrashIsReportedAndChangesNothing) {
  const QString root = MakeFolders();
  ::chmod(QFile::encodeName(root + "/c").constData(), 0555);
  const auto out = RunUnprivileged(
      [&] {
        auto window = NewWindow();
        Scan(*window, root);
        const std::string before = Report(*window);
        Select(*window, Find(window->Tree(), root + "/c/c1"));
        answer = [&](QDialog&) { return int(QMessageBox::Yes); };
        Trigger(*window, "MoveToTrash1");
        return std::string(Report(*window) == before ? "unchanged\n" : "changed\n") +
               (QFileInfo(root + "/c/c1/c2/deep.bin").isFile() ? "still there\n" : "gone\n") +
               LastErrorText().toStdString();
      },
      {home_.path().toStdString()});
  ::chmod(QFile::encodeName(root + "/c").constData(), 0755);
  if (!out) GTEST_SKIP() << "SKIPPED LOUDLY: cannot run as an unprivileged user here";
  EXPECT_TRUE(QString::fromStdString(*out).startsWith("unchanged\nstill there\nCannot move " +
                                                      root + "/c/c1 to the trash: "))
      << *out;
}

TEST_F(NodeActionsTest, OpenGoesToTheDesktopsHandlerAndCopyPathToTheClipboard) {
  const QString root = MakeFolders();
  auto window = NewWindow();
  Scan(*window, root);
  Select(*window, Find(window->Tree(), root + "/c/c1"));
  TUrlCatcher catcher;
  QDesktopServices::setUrlHandler("file", &catcher, "Open");
  Trigger(*window, "OpenFolder1");
  QDesktopServices::unsetUrlHandler("file");
  EXPECT_EQ(catcher.urls, QList<QUrl>{QUrl::fromLocalFile(root + "/c/c1")});
  Trigger(*window, "CopyPath1");
  EXPECT_EQ(QGuiApplication::clipboard()->text(), root + "/c/c1");
}

TEST_F(NodeActionsTest, TheMenuDisablesWhatCannotActAndSaysWhy) {
  const QString root = MakeFolders();
  auto window = NewWindow();
  window->show();
  QApplication::setActiveWindow(window.get());
  window->resultField->setFocus();
  Trigger(*window, "LargestFirst1");
  Scan(*window, root);
  const QStringList names = {"OpenFolder1", "CopyPath1", "RescanFolder1", "MoveToTrash1",
                             "DeletePermanently1"};
  // The menu from the keyboard, on the current node: its items and their
  // states, and the notice shown with it.
  auto menuOn = [&](TTreeNode* node, const QString& picture = {}) {
    Select(*window, node);
    QString seen;
    QTimer::singleShot(0, window.get(), [&] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (!menu) return;
      for (QAction* item : menu->actions()) {
        seen += item->text() + "|" + item->shortcut().toString() +
                (item->isEnabled() ? "" : "|off") + "\n";
      }
      seen += window->StatusNotice();
      if (!picture.isEmpty()) {
        const QString folder = VORN_SCREENSHOT_DIR;
        QDir().mkpath(folder);
        EXPECT_TRUE(menu->grab().save(folder + "/" + picture));
      }
      menu->close();
    });
    QApplication::setActiveWindow(window.get());
    window->resultField->setFocus();
    QTest::keyClick(window->resultField, Qt::Key_Menu);
    return seen.toStdString();
  };
  EXPECT_EQ(menuOn(Find(window->Tree(), root + "/a"), "node-menu.png"),
            "&Open in File Manager|\n&Copy Path|\n&Rescan Folder|F9\nMove to &Trash...|Del\n"
            "&Delete Permanently...|Shift+Del\n");

  // Delete while a label is edited in place is the editor's.
  QApplication::setActiveWindow(window.get());
  window->resultField->edit(window->ViewIndexOf(Find(window->Tree(), root + "/a")));
  auto* editor = window->resultField->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  editor->setFocus();
  QTest::keyClick(editor, Qt::Key_Delete);
  EXPECT_EQ(modalCount, 1);  // only the scan's dialog
  QTest::keyClick(editor, Qt::Key_Escape);

  // During a scan only the path can be taken.
  Select(*window, Find(window->Tree(), root + "/a"));
  QStringList during;
  answer = [&](QDialog& d) {
    FillDialog(*qobject_cast<TUsageDialog*>(&d), {root}, "0", "0", false);
    return int(mrOk);
  };
  QTimer::singleShot(0, window.get(), [&] {
    for (const QString& name : names) {
      if (window->FindAction(name)->isEnabled()) during << name;
    }
  });
  Trigger(*window, "Dialog1");
  EXPECT_EQ(during, QStringList{"CopyPath1"});

  // A folder that is gone.
  TTreeNode* c = Find(window->Tree(), root + "/c");
  ASSERT_TRUE(QDir(root + "/c").removeRecursively());
  EXPECT_EQ(menuOn(c),
            "&Open in File Manager||off\n&Copy Path||off\n&Rescan Folder|F9|off\n"
            "Move to &Trash...|Del|off\n&Delete Permanently...|Shift+Del|off\n"
            "Folder not found on this computer: " +
                root.toStdString() + "/c");
  // A report from another system: no path can be made of its labels.
  window->Tree().LoadText("...123K  C:\\Users\r\n\t...100K  Docs\r\n");
  EXPECT_EQ(menuOn(window->Tree().NodeAt(1)),
            std::string("&Open in File Manager||off\n&Copy Path||off\n&Rescan Folder|F9|off\n"
                        "Move to &Trash...|Del|off\n&Delete Permanently...|Shift+Del|off\n"
                        "No folder path can be made from this line: the report "
                        "may come from another computer"));
  // Its keys do nothing there either.
  QTest::keyClick(window->resultField, Qt::Key_Delete);
  EXPECT_EQ(window->Tree().Count(), 2u);
}

// The treemap's menu offers the same commands, after its own.
TEST_F(NodeActionsTest, TheTreemapMenuHasTheNodeCommands) {
  const QString root = MakeFolders();
  auto window = NewWindow();
  window->resize(500, 500);
  window->show();
  Scan(*window, root);
  Trigger(*window, "Treemap1");
  QApplication::processEvents();
  Select(*window, window->Tree().TopLevel(0));
  window->Treemap1->Redraw();
  TTreeNode* a = Find(window->Tree(), root + "/a/a2");
  const QRectF place = window->Treemap1->RectOf(a);
  ASSERT_FALSE(place.isEmpty());
  QString seen;
  QTimer::singleShot(0, window.get(), [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) return;
    for (QAction* item : menu->actions()) {
      seen += item->isSeparator() ? "-\n" : item->text() + (item->isEnabled() ? "\n" : "|off\n");
    }
    const QString folder = VORN_SCREENSHOT_DIR;
    QDir().mkpath(folder);
    EXPECT_TRUE(menu->grab().save(folder + "/treemap-menu.png"));
    // The commands act on the folder clicked, not on the tree's current one.
    for (QAction* item : menu->actions()) {
      if (item->text() == "&Copy Path") item->trigger();
    }
    menu->close();
  });
  QContextMenuEvent event(QContextMenuEvent::Mouse, place.center().toPoint(),
                          window->Treemap1->mapToGlobal(place.center().toPoint()));
  QApplication::sendEvent(window->Treemap1, &event);
  // At the only starting folder there is nothing above to go up to.
  EXPECT_EQ(seen,
            "&Up|off\n-\n&Open in File Manager\n&Copy Path\n&Rescan Folder\nMove to &Trash...\n"
            "&Delete Permanently...\n");
  EXPECT_EQ(QGuiApplication::clipboard()->text(), root + "/a/a2");
  // Below it, Up (Backspace) climbs back to it, and no further.
  Select(*window, Find(window->Tree(), root + "/a"));
  EXPECT_TRUE(window->Treemap1->CanGoUp());
  QTest::keyClick(window->Treemap1, Qt::Key_Backspace);
  EXPECT_EQ(window->Treemap1->Root(), window->Tree().TopLevel(0));
  EXPECT_FALSE(window->Treemap1->CanGoUp());
  QTest::keyClick(window->Treemap1, Qt::Key_Backspace);
  EXPECT_EQ(window->Treemap1->Root(), window->Tree().TopLevel(0));

  // Folders of 0 bytes have no area: nothing is drawn to click on.
  window->Tree().LoadText("......0K  /nothing\r\n\t......0K  here\r\n");
  Select(*window, window->Tree().TopLevel(0));
  window->Treemap1->Redraw();
  EXPECT_TRUE(window->Treemap1->ShowsNothing());
  EXPECT_EQ(window->Treemap1->NodeAt(window->Treemap1->rect().center()), nullptr);
  window->Tree().LoadText("......1K  /something\r\n");
  window->Treemap1->Redraw();
  EXPECT_FALSE(window->Treemap1->ShowsNothing());
  EXPECT_EQ(window->Treemap1->NodeAt(window->Treemap1->rect().center()),
            window->Tree().TopLevel(0));
}

// Stopped, the folders being read keep what was measured in them, for the
// bars and the treemap too, marked incomplete until each is scanned again.
TEST_F(NodeActionsTest, AStoppedScanShowsWhatItMeasuredUntilItsFoldersAreScannedAgain) {
  const QString root = MakeFolders();
  auto window = NewWindow();
  window->resize(700, 600);
  window->show();
  Trigger(*window, "Treemap1");
  // Stops at the next folder entered after a's own files were measured.
  class StopInA : public TMessagePump, public TStatusLine {
   public:
    std::string a;
    bool armed = false;
    void ShowText(const std::string& text) override { armed = armed || text == a + "..."; }
    void ProcessMessages() override {
      if (armed) StopRequested = true;
    }
  } stopper;
  stopper.a = (root + "/a").toStdString();
  UsageOptions options;
  options.Folders = {root.toStdString()};
  options.Threads = 1;
  RunUsageScan(options, window->Tree(), &stopper, &stopper);
  StopRequested = false;
  TTreeNode* top = window->Tree().TopLevel(0);
  TTreeNode* a = Find(window->Tree(), root + "/a");
  ASSERT_NE(a, nullptr);
  EXPECT_TRUE(top->Incomplete());
  EXPECT_TRUE(a->Incomplete());
  EXPECT_GE(a->Bytes(), 10 * 1024);
  EXPECT_GE(top->Bytes(), 3000 + 10 * 1024);
  Select(*window, a);
  const QModelIndex label = window->ViewIndexOf(a, TReportModel::kLabelColumn);
  EXPECT_TRUE(label.data().toString().endsWith(" (incomplete)"))
      << label.data().toString().toStdString();
  EXPECT_EQ(label.data(Qt::EditRole).toString().toStdString(), a->Label());
  EXPECT_GT(
      window->ViewIndexOf(a, TReportModel::kShareColumn).data(TReportModel::kShareRole).toDouble(),
      0.0);
  Select(*window, top);
  window->Treemap1->Redraw();
  EXPECT_FALSE(window->Treemap1->RectOf(a).isEmpty());
  Select(*window, a);
  QDir().mkpath(VORN_SCREENSHOT_DIR);
  window->grab().save(VORN_SCREENSHOT_DIR "/stopped-scan.png");

  // A rescan of a makes a whole, not the report.
  Trigger(*window, "RescanFolder1");
  a = Find(window->Tree(), root + "/a");
  ASSERT_NE(a, nullptr);
  EXPECT_FALSE(a->Incomplete());
  EXPECT_EQ(a->Bytes(), (10 + 2 + 40) * 1024);
  EXPECT_TRUE(window->Tree().TopLevel(0)->Incomplete());
  EXPECT_EQ(window->StatusText(), "Done, but the report is still incomplete");
  Select(*window, window->Tree().TopLevel(0));
  Trigger(*window, "RescanFolder1");
  EXPECT_EQ(window->StatusText(), "All Done");
  EXPECT_FALSE(window->Tree().HasIncomplete());
}

// A double click on a problem selects its folder in the report.
TEST_F(NodeActionsTest, ADoubleClickedProblemSelectsItsFolder) {
  const QString root = MakeFolders();
  auto window = NewWindow();
  window->show();
  Scan(*window, root);
  window->ProblemsWindow->SetProblems(
      {{(root + "/c/c1/shut/f").toStdString(), "Permission denied"},
       {(root + "/a/a2/y.bin").toStdString(), "Permission denied"}});
  Trigger(*window, "Problems1");
  QTableView* list = window->ProblemsWindow->List();
  // Sorted by path, the second problem comes first.
  list->sortByColumn(0, Qt::AscendingOrder);
  QApplication::processEvents();
  const auto doubleClick = [&](int row) {
    ASSERT_FALSE(list->visualRect(list->model()->index(row, 1)).isEmpty());
    const QPoint at = list->visualRect(list->model()->index(row, 1)).center();
    // The second click of a double click is a press the view sees first.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mousePress(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
  };
  doubleClick(0);
  EXPECT_EQ(window->Tree().Selected(), Find(window->Tree(), root + "/a/a2"));
  // A path below the report's lines: the nearest line that holds it.
  doubleClick(1);
  EXPECT_EQ(window->Tree().Selected(), Find(window->Tree(), root + "/c/c1"));
}

// Names a line cannot show as they are (a leading blank, a line break,
// bytes that are no UTF-8) and a path longer than the system takes at
// once: every command acts on the folder the walk found.
TEST_F(NodeActionsTest, TheCommandsActOnTheNamesTheWalkFound) {
  const QString root = MakeFolders();
  const std::string base = root.toStdString();
  const int top = ::open(base.c_str(), O_PATH | O_DIRECTORY);
  ASSERT_GE(top, 0);
  const std::string lead = " lead", broken = "line\nbreak", bad = "bad\xff\xfe";
  for (const std::string& name : {lead, broken, bad}) {
    const int made = MakeRawFolder(top, name, 5000);
    ASSERT_GE(made, 0) << name;
    ::close(made);
  }
  // 45 levels of 100 bytes: 4,500 bytes below the root.
  const std::string part(100, 'L');
  std::string deep = base;
  for (int at = ::dup(top), level = 0; level < 45; ++level) {
    const int next = MakeRawFolder(at, part, 1000);
    ::close(at);
    ASSERT_GE(next, 0);
    deep += "/" + part;
    at = next;
    if (level == 44) ::close(at);
  }
  ::close(top);
  ASSERT_GT(deep.size(), 4096u);

  auto window = NewWindow();
  Scan(*window, root);
  TReportTree& tree = window->Tree();
  TTreeNode* deepest = tree.TopLevel(0);
  for (int level = 0; level < 45; ++level) deepest = ChildNamed(deepest, part);
  ASSERT_NE(deepest, nullptr);
  struct Case {
    std::string shows, path, copied;
  };
  const std::vector<Case> cases = {
      {"?lead", base + "/" + lead, base + "/" + lead},
      {"line?break", base + "/" + broken, "$'" + base + "/line\\nbreak'"},
      {bad, base + "/" + bad, "$'" + base + "/bad\\xff\\xfe'"},
      {part, deep, deep},
  };
  TUrlCatcher catcher;
  QDesktopServices::setUrlHandler("file", &catcher, "Open");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shows);
    TTreeNode* node = c.path == deep ? deepest : ChildNamed(tree.TopLevel(0), c.shows);
    ASSERT_NE(node, nullptr);
    Select(*window, node);
    // The path as a shell gives it back: the very bytes.
    Trigger(*window, "CopyPath1");
    const QString copied = QGuiApplication::clipboard()->text();
    EXPECT_EQ(copied.toStdString(), c.copied);
    EXPECT_EQ(AsBashReadsIt(copied.startsWith("$'") ? copied : "'" + copied + "'"), c.path);
    catcher.urls.clear();
    Trigger(*window, "OpenFolder1");
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(QByteArray::fromPercentEncoding(catcher.urls[0].path(QUrl::FullyEncoded).toLatin1())
                  .toStdString(),
              c.path);
    // A rescan finds what was added.
    const int folder = ::open(root.toStdString().c_str(), O_PATH | O_DIRECTORY);
    const std::int64_t before = node->Bytes();
    std::string below = c.path.substr(base.size() + 1);
    int at = folder;
    for (std::size_t slash; (slash = below.find('/')) != std::string::npos;) {
      const int next = ::openat(at, below.substr(0, slash).c_str(), O_PATH | O_DIRECTORY);
      ::close(at);
      at = next;
      below.erase(0, slash + 1);
    }
    const int added = MakeRawFolder(at, below + "/new", 7000);
    EXPECT_GE(added, 0);
    ::close(added);
    ::close(at);
    Trigger(*window, "RescanFolder1");
    EXPECT_EQ(window->StatusText(), "All Done");
    EXPECT_EQ(node->Bytes(), before + 7000);
  }
  QDesktopServices::unsetUrlHandler("file");

  // Moved to the trash, and deleted for good.
  answer = [&](QDialog&) { return int(QMessageBox::Yes); };
  Select(*window, ChildNamed(tree.TopLevel(0), "?lead"));
  Trigger(*window, "MoveToTrash1");
  EXPECT_FALSE(Exists(base + "/" + lead));
  EXPECT_TRUE(Exists(TempPath("data/Trash/files").toStdString() + "/" + lead + "/new/f.bin"));
  for (const std::string& shows : {std::string("line?break"), bad}) {
    Select(*window, ChildNamed(tree.TopLevel(0), shows));
    Trigger(*window, "DeletePermanently1");
  }
  Select(*window, deepest);
  Trigger(*window, "DeletePermanently1");
  EXPECT_EQ(LastErrorText(), "");
  for (const std::string& gone : {base + "/" + broken, base + "/" + bad, deep}) {
    EXPECT_FALSE(Exists(gone)) << gone;
  }
  EXPECT_TRUE(Exists(deep.substr(0, deep.size() - part.size()) + "f.bin"));
  UsageOptions options;
  options.Folders = {base};
  EXPECT_EQ(Report(*window), FullScan(options));
  // What is left is too deep for the temporary folder's own removal.
  TScannedFolder rest;
  std::string failed;
  int error = 0;
  ASSERT_EQ(rest.Open(base + "/" + part, base.size()), TScannedFolder::Reach::Reached);
  EXPECT_TRUE(rest.Delete(failed, error)) << failed;
}

// A folder swapped for a link to another since the scan, or while the
// question stands open, is left alone, and so is the other folder.
TEST_F(NodeActionsTest, AFolderReplacedSinceTheScanIsLeftAlone) {
  const QString root = MakeFolders();
  const QString other = TempPath("other");
  Write(other + "/keep.bin", 100);
  auto window = NewWindow();
  Scan(*window, root);
  const std::string before = Report(*window);
  const auto swap = [&](const QString& folder) {
    ASSERT_TRUE(QDir().rename(folder, folder + "-old"));
    ASSERT_TRUE(QFile::link(other, folder));
  };
  const QString refused = "Folder " + root + "/a has been replaced since the scan read it";

  // The line's own commands say why when they are asked for.
  swap(root + "/a");
  Select(*window, Find(window->Tree(), root + "/a"));
  for (const char* command : {"MoveToTrash1", "DeletePermanently1"}) {
    EXPECT_FALSE(window->FindAction(command)->isEnabled()) << command;
    QMetaObject::invokeMethod(window->FindAction(command), "triggered");
    EXPECT_EQ(window->StatusNotice(), refused) << command;
    EXPECT_EQ(modalCount, 1) << command;  // no question: only the scan's dialog
  }
  // Swapped while the question is open: refused when answered.
  ASSERT_TRUE(QFile::remove(root + "/a"));
  ASSERT_TRUE(QDir().rename(root + "/a-old", root + "/a"));
  for (const char* command : {"MoveToTrash1", "DeletePermanently1"}) {
    Select(*window, window->Tree().TopLevel(0));
    Select(*window, Find(window->Tree(), root + "/a"));
    answer = [&](QDialog& box) {
      if (box.objectName().endsWith("Question")) swap(root + "/a");
      return int(QMessageBox::Yes);
    };
    Trigger(*window, command);
    EXPECT_EQ(LastErrorText(), refused + ".") << command;
    ClearLastErrorText();
    ASSERT_TRUE(QFile::remove(root + "/a"));
    ASSERT_TRUE(QDir().rename(root + "/a-old", root + "/a"));
  }
  EXPECT_TRUE(QFileInfo(other + "/keep.bin").isFile());
  EXPECT_TRUE(QFileInfo(root + "/a/a2/y.bin").isFile());
  EXPECT_EQ(Report(*window), before);

  // Deleting a folder deletes a link in it, never what the link points to.
  ASSERT_TRUE(QFile::link(other, root + "/b/to-other"));
  ASSERT_TRUE(QFile::link(other + "/keep.bin", root + "/b/to-keep"));
  Select(*window, Find(window->Tree(), root + "/b"));
  answer = [&](QDialog&) { return int(QMessageBox::Yes); };
  Trigger(*window, "DeletePermanently1");
  EXPECT_FALSE(QFileInfo::exists(root + "/b"));
  EXPECT_TRUE(QFileInfo(other + "/keep.bin").isFile());
}

// Delete Permanently asks, naming the folder, its size and items, then
// deletes it and corrects the report as Move to Trash does; the status
// line tells what each freed.
TEST_F(NodeActionsTest, DeletePermanentlyAsksThenDeletesAndTheStatusSaysWhatIsFreed) {
  const QString root = MakeFolders();
  auto window = NewWindow();
  window->show();
  Scan(*window, root);
  const std::string before = Report(*window);
  QString question;
  answer = [&](QDialog& d) {
    auto* box = qobject_cast<QMessageBox*>(&d);
    EXPECT_NE(box, nullptr);
    if (!box) return 0;
    question = box->text() + "\n" + box->informativeText();
    EXPECT_EQ(box->standardButton(box->defaultButton()), QMessageBox::No);
    box->show();
    const QString folder = VORN_SCREENSHOT_DIR;
    QDir().mkpath(folder);
    EXPECT_TRUE(box->grab().save(folder + "/delete-question.png"));
    box->hide();
    return int(QMessageBox::No);
  };
  Select(*window, Find(window->Tree(), root + "/a"));
  window->resultField->setFocus();
  QTest::keyClick(window->resultField, Qt::Key_Delete, Qt::ShiftModifier);
  EXPECT_EQ(question.toStdString(),
            ("Delete \"" + root + "/a\" (52 KiB, 5 items) permanently?\nIt cannot be restored.")
                .toStdString());
  EXPECT_EQ(Report(*window), before);
  EXPECT_TRUE(QFileInfo(root + "/a/a2/y.bin").isFile());

  answer = [&](QDialog&) { return int(QMessageBox::Yes); };
  const std::int64_t size = Find(window->Tree(), root + "/a")->Bytes();
  Trigger(*window, "DeletePermanently1");
  EXPECT_FALSE(QFileInfo::exists(root + "/a"));
  EXPECT_FALSE(QFileInfo::exists(TempPath("data/Trash/files/a")));
  UsageOptions options;
  options.Folders = {root.toStdString()};
  EXPECT_EQ(Report(*window), FullScan(options));
  EXPECT_EQ(window->StatusNotice(),
            "Deleted \"" + root + "/a\" (" + ReadableSize(size) + ") permanently");

  const std::int64_t trashed = Find(window->Tree(), root + "/c")->Bytes();
  Select(*window, Find(window->Tree(), root + "/c"));
  Trigger(*window, "MoveToTrash1");
  EXPECT_EQ(window->StatusNotice(), "Moved \"" + root + "/c\" to the trash (" +
                                        ReadableSize(trashed) +
                                        "): the space is freed only when the trash is emptied");
}

}  // namespace

#include "NodeActions_test.moc"
