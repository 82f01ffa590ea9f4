#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

#include "TestSupport.h"
#include "dialogs/ChooseDirectory.h"
#include "dialogs/DialogCommon.h"
#include "dialogs/UsageDialog.h"
#include "scan/Errors.h"
#include "settings/HistoryBox.h"
#include "settings/MyIniFile.h"

namespace {

class UsageDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dialog_ = std::make_unique<TUsageDialog>(nullptr, kDefaultSettingsRoot);
    dialog_->RestoreForm();
  }
  void TearDown() override { dialog_.reset(); }

  QStringList Items() const { return dialog_->Folders(); }
  void ClickItem(int row) {
    QListWidget* paths = dialog_->paths;
    QTest::mouseClick(paths->viewport(), Qt::LeftButton, {},
                      paths->visualItemRect(paths->item(row)).center());
  }
  // Types at the end of the field (showing the dialog selects its text).
  void Type(const QString& text) {
    dialog_->pathEdit->lineEdit()->end(false);
    QTest::keyClicks(dialog_->pathEdit->lineEdit(), text);
  }

  TIsolatedSettings settings_;
  std::unique_ptr<TUsageDialog> dialog_;
};

TEST_F(UsageDialogTest, FirstStartShowsTheDesignValues) {
  TUsageDialog& d = *dialog_;
  EXPECT_EQ(d.windowTitle(), "Usage Vorntool");
  EXPECT_EQ(d.Section, "Usage\\Dialog");
  EXPECT_EQ(d.pathEdit->currentText(), "/");
  EXPECT_EQ(d.pathEdit->count(), 0);
  EXPECT_EQ(d.pathEdit->Size(), 20);
  EXPECT_EQ(Items(), QStringList{"/"});
  EXPECT_EQ(d.SelectedPathIndex(), 0);
  EXPECT_EQ(d.Depth->text(), "0");
  EXPECT_EQ(d.Size->text(), "0");
  EXPECT_EQ(d.SectorSize->text(), "32000");
  EXPECT_FALSE(d.UseSectors->isChecked());
  EXPECT_FALSE(d.startWithDialog->isChecked());
  EXPECT_TRUE(d.clearReport->isChecked());
  EXPECT_TRUE(d.SectorSize->isHidden());
  EXPECT_TRUE(d.LabelSectorSize->isHidden());
  EXPECT_TRUE(d.SectorSize->isEnabled());

  d.show();
  EXPECT_EQ(d.notebook->currentWidget(), d.FoldersTab);
  EXPECT_EQ(d.notebook->tabText(0), "Folders");
  EXPECT_EQ(d.notebook->tabText(1), "Usage");
  EXPECT_EQ(d.notebook->tabText(2), "Options");
  EXPECT_EQ(d.OKButton->text(), "&OK");
  EXPECT_EQ(d.WizardButton->text(), "&Wizard");
  EXPECT_EQ(d.helpButton->text(), "&Help");
  EXPECT_EQ(d.CancelButton->text(), "&Cancel");
  EXPECT_EQ(d.InsertDirectoryButton->text(), "&Insert");
  EXPECT_EQ(d.DeleteDirectoryButton->text(), "&Delete");
  EXPECT_EQ(d.BrowseButton->text(), "...");
  EXPECT_TRUE(d.OKButton->isDefault());
  EXPECT_EQ(d.UseSectors->text(), "Allow for Sector Size");
  EXPECT_EQ(d.startWithDialog->toolTip(),
            "Always run this dialog automatically when the Vorntool starts up.");
  EXPECT_EQ(d.clearReport->toolTip(), "Delete the current report before beginning the next one.");
  EXPECT_EQ(d.Label2->text(), "Maximum Depth:");
  EXPECT_EQ(d.Label3->text(), "Minimum Size (K):");
  EXPECT_EQ(d.LabelSectorSize->text(), "Sector Size");

  // Tab order of the dialog's own children, then the Folders page.
  const std::vector<QWidget*> order = {d.OKButton,
                                       d.CancelButton,
                                       d.WizardButton,
                                       d.notebook,
                                       d.pathEdit,
                                       d.BrowseButton,
                                       d.paths,
                                       d.InsertDirectoryButton,
                                       d.DeleteDirectoryButton,
                                       d.helpButton};
  // Each stop of the focus chain counts for the control it belongs to (the
  // tab bar for the page control, the line edit for the folder field).
  const auto owner = [&](QWidget* w) -> QWidget* {
    for (; w; w = w->parentWidget())
      if (std::find(order.begin(), order.end(), w) != order.end()) return w;
    return nullptr;
  };
  std::vector<QWidget*> visited;
  QWidget* w = d.OKButton;
  do {
    if ((w->focusPolicy() & Qt::TabFocus) && w->isVisible() && w->isEnabled()) {
      QWidget* stop = owner(w);
      if (stop && (visited.empty() || visited.back() != stop)) visited.push_back(stop);
    }
    w = w->nextInFocusChain();
  } while (w != d.OKButton);
  EXPECT_EQ(visited, order);
}

