#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>

#include "TestSupport.h"
#include "dialogs/ChooseDirectory.h"
#include "dialogs/DialogCommon.h"
#include "dialogs/UsageWizard.h"
#include "settings/MyIniFile.h"

namespace {

class UsageWizardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wizard_ = std::make_unique<TUsageWizard>(nullptr, kDefaultSettingsRoot);
    wizard_->RestoreForm();
  }
  int Page() const { return wizard_->Notebook->currentIndex(); }
  void Next() { QTest::mouseClick(wizard_->BtnNext, Qt::LeftButton); }
  void Back() { QTest::mouseClick(wizard_->BtnBack, Qt::LeftButton); }

  TIsolatedSettings settings_;
  std::unique_ptr<TUsageWizard> wizard_;
};

TEST_F(UsageWizardTest, FirstStartShowsTheWelcomePageAndTheRootFolder) {
  TUsageWizard& w = *wizard_;
  EXPECT_EQ(w.Section, "Usage\\Wizard");
  EXPECT_EQ(w.RootDirectory->text(), "/");
  w.setWindowTitle("changed");
  w.show();
  EXPECT_EQ(w.windowTitle(), "Usage Wizard");
  EXPECT_EQ(w.size(), QSize(500, 320));
  EXPECT_EQ(w.minimumSize(), w.maximumSize()) << "fixed border";
  EXPECT_EQ(Page(), 0);
  EXPECT_EQ(w.Label7->text(), "Usage Wizard");
  EXPECT_EQ(w.Label2->text(), "To begin click \"Next\".");
  EXPECT_EQ(w.Label6->text(), "Starting Directory");
  EXPECT_EQ(w.BtnBrowse->text(), "Browse...");
  EXPECT_EQ(w.BtnCancel->text(), "&Cancel");
  EXPECT_EQ(w.Notebook->count(), 3);
  EXPECT_EQ(w.Panel1->geometry(), QRect(0, 278, 500, 42));
  EXPECT_EQ(w.ImageFlag->geometry(), QRect(16, 16, 200, 250));
}

TEST_F(UsageWizardTest, ButtonsFollowThePageOnEveryPage) {
  TUsageWizard& w = *wizard_;
  w.show();
  // Welcome: no Back, Next is not the default.
  EXPECT_FALSE(w.BtnBack->isVisible());
  EXPECT_TRUE(w.BtnBack->isEnabled());
  EXPECT_EQ(w.BtnNext->text(), "&Next >");
  EXPECT_FALSE(w.BtnNext->isDefault());

  Next();
  EXPECT_EQ(Page(), 1);
  EXPECT_TRUE(w.BtnBack->isVisible());
  EXPECT_EQ(w.BtnBack->text(), "< &Back");
  EXPECT_EQ(w.BtnNext->text(), "&Next >");
  EXPECT_FALSE(w.BtnNext->isDefault());
  EXPECT_EQ(w.NextModalResult(), mrNone);

  Next();
  EXPECT_EQ(Page(), 2);
  EXPECT_TRUE(w.BtnBack->isVisible());
  EXPECT_EQ(w.BtnNext->text(), "&Finish");
  EXPECT_TRUE(w.BtnNext->isDefault());
  EXPECT_EQ(w.NextModalResult(), mrOk);

  Back();
  EXPECT_EQ(Page(), 1);
  EXPECT_EQ(w.BtnNext->text(), "&Next >");
  EXPECT_FALSE(w.BtnNext->isDefault());
  Back();
  EXPECT_EQ(Page(), 0);
  EXPECT_FALSE(w.BtnBack->isVisible());
}

TEST_F(UsageWizardTest, FinishClosesWithOkCancelAndEscWithCancelFromEveryPage) {
  TUsageWizard& w = *wizard_;
  OnNextModal([&](QWidget*) {
    Next();
    Next();
    Next();
  });
  EXPECT_EQ(w.exec(), mrOk);

  OnNextModal([&](QWidget*) {
    Next();
    Next();
    QTest::keyClick(w.BtnBack, Qt::Key_Return);
  });
  EXPECT_EQ(w.exec(), mrOk) << "Enter on the last page finishes";

  for (int page = 0; page <= TUsageWizard::kLastPage; ++page) {
    OnNextModal([&](QWidget*) {
      for (int i = 0; i < page; ++i) Next();
      QTest::mouseClick(w.BtnCancel, Qt::LeftButton);
    });
    EXPECT_EQ(w.exec(), mrCancel) << "page " << page;
    OnNextModal([&](QWidget*) {
      for (int i = 0; i < page; ++i) Next();
      QTest::keyClick(&w, Qt::Key_Escape);
    });
    EXPECT_EQ(w.exec(), mrCancel) << "page " << page;
    OnNextModal([&](QWidget*) {
      for (int i = 0; i < page; ++i) Next();
      w.close();
    });
    EXPECT_EQ(w.exec(), mrCancel) << "page " << page;
  }
}

