#include <gtest/gtest.h>

#include <QFile>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <cerrno>

#include "TestSupport.h"
#include "dialogs/ChooseDirectory.h"
#include "dialogs/DialogCommon.h"

namespace {

// A folder tree: Alpha, beta, Gamma/inner, a hidden folder and a file.
class ChooseDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tree_.isValid());
    root_ = QDir(tree_.path()).canonicalPath();
    QDir dir(root_);
    for (const char* name : {"beta", "Alpha", "Gamma/inner", ".hidden"})
      ASSERT_TRUE(dir.mkpath(name));
    QFile file(root_ + "/file.txt");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    QDir::setCurrent(root_);
    chooser_ = std::make_unique<TChooseDirectory>();
    chooser_->show();
  }
  void TearDown() override { chooser_.reset(); }

  QListWidgetItem* Entry(const QString& text) const {
    const auto found = chooser_->DirectoryListBox1->findItems(text, Qt::MatchExactly);
    return found.isEmpty() ? nullptr : found.first();
  }
  QPoint Where(QListWidgetItem* item) const {
    chooser_->DirectoryListBox1->doItemsLayout();  // a rebuilt list lays itself out lazily
    return chooser_->DirectoryListBox1->visualItemRect(item).center();
  }
  void Click(const QString& text) {
    QListWidgetItem* item = Entry(text);
    ASSERT_NE(item, nullptr) << text.toStdString();
    QTest::mouseClick(chooser_->DirectoryListBox1->viewport(), Qt::LeftButton, {}, Where(item));
  }
  void DoubleClick(const QString& text) {
    QListWidgetItem* item = Entry(text);
    ASSERT_NE(item, nullptr) << text.toStdString();
    // As the window system delivers it: press, release, double click, release.
    QWidget* viewport = chooser_->DirectoryListBox1->viewport();
    const QPoint at = Where(item);
    QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
  }

  // Shown modally from hidden, as its owners do.
  int Exec() {
    chooser_->hide();
    return chooser_->exec();
  }

  TCurrentFolder keep_{QDir::currentPath()};
  QTemporaryDir tree_;
  QString root_;
  std::unique_ptr<TChooseDirectory> chooser_;
};

TEST_F(ChooseDirectoryTest, ListsTheWayDownThenTheSortedVisibleSubFolders) {
  TDirectoryListBox* list = chooser_->DirectoryListBox1;
  EXPECT_EQ(chooser_->windowTitle(), "Select a Directory");
  EXPECT_EQ(chooser_->ChosenDirectory(), root_);
  EXPECT_EQ(list->toolTip(), "Choose a directory and press OK");
  EXPECT_EQ(chooser_->OK->text(), "&OK");
  EXPECT_EQ(chooser_->Cancel->text(), "&Cancel");
  EXPECT_TRUE(chooser_->OK->isDefault());

  const QStringList names = root_.split('/', Qt::SkipEmptyParts);
  ASSERT_EQ(list->count(), names.size() + 1 + 3);
  EXPECT_EQ(list->item(0)->text(), "/");
  EXPECT_EQ(list->item(0)->data(TDirectoryListBox::PartRole).toInt(), TDirectoryListBox::RootEntry);
  for (int i = 0; i < names.size(); ++i) {
    QListWidgetItem* item = list->item(i + 1);
    EXPECT_EQ(item->text(), names[i]);
    EXPECT_EQ(item->data(TDirectoryListBox::LevelRole).toInt(), i + 1);
  }
  QListWidgetItem* current = list->item(names.size());
  EXPECT_EQ(current->data(TDirectoryListBox::PartRole).toInt(), TDirectoryListBox::CurrentEntry);
  EXPECT_TRUE(current->isSelected());
  QStringList subs;
  for (int i = names.size() + 1; i < list->count(); ++i) {
    subs << list->item(i)->text();
    EXPECT_EQ(list->item(i)->data(TDirectoryListBox::LevelRole).toInt(), names.size() + 1);
    EXPECT_EQ(list->item(i)->data(TDirectoryListBox::PartRole).toInt(),
              TDirectoryListBox::SubFolderEntry);
  }
  EXPECT_EQ(subs, (QStringList{"Alpha", "beta", "Gamma"})) << "by name regardless of case";
}

