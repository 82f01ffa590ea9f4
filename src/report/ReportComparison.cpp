#include "report/ReportComparison.h"

#include <QAction>
#include <QDateTime>
#include <QFile>
#include <QFutureWatcher>
#include <QLabel>
#include <QStatusBar>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <chrono>
#include <exception>

#include "dialogs/ModalHook.h"
#include "report/BackgroundPool.h"
#include "report/CompareDialog.h"
#include "report/FilesPane.h"
#include "report/ReportModel.h"
#include "report/ReportViews.h"
#include "report/ScanControl.h"
#include "report/ShareBars.h"
#include "report/TreemapView.h"
#include "report/UsageReport.h"
#include "scan/Errors.h"
#include "scan/ScanArchive.h"
#include "scan/ScanFileReader.h"

namespace {
QString Signed(std::int64_t bytes) {
  return bytes < 0 ? "-" + ReadableSize(-bytes) : "+" + ReadableSize(bytes);
}
}  // namespace

struct TReportComparison::Made {
  std::shared_ptr<const TReportChanges> changes;
  QString source;
  QString error;
};

TReportComparison::TReportComparison(TUsageReport& window) : QObject(&window), window_(window) {
  status_ = new QLabel;
  status_->setObjectName("ComparisonStatus");
  status_->setTextFormat(Qt::PlainText);
  status_->hide();
  window.StatusBar1->addPermanentWidget(status_);
  // What the comparison was made of is gone: the report changed.
  connect(&window.Scan(), &TScanControl::DocumentsChanged, this, &TReportComparison::End);
  connect(&window.Scan(), &TScanControl::ScanningChanged, this, [this](bool scanning) {
    if (scanning) End();
  });
}

TReportComparison::~TReportComparison() = default;

void TReportComparison::SetColourAction(QAction* action) {
  colourAction_ = action;
  colourAction_->setEnabled(changes_ != nullptr);
}

void TReportComparison::CompareWith(std::shared_ptr<const TScanDocument> baseline,
                                    const QString& source) {
  auto documents = window_.Scan().Documents();
  Start([documents = std::move(documents), baseline = std::move(baseline), source] {
    return Made{std::make_shared<const TReportChanges>(documents, baseline), source, {}};
  });
}

void TReportComparison::CompareWithFile(const QString& path) {
  auto documents = window_.Scan().Documents();
  Start([documents = std::move(documents), path] {
    const std::string file = QFile::encodeName(path).toStdString();
    try {
      std::shared_ptr<const TScanDocument> baseline = ReadScanFile(file);
      return Made{std::make_shared<const TReportChanges>(documents, std::move(baseline)), path, {}};
    } catch (const std::exception& e) {
      // The reader names the file only when it cannot open it.
      const std::string what = e.what();
      return Made{nullptr, path,
                  QString::fromStdString(what.rfind("Cannot", 0) == 0
                                             ? what
                                             : "Cannot open scan file " + file + ": " + what)};
    }
  });
}

void TReportComparison::Start(std::function<Made()> make) {
  if (window_.Scan().Documents().empty()) {
    window_.Scan().ShowNotice("Scan first: a report read from its file has no files to compare");
    return;
  }
  const unsigned generation = ++generation_;
  busy_ = true;
  status_->setText("Comparing...");
  status_->setToolTip({});
  status_->show();
  auto* watcher = new QFutureWatcher<Made>(this);
  connect(watcher, &QFutureWatcher<Made>::finished, this, [this, watcher, generation] {
    watcher->deleteLater();
    if (generation != generation_) return;  // ended, or another asked for meanwhile
    busy_ = false;
    Apply(watcher->result());
  });
  // Reading a large scan and pairing its folders take seconds: the window
  // stays live meanwhile. The documents are read-only and held here.
  watcher->setFuture(
      QtConcurrent::run(&BackgroundPool(), [make = std::move(make)] { return make(); }));
}

void TReportComparison::Apply(Made made) {
  if (!made.changes) {
    status_->setVisible(changes_ != nullptr);
    if (changes_) status_->setText(StatusText());
    window_.ReportError(EVorntoolsError(made.error.toStdString()));
    return;
  }
  source_ = made.source;
  Show(std::move(made.changes));
}

void TReportComparison::End() {
  ++generation_;
  busy_ = false;
  if (!changes_) {
    status_->hide();
    return;
  }
  Show(nullptr);
}

void TReportComparison::Show(std::shared_ptr<const TReportChanges> changes) {
  // The old comparison holds the earlier scan: the views let go first.
  changes_ = std::move(changes);
  window_.Model()->SetChanges(changes_);
  window_.Views().ShowChanges(changes_ != nullptr);
  window_.Treemap1->SetChanges(changes_);
  window_.FilesPane()->SetChanges(changes_);
  if (colourAction_) {
    colourAction_->setEnabled(changes_ != nullptr);
    if (!changes_) colourAction_->setChecked(false);
  }
  status_->setVisible(changes_ != nullptr);
  status_->setText(StatusText());
  status_->setToolTip(NotesText());
  emit ChangesChanged();
}

QString TReportComparison::StatusText() const {
  if (!changes_) return {};
  const auto ended = std::chrono::duration_cast<std::chrono::seconds>(
                         changes_->Before().Ended().time_since_epoch())
                         .count();
  return QString("Compared with the scan of %1: %2")
      .arg(QDateTime::fromSecsSinceEpoch(ended).toString("yyyy-MM-dd HH:mm"),
           Signed(changes_->TotalChange(window_.Tree())));
}

QString TReportComparison::NotesText() const {
  if (!changes_) return {};
  QStringList lines{source_};
  for (ComparisonNote note : changes_->Notes()) lines << ComparisonNoteText(note);
  return lines.join('\n');
}

void TReportComparison::Choose() {
  const auto& documents = window_.Scan().Documents();
  if (documents.empty()) {
    window_.Scan().ShowNotice("Scan first: a report read from its file has no files to compare");
    return;
  }
  std::vector<ArchivedScan> scans = TScanArchive(ScanArchiveFolder()).List();
  // The previous scan of the report's starting folders: the newest that
  // ended before this one (the archive holds this one too).
  const std::vector<std::string>& folders = documents.front()->Options().Folders;
  const auto ended = std::chrono::duration_cast<std::chrono::seconds>(
                         documents.front()->Ended().time_since_epoch())
                         .count();
  int preferred = -1;
  for (std::size_t i = 0; i < scans.size() && preferred < 0; ++i) {
    if (scans[i].folders == folders && scans[i].ended < ended) preferred = static_cast<int>(i);
  }
  QStringList notes;
  if (changes_) {
    for (ComparisonNote note : changes_->Notes()) notes << ComparisonNoteText(note);
  }
  TCompareDialog dialog(&window_, std::move(scans), preferred, changes_ != nullptr,
                        notes.join('\n'));
  if (ExecModal(dialog) != QDialog::Accepted) return;
  if (dialog.Chosen() == TCompareDialog::Choice::End) End();
  if (dialog.Chosen() == TCompareDialog::Choice::File) CompareWithFile(dialog.Path());
}
