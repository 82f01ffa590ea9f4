#include "report/ScanFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFutureWatcher>
#include <QStandardPaths>
#include <QtConcurrent/QtConcurrentRun>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>

#include "dialogs/ModalHook.h"
#include "dialogs/UsageDialog.h"
#include "report/BackgroundPool.h"
#include "report/ScanControl.h"
#include "report/UsageReport.h"
#include "scan/Errors.h"
#include "scan/ScanArchive.h"
#include "scan/ScanDocument.h"
#include "scan/ScanFileWriter.h"
#include "scan/ThreadPriority.h"

namespace {

const char* const kScanFileFilter =
    "Scan Files (*.json *.json.gz *.json.zst *.gz *.zst);;All Files (*)";

QString StartFolder() {
  QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (documents.isEmpty() || !QDir(documents).exists()) documents = QDir::homePath();
  return documents;
}

// What a scan of many folders adds up to, for the archive's index.
ArchivedScan FactsOf(const TScanDocument& document) {
  ArchivedScan facts;
  facts.folders = document.StartingFolders();
  facts.ended =
      std::chrono::duration_cast<std::chrono::seconds>(document.Ended().time_since_epoch()).count();
  for (std::uint32_t s = 0; s != TScanDocument::kNoFolder && s < document.FolderCount();
       s = document.NextSibling(s)) {
    const ScanFolder& start = document.Folder(s);
    facts.folderCount += 1 + start.foldersBelow;
    facts.fileCount += start.filesBelow;
    facts.bytes += start.bytesBelow;
  }
  return facts;
}

// One window or many, one archive: its index is rewritten by one at a time.
std::mutex archiveMutex;

}  // namespace

TScanFiles::TScanFiles(TUsageReport& window) : QObject(&window), window_(window) {
  archiving_.setMaxThreadCount(1);
  connect(&window_.Scan(), &TScanControl::ScanFinished, this, &TScanFiles::Archive);
}

TScanFiles::~TScanFiles() {
  // An export or a kept scan under way is finished, never cut short.
  archiving_.waitForDone();
  BackgroundPool().waitForDone();
}

QFileDialog& TScanFiles::OpenDialog() {
  if (!openDialog_) {
    openDialog_ = new QFileDialog(&window_, "Open Scan");
    openDialog_->setObjectName("OpenScanDialog1");
    openDialog_->setAcceptMode(QFileDialog::AcceptOpen);
    openDialog_->setFileMode(QFileDialog::ExistingFile);
    openDialog_->setOption(QFileDialog::DontUseNativeDialog);
    openDialog_->setNameFilter(kScanFileFilter);
    openDialog_->setDirectory(StartFolder());
  }
  return *openDialog_;
}

QFileDialog& TScanFiles::ExportDialog() {
  if (!exportDialog_) {
    exportDialog_ = new QFileDialog(&window_, "Export Scan");
    exportDialog_->setObjectName("ExportScanDialog1");
    exportDialog_->setAcceptMode(QFileDialog::AcceptSave);
    exportDialog_->setFileMode(QFileDialog::AnyFile);
    exportDialog_->setOption(QFileDialog::DontUseNativeDialog);
    exportDialog_->setNameFilter(kScanFileFilter);
    exportDialog_->setDirectory(StartFolder());
  }
  return *exportDialog_;
}

void TScanFiles::OpenScan() {
  if (window_.Scan().RefusedWhileScanning()) return;
  window_.Command([this] {
    QFileDialog& dialog = OpenDialog();
    if (ExecModal(dialog) != QDialog::Accepted) return;
    const QStringList chosen = dialog.selectedFiles();
    if (!chosen.isEmpty()) Open(chosen.first());
  });
}

void TScanFiles::Open(const QString& path) {
  if (window_.Scan().RefusedWhileScanning()) return;
  window_.Command([this, &path] {
    // The limits and counting the user set, on the file's own folders.
    const UsageOptions options = window_.UsageDialog()->TakeScanOptions();
    window_.Scan().RunOpen(QFile::encodeName(path).toStdString(), options);
  });
}

void TScanFiles::ExportScan() {
  if (window_.Scan().RefusedWhileScanning()) return;
  window_.Command([this] {
    const auto& documents = window_.Scan().Documents();
    if (documents.empty()) throw EVorntoolsError("There is no scan to export: scan a folder first");
    // A rescan's folders stand in a document of their own, and a file
    // holds one scan: writing the first alone would give their old state.
    if (documents.size() > 1) {
      throw EVorntoolsError(
          "Some folders were scanned again since the scan: scan the whole report again to "
          "export it");
    }
    QFileDialog& dialog = ExportDialog();
    dialog.selectFile(QStringLiteral("scan-%1.json.zst")
                          .arg(QDateTime::currentDateTime().toString("yyyy-MM-dd")));
    if (ExecModal(dialog) != QDialog::Accepted) return;
    const QStringList chosen = dialog.selectedFiles();
    if (!chosen.isEmpty()) Export(documents.front(), chosen.first());
  });
}

void TScanFiles::Export(std::shared_ptr<const TScanDocument> document, const QString& path) {
  const std::string file = QFile::encodeName(path).toStdString();
  // The document is read only: writing it on another thread leaves the
  // window free, and a scan that replaces it meanwhile does not disturb it.
  auto* watcher = new QFutureWatcher<std::string>(this);
  connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, path] {
    const std::string error = watcher->result();
    watcher->deleteLater();
    if (error.empty()) {
      window_.Scan().ShowNotice("Exported to " + path);
    } else {
      window_.ReportError(EVorntoolsError("Cannot write scan file " +
                                          QFile::encodeName(path).toStdString() + ": " + error));
    }
    emit Exported(path, error.empty());
  });
  window_.Scan().ShowNotice("Exporting to " + path + "...");
  watcher->setFuture(QtConcurrent::run(&BackgroundPool(), [document = std::move(document), file] {
    if (WriteScanFile(*document, file, "vorntools")) return std::string();
    return std::string(std::strerror(errno));
  }));
}

void TScanFiles::Archive(std::shared_ptr<const TScanDocument> document) {
  const std::string folder = ScanArchiveFolder();
  if (folder.empty() || !document) return;
  // Kept on another thread, quietly: the archive is the next scan's
  // baseline, worth a word on the status line only when it fails.
  auto* watcher = new QFutureWatcher<std::string>(this);
  connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
    const std::string error = watcher->result();
    watcher->deleteLater();
    if (!error.empty()) {
      window_.Scan().ShowNotice(
          QString::fromStdString("This scan could not be kept for comparison: " + error));
    }
  });
  watcher->setFuture(QtConcurrent::run(&archiving_, [document = std::move(document), folder] {
    // Never at the cost of the window or of the panes' counting (the
    // thread is the archive's own: lowered once).
    static thread_local bool lowered = false;
    if (!lowered) LowerThreadPriority();
    lowered = true;
    const std::lock_guard lock(archiveMutex);
    std::string error;
    const bool kept = TScanArchive(folder).Keep(
        FactsOf(*document),
        [&document](const std::string& path, std::string& why) {
          if (WriteScanFile(*document, path, "vorntools")) return true;
          why = std::strerror(errno);
          return false;
        },
        error);
    return kept ? std::string() : error;
  }));
}