TEST_F(ChooseDirectoryTest, TheRootIsTheCurrentEntryWhenItIsOpen) {
  ASSERT_EQ(chooser_->DirectoryListBox1->SetDirectory("/"), 0);
  QListWidgetItem* root = chooser_->DirectoryListBox1->item(0);
  EXPECT_EQ(root->text(), "/");
  EXPECT_EQ(root->data(TDirectoryListBox::PartRole).toInt(), TDirectoryListBox::CurrentEntry);
  EXPECT_EQ(chooser_->DirectoryListBox1->item(1)->data(TDirectoryListBox::LevelRole).toInt(), 1);
  EXPECT_EQ(chooser_->ChosenDirectory(), "/");
  EXPECT_EQ(chooser_->Path->text(), "/");
}

TEST_F(ChooseDirectoryTest, OneClickHighlightsADoubleClickOpens) {
  Click("beta");
  EXPECT_TRUE(Entry("beta")->isSelected());
  EXPECT_EQ(chooser_->ChosenDirectory(), root_);

  DoubleClick("beta");
  EXPECT_EQ(chooser_->ChosenDirectory(), root_ + "/beta");
  EXPECT_EQ(QDir::currentPath(), root_ + "/beta") << "opening makes it the current folder";
  EXPECT_EQ(chooser_->Path->text(), MinimizeName(root_ + "/beta", chooser_->Path->fontMetrics(),
                                                 chooser_->DirectoryListBox1->width()));

  DoubleClick("beta");  // the current folder stays
  EXPECT_EQ(chooser_->ChosenDirectory(), root_ + "/beta");

  const QString parentName = QFileInfo(root_).fileName();
  DoubleClick(parentName);  // a folder on the way down opens it
  EXPECT_EQ(chooser_->ChosenDirectory(), root_);
  DoubleClick("/");
  EXPECT_EQ(chooser_->ChosenDirectory(), "/");
}

TEST_F(ChooseDirectoryTest, EnterIsOkAndDoesNotOpenTheHighlightedEntry) {
  int result = -1;
  OnNextModal([&](QWidget*) {
    Click("Gamma");
    QTest::keyClick(chooser_->DirectoryListBox1, Qt::Key_Return);
  });
  result = Exec();
  EXPECT_EQ(result, mrOk);
  EXPECT_EQ(chooser_->ChosenDirectory(), root_);
}

TEST_F(ChooseDirectoryTest, CancelKeepsWhereTheUserNavigated) {
  OnNextModal([&](QWidget*) {
    DoubleClick("Gamma");
    QTest::mouseClick(chooser_->Cancel, Qt::LeftButton);
  });
  EXPECT_EQ(Exec(), mrCancel);
  EXPECT_EQ(chooser_->ChosenDirectory(), root_ + "/Gamma");

  QString openedOn;
  OnNextModal([&](QWidget*) {
    openedOn = chooser_->ChosenDirectory();
    QTest::keyClick(chooser_.get(), Qt::Key_Escape);
  });
  EXPECT_EQ(Exec(), mrCancel);
  EXPECT_EQ(openedOn, root_ + "/Gamma");
  OnNextModal([&](QWidget*) { chooser_->close(); });
  EXPECT_EQ(Exec(), mrCancel);
}

TEST_F(ChooseDirectoryTest, TwoChoosersNavigateIndependently) {
  TChooseDirectory other;
  other.show();
  DoubleClick("Alpha");
  EXPECT_EQ(chooser_->ChosenDirectory(), root_ + "/Alpha");
  EXPECT_EQ(other.ChosenDirectory(), root_) << "the other stays where it was";
  ASSERT_EQ(other.DirectoryListBox1->SetDirectory(root_ + "/Gamma/inner"), 0);
  EXPECT_EQ(chooser_->ChosenDirectory(), root_ + "/Alpha");
  EXPECT_EQ(QDir::currentPath(), root_ + "/Gamma/inner");
}