TEST_F(UsageDialogTest, ResizingFollowsTheRulesInPixels) {
  TUsageDialog& d = *dialog_;
  d.show();
  const auto before = [&](QWidget* w) { return w->geometry(); };
  const QRect pathEdit = before(d.pathEdit), paths = before(d.paths),
              browse = before(d.BrowseButton), ok = before(d.OKButton),
              wizard = before(d.WizardButton), help = before(d.helpButton),
              cancel = before(d.CancelButton), insert = before(d.InsertDirectoryButton),
              remove = before(d.DeleteDirectoryButton);
  EXPECT_EQ(pathEdit, QRect(8, 8, 297, 21));
  EXPECT_EQ(paths, QRect(8, 40, 321, 177));
  EXPECT_EQ(ok, QRect(360, 64, 75, 25));

  d.resize(d.width() + 100, d.height() + 50);
  // Wider by 100: everything right-bound moves 100, the folder field and list grow 100.
  EXPECT_EQ(d.pathEdit->geometry(), pathEdit.adjusted(0, 0, 100, 0));  // one line stays one line
  EXPECT_EQ(d.paths->geometry(), paths.adjusted(0, 0, 100, 50));
  EXPECT_EQ(d.BrowseButton->geometry(), browse.translated(100, 0));
  EXPECT_EQ(d.OKButton->geometry(), ok.translated(100, 0));
  EXPECT_EQ(d.WizardButton->geometry(), wizard.translated(100, 0));
  EXPECT_EQ(d.helpButton->geometry(), help.translated(100, 0));
  EXPECT_EQ(d.CancelButton->geometry(), cancel.translated(100, 0));
  EXPECT_EQ(d.InsertDirectoryButton->geometry(), insert.translated(100, 0));
  EXPECT_EQ(d.DeleteDirectoryButton->geometry(), remove.translated(100, 0));
  EXPECT_EQ(d.notebook->geometry(), d.rect());
  // The Usage page has no rules; its fields show their longest numbers whole.
  EXPECT_EQ(d.Depth->geometry().topLeft(), QPoint(120, 20));
  EXPECT_GT(d.Depth->width(), d.Depth->fontMetrics().horizontalAdvance("-2147483648"));

  // The rules as measured at the design size: W - 161 etc. against the outer
  // frame of 458 by 300; without a frame (offscreen) the same distances.
  const QSize frame = QSize(458, 300) - QSize(450, 273);
  const auto& rules = d.ResizeList();
  ASSERT_EQ(rules.size(), 9u);
  EXPECT_EQ(rules[0]->component, d.pathEdit);
  EXPECT_EQ(rules[0]->widthOffset + frame.width(), 161);
  EXPECT_EQ(rules[0]->heightOffset + frame.height(), 279);
  EXPECT_EQ(rules[1]->widthOffset + frame.width(), 137);
  EXPECT_EQ(rules[1]->heightOffset + frame.height(), 123);
  EXPECT_EQ(rules[2]->rightOffset + frame.width(), 154);
  for (int i = 3; i <= 6; ++i) EXPECT_EQ(rules[i]->rightOffset + frame.width(), 98);
  for (int i = 7; i <= 8; ++i) EXPECT_EQ(rules[i]->rightOffset + frame.width(), 102);
  for (const auto& rule : rules) EXPECT_FALSE(rule->followBottom);
}

