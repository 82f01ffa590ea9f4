#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTextBrowser>
#include <QUrl>

#include "TestSupport.h"
#include "dialogs/About.h"
#include "dialogs/DialogCommon.h"
#include "dialogs/ShowHelp.h"

namespace {

void Touch(const QString& file) {
  QFile out(file);
  ASSERT_TRUE(out.open(QIODevice::WriteOnly));
  out.write("<html><body><h1>Guide</h1><p>first page</p></body></html>");
}

TEST(ShowHelp, LooksBesideTheProgramThenOneFolderUpThenInItsShareFolder) {
  EXPECT_EQ(HelpFileCandidates("/opt/vorn/bin/vorntools"),
            (QStringList{"/opt/vorn/bin/Vorntools.hlp", "/opt/vorn/Vorntools.hlp",
                         "/opt/vorn/share/vorntools/Vorntools.hlp"}));
  // A program in the root: the later places are relative to the current folder.
  EXPECT_EQ(HelpFileCandidates("/vorntools"),
            (QStringList{"/Vorntools.hlp", "Vorntools.hlp", "share/vorntools/Vorntools.hlp"}));

  QTemporaryDir dir;
  ASSERT_TRUE(QDir(dir.path()).mkpath("bin"));
  ASSERT_TRUE(QDir(dir.path()).mkpath("share/vorntools"));
  const QString program = dir.path() + "/bin/vorntools";
  EXPECT_EQ(FindHelpFile(program), QString());
  EXPECT_EQ(ApplicationHelpFile(), dir.path() + "/share/vorntools/Vorntools.hlp")
      << "left on the last place";

  // An installed copy: bin/ and share/vorntools/ side by side.
  Touch(dir.path() + "/share/vorntools/Vorntools.hlp");
  EXPECT_EQ(FindHelpFile(program), dir.path() + "/share/vorntools/Vorntools.hlp");
  Touch(dir.path() + "/Vorntools.hlp");
  EXPECT_EQ(FindHelpFile(program), dir.path() + "/Vorntools.hlp");
  Touch(dir.path() + "/bin/Vorntools.hlp");
  EXPECT_EQ(FindHelpFile(program), dir.path() + "/bin/Vorntools.hlp") << "beside comes first";
  EXPECT_EQ(ApplicationHelpFile(), dir.path() + "/bin/Vorntools.hlp");

  // Only those places count.
  QTemporaryDir deep;
  ASSERT_TRUE(QDir(deep.path()).mkpath("a/b/c"));
  Touch(deep.path() + "/Vorntools.hlp");
  EXPECT_EQ(FindHelpFile(deep.path() + "/a/b/c/vorntools"), QString());
}

TEST(ShowHelp, OpensTheGuideAtItsFirstPage) {
  QTemporaryDir dir;
  Touch(dir.path() + "/Vorntools.hlp");
  ShowHelp(dir.path() + "/vorntools");
  QTextBrowser* window = HelpWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(window->toPlainText().startsWith("Guide"));
  EXPECT_EQ(window->textCursor().position(), 0);
  EXPECT_EQ(window->source(), QUrl::fromLocalFile(dir.path() + "/Vorntools.hlp"));
  window->close();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(HelpWindow(), nullptr);
}

TEST(ShowHelp, OpensCentredOnItsOwnerAndWhollyOnTheScreen) {
  QTemporaryDir dir;
  Touch(dir.path() + "/Vorntools.hlp");
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  const auto closeHelp = [] {
    if (HelpWindow()) HelpWindow()->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  };
  closeHelp();
  QWidget owner;
  owner.resize(300, 200);
  owner.move(screen.topLeft() + QPoint(screen.width() / 2 - 190, screen.height() / 2 - 60));
  owner.show();
  QApplication::setActiveWindow(&owner);
  ShowHelp(dir.path() + "/vorntools");
  ASSERT_NE(HelpWindow(), nullptr);
  const QPoint offCentre = HelpWindow()->frameGeometry().center() - owner.frameGeometry().center();
  EXPECT_LE(offCentre.manhattanLength(), 2) << offCentre.x() << "," << offCentre.y();
  EXPECT_TRUE(screen.contains(HelpWindow()->frameGeometry()));
  closeHelp();

  // An owner in the screen's corner: the window is moved in to be seen whole.
  owner.move(screen.bottomRight() - QPoint(100, 100));
  QApplication::setActiveWindow(&owner);
  ShowHelp(dir.path() + "/vorntools");
  ASSERT_NE(HelpWindow(), nullptr);
  EXPECT_TRUE(screen.contains(HelpWindow()->frameGeometry()));
  closeHelp();
}

TEST(ShowHelp, AMissingFileGivesTheErrorBox) {
  QTemporaryDir dir;
  ASSERT_TRUE(QDir(dir.path()).mkpath("bin"));
  QString caption, text;
  bool errorIcon = false;
  int buttons = 0;
  OnNextModal([&](QWidget* widget) {
    auto* box = static_cast<QMessageBox*>(widget);
    caption = box->windowTitle();
    text = box->text();
    errorIcon = box->icon() == QMessageBox::Critical;
    buttons = static_cast<int>(box->buttons().size());
    box->accept();
  });
  ShowHelp(dir.path() + "/bin/vorntools");
  EXPECT_EQ(caption, "Error");
  EXPECT_EQ(text, "Can't find the help file");
  EXPECT_TRUE(errorIcon);
  EXPECT_EQ(buttons, 1);
}

// The guide the build puts beside the program covers every command and window.
TEST(ShowHelp, TheBuiltGuideStandsBesideTheProgramAndCoversEverything) {
  const QString program = QStringLiteral(VORN_BUILD_DIR "/src/report/vorntools");
  const QString file = FindHelpFile(program);
  ASSERT_EQ(file, QStringLiteral(VORN_BUILD_DIR "/src/report/Vorntools.hlp"));
  ShowHelp(program);
  ASSERT_NE(HelpWindow(), nullptr);
  const QString guide = HelpWindow()->toPlainText();
  // Links to the guide's own sections stay in the guide.
  QUrl section = QUrl::fromLocalFile(file);
  section.setFragment("usage");
  HelpWindow()->setSource(section, QTextDocument::HtmlResource);
  EXPECT_EQ(HelpWindow()->toPlainText(), guide);
  HelpWindow()->close();
  for (const char* topic : {"New...",
                            "Save As...",
                            "Dialog...",
                            "Wizard...",
                            "Setup Printer...",
                            "Print...",
                            "Load Configuration...",
                            "Save Configuration...",
                            "Delete Configuration...",
                            "Exit",
                            "Scan Home Folder",
                            "Scan a Folder...",
                            "Sort",
                            "Cut",
                            "Copy",
                            "Paste",
                            "Expand",
                            "Contract",
                            "Font...",
                            "Stop",
                            "Help...",
                            "About...",
                            "Folders page",
                            "Usage page",
                            "Options page",
                            "Maximum Depth",
                            "Minimum Size (K)",
                            "Allow for Sector Size",
                            "Sector Size",
                            "Run Dialog Automatically",
                            "Clear Report",
                            "Count Allocated Size",
                            "Count Hard Links Once",
                            "Stay on One File System",
                            "Count Hidden Files and Folders",
                            "Count as du Does",
                            "Exclude",
                            "Threads",
                            "Insert",
                            "Delete",
                            "Browse...",
                            "Select a Directory",
                            "Back",
                            "Finish",
                            "Cancel",
                            "not a valid integer value",
                            "Sector Size must be at least 1",
                            "Can't find the help file"}) {
    EXPECT_TRUE(guide.contains(QString::fromUtf8(topic))) << topic;
  }
}

TEST(About, ShowsNameVersionAndIconAndClosesWithOkOrEnter) {
  QString caption, name, version;
  bool hasIcon = false, okIsDefault = false;
  QSize size;
  QWidget* firstInTabOrder = nullptr;
  QPushButton* ok = nullptr;
  OnNextModal([&](QWidget* widget) {
    auto* about = static_cast<TAbout*>(widget);
    caption = about->windowTitle();
    name = about->VorntoolNameLabel->text();
    version = about->versionLabel->text();
    hasIcon = !about->iconImage->pixmap().isNull();
    okIsDefault = about->OK->isDefault();
    size = about->size();
    firstInTabOrder = about->nextInFocusChain();
    ok = about->OK;
    QTest::keyClick(about, Qt::Key_Return);
  });
  ShowAbout("Usage Vorntool", "1.01");
  EXPECT_EQ(caption, "About");
  EXPECT_EQ(name, "Usage Vorntool");
  EXPECT_EQ(version, "version: 1.01");
  EXPECT_TRUE(hasIcon);
  EXPECT_TRUE(okIsDefault);
  EXPECT_EQ(size, QSize(505, 165));
  EXPECT_EQ(firstInTabOrder, ok);

  OnNextModal([&](QWidget* widget) {
    QTest::mouseClick(static_cast<TAbout*>(widget)->OK, Qt::LeftButton);
  });
  ShowAbout("Usage Vorntool", "1.01");
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "closed and released";
}

TEST(About, TheMainIconIsOurs) {
  const QIcon icon = MainIcon();
  ASSERT_FALSE(icon.isNull());
  EXPECT_EQ(icon.availableSizes().value(0), QSize(48, 48));
}

}  // namespace
