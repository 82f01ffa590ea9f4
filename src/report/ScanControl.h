#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "scan/UiHooks.h"
#include "scan/UsageDirectory.h"
#include "scan/UsageOptions.h"

class QStatusBar;
class QWidget;
class TProblemsWindow;
class TReportModel;
class TReportTree;
class TScanProgressBar;
class TStatusText;
class TTreeNode;
class TScanDocument;
class TUsageDirectory;

// Runs the window's scans, on this thread inside the command that starts
// them: it is their message pump and status line, keeps the commands that
// would disturb a running scan from acting, and holds back a close until
// the scan has ended.
class TScanControl : public QObject, public TMessagePump, public TStatusLine {
  Q_OBJECT

 public:
  // Puts its text panel on the window's status bar.
  TScanControl(QWidget& window, TReportTree& tree, TReportModel& model, QStatusBar& statusBar,
               TProblemsWindow& problems);

  // Runs one scan; the interface stays live meanwhile.
  void RunScan(const UsageOptions& options);
  // Scans the folder of one node again with the last scan's options;
  // `folder` its path as the walk found it (see RescanUsageFolder).
  void RunRescan(TTreeNode* node, const std::string& folder = {},
                 const std::string& startBelow = {});
  // Makes the report from a scan file as a scan of its folders would, with
  // `options`' limits and counting; the interface stays live while the file
  // is read. Raises EVorntoolsError when it cannot be read.
  void RunOpen(const std::string& path, const UsageOptions& options);
  void Stop();
  bool Scanning() const { return scanning_; }
  const UsageOptions& LastOptions() const { return lastOptions_; }
  // What the scans behind the report read, oldest first: one document a
  // scan or rescan (a scan that clears the report starts the list again).
  // A report read from its file, or emptied, has none.
  const std::vector<std::shared_ptr<const TScanDocument>>& Documents() const { return documents_; }
  void ForgetDocuments();

  // " (incomplete)" while lines of a stopped scan stay in the report, for
  // what is counted from it; else empty.
  QString IncompleteSuffix() const;

  QString StatusText() const;
  TScanProgressBar& Progress() const { return *progress_; }
  // A notice shown over the status line for a moment (e.g. "scan running").
  QString StatusNotice() const;
  void ShowNotice(const QString& notice);

  // Refuses a command that would disturb a running scan, saying so.
  bool RefusedWhileScanning();
  // During a scan, notes a close for the scan's end, says so and gives
  // true: the scan refers to the window, which must stay until it ends.
  bool DeferClose();
  // Carries out an Exit or close that came while a scan ran.
  void CloseIfPending();

  // TMessagePump: handles pending interface events at most every few
  // milliseconds, so a scan through many small folders does not spend its
  // time repainting.
  void ProcessMessages() override;
  // TStatusLine
  void ShowText(const std::string& text) override;

 signals:
  // A scan started or ended.
  void ScanningChanged(bool scanning);
  // A document was added to Documents(), or they were forgotten.
  void DocumentsChanged();
  // A scan (not a rescan, nor a scan read from a file) ran to its end.
  void ScanFinished(std::shared_ptr<const TScanDocument> document);

 private:
  // What a scan and a rescan do first, once the scan counts as running.
  // `folders`: the starting folders, when an earlier scan of them may tell
  // how far this one has come.
  void BeginScan(const std::vector<std::string>& folders = {});
  // The status line after a scan, and the problems it found.
  void ShowOutcome(ScanOutcome&& outcome);
  // Adds what a scan read to Documents() (nothing when it kept no record).
  void KeepDocument(std::shared_ptr<TScanDocument> document);

  QWidget& window_;
  TReportTree& tree_;
  TReportModel& model_;
  QStatusBar& statusBar_;
  TProblemsWindow& problems_;
  TStatusText* status_ = nullptr;
  TScanProgressBar* progress_ = nullptr;

  TUsageDirectory* UsageDirectory = nullptr;  // the walker of the running scan
  UsageOptions lastOptions_;                  // the last scan's, for Rescan Folder
  std::vector<std::shared_ptr<const TScanDocument>> documents_;
  bool scanning_ = false;
  bool closePending_ = false;
  QElapsedTimer pumpClock_;
};