// A dialog with one stretching control, to squeeze below its offsets.
class TSqueezeDialog : public TMyDialog {
 public:
  TSqueezeDialog() : TMyDialog(nullptr, kDefaultSettingsRoot, "Test") {
    resize(200, 100);
    control = new QWidget(this);
    control->setGeometry(150, 60, 40, 30);
    AddResize(control, false, true, false, true);
    other = new QWidget(this);
    other->setGeometry(150, 60, 40, 30);
    AddResize(other, true, false, true, false);
  }
  void Apply() { ResizeControls(); }
  QWidget* control;
  QWidget* other;
};

TEST(MyDialog, ControlsSqueezedToNothingKeepOnePixel) {
  TIsolatedSettings settings;
  TSqueezeDialog d;
  EXPECT_EQ(d.Section, "Test\\Dialog");
  d.resize(100, 50);
  d.Apply();
  EXPECT_EQ(d.control->geometry(), QRect(150, 60, 1, 1));
  EXPECT_EQ(d.other->geometry(), QRect(50, 10, 40, 30));
  d.resize(300, 200);
  d.Apply();
  EXPECT_EQ(d.control->geometry(), QRect(150, 60, 140, 130));
  EXPECT_EQ(d.other->geometry(), QRect(250, 160, 40, 30));
}

TEST_F(UsageDialogTest, SectorSizeShowsOnlyWhileTheBoxIsChecked) {
  TUsageDialog& d = *dialog_;
  d.show();
  d.notebook->setCurrentWidget(d.usageTab);
  QTest::mouseClick(d.UseSectors, Qt::LeftButton, {}, QPoint(5, d.UseSectors->height() / 2));
  EXPECT_TRUE(d.UseSectors->isChecked());
  EXPECT_TRUE(d.SectorSize->isVisible());
  EXPECT_TRUE(d.LabelSectorSize->isVisible());
  QTest::mouseClick(d.UseSectors, Qt::LeftButton, {}, QPoint(5, d.UseSectors->height() / 2));
  EXPECT_FALSE(d.SectorSize->isVisible());
  EXPECT_FALSE(d.LabelSectorSize->isVisible());

  d.IniFile->WriteFlag(d.Section, "CheckBox-1", true);
  d.RestoreForm();
  EXPECT_TRUE(d.SectorSize->isVisible());
}

TEST_F(UsageDialogTest, TypingEditsTheSelectedFolderOrAppendsOne) {
  TUsageDialog& d = *dialog_;
  d.show();
  // With the first folder selected, typing edits it in place.
  Type("usr");
  EXPECT_EQ(Items(), QStringList{"/usr"});
  EXPECT_EQ(d.SelectedPathIndex(), 0);

  // With nothing selected, the first key appends and the next ones edit that item.
  d.SelectPath(-1);
  d.pathEdit->setEditText("/home");
  EXPECT_EQ(Items(), QStringList{"/usr"}) << "text set by code runs no handler";
  Type("/a");
  EXPECT_EQ(Items(), (QStringList{"/usr", "/home/a"}));
  EXPECT_EQ(d.SelectedPathIndex(), 1);
  Type("b");
  EXPECT_EQ(Items(), (QStringList{"/usr", "/home/ab"}));

  // Picking from the history is a change like typing.
  d.pathEdit->addItem("/srv");
  d.pathEdit->setCurrentIndex(0);
  emit d.pathEdit->textActivated("/srv");
  EXPECT_EQ(Items(), (QStringList{"/usr", "/srv"}));
}

TEST_F(UsageDialogTest, InsertAndDeleteKeepFieldAndListInStep) {
  TUsageDialog& d = *dialog_;
  d.show();
  Type("x");
  QTest::mouseClick(d.InsertDirectoryButton, Qt::LeftButton);
  QTest::mouseClick(d.InsertDirectoryButton, Qt::LeftButton);
  EXPECT_EQ(Items(), (QStringList{"/x", "/", "/"}));
  EXPECT_EQ(d.SelectedPathIndex(), 2);
  EXPECT_EQ(d.pathEdit->currentText(), "/");

  // Delete removes the selected one and selects the first, showing it.
  d.SelectPath(0);
  QTest::mouseClick(d.DeleteDirectoryButton, Qt::LeftButton);
  EXPECT_EQ(Items(), (QStringList{"/", "/"}));
  EXPECT_EQ(d.SelectedPathIndex(), 0);
  EXPECT_EQ(d.pathEdit->currentText(), "/");

  QTest::mouseClick(d.DeleteDirectoryButton, Qt::LeftButton);
  d.pathEdit->setEditText("/kept");
  QTest::mouseClick(d.DeleteDirectoryButton, Qt::LeftButton);
  EXPECT_TRUE(Items().isEmpty());
  EXPECT_EQ(d.SelectedPathIndex(), -1);
  EXPECT_EQ(d.pathEdit->currentText(), "/kept");
  Type("2");
  EXPECT_EQ(Items(), QStringList{"/kept2"});
  EXPECT_EQ(d.SelectedPathIndex(), 0);
}

