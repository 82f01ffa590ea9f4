#include <QApplication>
#include <QCommandLinkButton>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>

#include "ReportSupport.h"
#include "dialogs/ChooseDirectory.h"
#include "dialogs/DialogCommon.h"
#include "dialogs/UsageWizard.h"
#include "report/ConfigNames.h"
#include "report/LoadConfig.h"
#include "report/StartPage.h"
#include "settings/HistoryBox.h"

namespace {

// Makes `folder` the home folder for the life of the object.
class THomeFolder {
 public:
  explicit THomeFolder(const QString& folder) : previous_(qgetenv("HOME")) {
    qputenv("HOME", QFile::encodeName(folder));
  }
  ~THomeFolder() { qputenv("HOME", previous_); }

 private:
  QByteArray previous_;
};

// Types into whatever has the focus in the next modal window, as a user
// would, then closes it with Esc.
void TypeIntoNextModal(const QString& text, std::function<void(QWidget*)> before = {}) {
  QTimer::singleShot(0, [text, before] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) {
      TypeIntoNextModal(text, before);
      return;
    }
    if (before) before(modal);
    QWidget* focus = modal->focusWidget();
    EXPECT_NE(focus, nullptr);
    if (focus) QTest::keyClicks(focus, text);
    static_cast<QDialog*>(modal)->reject();
  });
}

// Looks at `dialog` once it is the modal window, then cancels it.
void OnNextModalReject(QDialog* dialog, std::function<void()> look) {
  QTimer::singleShot(0, [dialog, look] {
    if (QApplication::activeModalWidget() != dialog) {
      OnNextModalReject(dialog, look);
      return;
    }
    look();
    dialog->reject();
  });
}

TEST_F(ReportTest, TypingInTheDialogAndTheWizardReplacesTheFolder) {
  auto window = NewWindow();
  SetModalHook(nullptr);
  window->show();
  QApplication::processEvents();
  TUsageDialog* dialog = window->UsageDialog();
  dialog->pathEdit->setEditText("/usr");
  dialog->notebook->setCurrentIndex(2);  // left on another page last time
  TypeIntoNextModal("/srv/data");
  Trigger(*window, "Dialog1");
  EXPECT_EQ(dialog->pathEdit->currentText(), "/srv/data");

  TUsageWizard* wizard = window->UsageWizard();
  wizard->RootDirectory->setText("/usr");
  TypeIntoNextModal("/srv/data", [wizard](QWidget*) { wizard->BtnNext->click(); });
  Trigger(*window, "Wizard1");
  EXPECT_EQ(wizard->RootDirectory->text(), "/srv/data");
}

TEST_F(ReportTest, AWrongNumberIsRefusedByTheNameOfItsField) {
  auto window = NewWindow();
  QString message;
  bool stayedOpen = false;
  answer = [&](QDialog& d) {
    if (auto* dialog = qobject_cast<TUsageDialog*>(&d)) {
      dialog->Size->setText("12 K");
      dialog->OKButton->click();  // refused: the dialog does not close
      stayedOpen = dialog->result() != mrOk;
      EXPECT_EQ(dialog->focusWidget(), dialog->Size);
      return int(mrCancel);
    }
    message = static_cast<QMessageBox&>(d).text();
    return int(QMessageBox::Ok);
  };
  Trigger(*window, "Dialog1");
  EXPECT_TRUE(stayedOpen);
  EXPECT_TRUE(message.contains("Minimum Size")) << message.toStdString();
  EXPECT_TRUE(message.contains("'12 K'")) << message.toStdString();
}