TEST_F(ChooseDirectoryTest, TallerGivesWholeEntriesAndWiderWidensTheList) {
  TDirectoryListBox* list = chooser_->DirectoryListBox1;
  const QRect listBefore = list->geometry();
  const QRect okBefore = chooser_->OK->geometry();
  const QRect driveBefore = chooser_->DriveComboBox1->geometry();
  EXPECT_EQ(listBefore.height(), 228) << "the design height, in whole entries";
  EXPECT_EQ(chooser_->Bevel1->height(), list->height());

  chooser_->resize(chooser_->width(), chooser_->height() + 100);
  // The list takes the outer height less 110, rounded down to whole entries.
  const int grown = list->height() - listBefore.height();
  EXPECT_EQ(list->height(), list->RoundedHeight(listBefore.height() + 12 + 100));
  EXPECT_EQ(grown, 112) << "228 + 100 + the 12 pixels the design height lost to rounding";
  EXPECT_EQ(grown % TDirectoryListBox::kEntryHeight, 0);
  EXPECT_EQ(chooser_->Bevel1->height(), list->height());
  EXPECT_EQ(list->width(), listBefore.width());
  chooser_->resize(chooser_->width(), chooser_->height() - 1);
  EXPECT_EQ(list->height() - listBefore.height(), 96) << "one pixel less loses an entry";

  // A name too long for the list is cut until the window is made wide enough.
  ASSERT_TRUE(QDir(root_).mkpath("A folder whose name is far too long for the list"));
  ASSERT_EQ(list->SetDirectory(root_), 0);
  list->doItemsLayout();
  const int longest = list->sizeHintForColumn(0);
  EXPECT_LT(list->viewport()->width(), longest);
  const int wider = longest - list->viewport()->width();
  chooser_->resize(chooser_->width() + wider, chooser_->height());
  EXPECT_GE(list->viewport()->width(), longest);
  EXPECT_EQ(list->geometry().topLeft(), listBefore.topLeft());
  EXPECT_EQ(chooser_->DriveComboBox1->width() - driveBefore.width(),
            list->width() - listBefore.width())
      << "the drive box widens alike";
  EXPECT_EQ(chooser_->width() - chooser_->OK->geometry().right(),
            chooser_->width() - wider - okBefore.right())
      << "the buttons keep to the right edge";
  EXPECT_EQ(chooser_->OK->y(), okBefore.y());
  EXPECT_EQ(chooser_->Bevel1->height(), list->height());
}

TEST_F(ChooseDirectoryTest, AFolderThatIsGoneShowsFileNotFoundAndKeepsTheList) {
  ASSERT_TRUE(QDir(root_ + "/beta").removeRecursively());
  QString caption, text;
  OnNextModal([&](QWidget* box) {
    caption = box->windowTitle();
    text = static_cast<QMessageBox*>(box)->text();
    static_cast<QMessageBox*>(box)->accept();
  });
  DoubleClick("beta");
  EXPECT_EQ(text, "File not found.");
  EXPECT_EQ(caption, "Usage Vorntool");
  EXPECT_EQ(chooser_->ChosenDirectory(), root_);
  EXPECT_NE(Entry("beta"), nullptr) << "the list is not rebuilt";
  EXPECT_EQ(QDir::currentPath(), root_);
}

TEST_F(ChooseDirectoryTest, TheDriveBoxShowsTheDriveOfTheOpenFolder) {
  TDriveComboBox* drives = chooser_->DriveComboBox1;
  ASSERT_GE(drives->count(), 1);
  EXPECT_EQ(drives->Drives().front().mountPoint, "/");
  EXPECT_EQ(drives->currentIndex(), drives->IndexOfFolder(root_));
  for (int i = 0; i < drives->count(); ++i) {
    EXPECT_EQ(drives->itemText(i), TDriveComboBox::EntryText(drives->Drives()[i]));
    EXPECT_FALSE(drives->itemIcon(i).isNull());
  }

  // Choosing the drive again opens the folder last opened on it.
  DoubleClick("Alpha");
  const int index = drives->currentIndex();
  EXPECT_EQ(TChooseDirectory::FolderCurrentOnDrive(drives->Drives()[index].mountPoint),
            root_ + "/Alpha");
  chooser_->DriveComboBox1Change();
  EXPECT_EQ(chooser_->ChosenDirectory(), root_ + "/Alpha");

  // The root drive opens "/" or the folder last opened on it.
  if (index != 0) {
    drives->setCurrentIndex(0);
    EXPECT_EQ(drives->IndexOfFolder(chooser_->ChosenDirectory()), 0);
  }
}