TEST_F(UsageDialogTest, ClickingCopiesTheFolderIntoTheFieldArrowKeysDoNot) {
  TUsageDialog& d = *dialog_;
  d.paths->clear();
  d.paths->addItems({"/one", "/two", "/three"});
  d.show();
  ClickItem(1);
  EXPECT_EQ(d.SelectedPathIndex(), 1);
  EXPECT_EQ(d.pathEdit->currentText(), "/two");
  d.paths->setFocus();
  QTest::keyClick(d.paths, Qt::Key_Down);
  EXPECT_EQ(d.SelectedPathIndex(), 2);
  EXPECT_EQ(d.pathEdit->currentText(), "/two");
  // A release with another button, over empty space, copies the selected one.
  QTest::mouseClick(d.paths->viewport(), Qt::RightButton, {}, QPoint(5, d.paths->height() - 10));
  EXPECT_EQ(d.pathEdit->currentText(), "/three");
}

TEST_F(UsageDialogTest, ButtonsAndKeysCloseWithTheirResults) {
  TUsageDialog& d = *dialog_;
  const auto run = [&](std::function<void(QWidget*)> action) {
    OnNextModal(std::move(action));
    return d.exec();
  };
  EXPECT_EQ(run([&](QWidget*) { QTest::mouseClick(d.OKButton, Qt::LeftButton); }), mrOk);
  EXPECT_EQ(run([&](QWidget*) { QTest::mouseClick(d.WizardButton, Qt::LeftButton); }), mrIgnore);
  EXPECT_EQ(run([&](QWidget*) { QTest::mouseClick(d.CancelButton, Qt::LeftButton); }), mrCancel);
  EXPECT_EQ(run([&](QWidget*) { QTest::keyClick(d.paths, Qt::Key_Escape); }), mrCancel);
  EXPECT_EQ(run([&](QWidget*) { d.close(); }), mrCancel);
  EXPECT_EQ(run([&](QWidget*) {
              d.notebook->setCurrentWidget(d.usageTab);
              QTest::keyClick(d.Depth, Qt::Key_Return);
            }),
            mrOk);
  EXPECT_EQ(run([&](QWidget*) { QTest::keyClick(d.pathEdit->lineEdit(), Qt::Key_Enter); }), mrOk);
  EXPECT_EQ(d.pathEdit->count(), 0) << "Enter adds nothing to the history";
}

TEST_F(UsageDialogTest, HelpWithoutAHelpFileShowsTheErrorAndTheDialogStaysOpen) {
  TUsageDialog& d = *dialog_;
  QString caption, text;
  bool stillOpen = false;
  OnNextModal([&](QWidget*) {
    OnNextModal(
        [&](QWidget* box) {
          caption = box->windowTitle();
          text = static_cast<QMessageBox*>(box)->text();
          static_cast<QMessageBox*>(box)->accept();
          stillOpen = d.isVisible();
          d.done(mrCancel);
        },
        &d);
    QTest::mouseClick(d.helpButton, Qt::LeftButton);
  });
  EXPECT_EQ(d.exec(), mrCancel);
  EXPECT_EQ(caption, "Error");
  EXPECT_EQ(text, "Can't find the help file");
  EXPECT_TRUE(stillOpen);
}

