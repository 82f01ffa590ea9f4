#include <sys/stat.h>

#include <QApplication>
#include <QCheckBox>
#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QTreeView>

#include "ReportSupport.h"
#include "Unprivileged.h"
#include "dialogs/DialogCommon.h"
#include "dialogs/UsageDialog.h"
#include "dialogs/UsageWizard.h"
#include "report/ProblemsWindow.h"
#include "report/ReportModel.h"
#include "scan/MyDirectory.h"
#include "scan/UsageDirectory.h"
#include "settings/HistoryBox.h"

namespace {

TEST_F(ReportTest, MenuHasEveryItemInOrderWithCaptionsAndShortcuts) {
  auto window = NewWindow();
  QStringList seen;
  for (QAction* top : window->MainMenu1->actions()) {
    seen << top->text();
    if (!top->menu()) continue;
    for (QAction* item : top->menu()->actions()) {
      seen << (item->isSeparator() ? "-" : item->text() + "|" + item->shortcut().toString());
    }
  }
  const QStringList expected = {"&File",
                                "&New...|",
                                "Save &As...|Ctrl+S",
                                "-",
                                "&Open Scan...|Ctrl+O",
                                "&Export Scan...|",
                                "-",
                                "&Dialog...|F5",
                                "&Wizard...|F6",
                                "-",
                                "Setup Printer...|",
                                "&Print...|Ctrl+P",
                                "-",
                                "Load Configuration...|",
                                "Save Configuration...|",
                                "De&lete Configuration...|",
                                "-",
                                "E&xit|Ctrl+Q",
                                "&Edit",
                                "&Sort|",
                                "F&ind...|Ctrl+F",
                                "-",
                                "Cut|Ctrl+X",
                                "Copy|Ctrl+C",
                                "Paste|Ctrl+V",
                                "-",
                                "&Expand|",
                                "&Contract|",
                                "-",
                                "&Font...|",
                                "&View",
                                "Share &Bars|",
                                "&Treemap|F7",
                                "&Largest First|",
                                "&Problems...|",
                                "-",
                                "&Compare With...|",
                                "C&olour by Change|",
                                "&Files|",
                                "Lar&gest Files|",
                                "File T&ypes|",
                                "File &Ages|",
                                "&Stop",
                                "&Help",
                                "&Help...|F1",
                                "&About...|"};
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(window->windowTitle(), "Usage Report");
  EXPECT_TRUE(window->RichEdit1->isHidden());
  EXPECT_EQ(window->StatusText(), "");
  EXPECT_EQ(window->resultField->font().family(), "Courier New");
  EXPECT_EQ(window->resultField->font().pointSize(), 10);
}

TEST_F(ReportTest, DialogScanShowsTheCoresReport) {
  const QString root = MakeFolders();
  auto window = NewWindow();
  answer = [&](QDialog& d) {
    auto* dialog = qobject_cast<TUsageDialog*>(&d);
    if (!dialog) return int(QDialog::Rejected);
    FillDialog(*dialog, {root, root + "/a"}, "1", "1", true);
    dialog->OKButton->click();
    return dialog->result();
  };
  Trigger(*window, "Dialog1");
  UsageOptions options;
  options.Folders = {root.toStdString(), (root + "/a").toStdString()};
  options.MaxDepth = 1;
  options.MinSizeK = 1;
  options.ClearReport = true;
  EXPECT_EQ(window->Tree().TextForm(), CoreReport(options));
  EXPECT_EQ(window->Tree().TopLevelCount(), 2u);
  EXPECT_EQ(window->Model()->rowCount(), 2);
  EXPECT_EQ(window->StatusText(), "All Done");
  EXPECT_FALSE(window->Scanning());
  // The folder field went into its history.
  EXPECT_FALSE(window->UsageDialog()->pathEdit->Entries().isEmpty());
}

TEST_F(ReportTest, SectorRoundingReachesTheScan) {
  const QString root = MakeFolders();
  auto window = NewWindow();
  answer = [&](QDialog& d) {
    auto* dialog = qobject_cast<TUsageDialog*>(&d);
    FillDialog(*dialog, {root}, "0", "0", true, true, "4096");
    return int(mrOk);
  };
  Trigger(*window, "Dialog1");
  UsageOptions options;
  options.Folders = {root.toStdString()};
  options.AllowForSectorSize = true;
  options.SectorBytes = 4096;
  EXPECT_EQ(window->Tree().TextForm(), CoreReport(options));
}

TEST_F(ReportTest, WizardScansItsFolderWithNoLimitsAndAClearedReport) {
  const QString root = MakeFolders();
  auto window = NewWindow();
  window->Tree().AddChild(nullptr, "old");
  QStringList shown;
  answer = [&](QDialog& d) {
    shown << d.metaObject()->className();
    if (auto* dialog = qobject_cast<TUsageDialog*>(&d)) {
      // Limits and "keep the report" in the dialog do not apply to the wizard.
      FillDialog(*dialog, {"/nonexistent"}, "1", "100000", false);
      dialog->WizardButton->click();
      return dialog->result();
    }
    auto* wizard = qobject_cast<TUsageWizard*>(&d);
    wizard->RootDirectory->setText(root);
    return int(mrOk);
  };
  Trigger(*window, "Dialog1");
  EXPECT_EQ(shown, QStringList({"TUsageDialog", "TUsageWizard"}));
  UsageOptions options;
  options.Folders = {root.toStdString()};
  EXPECT_EQ(window->Tree().TextForm(), CoreReport(options));

  // The menu's Wizard... goes straight to the wizard; Cancel there does nothing.
  shown.clear();
  const std::string before = window->Tree().TextForm();
  answer = [&](QDialog& d) {
    shown << d.metaObject()->className();
    return int(mrCancel);
  };
  Trigger(*window, "Wizard1");
  EXPECT_EQ(shown, QStringList({"TUsageWizard"}));
  EXPECT_EQ(window->Tree().TextForm(), before);
}

TEST_F(ReportTest, InvalidNumberIsReportedInTheStandardErrorBoxAndNothingRuns) {
  const QString root = MakeFolders();
  auto window = NewWindow();
  window->Tree().AddChild(nullptr, "kept");
  QString boxText, boxTitle;
  QMessageBox::Icon boxIcon = QMessageBox::NoIcon;
  int buttons = 0;
  answer = [&](QDialog& d) {
    if (auto* dialog = qobject_cast<TUsageDialog*>(&d)) {
      // Size and SectorSize are wrong too: Depth is converted first.
      FillDialog(*dialog, {root}, "abc", "x", true, false, "");
      dialog->pathEdit->setCurrentText(root);
      return int(mrOk);
    }
    auto* box = qobject_cast<QMessageBox*>(&d);
    EXPECT_NE(box, nullptr);
    if (!box) return 0;
    boxText = box->text();
    boxTitle = box->windowTitle();
    boxIcon = box->icon();
    buttons = box->buttons().size();
    return int(QMessageBox::Ok);
  };
  Trigger(*window, "Dialog1");
  EXPECT_EQ(boxText, "'abc' is not a valid integer value for Maximum Depth.");
  EXPECT_EQ(boxTitle, ApplicationTitle());
  EXPECT_EQ(boxIcon, QMessageBox::Critical);
  EXPECT_EQ(buttons, 1);
  EXPECT_EQ(window->Tree().TextForm(), "kept\r\n");
  EXPECT_EQ(window->StatusText(), "");
  // The history was recorded before the conversion failed.
  EXPECT_TRUE(window->UsageDialog()->pathEdit->Entries().contains(root));

  // A hidden, unused sector size is converted all the same.
  answer = [&](QDialog& d) {
    if (auto* dialog = qobject_cast<TUsageDialog*>(&d)) {
      FillDialog(*dialog, {root}, "0", "0", true, false, "32k");
      return int(mrOk);
    }
    return int(QMessageBox::Ok);
  };
  Trigger(*window, "Dialog1");
  EXPECT_EQ(LastErrorText(), "'32k' is not a valid integer value for Sector Size.");
  EXPECT_EQ(window->Tree().TextForm(), "kept\r\n");
}

TEST_F(ReportTest, WithoutClearReportANewScanAddsAfterTheOldNodes) {
  const QString root = MakeFolders();
  auto window = NewWindow();
  answer = [&](QDialog& d) {
    FillDialog(*qobject_cast<TUsageDialog*>(&d), {root + "/a"}, "0", "0", false);
    return int(mrOk);
  };
  Trigger(*window, "Dialog1");
  const std::string first = window->Tree().TextForm();
  answer = [&](QDialog& d) {
    FillDialog(*qobject_cast<TUsageDialog*>(&d), {root + "/c"}, "0", "0", false);
    return int(mrOk);
  };
  Trigger(*window, "Dialog1");
  UsageOptions second;
  second.Folders = {(root + "/c").toStdString()};
  EXPECT_EQ(window->Tree().TextForm(), first + CoreReport(second));
  EXPECT_EQ(window->Tree().TopLevelCount(), 2u);

  // An empty folder list with Clear Report: the tree is emptied, nothing walked.
  answer = [&](QDialog& d) {
    FillDialog(*qobject_cast<TUsageDialog*>(&d), {}, "0", "0", true);
    return int(mrOk);
  };
  Trigger(*window, "Dialog1");
  EXPECT_EQ(window->Tree().Count(), 0u);
  EXPECT_EQ(window->StatusText(), "All Done");
}

TEST_F(ReportTest, StopDuringAScanLeavesAPartialTreeAndSaysItIsIncomplete) {
  const QString root = MakeFolders();
  auto window = NewWindow();
  // Stop before any scan has no effect on the next one.
  Trigger(*window, "Stop1");
  answer = [&](QDialog& d) {
    FillDialog(*qobject_cast<TUsageDialog*>(&d), {root}, "0", "0", true);
    return int(mrOk);
  };
  Trigger(*window, "Dialog1");
  const std::size_t full = window->Tree().Count();
  EXPECT_GT(full, 5u);

  // The click arrives through the event processing the scan does at folder entry.
  answer = [&](QDialog& d) {
    FillDialog(*qobject_cast<TUsageDialog*>(&d), {root}, "0", "0", false);
    return int(mrOk);
  };
  window->Tree().Clear();
  window->Tree().AddChild(nullptr, "kept");
  QTimer::singleShot(0, window.get(), [&] {
    EXPECT_TRUE(window->Scanning());
    // Commands that would disturb the scan are refused, and say why.
    Trigger(*window, "New1");
    Trigger(*window, "Dialog1");
    Trigger(*window, "Wizard1");
    Trigger(*window, "LoadConfiguration1");
    EXPECT_FALSE(window->StatusNotice().isEmpty());
    Trigger(*window, "Stop1");
  });
  const int dialogsBefore = modalCount;
  Trigger(*window, "Dialog1");
  EXPECT_EQ(modalCount, dialogsBefore + 1);  // only the dialog that started the scan
  ASSERT_GE(window->Tree().TopLevelCount(), 1u);
  EXPECT_EQ(window->Tree().TopLevel(0)->Label(), "kept");
  EXPECT_LT(window->Tree().Count(), full + 1);
  EXPECT_EQ(window->StatusText(), "Stopped: the report is incomplete");
  EXPECT_FALSE(window->Scanning());
}

TEST_F(ReportTest, ExitDuringAScanClosesTheWindowWhenTheScanEnds) {
  const QString root = MakeFolders();
  auto window = NewWindow();
  window->show();
  answer = [&](QDialog& d) {
    FillDialog(*qobject_cast<TUsageDialog*>(&d), {root}, "0", "0", true);
    return int(mrOk);
  };
  bool visibleAfterExit = false;
  QTimer::singleShot(0, window.get(), [&] {
    Trigger(*window, "Exit1");
    visibleAfterExit = window->isVisible();
  });
  Trigger(*window, "Dialog1");
  EXPECT_TRUE(visibleAfterExit);
  UsageOptions options;
  options.Folders = {root.toStdString()};
  EXPECT_EQ(window->Tree().TextForm(), CoreReport(options));  // the scan ran to its end
  EXPECT_FALSE(window->isVisible());
}

TEST_F(ReportTest, NewSortExpandAndContract) {
  auto window = NewWindow();
  TReportTree& tree = window->Tree();
  tree.LoadText("B\r\n\tb2\r\n\tb1\r\nA\r\n\ta1\r\n\t\ta11\r\n");
  // Nothing selected: Expand does nothing.
  Trigger(*window, "Expand1");
  EXPECT_FALSE(tree.TopLevel(0)->Expanded());

  Trigger(*window, "Sort1");
  EXPECT_EQ(tree.TextForm(), "A\r\n\ta1\r\n\t\ta11\r\nB\r\n\tb1\r\n\tb2\r\n");
  EXPECT_TRUE(window->cursor().shape() == Qt::ArrowCursor);

  TReportModel* model = window->Model();
  window->resultField->setCurrentIndex(model->index(0, 0));
  ASSERT_EQ(tree.Selected(), tree.TopLevel(0));
  Trigger(*window, "Expand1");
  EXPECT_TRUE(window->resultField->isExpanded(model->index(0, 0)));
  EXPECT_TRUE(tree.TopLevel(0)->Expanded());
  // One level only.
  EXPECT_FALSE(window->resultField->isExpanded(model->index(0, 0, model->index(0, 0))));
  Trigger(*window, "Contract1");
  EXPECT_FALSE(window->resultField->isExpanded(model->index(0, 0)));

  // Expanding in the view is recorded in the tree.
  window->resultField->expand(model->index(1, 0));
  EXPECT_TRUE(tree.TopLevel(1)->Expanded());

  Trigger(*window, "New1");
  EXPECT_EQ(tree.Count(), 0u);
  EXPECT_TRUE(tree.Sorted());  // New keeps the sort mode
}

TEST_F(ReportTest, CutCopyAndPasteDoNothing) {
  auto window = NewWindow();
  window->Tree().LoadText("A\r\nB\r\n");
  for (const char* item : {"Cut1", "Copy1", "Paste1"}) Trigger(*window, item);
  EXPECT_EQ(window->Tree().TextForm(), "A\r\nB\r\n");
  EXPECT_EQ(modalCount, 0);
}

TEST_F(ReportTest, RunDialogAutomaticallyOpensTheDialogOnceAtStart) {
  {
    auto window = NewWindow();
    window->UsageDialog()->startWithDialog->setChecked(true);
  }  // saved on the way out
  auto window = NewWindow();
  int dialogs = 0;
  answer = [&](QDialog& d) {
    EXPECT_NE(qobject_cast<TUsageDialog*>(&d), nullptr);
    ++dialogs;
    return int(mrCancel);
  };
  window->show();
  QApplication::processEvents();
  window->hide();
  window->show();
  QApplication::processEvents();
  EXPECT_EQ(dialogs, 1);
}

TEST_F(ReportTest, DamagedSettingsAreReportedAndTheRestIsStillRead) {
  {
    auto window = NewWindow();
    window->UsageDialog()->Depth->setText("5");
    window->Tree().LoadText("kept\r\n");
  }
  const QString store = TempPath("config/Zelvik Software/Vorntools.conf");
  QFile file(store);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  QString text = QString::fromUtf8(file.readAll());
  file.close();
  // A list where the window's left edge should be: a value of the wrong type.
  const qsizetype at = text.indexOf("[Usage\\Report]\nLeft=");
  ASSERT_GE(at, 0) << text.toStdString();
  text.replace(text.indexOf("Left=", at), 8, "Left=1, 2");
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(text.toUtf8());
  file.close();

  QString shown;
  answer = [&](QDialog& d) {
    if (auto* box = qobject_cast<QMessageBox*>(&d)) shown = box->text();
    return int(QMessageBox::Ok);
  };
  auto window = NewWindow();
  EXPECT_EQ(shown, "Invalid data type for 'Left'.");
  // Everything after the damaged value was read all the same.
  EXPECT_EQ(window->UsageDialog()->Depth->text(), "5");
  EXPECT_EQ(window->Tree().TextForm(), "kept\r\n");
  EXPECT_EQ(window->SettingsVersion, 1);
}

}  // namespace