TEST(DriveComboBox, EntryTextsAndKinds) {
  TDriveInfo drive;
  drive.mountPoint = "/media/stick";
  drive.kind = TDriveKind::Removable;
  EXPECT_EQ(TDriveComboBox::EntryText(drive), "/media/stick");
  drive.label = "Holiday Photos";
  EXPECT_EQ(TDriveComboBox::EntryText(drive), "/media/stick [Holiday Photos]");
  drive = {};
  drive.mountPoint = "/mnt/share";
  drive.kind = TDriveKind::Network;
  drive.source = "//server/Share";
  EXPECT_EQ(TDriveComboBox::EntryText(drive), "/mnt/share [//server/Share]") << "case is kept";

  struct Case {
    const char* fsType;
    const char* source;
    const char* mountPoint;
    bool removable;
    bool listed;
    TDriveKind kind;
  };
  const Case cases[] = {
      {"ext4", "/dev/sda2", "/", false, true, TDriveKind::Fixed},
      {"overlay", "overlay", "/", false, true, TDriveKind::Fixed},
      {"ext4", "/dev/sda3", "/home", false, true, TDriveKind::Fixed},
      {"vfat", "/dev/sdb1", "/mnt/usb", true, true, TDriveKind::Removable},
      {"exfat", "/dev/sdc1", "/media/me/STICK", false, true, TDriveKind::Removable},
      {"nfs4", "server:/export", "/net/export", false, true, TDriveKind::Network},
      {"cifs", "//server/share", "/mnt/share", false, true, TDriveKind::Network},
      {"fuse.sshfs", "me@host:", "/mnt/ssh", false, true, TDriveKind::Network},
      {"iso9660", "/dev/sr0", "/media/cdrom", true, true, TDriveKind::CD},
      {"tmpfs", "tmpfs", "/tmp", false, false, TDriveKind::Fixed},
      {"tmpfs", "tmpfs", "/dev/shm", false, false, TDriveKind::Fixed},
      {"tmpfs", "none", "/mnt/sandbox/env", false, false, TDriveKind::Fixed},
      {"cgroup2", "cgroup2", "/sys/fs/cgroup", false, false, TDriveKind::Fixed},
      {"proc", "proc", "/proc", false, false, TDriveKind::Fixed},
      {"sysfs", "sysfs", "/sys", false, false, TDriveKind::Fixed},
      {"squashfs", "/dev/loop3", "/snap/core/1", false, false, TDriveKind::Fixed},
      {"overlay", "overlay", "/var/lib/docker/x", false, false, TDriveKind::Fixed},
  };
  for (const Case& c : cases) {
    TDriveKind kind = TDriveKind::Fixed;
    MountInfo mount;
    mount.fsType = c.fsType;
    mount.source = c.source;
    mount.mountPoint = c.mountPoint;
    const bool listed = IsRealDisk(mount, c.removable, kind);
    EXPECT_EQ(listed, c.listed) << c.fsType << " at " << c.mountPoint;
    if (listed) {
      EXPECT_EQ(kind, c.kind) << c.fsType << " at " << c.mountPoint;
    }
  }
}

TEST(ChooseDirectoryText, ErrorNumbersMapByMeaning) {
  EXPECT_EQ(FolderErrorText(ENOENT), "File not found");
  EXPECT_EQ(FolderErrorText(ENAMETOOLONG), "Invalid filename");
  EXPECT_EQ(FolderErrorText(EINVAL), "Invalid filename");
  EXPECT_EQ(FolderErrorText(ENOTDIR), "Invalid filename");
  EXPECT_EQ(FolderErrorText(EMFILE), "Too many open files");
  EXPECT_EQ(FolderErrorText(ENFILE), "Too many open files");
  EXPECT_EQ(FolderErrorText(EACCES), "File access denied");
  EXPECT_EQ(FolderErrorText(EPERM), "File access denied");
  EXPECT_EQ(FolderErrorText(EIO), QString("I/O error %1").arg(EIO));
}

TEST(ChooseDirectoryText, LongPathsLoseTheirLeadingFoldersOneAtATime) {
  const QFontMetrics metrics(DesignFont(true));
  const QString path = "/alpha/bravo/charlie";
  const auto fitted = [&](const QString& fitting) {
    return MinimizeName(path, metrics, metrics.horizontalAdvance(fitting));
  };
  EXPECT_EQ(fitted(path), path);
  EXPECT_EQ(fitted("/.../bravo/charlie"), "/.../bravo/charlie");
  EXPECT_EQ(fitted("/.../charlie"), "/.../charlie");
  EXPECT_EQ(fitted(".../charlie"), ".../charlie");
  EXPECT_EQ(fitted("charlie"), "charlie");
  EXPECT_EQ(MinimizeName("/a/b/c", metrics, 0), "c") << "the name itself is never cut";
  const QString hidden = "/.ab/alpha/charlie";
  EXPECT_EQ(MinimizeName(hidden, metrics, metrics.horizontalAdvance("/.../alpha/charlie")),
            "/.../alpha/charlie")
      << "a hidden folder's dot is not taken for an ellipsis";
  const QString shortened = MinimizeName("/home/someone/projects/very/deep/folder", metrics, 120);
  EXPECT_TRUE(shortened.endsWith("/folder")) << shortened.toStdString();
  EXPECT_TRUE(shortened.startsWith("/.../")) << shortened.toStdString();
  EXPECT_LE(metrics.horizontalAdvance(shortened), 120);
}

}  // namespace