TEST_F(UsageDialogTest, BrowseTakesTheChosenFolderOnlyOnOk) {
  QTemporaryDir tree;
  ASSERT_TRUE(QDir(tree.path()).mkpath("picked"));
  TCurrentFolder keep(QDir::currentPath());
  TUsageDialog& d = *dialog_;
  ASSERT_EQ(d.ChooseDirectory->DirectoryListBox1->SetDirectory(tree.path() + "/picked"), 0);
  d.show();

  OnNextModal([&](QWidget* chooser) {
    EXPECT_EQ(chooser, d.ChooseDirectory);
    QTest::mouseClick(d.ChooseDirectory->Cancel, Qt::LeftButton);
  });
  d.BrowseButtonClick();
  EXPECT_EQ(d.pathEdit->currentText(), "/");
  EXPECT_EQ(Items(), QStringList{"/"});

  const QString picked = QDir(tree.path() + "/picked").canonicalPath();
  OnNextModal([&](QWidget*) {
    ASSERT_EQ(d.ChooseDirectory->DirectoryListBox1->SetDirectory(picked), 0);
    QTest::mouseClick(d.ChooseDirectory->OK, Qt::LeftButton);
  });
  QTest::mouseClick(d.BrowseButton, Qt::LeftButton);
  EXPECT_EQ(QDir(d.pathEdit->currentText()).canonicalPath(), picked);
  EXPECT_EQ(Items(), QStringList{d.pathEdit->currentText()}) << "replaces the selected folder";

  d.SelectPath(-1);
  OnNextModal([&](QWidget*) { QTest::mouseClick(d.ChooseDirectory->OK, Qt::LeftButton); });
  d.BrowseButtonClick();
  EXPECT_EQ(Items().size(), 2) << "appended when none is selected";
  EXPECT_EQ(d.SelectedPathIndex(), 1);
}

TEST_F(UsageDialogTest, AfterTheChooserIsCancelledEnterMeansOk) {
  TUsageDialog& d = *dialog_;
  const QPointer<TChooseDirectory> chooser = d.ChooseDirectory;
  bool reopened = false;
  OnNextModal([&](QWidget*) {
    // From the keyboard: "..." opens the chooser, Esc leaves it.
    d.BrowseButton->setFocus();
    OnNextModal([&](QWidget*) { QTest::keyClick(d.ChooseDirectory, Qt::Key_Escape); }, &d);
    QTest::keyClick(d.BrowseButton, Qt::Key_Space);
    // The window manager hands activation back to the dialog; offscreen nobody does.
    QApplication::setActiveWindow(&d);
    // Should Enter open the chooser again, that one is cancelled as well.
    QTimer::singleShot(0, [chooser, &reopened] {
      if (chooser && QApplication::activeModalWidget() == chooser) {
        reopened = true;
        chooser->reject();
      }
    });
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    QTest::keyClick(focus, Qt::Key_Return);
    if (d.isVisible()) d.done(mrCancel);
  });
  EXPECT_EQ(d.exec(), mrOk);
  EXPECT_FALSE(reopened);
}

TEST_F(UsageDialogTest, EditsSurviveCancelAndASaveRestoreRoundTrip) {
  TUsageDialog& d = *dialog_;
  OnNextModal([&](QWidget*) {
    d.paths->clear();
    d.paths->addItems({"/data", "/srv/files"});
    d.SelectPath(1);
    d.pathEdit->setEditText("/srv/files");
    d.pathEdit->AddToHistory();
    d.Depth->setText("abc");
    d.Size->setText(" 12");
    d.SectorSize->setText("$1000");
    d.UseSectors->setChecked(true);
    d.startWithDialog->setChecked(true);
    d.clearReport->setChecked(false);
    QTest::mouseClick(d.CancelButton, Qt::LeftButton);
  });
  EXPECT_EQ(d.exec(), mrCancel);
  EXPECT_EQ(d.Depth->text(), "abc");
  EXPECT_EQ(Items(), (QStringList{"/data", "/srv/files"}));
  d.SaveForm();

  TUsageDialog again(nullptr, kDefaultSettingsRoot);
  again.RestoreForm();
  EXPECT_EQ(again.Folders(), (QStringList{"/data", "/srv/files"}));
  EXPECT_EQ(again.SelectedPathIndex(), 1);
  EXPECT_EQ(again.pathEdit->currentText(), "/srv/files");
  EXPECT_EQ(again.pathEdit->Entries(), QStringList{"/srv/files"});
  EXPECT_EQ(again.Depth->text(), "abc");
  EXPECT_EQ(again.Size->text(), " 12");
  EXPECT_EQ(again.SectorSize->text(), "$1000");
  EXPECT_TRUE(again.UseSectors->isChecked());
  EXPECT_FALSE(again.SectorSize->isHidden());
  EXPECT_TRUE(again.startWithDialog->isChecked());
  EXPECT_FALSE(again.clearReport->isChecked());

  // Nothing selected is stored as -1 and read back as nothing selected.
  again.SelectPath(-1);
  again.SaveForm();
  EXPECT_EQ(again.IniFile->ReadNumber(again.Section, "Misc-1", 99), -1);
  TUsageDialog third(nullptr, kDefaultSettingsRoot);
  third.RestoreForm();
  EXPECT_EQ(third.SelectedPathIndex(), -1);
  EXPECT_EQ(third.pathEdit->currentText(), "/srv/files");
}