namespace {

// Run as an unprivileged user, where a folder without permissions cannot be read.
TEST_F(ReportTest, ProblemsAreCountedInTheStatusLineAndListedInTheirWindow) {
  const QString root = MakeFolders();
  QDir().mkpath(root + "/shut");
  ::chmod(QFile::encodeName(root + "/shut").constData(), 0);
  const auto out = RunUnprivileged(
      [&] {
        auto window = NewWindow();
        answer = [&](QDialog& d) {
          FillDialog(*qobject_cast<TUsageDialog*>(&d), {root}, "0", "0", true);
          return int(mrOk);
        };
        Trigger(*window, "Dialog1");
        Trigger(*window, "Problems1");
        window->ProblemsWindow->List()->selectAll();
        std::string text = window->StatusText().toStdString() + "\n" +
                           window->ProblemsWindow->SelectedText().toStdString();
        window->ProblemsWindow->SetProblems({});
        text += window->ProblemsWindow->EmptyNote()->isVisibleTo(window->ProblemsWindow)
                    ? "empty note shown"
                    : "no empty note";
        return text;
      },
      {home_.path().toStdString()});
  if (!out) GTEST_SKIP() << "SKIPPED LOUDLY: cannot run as an unprivileged user here";
  EXPECT_EQ(*out, "All Done (1 problem: View > Problems...)\n" + (root + "/shut").toStdString() +
                      "\tPermission denied\nempty note shown");
}

TEST_F(ReportTest, AnErrorDuringAScanEndsItAndTheWindowStaysUsable) {
  const QString root = MakeFolders();
  auto window = NewWindow();
  window->Tree().SetCapacity(3);
  answer = [&](QDialog& d) {
    if (auto* dialog = qobject_cast<TUsageDialog*>(&d)) {
      FillDialog(*dialog, {root}, "0", "0", true);
      return int(mrOk);
    }
    return int(QMessageBox::Ok);
  };
  Trigger(*window, "Dialog1");
  EXPECT_EQ(LastErrorText(), "Unable to insert an item.");
  EXPECT_FALSE(window->Scanning());
  // "All Done" is not shown: the status line keeps the folder it was in.
  EXPECT_TRUE(window->StatusText().endsWith("...")) << window->StatusText().toStdString();
  EXPECT_EQ(window->Tree().Count(), 3u);

  window->Tree().SetCapacity(1000);
  Trigger(*window, "Dialog1");
  EXPECT_EQ(window->StatusText(), "All Done");
  EXPECT_GT(window->Tree().Count(), 3u);
}

}  // namespace