TEST_F(ReportTest, TheStartPageStandsForAnEmptyReportAndScansInOneClick) {
  const THomeFolder home(MakeFolders("home"));
  auto window = NewWindow();
  window->show();
  QApplication::processEvents();
  EXPECT_EQ(window->Pages1->currentWidget(), static_cast<QWidget*>(window->StartPage1));
  EXPECT_GE(window->StartPage1->Disks->findChildren<QPushButton*>().size(), 1)
      << "the root file system at least";
  QDir().mkpath(VORN_SCREENSHOT_DIR);
  EXPECT_TRUE(window->grab().save(VORN_SCREENSHOT_DIR "/start-page-empty.png"));

  QTest::mouseClick(window->StartPage1->ScanHomeButton, Qt::LeftButton);
  ASSERT_EQ(window->Tree().TopLevelCount(), 1u);
  EXPECT_EQ(TReportTree::PathOf(window->Tree().TopLevel(0)), QDir::homePath().toStdString());
  EXPECT_EQ(window->Pages1->currentWidget(), static_cast<QWidget*>(window->Splitter1));

  Trigger(*window, "New1");
  EXPECT_EQ(window->Pages1->currentWidget(), static_cast<QWidget*>(window->StartPage1));

  // The scan was kept; the next window lists it, and a click opens it.
  window.reset();
  window = NewWindow();
  window->show();
  QApplication::processEvents();
  const auto recentScan = [&] {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return window->StartPage1->Recent->findChild<QCommandLinkButton*>("RecentScan1");
  };
  ASSERT_NE(recentScan(), nullptr);
  EXPECT_TRUE(window->grab().save(VORN_SCREENSHOT_DIR "/start-page.png"));

  // Opened with every folder below the minimum size, nothing is left to show:
  // the page comes back, and is made anew, while its button is being clicked.
  window->UsageDialog()->Size->setText("99999999");
  QTest::mouseClick(recentScan(), Qt::LeftButton);
  EXPECT_EQ(window->Tree().TopLevelCount(), 0u);
  EXPECT_EQ(window->Pages1->currentWidget(), static_cast<QWidget*>(window->StartPage1));

  window->UsageDialog()->Size->setText("0");
  QCommandLinkButton* recent = recentScan();
  ASSERT_NE(recent, nullptr);
  recent->click();
  ASSERT_EQ(window->Tree().TopLevelCount(), 1u);
  EXPECT_EQ(TReportTree::PathOf(window->Tree().TopLevel(0)), QDir::homePath().toStdString());
  EXPECT_EQ(window->Pages1->currentWidget(), static_cast<QWidget*>(window->Splitter1));
}

TEST_F(ReportTest, TheChooserOpensAtTheFieldAndShowsWhatIsThereNow) {
  const QString root = QDir(MakeFolders()).canonicalPath();
  auto window = NewWindow();
  TUsageDialog* dialog = window->UsageDialog();
  TChooseDirectory* chooser = dialog->ChooseDirectory;
  dialog->pathEdit->setEditText(root + "/a");
  QStringList seen;
  const auto look = [&] {
    seen.clear();
    for (int i = 0; i < chooser->DirectoryListBox1->count(); ++i)
      seen << chooser->DirectoryListBox1->item(i)->text();
  };
  SetModalHook(nullptr);
  OnNextModalReject(chooser, [&] {
    EXPECT_EQ(chooser->ChosenDirectory(), root + "/a");
    look();
  });
  dialog->BrowseButtonClick();
  EXPECT_TRUE(seen.contains("a1"));
  EXPECT_FALSE(seen.contains("later"));

  ASSERT_TRUE(QDir(root + "/a").mkdir("later"));
  OnNextModalReject(chooser, look);
  dialog->BrowseButtonClick();
  EXPECT_TRUE(seen.contains("later")) << "made after the first showing";
}

TEST_F(ReportTest, AConfigurationIsDeletedButNotTheOneInUse) {
  TMyIniFile work(ConfigurationRoot("Work"));
  TMyIniFile other(ConfigurationRoot("Other"));
  other.WriteText("Usage\\Dialog", "Edit-1", "3");
  auto window = NewWindow(ConfigurationRoot("Work"));
  EXPECT_TRUE(window->windowTitle().contains("Work"));

  QString pick = "Work";
  int confirmations = 0;
  answer = [&](QDialog& d) {
    if (auto* list = qobject_cast<TLoadConfig*>(&d)) {
      list->ComboBoxNames->setCurrentText(pick);
      return int(QDialog::Accepted);
    }
    if (d.objectName() == "ConfirmDeleteConfig") {
      ++confirmations;
      return int(QMessageBox::Yes);
    }
    return int(QMessageBox::Ok);  // the error box
  };
  Trigger(*window, "DeleteConfiguration1");
  EXPECT_EQ(confirmations, 0);
  EXPECT_TRUE(LastErrorText().contains("'Work'")) << LastErrorText().toStdString();
  EXPECT_TRUE(ConfigurationNames().contains("Work"));

  pick = "Other";
  Trigger(*window, "DeleteConfiguration1");
  EXPECT_EQ(confirmations, 1);
  EXPECT_EQ(ConfigurationNames(), QStringList{"Work"});
  EXPECT_EQ(TMyIniFile(ConfigurationRoot("Other")).ReadText("Usage\\Dialog", "Edit-1", "0"), "0")
      << "its settings are gone";
}

}  // namespace