TEST_F(UsageDialogTest, AnEmptyStoredListTakesTheFolderField) {
  TUsageDialog& d = *dialog_;
  d.IniFile->WriteNumber("Usage\\DialogListBox-1", "Count", 0);
  d.IniFile->WriteText("Usage\\Dialog-History-1", "Text", "/from/field");
  d.IniFile->WriteNumber(d.Section, "Misc-1", 5);
  d.RestoreForm();
  EXPECT_EQ(Items(), QStringList{"/from/field"});
  EXPECT_EQ(d.SelectedPathIndex(), -1) << "an index outside the list selects nothing";
  EXPECT_EQ(d.pathEdit->currentText(), "/from/field");
}

}  // namespace

namespace {

TEST_F(UsageDialogTest, CountingOptionsAreStoredAndReachTheScan) {
  TUsageDialog& d = *dialog_;
  d.show();
  d.notebook->setCurrentWidget(d.Options);
  EXPECT_FALSE(d.countAllocated->isChecked());
  EXPECT_EQ(d.Threads->value(), 0);
  // The allocated size and the rounding to allocation units exclude each other.
  d.countAllocated->click();
  EXPECT_FALSE(d.UseSectors->isEnabled());
  d.countAllocated->click();
  d.UseSectors->click();
  EXPECT_FALSE(d.countAllocated->isEnabled());
  d.UseSectors->click();
  EXPECT_TRUE(d.countAllocated->isEnabled());

  d.countAllocated->click();
  d.hardLinksOnce->click();
  d.oneFileSystem->click();
  QTest::keyClicks(d.Exclude, "node_modules; build/* ;;*.o");
  d.Threads->setValue(3);
  d.SaveForm();

  TUsageDialog again(nullptr, kDefaultSettingsRoot);
  again.RestoreForm();
  EXPECT_FALSE(again.UseSectors->isEnabled());
  const UsageOptions o = again.TakeScanOptions();
  EXPECT_TRUE(o.CountAllocated);
  EXPECT_FALSE(o.AllowForSectorSize);
  EXPECT_TRUE(o.HardLinksOnce);
  EXPECT_TRUE(o.OneFileSystem);
  EXPECT_EQ(o.Exclude, (std::vector<std::string>{"node_modules", "build/*", "*.o"}));
  EXPECT_EQ(o.Threads, 3);
  EXPECT_EQ(again.IniFile->ReadText(again.Section, "Edit-4", ""), "node_modules; build/* ;;*.o");

  // The page's own accelerators leave Alt+O to OK.
  QWidget* focusAfterAltX = nullptr;
  OnNextModal([&](QWidget*) {
    again.notebook->setCurrentWidget(again.Options);
    again.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&again));
    again.countAllocated->setFocus();
    QTest::keyClick(again.countAllocated, Qt::Key_X, Qt::AltModifier);
    focusAfterAltX = QApplication::focusWidget();
    QTest::keyClick(again.Exclude, Qt::Key_O, Qt::AltModifier);
    // The button shows itself pressed, then clicks: the dialog ends with OK.
    if (!again.OKButton->isDown()) again.done(mrCancel);
  });
  EXPECT_EQ(again.exec(), mrOk);
  EXPECT_EQ(focusAfterAltX, again.Exclude);
}

}  // namespace