namespace {

// Calls `act` on each modal window as it opens, from inside its own loop;
// any modal still open after a few seconds is closed so the test cannot hang.
class TModalDriver : public QObject {
 public:
  explicit TModalDriver(std::function<void(QWidget*)> act) : act_(std::move(act)) {
    poll_.setInterval(20);
    connect(&poll_, &QTimer::timeout, this, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (!modal || modal == last_) return;
      last_ = modal;
      seen << modal->metaObject()->className();
      act_(modal);
    });
    poll_.start();
    guard_.setSingleShot(true);
    connect(&guard_, &QTimer::timeout, this, [this] {
      timedOut = true;
      while (QWidget* modal = QApplication::activeModalWidget()) {
        if (auto* dialog = qobject_cast<QDialog*>(modal))
          dialog->reject();
        else
          modal->close();
        QApplication::processEvents();
      }
    });
    guard_.start(10000);
  }

  QStringList seen;
  bool timedOut = false;

 private:
  std::function<void(QWidget*)> act_;
  QTimer poll_;
  QTimer guard_;
  QPointer<QWidget> last_;
};

TEST_F(ReportTest, RealModalDialogsWithoutTheTestHook) {
  SetModalHook(nullptr);
  auto window = NewWindow();
  window->show();
  QApplication::processEvents();
  bool refused = false;
  TModalDriver driver([&](QWidget* modal) {
    if (auto* dialog = qobject_cast<TUsageDialog*>(modal)) {
      // OK refuses the wrong number and the dialog comes back; then Cancel.
      // Clicked from the loop, as the box OK opens needs the driver again.
      if (refused) {
        QTimer::singleShot(0, dialog->CancelButton, &QPushButton::click);
        return;
      }
      dialog->Depth->setText("abc");
      QTimer::singleShot(0, dialog->OKButton, &QPushButton::click);
    } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      refused = true;
      box->button(QMessageBox::Ok)->click();
    }
  });
  Trigger(*window, "Dialog1");
  EXPECT_FALSE(driver.timedOut);
  EXPECT_EQ(driver.seen, QStringList({"TUsageDialog", "QMessageBox", "TUsageDialog"}));
  EXPECT_EQ(LastErrorText(), "'abc' is not a valid integer value for Maximum Depth.");
}

}  // namespace

