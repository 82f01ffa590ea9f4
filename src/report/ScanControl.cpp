#include "report/ScanControl.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFutureWatcher>
#include <QStatusBar>
#include <QWidget>
#include <QtConcurrent/QtConcurrentRun>
#include <functional>
#include <vector>

#include "report/BackgroundPool.h"
#include "report/ProblemsWindow.h"
#include "report/ReportModel.h"
#include "report/ScanProgressBar.h"
#include "report/StatusText.h"
#include "scan/Errors.h"
#include "scan/ReportTree.h"
#include "scan/ScanArchive.h"
#include "scan/ScanFileReader.h"
#include "scan/ScanReplay.h"

namespace {
// Interface events are handled at most this often during a scan: often
// enough for Stop and repaints to feel immediate, rarely enough that the
// status line's repaint does not slow the walk.
constexpr qint64 kPumpIntervalNs = 10'000'000;

const char* const kScanRunning = "A scan is running: choose Stop or wait for it to end";
const char* const kCloseAfterScan = "The window closes when the scan has ended";
constexpr int kNoticeMs = 4000;

// Clears the scan state however the scan ends.
struct TScanState {
  bool& scanning;
  TUsageDirectory*& walker;
  TReportModel& model;
  std::function<void()> ended;  // after the rest
  ~TScanState() {
    walker = nullptr;
    scanning = false;
    model.SetBatching(false);
    ended();
  }
};
}  // namespace

TScanControl::TScanControl(QWidget& window, TReportTree& tree, TReportModel& model,
                           QStatusBar& statusBar, TProblemsWindow& problems)
    : QObject(&window),
      window_(window),
      tree_(tree),
      model_(model),
      statusBar_(statusBar),
      problems_(problems) {
  status_ = new TStatusText(&statusBar_);
  statusBar_.addWidget(status_, 1);
  progress_ = new TScanProgressBar(&statusBar_);
  statusBar_.addPermanentWidget(progress_);
}

void TScanControl::BeginScan(const std::vector<std::string>& folders) {
  std::optional<TScanProgress> baseline;
  if (const std::string archive = ScanArchiveFolder(); !archive.empty() && !folders.empty()) {
    if (const auto earlier = TScanArchive(archive).Latest(folders)) {
      baseline.emplace(earlier->folderCount, earlier->fileCount);
    }
  }
  progress_->Begin(std::move(baseline));
  emit ScanningChanged(true);
  // The view sees the scan's changes each time the interface gets its turn.
  model_.SetBatching(true);
  pumpClock_.invalidate();
}

void TScanControl::RunScan(const UsageOptions& options) {
  scanning_ = true;
  TScanState state{scanning_, UsageDirectory, model_, [this] {
                     progress_->End();
                     emit ScanningChanged(false);
                   }};
  BeginScan(options.Folders);
  problems_.SetProblems({});
  lastOptions_ = options;
  // The window keeps every file the scan read, for the questions asked of
  // the report afterwards.
  lastOptions_.Record = ScanRecord::Files;
  if (options.ClearReport) ForgetDocuments();
  ScanOutcome outcome = RunUsageScan(lastOptions_, tree_, this, this, &UsageDirectory);
  std::shared_ptr<const TScanDocument> finished;
  if (!outcome.stopped) finished = outcome.document;
  KeepDocument(std::move(outcome.document));
  ShowOutcome(std::move(outcome));
  if (finished) emit ScanFinished(std::move(finished));
}

void TScanControl::RunOpen(const std::string& path, const UsageOptions& options) {
  scanning_ = true;
  TScanState state{scanning_, UsageDirectory, model_, [this] {
                     progress_->End();
                     emit ScanningChanged(false);
                   }};
  StopRequested = false;
  BeginScan();
  ShowText("Reading " + path + "...");
  // Read on another thread: a large file takes seconds, and the window
  // must answer meanwhile. Stop is honoured once it is read.
  struct Read {
    std::shared_ptr<TScanDocument> document;
    std::string error;
  };
  QFuture<Read> reading = QtConcurrent::run(&BackgroundPool(), [path] {
    Read read;
    try {
      read.document = ReadScanFile(path);
    } catch (const std::exception& error) {
      read.error = error.what();
    }
    return read;
  });
  QFutureWatcher<Read> watcher;
  QEventLoop loop;
  connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
  watcher.setFuture(reading);
  if (!reading.isFinished()) loop.exec();
  Read read = reading.result();
  if (!read.document) {
    ShowText({});
    throw EVorntoolsError(read.error.rfind("Cannot", 0) == 0
                              ? read.error
                              : "Cannot open scan file " + path + ": " + read.error);
  }
  if (StopRequested) {
    ShowText(kScanStoppedText);
    return;
  }
  problems_.SetProblems({});
  UsageOptions opened = options;
  opened.Folders = read.document->StartingFolders();
  opened.ClearReport = true;
  opened.Record = ScanRecord::Files;
  lastOptions_ = opened;
  ForgetDocuments();
  ScanOutcome outcome = ReplayScan(*read.document, opened, tree_, this, this, &UsageDirectory);
  if (outcome.document) outcome.document->SetOrigin(*read.document);
  read.document.reset();  // before the window keeps its own, so both are never held long
  KeepDocument(std::move(outcome.document));
  ShowOutcome(std::move(outcome));
}

