#include "report/FileAgesPane.h"

#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

#include "report/LargestFilesPane.h"
#include "report/LatestJob.h"
#include "report/PaneTable.h"
#include "report/ReportModel.h"
#include "report/ReportViews.h"
#include "report/ScanControl.h"
#include "report/ShareBars.h"
#include "report/UsageReport.h"
#include "scan/DocumentLookup.h"
#include "scan/FileAges.h"
#include "scan/ReportScopes.h"

namespace {
const char* const kNoScan = "Scan a folder to see the ages of its files.";
const char* const kNoFolder = "Select a folder to see the ages of the files below it.";
const char* const kNotKnown = "No files are known for this folder: scan it to see them.";
}  // namespace

struct TFileAgesPane::Result {
  std::vector<TFileAges::Year> years;
  QString note;  // instead of the years
};

TFileAgesPane::TFileAgesPane(TUsageReport& window, TLargestFilesPane& largest)
    : QDockWidget("File Ages", &window), window_(window), largest_(largest) {
  setObjectName("FileAgesPane");
  toggleViewAction()->setText("File &Ages");
  toggleViewAction()->setObjectName("FileAges1");

  model_ = new QStandardItemModel(0, 4, this);
  model_->setHorizontalHeaderLabels({"Year", "Files", "Size", "Share"});

  table_ = new QTableView;
  table_->setObjectName("FileAgesTable");
  table_->setModel(model_);
  SetUpPaneTable(*table_, kShareColumn);
  table_->setItemDelegateForColumn(kShareColumn, new TShareBarDelegate(table_));
  table_->installEventFilter(this);
  const QFontMetrics metrics(table_->font());
  const int pad = 24;
  table_->setColumnWidth(kYearColumn, metrics.horizontalAdvance("0000") + pad);
  table_->setColumnWidth(kFilesColumn, metrics.horizontalAdvance("1,000,000") + pad);
  table_->setColumnWidth(kSizeColumn, metrics.horizontalAdvance("1023.9 MiB") + pad);

  below_ = new QCheckBox("Below the Selected Fol&der");
  below_->setObjectName("AgesBelowFolder");
  caption_ = NewPaneCaption("FileAgesCaption");
  setWidget(PanePage(*caption_, *below_, *table_));

  job_ = std::make_unique<TLatestJob<Result>>(this, [this](Result r) { Apply(std::move(r)); });

  connect(&window.Views(), &TReportViews::CurrentNodeChanged, this, [this](TTreeNode* node) {
    folderPath_ = node ? TReportTree::PathOf(node) : std::string();
    if (below_->isChecked()) Recount();
  });
  connect(&window.Scan(), &TScanControl::DocumentsChanged, this, &TFileAgesPane::Recount);
  connect(below_, &QCheckBox::toggled, this, &TFileAgesPane::Recount);
  connect(&largest_, &TLargestFilesPane::YearChanged, this, &TFileAgesPane::ShowChosenYear);
  connect(table_, &QTableView::clicked, this,
          [this](const QModelIndex& index) { ChooseRow(index.row()); });
  // A hidden pane counts nothing; it catches up when shown.
  connect(this, &QDockWidget::visibilityChanged, this, [this](bool visible) {
    if (visible && stale_) Recount();
  });
  Recount();
}

TFileAgesPane::~TFileAgesPane() = default;

bool TFileAgesPane::Counting() const {
  return job_->Busy() || stale_;
}

void TFileAgesPane::ChooseRow(int row) {
  if (row < 0 || row >= model_->rowCount()) return;
  const int year = model_->item(row, kYearColumn)->data(kYearRole).toInt();
  largest_.SetYear(largest_.Year() == year ? std::nullopt : std::optional<int>(year));
}

bool TFileAgesPane::eventFilter(QObject* watched, QEvent* event) {
  // The keys that choose a line, as a click does.
  if (watched == table_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
      ChooseRow(table_->currentIndex().row());
      return true;
    }
  }
  return QDockWidget::eventFilter(watched, event);
}

void TFileAgesPane::Recount() {
  stale_ = true;
  if (isHidden()) {
    job_->Cancel();
    return;
  }
  const auto& documents = window_.Scan().Documents();
  if (documents.empty()) {
    job_->Cancel();
    Apply({{}, kNoScan});
    return;
  }
  const bool below = below_->isChecked();
  if (below && folderPath_.empty()) {
    job_->Cancel();
    Apply({{}, kNoFolder});
    return;
  }
  caption_->setText("Counting...");
  job_->Start([documents, below, path = folderPath_](const TLatestJob<Result>::Stale&) {
    if (!below) return Result{TFileAges(TReportScopes(documents)).Years(), {}};
    const TDocumentLookup::Place place = TDocumentLookup::Find(documents, path);
    if (!place) return Result{{}, kNotKnown};
    return Result{TFileAges(*place.document, place.folder).Years(), {}};
  });
}

void TFileAgesPane::Apply(Result result) {
  stale_ = false;
  model_->removeRows(0, model_->rowCount());
  std::int64_t total = 0;
  std::uint64_t files = 0;
  for (const TFileAges::Year& year : result.years) {
    total += year.bytes;
    files += year.files;
  }
  const QLocale locale;
  for (const TFileAges::Year& year : result.years) {
    auto* yearItem = new QStandardItem(QString::number(year.year));
    yearItem->setData(year.year, kYearRole);
    auto* filesItem = new QStandardItem(locale.toString(qulonglong{year.files}));
    filesItem->setData(int(Qt::AlignRight | Qt::AlignVCenter), Qt::TextAlignmentRole);
    auto* size = new QStandardItem(ReadableSize(year.bytes));
    size->setData(locale.toString(qint64{year.bytes}) + " bytes", Qt::ToolTipRole);
    size->setData(int(Qt::AlignRight | Qt::AlignVCenter), Qt::TextAlignmentRole);
    const double share =
        total > 0 ? static_cast<double>(year.bytes) / static_cast<double>(total) : 0;
    auto* shareItem = new QStandardItem(locale.toString(share * 100, 'f', 1) + "%");
    shareItem->setData(share, TReportModel::kShareRole);
    model_->appendRow({yearItem, filesItem, size, shareItem});
  }
  if (!result.note.isEmpty()) {
    caption_->setText(result.note);
  } else if (result.years.empty()) {
    // A scan file made without times (ncdu -o without -e) has files but no ages.
    caption_->setText("No files with a known modification time.");
  } else {
    caption_->setText(
        (files == 1 ? QString("1 file") : locale.toString(qulonglong{files}) + " files") +
        (below_->isChecked() ? " below the selected folder" : " in the report") +
        window_.Scan().IncompleteSuffix());
  }
  ShowChosenYear();
  emit Counted();
}

void TFileAgesPane::ShowChosenYear() {
  table_->clearSelection();
  if (!largest_.Year()) return;
  for (int row = 0; row < model_->rowCount(); ++row) {
    if (model_->item(row, kYearColumn)->data(kYearRole).toInt() != *largest_.Year()) continue;
    table_->selectRow(row);
    table_->scrollTo(model_->index(row, kYearColumn));
    return;
  }
}