namespace {

TEST_F(ReportTest, ShortcutKeysReachTheirCommands) {
  auto window = NewWindow();
  window->show();
  QApplication::setActiveWindow(window.get());
  window->resultField->setFocus();
  QApplication::processEvents();
  QStringList shown;
  answer = [&](QDialog& d) {
    shown << d.metaObject()->className();
    return int(mrCancel);
  };
  QTest::keyClick(window->resultField, Qt::Key_F5);
  QTest::keyClick(window->resultField, Qt::Key_F6);
  EXPECT_EQ(shown, QStringList({"TUsageDialog", "TUsageWizard"}));
  // Esc does not close the main window.
  QTest::keyClick(window->resultField, Qt::Key_Escape);
  EXPECT_TRUE(window->isVisible());
}

}  // namespace

namespace {

TEST_F(ReportTest, StopActsWhenClickedOnTheMenuBar) {
  auto window = NewWindow();
  window->show();
  QApplication::processEvents();
  StopRequested = false;
  QAction* stop = window->FindAction("Stop1");
  ASSERT_NE(stop, nullptr);
  EXPECT_EQ(stop->menu(), nullptr);  // an item of the bar itself, nothing under it
  const QRect place = window->MainMenu1->actionGeometry(stop);
  ASSERT_FALSE(place.isEmpty());
  QTest::mouseClick(window->MainMenu1, Qt::LeftButton, Qt::NoModifier, place.center());
  EXPECT_TRUE(StopRequested.load());
  StopRequested = false;
}

}  // namespace

