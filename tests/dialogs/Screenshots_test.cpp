#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTextBrowser>

#include "TestSupport.h"
#include "dialogs/About.h"
#include "dialogs/ChooseDirectory.h"
#include "dialogs/ShowHelp.h"
#include "dialogs/UsageDialog.h"
#include "dialogs/UsageWizard.h"
#include "settings/MyIniFile.h"

void SaveScreenshot(QWidget* window, const QString& name) {
  QDir().mkpath(QStringLiteral(VORN_SCREENSHOT_DIR));
  window->show();
  QApplication::processEvents();
  const QString file = QStringLiteral(VORN_SCREENSHOT_DIR) + "/" + name + ".png";
  EXPECT_TRUE(window->grab().save(file)) << file.toStdString();
}

namespace {

// Every label of the window shows its whole text at its size.
void ExpectNoClippedLabels(QWidget* window) {
  for (QLabel* label : window->findChildren<QLabel*>()) {
    if (label->text().isEmpty() || label->wordWrap()) continue;
    EXPECT_GE(label->width(), label->sizeHint().width())
        << label->objectName().toStdString() << " clips \"" << label->text().toStdString() << "\"";
  }
  for (QLabel* label : window->findChildren<QLabel*>()) {
    if (!label->wordWrap()) continue;
    EXPECT_GE(label->height(), label->heightForWidth(label->width()))
        << label->objectName().toStdString() << " clips \"" << label->text().toStdString() << "\"";
  }
  for (QCheckBox* box : window->findChildren<QCheckBox*>()) {
    EXPECT_GE(box->width(), box->sizeHint().width()) << box->objectName().toStdString();
  }
  for (QPushButton* button : window->findChildren<QPushButton*>()) {
    EXPECT_GE(button->width() + 8,
              button->fontMetrics().horizontalAdvance(button->text().remove('&')))
        << button->objectName().toStdString();
  }
}

TEST(Screenshots, EveryWindowIsSavedForALookAndClipsNoText) {
  TIsolatedSettings settings;
  TUsageDialog dialog(nullptr, kDefaultSettingsRoot);
  dialog.RestoreForm();
  // The longest numbers the fields take, to see them whole.
  dialog.Depth->setText(QStringLiteral("2147483647"));
  dialog.Size->setText(QStringLiteral("-2147483648"));
  for (int page = 0; page < dialog.notebook->count(); ++page) {
    dialog.notebook->setCurrentIndex(page);
    dialog.UseSectors->setChecked(true);
    SaveScreenshot(&dialog, QStringLiteral("usage-dialog-%1").arg(page));
    ExpectNoClippedLabels(&dialog);
  }
  // The Options page with the boxes "Count as du Does" checks and disables.
  dialog.countLikeDu->setChecked(true);
  SaveScreenshot(&dialog, QStringLiteral("usage-dialog-2-du"));
  ExpectNoClippedLabels(&dialog);
  dialog.hide();

  TUsageWizard wizard(nullptr, kDefaultSettingsRoot);
  wizard.RestoreForm();
  wizard.show();
  for (int page = 0; page <= TUsageWizard::kLastPage; ++page) {
    wizard.Notebook->setCurrentIndex(page);
    wizard.UpdateButtons();
    SaveScreenshot(&wizard, QStringLiteral("usage-wizard-%1").arg(page));
    ExpectNoClippedLabels(&wizard);
  }
  wizard.hide();

  TChooseDirectory chooser;
  SaveScreenshot(&chooser, QStringLiteral("choose-directory"));
  chooser.resize(chooser.width() + 150, chooser.height());
  SaveScreenshot(&chooser, QStringLiteral("choose-directory-wide"));
  chooser.hide();

  TAbout about;
  about.VorntoolNameLabel->setText(QStringLiteral("Usage Vorntool"));
  about.VorntoolNameLabel->adjustSize();
  about.versionLabel->setText(QStringLiteral("version: 1.01"));
  about.versionLabel->adjustSize();
  about.iconImage->setPixmap(MainIcon().pixmap(41, 41));
  SaveScreenshot(&about, QStringLiteral("about"));
  ExpectNoClippedLabels(&about);
  about.hide();

  ShowHelp(QStringLiteral(VORN_BUILD_DIR "/src/report/vorntools"));
  ASSERT_NE(HelpWindow(), nullptr);
  SaveScreenshot(HelpWindow(), QStringLiteral("help"));
  HelpWindow()->close();
}

}  // namespace