namespace {

TEST_F(UsageDialogTest, CountAsDuImpliesItsBoxesAndGivesBackTheOwnChoices) {
  TUsageDialog& d = *dialog_;
  d.show();
  d.notebook->setCurrentWidget(d.Options);
  EXPECT_FALSE(d.countHidden->isChecked());
  EXPECT_FALSE(d.countLikeDu->isChecked());
  d.countHidden->click();
  UsageOptions o = d.TakeScanOptions();
  EXPECT_TRUE(o.CountHidden);
  EXPECT_FALSE(o.CountLikeDu);
  d.countHidden->click();

  // The user's own choices: rounding to a sector size of 0, nothing else.
  d.UseSectors->setChecked(true);
  d.SectorSize->setText("0");
  d.countLikeDu->click();
  for (QCheckBox* implied : {d.countAllocated, d.hardLinksOnce, d.countHidden}) {
    EXPECT_TRUE(implied->isChecked()) << implied->objectName().toStdString();
    EXPECT_FALSE(implied->isEnabled()) << implied->objectName().toStdString();
  }
  EXPECT_FALSE(d.UseSectors->isChecked());
  EXPECT_FALSE(d.UseSectors->isEnabled());
  // The sector size is not used, so 0 is no error.
  o = d.TakeScanOptions();
  EXPECT_TRUE(o.CountLikeDu);
  EXPECT_TRUE(o.CountHidden);
  EXPECT_FALSE(o.AllowForSectorSize);
  d.SaveForm();
  EXPECT_TRUE(d.IniFile->ReadFlag(d.Section, "CheckBox-1", false)) << "the own choice is stored";
  EXPECT_FALSE(d.IniFile->ReadFlag(d.Section, "CheckBox-7", true));
  EXPECT_TRUE(d.IniFile->ReadFlag(d.Section, "CheckBox-8", false));

  TUsageDialog again(nullptr, kDefaultSettingsRoot);
  again.RestoreForm();
  EXPECT_TRUE(again.countLikeDu->isChecked());
  EXPECT_TRUE(again.countHidden->isChecked());
  EXPECT_FALSE(again.countHidden->isEnabled());
  EXPECT_FALSE(again.UseSectors->isChecked());
  EXPECT_TRUE(again.TakeScanOptions().CountLikeDu);
  again.countLikeDu->click();
  EXPECT_TRUE(again.UseSectors->isChecked());
  EXPECT_TRUE(again.UseSectors->isEnabled());
  EXPECT_FALSE(again.countAllocated->isChecked());
  EXPECT_FALSE(again.countAllocated->isEnabled()) << "the sector size still excludes it";
  EXPECT_FALSE(again.hardLinksOnce->isChecked());
  EXPECT_TRUE(again.hardLinksOnce->isEnabled());
  EXPECT_FALSE(again.countHidden->isChecked());
  EXPECT_TRUE(again.countHidden->isEnabled());
  // The sector size of 0 is in use again.
  EXPECT_THROW(again.TakeScanOptions(), EVorntoolsError);
}

// The conversion error of a field is reported after the dialog closed; a
// sector size that cannot round anything is refused while it is open.
TEST_F(UsageDialogTest, OkRefusesASectorSizeBelowOneAndStaysOpen) {
  TUsageDialog& d = *dialog_;
  d.UseSectors->setChecked(true);
  d.SectorSize->setText("0");
  QString text;
  bool stillOpen = false;
  QWidget* focus = nullptr;
  QWidget* page = nullptr;
  OnNextModal([&](QWidget*) {
    OnNextModal(
        [&](QWidget* box) {
          text = static_cast<QMessageBox*>(box)->text();
          static_cast<QMessageBox*>(box)->accept();
        },
        &d);
    QTest::mouseClick(d.OKButton, Qt::LeftButton);
    stillOpen = d.isVisible();
    focus = d.focusWidget();
    page = d.notebook->currentWidget();
    d.done(mrCancel);
  });
  EXPECT_EQ(d.exec(), mrCancel);
  EXPECT_EQ(text, "Sector Size must be at least 1.");
  EXPECT_TRUE(stillOpen);
  EXPECT_EQ(focus, d.SectorSize);
  EXPECT_EQ(page, d.usageTab);
  // Taken anyway (as a window's test hook could), it raises the same.
  try {
    d.TakeScanOptions();
    ADD_FAILURE() << "no error raised";
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "Sector Size must be at least 1");
  }

  d.SectorSize->setText("1");
  OnNextModal([&](QWidget*) { QTest::mouseClick(d.OKButton, Qt::LeftButton); });
  EXPECT_EQ(d.exec(), mrOk);
  EXPECT_EQ(d.TakeScanOptions().SectorBytes, 1);
}

}  // namespace