namespace {

// A pane added after the settings were read still finds the place and the
// visibility it had when the window last saved; a damaged layout leaves
// the pane where it is given, without a word.
TEST_F(ReportTest, PanesComeBackWhereTheyWereAndADamagedLayoutIsIgnored) {
  auto pane = [](TUsageReport& window) {
    auto* dock = new QDockWidget("Pane", &window);
    dock->setObjectName("TestPane1");
    dock->setWidget(new QLabel("pane", dock));
    window.AddPane(dock, Qt::BottomDockWidgetArea);
    return dock;
  };
  {
    auto window = NewWindow();
    QDockWidget* dock = pane(*window);
    window->show();
    EXPECT_EQ(window->dockWidgetArea(dock), Qt::BottomDockWidgetArea);
    window->addDockWidget(Qt::RightDockWidgetArea, dock);
    dock->hide();
  }
  QString saved;
  {
    auto window = NewWindow();
    QDockWidget* dock = pane(*window);
    EXPECT_EQ(window->dockWidgetArea(dock), Qt::RightDockWidgetArea);
    EXPECT_TRUE(dock->isHidden());
    saved = window->IniFile->ReadText("Usage\\Report", "Docks-1", "");
  }
  ASSERT_GT(saved.size(), 8);
  for (const QString& damaged : {QString("not a layout!"), saved.left(saved.size() / 2),
                                 QString("AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA")}) {
    TMyIniFile(kDefaultSettingsRoot).WriteText("Usage\\Report", "Docks-1", damaged);
    auto window = NewWindow();  // an error box would fail the test
    QDockWidget* dock = pane(*window);
    EXPECT_EQ(window->dockWidgetArea(dock), Qt::BottomDockWidgetArea) << damaged.toStdString();
    EXPECT_FALSE(dock->isHidden());
  }
}

}  // namespace

