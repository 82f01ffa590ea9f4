#pragma once

#include <QComboBox>
#include <QDialog>
#include <QListWidget>
#include <QString>
#include <vector>

#include "dialogs/Drives.h"

class QFontMetrics;
class QFrame;
class QLabel;
class QPushButton;

// The message for a folder that cannot be entered, by the system's error number.
QString FolderErrorText(int error);

// A folder path shortened to fit `maxWidth` pixels: the leading folders give
// way to "..." one at a time ("/a/b/c", "/.../b/c", "/.../c", ".../c", "c").
QString MinimizeName(const QString& path, const QFontMetrics& metrics, int maxWidth);

// The folder tree around one folder: the root and each folder on the way
// down, the folder itself, then its sub-folders, each one step further in.
class TDirectoryListBox : public QListWidget {
  Q_OBJECT

 public:
  enum TEntryPart { RootEntry, AncestorEntry, CurrentEntry, SubFolderEntry };
  enum Role { PathRole = Qt::UserRole + 1, LevelRole, PartRole };
  static constexpr int kEntryHeight = 16;
  static constexpr int kIndentStep = 10;

  explicit TDirectoryListBox(QWidget* parent = nullptr);

  // The open folder, as a full path.
  const QString& Directory() const { return directory_; }
  // Opens a folder: makes it the process's current folder and rebuilds the
  // list. Returns 0, or the system's error number with nothing changed.
  int SetDirectory(const QString& folder);
  // Shows `folder` without touching the process's current folder.
  void ShowDirectory(const QString& folder);

  // The sub-folder names of `folder` as listed: hidden ones left out,
  // alphabetical regardless of case.
  static QStringList SubFolders(const QString& folder);

  // Whole entries only: the height given is rounded down to entries plus frame.
  int RoundedHeight(int height) const;
  void SetRoundedHeight(int height);

 signals:
  void DirectoryChanged(const QString& folder);

 private:
  void Rebuild();
  QString directory_;
};

// The mounted file systems, each with a picture of its kind.
class TDriveComboBox : public QComboBox {
  Q_OBJECT

 public:
  explicit TDriveComboBox(QWidget* parent = nullptr);

  // Reads the mount table afresh.
  void Refresh();
  const std::vector<TDriveInfo>& Drives() const { return drives_; }
  // The entry whose mount point holds `folder` (the deepest one), or -1.
  int IndexOfFolder(const QString& folder) const;
  static QString EntryText(const TDriveInfo& drive);

 private:
  std::vector<TDriveInfo> drives_;
};

// The modal folder picker of the settings dialog and the wizard. It opens
// on the folder its owner gives (OpenAt), else where it was left; at first
// the process's current folder. Each showing reads the disks and the
// folder afresh.
class TChooseDirectory : public QDialog {
  Q_OBJECT

 public:
  explicit TChooseDirectory(QWidget* owner = nullptr);
  ~TChooseDirectory() override;

  // The folder open in the list (not an entry that is merely highlighted).
  QString ChosenDirectory() const;
  // Shows `folder`, or the nearest folder above it that is there (a relative
  // one from the current folder), without changing the current folder; an
  // empty text keeps the folder where it was left.
  void OpenAt(const QString& folder);

  void DriveComboBox1Change();
  void FormResize();
  void reject() override;

  // The folder last opened on each drive, by mount point, for all choosers.
  static QString FolderCurrentOnDrive(const QString& mountPoint);

  // Controls, by their design names.
  TDirectoryListBox* DirectoryListBox1;
  TDriveComboBox* DriveComboBox1;
  QPushButton* OK;
  QPushButton* Cancel;
  QLabel* Path;
  QFrame* Bevel1;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void OpenEntry(const QString& path, int part);
  void DirectoryChanged(const QString& folder);
  void SelectDriveOf(const QString& folder);
  void ShowPath();
  bool shownBefore_ = false;
};
