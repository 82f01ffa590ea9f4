#pragma once

#include <QString>
#include <QWidget>

class QCommandLinkButton;
class QGridLayout;
class QLabel;
class QPushButton;
class QVBoxLayout;
class TUsageReport;

// What the window shows while its report is empty: the disks with their
// used and free space, a button that scans the home folder and one that
// scans a chosen folder, and the recent scans. One click starts a scan: a
// disk's button scans that disk (staying on it), a recent scan's opens what
// it found then, as File > Open Scan... does. Scans take the settings
// dialog's counting and limits, into a cleared report.
class TStartPage : public QWidget {
  Q_OBJECT

 public:
  explicit TStartPage(TUsageReport& window);

  // Reads the disks and the kept scans afresh.
  void Refresh();

  // Starts a scan of one folder; `oneFileSystem` keeps it on that disk.
  void ScanFolder(const QString& folder, bool oneFileSystem);
  // Asks for a folder in the settings dialog's directory chooser, opened at
  // the home folder, and scans it.
  void ChooseAndScan();

  QPushButton* ScanHomeButton;
  QPushButton* ScanFolderButton;
  QWidget* Disks;   // a button, a bar and a line of text a disk
  QWidget* Recent;  // a button a kept scan

 private:
  void FillDisks();
  void FillRecent();

  TUsageReport& window_;
  QGridLayout* diskGrid_ = nullptr;
  QVBoxLayout* recentList_ = nullptr;
};