namespace {

TEST_F(ReportTest, HiddenNamesAreLeftOutAndListedUntilCountedAndAMissingStartIsTold) {
  const QString root = MakeFolders();
  const auto write = [](const QString& path, int bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(bytes, 'x'));
  };
  write(root + "/.hidden.bin", 7000);
  write(root + "/a/.cache/kept.bin", 9000);
  constexpr std::int64_t kVisible = 3000 + 10 * 1024 + 2048 + 40 * 1024 + 100 + 5000;
  auto window = NewWindow();
  QStringList folders{root};
  bool hidden = false;
  answer = [&](QDialog& d) {
    auto* dialog = qobject_cast<TUsageDialog*>(&d);
    FillDialog(*dialog, folders, "0", "0", true);
    dialog->countHidden->setChecked(hidden);
    return int(mrOk);
  };
  Trigger(*window, "Dialog1");
  EXPECT_EQ(window->StatusText(), "All Done (2 hidden items not counted)");
  ASSERT_EQ(window->Tree().TopLevelCount(), 1u);
  EXPECT_EQ(window->Tree().TopLevel(0)->Bytes(), kVisible);
  TProblemsWindow& problems = *window->ProblemsWindow;
  QStringList rows;
  for (const ScanProblem& p : problems.Problems()) {
    EXPECT_TRUE(p.leftOut) << p.path;
    rows << QString::fromStdString(p.path + "\t" + p.reason);
  }
  rows.sort();
  EXPECT_EQ(rows, QStringList({root + "/.hidden.bin\tLeft out: hidden",
                               root + "/a/.cache\tLeft out: hidden"}));