void TScanControl::RunRescan(TTreeNode* node, const std::string& path,
                             const std::string& startBelow) {
  const std::string folder = path.empty() ? TReportTree::PathOf(node) : path;
  scanning_ = true;
  TScanState state{scanning_, UsageDirectory, model_, [this] {
                     progress_->End();
                     emit ScanningChanged(false);
                   }};
  BeginScan();
  ScanOutcome outcome =
      RescanUsageFolder(node, lastOptions_, tree_, this, this, &UsageDirectory, path, startBelow);
  if (outcome.stopped) return;  // the report and its problems stay as they were
  // The folder's files as this walk found them, before those of the scans
  // before it.
  KeepDocument(std::move(outcome.document));
  // The folder's old problems give way to its new ones; the others stay.
  const auto below = [&folder](const std::string& path) {
    if (path.compare(0, folder.size(), folder) != 0) return false;
    return path.size() == folder.size() || folder.back() == '/' || path[folder.size()] == '/';
  };
  std::vector<ScanProblem> problems;
  for (const ScanProblem& p : problems_.Problems()) {
    if (!below(p.path)) problems.push_back(p);
  }
  for (ScanProblem& p : outcome.problems) problems.push_back(std::move(p));
  outcome.problems = std::move(problems);
  ShowOutcome(std::move(outcome));
}

void TScanControl::ForgetDocuments() {
  documents_.clear();
  emit DocumentsChanged();
}

void TScanControl::KeepDocument(std::shared_ptr<TScanDocument> document) {
  if (!document) return;
  documents_.push_back(std::move(document));
  emit DocumentsChanged();
}

void TScanControl::ShowOutcome(ScanOutcome&& outcome) {
  // Hidden names are left out by default, so nearly every scan leaves
  // something out: only read errors are worth sending the user to the list.
  if (!outcome.stopped) ShowText(DoneText(outcome, outcome.ReadProblems() > 0));
  problems_.SetProblems(std::move(outcome.problems));
}

void TScanControl::Stop() {
  StopRequested = true;
}

void TScanControl::ProcessMessages() {
  if (pumpClock_.isValid() && pumpClock_.nsecsElapsed() < kPumpIntervalNs) return;
  if (UsageDirectory) {
    progress_->Update(UsageDirectory->FoldersSeen(), UsageDirectory->FilesSeen(),
                      UsageDirectory->BytesSeen());
  }
  // The view catches up, and what the user changes meanwhile (a label
  // edited in place) is announced at once.
  model_.SetBatching(false);
  QCoreApplication::processEvents();
  model_.SetBatching(true);
  pumpClock_.start();
}

void TScanControl::ShowText(const std::string& text) {
  status_->SetText(text);
}

QString TScanControl::IncompleteSuffix() const {
  return tree_.HasIncomplete() ? TReportModel::kIncompleteSuffix : QString();
}

QString TScanControl::StatusText() const {
  return status_->Text();
}

QString TScanControl::StatusNotice() const {
  return statusBar_.currentMessage();
}

void TScanControl::ShowNotice(const QString& notice) {
  statusBar_.showMessage(notice, kNoticeMs);
}

bool TScanControl::RefusedWhileScanning() {
  if (!scanning_) return false;
  ShowNotice(kScanRunning);
  return true;
}

bool TScanControl::DeferClose() {
  if (!scanning_) return false;
  closePending_ = true;
  ShowNotice(kCloseAfterScan);
  return true;
}

void TScanControl::CloseIfPending() {
  if (closePending_ && !scanning_) {
    closePending_ = false;
    window_.close();
  }
}