TEST_F(UsageWizardTest, EnterInTheFolderFieldDoesNotAdvance) {
  TUsageWizard& w = *wizard_;
  int pageAfterEnter = -1;
  bool openAfterEnter = false;
  OnNextModal([&](QWidget*) {
    Next();
    // Even after the buttons have had the focus.
    w.BtnNext->setFocus();
    w.RootDirectory->setFocus();
    QTest::keyClick(w.RootDirectory, Qt::Key_Return);
    QTest::keyClick(w.RootDirectory, Qt::Key_Enter);
    pageAfterEnter = Page();
    openAfterEnter = w.isVisible();
    w.done(mrCancel);
  });
  w.exec();
  EXPECT_EQ(pageAfterEnter, 1);
  EXPECT_TRUE(openAfterEnter);
}

TEST_F(UsageWizardTest, EveryShowingStartsAtWelcomeAndKeepsTheFolder) {
  TUsageWizard& w = *wizard_;
  OnNextModal([&](QWidget*) {
    Next();
    w.RootDirectory->clear();
    QTest::keyClicks(w.RootDirectory, " /srv/data ");
    QTest::mouseClick(w.BtnCancel, Qt::LeftButton);
  });
  EXPECT_EQ(w.exec(), mrCancel);
  w.show();
  EXPECT_EQ(Page(), 0);
  EXPECT_FALSE(w.BtnBack->isVisible());
  EXPECT_EQ(w.RootDirectory->text(), " /srv/data ") << "kept exactly as typed";
  w.hide();

  w.SaveForm();
  TUsageWizard again(nullptr, kDefaultSettingsRoot);
  again.RestoreForm();
  EXPECT_EQ(again.RootDirectory->text(), " /srv/data ");
}

TEST_F(UsageWizardTest, BrowseTakesTheChosenFolderOnlyOnOk) {
  QTemporaryDir tree;
  ASSERT_TRUE(QDir(tree.path()).mkpath("here"));
  TCurrentFolder keep(QDir::currentPath());
  TUsageWizard& w = *wizard_;
  const QString here = QDir(tree.path() + "/here").canonicalPath();
  ASSERT_EQ(w.ChooseDirectory->DirectoryListBox1->SetDirectory(here), 0);
  w.show();
  OnNextModal([&](QWidget*) { QTest::keyClick(w.ChooseDirectory, Qt::Key_Escape); });
  QTest::mouseClick(w.BtnBrowse, Qt::LeftButton);
  EXPECT_EQ(w.RootDirectory->text(), "/");
  // The chooser opens at the field's folder, so the user goes to another one.
  OnNextModal([&](QWidget*) {
    EXPECT_EQ(w.ChooseDirectory->ChosenDirectory(), "/");
    ASSERT_EQ(w.ChooseDirectory->DirectoryListBox1->SetDirectory(here), 0);
    QTest::keyClick(w.ChooseDirectory->DirectoryListBox1, Qt::Key_Return);
  });
  QTest::mouseClick(w.BtnBrowse, Qt::LeftButton);
  EXPECT_EQ(w.RootDirectory->text(), here);
}

TEST_F(UsageWizardTest, TheFlagStandsOnTheButtonColour) {
  const QImage image = wizard_->ImageFlag->pixmap().toImage();
  ASSERT_EQ(image.size(), QSize(200, 250));
  const QRgb face = wizard_->palette().color(QPalette::Button).rgb();
  EXPECT_EQ(image.pixel(1, 1), face);
  EXPECT_EQ(image.pixel(199, 249), face);
  int magenta = 0, black = 0, white = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y);
      magenta += p == qRgb(255, 0, 255);
      black += p == qRgb(0, 0, 0);
      white += p == qRgb(255, 255, 255);
    }
  }
  EXPECT_EQ(magenta, 0);
  EXPECT_GT(black, 1000) << "the chequered cloth is still there";
  EXPECT_GT(white, 1000);
}

TEST(FillConnectedArea, FillsOnlyTheAreaConnectedToTheSeed) {
  // A magenta frame around a black ring that encloses a magenta hole.
  QImage image(9, 9, QImage::Format_ARGB32);
  image.fill(qRgb(255, 0, 255));
  for (int i = 2; i <= 6; ++i) {
    image.setPixel(i, 2, qRgb(0, 0, 0));
    image.setPixel(i, 6, qRgb(0, 0, 0));
    image.setPixel(2, i, qRgb(0, 0, 0));
    image.setPixel(6, i, qRgb(0, 0, 0));
  }
  const QImage filled =
      FillConnectedArea(image, QPoint(1, 1), QColor(255, 0, 255), QColor(10, 20, 30));
  EXPECT_EQ(filled.pixel(0, 0), qRgb(10, 20, 30));
  EXPECT_EQ(filled.pixel(8, 8), qRgb(10, 20, 30));
  EXPECT_EQ(filled.pixel(2, 2), qRgb(0, 0, 0));
  EXPECT_EQ(filled.pixel(4, 4), qRgb(255, 0, 255)) << "the enclosed hole is not connected";

  // A seed of another colour changes nothing.
  const QImage same = FillConnectedArea(image, QPoint(2, 2), QColor(255, 0, 255), Qt::red);
  EXPECT_EQ(same.pixel(0, 0), qRgb(255, 0, 255));
}

}  // namespace