  // Left-out rows stand back in the disabled colour; a read error keeps the
  // view's own, and each row keeps its colour when sorted.
  std::vector<ScanProblem> mixed = problems.Problems();
  mixed.push_back({(root + "/b/shut").toStdString(), "Permission denied", false});
  problems.SetProblems(std::move(mixed));
  EXPECT_FALSE(problems.LeftOutNote()->isHidden());
  QTableView* list = problems.List();
  list->sortByColumn(1, Qt::AscendingOrder);
  const QColor grey = problems.palette().color(QPalette::Disabled, QPalette::Text);
  QStringList shown;
  for (int row = 0; row < list->model()->rowCount(); ++row) {
    const QModelIndex reason = list->model()->index(row, 1);
    const QVariant colour = reason.data(Qt::ForegroundRole);
    shown << reason.data().toString() + (colour.isValid() && colour.value<QColor>() == grey
                                             ? " grey"
                                         : colour.isValid() ? " coloured"
                                                            : " plain");
  }
  EXPECT_EQ(shown, QStringList({"Left out: hidden grey", "Left out: hidden grey",
                                "Permission denied plain"}));

  hidden = true;
  Trigger(*window, "Dialog1");
  EXPECT_EQ(window->StatusText(), "All Done");
  EXPECT_EQ(window->Tree().TopLevel(0)->Bytes(), kVisible + 7000 + 9000);
  EXPECT_TRUE(problems.Problems().empty());
  EXPECT_TRUE(problems.LeftOutNote()->isHidden());

  folders << root + "/missing";
  Trigger(*window, "Dialog1");
  EXPECT_EQ(window->StatusText(),
            "Done, but 1 starting folder could not be read (1 problem: View > Problems...)");
  ASSERT_EQ(window->Tree().TopLevelCount(), 2u);
  EXPECT_TRUE(window->Tree().TopLevel(1)->Failed()) << "marked *";
  ASSERT_EQ(problems.Problems().size(), 1u);
  EXPECT_EQ(problems.Problems()[0].path, (root + "/missing").toStdString());
  EXPECT_FALSE(problems.Problems()[0].leftOut);
}

}  // namespace
