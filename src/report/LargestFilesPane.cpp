#include "report/LargestFilesPane.h"

#include <QCheckBox>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "report/LatestJob.h"
#include "report/PaneTable.h"
#include "report/ReportComparison.h"
#include "report/ReportViews.h"
#include "report/ScanControl.h"
#include "report/TypeColours.h"
#include "report/UsageReport.h"
#include "scan/DocumentLookup.h"
#include "scan/FileAges.h"
#include "scan/FileType.h"
#include "scan/LargestFiles.h"
#include "scan/ReportScopes.h"

namespace {
const char* const kNoScan = "Scan a folder to see its largest files.";
const char* const kNoFolder = "Select a folder to see the largest files below it.";
const char* const kNotKnown = "No files are known for this folder: scan it to see them.";
const char* const kCounting = "Counting...";
}  // namespace

struct TLargestFilesPane::Result {
  std::vector<TLargestFilesModel::Row> rows;
  QString note;       // instead of the rows
  bool more = false;  // there may be more than the rows asked for
};

TLargestFilesPane::TLargestFilesPane(TUsageReport& window)
    : QDockWidget("Largest Files", &window), window_(window) {
  setObjectName("LargestFilesPane");
  toggleViewAction()->setText("Lar&gest Files");
  toggleViewAction()->setObjectName("LargestFiles1");

  model_ = new TLargestFilesModel(this);
  table_ = new QTableView;
  table_->setObjectName("LargestFilesTable");
  table_->setModel(model_);
  SetUpPaneTable(*table_, TLargestFilesModel::kPathColumn);
  table_->setAlternatingRowColors(true);
  table_->setTextElideMode(Qt::ElideMiddle);
  QHeaderView* header = table_->horizontalHeader();
  header->setStretchLastSection(false);
  const QFontMetrics metrics(table_->font());
  const int pad = 24;
  table_->setColumnWidth(TLargestFilesModel::kSizeColumn,
                         metrics.horizontalAdvance("1023.9 MiB") + pad);
  table_->setColumnWidth(TLargestFilesModel::kModifiedColumn,
                         metrics.horizontalAdvance("2000-00-00 00:00") + pad);
  table_->setColumnWidth(TLargestFilesModel::kChangeColumn,
                         metrics.horizontalAdvance("+1023.9 MiB") + pad);
  table_->setColumnHidden(TLargestFilesModel::kChangeColumn, true);

  below_ = new QCheckBox("Below the Selected F&older");
  below_->setObjectName("LargestBelowFolder");
  caption_ = NewPaneCaption("LargestFilesCaption");
  more_ = new QPushButton("Show &More");
  more_->setObjectName("LargestShowMore");
  more_->setEnabled(false);

  filter_ = new QLabel;
  filter_->setObjectName("LargestFilesFilter");
  filter_->setTextFormat(Qt::PlainText);
  auto* clear = new QPushButton("&Clear");
  clear->setObjectName("LargestClearFilter");
  filterLine_ = new QWidget;
  auto* filterLayout = new QHBoxLayout(filterLine_);
  filterLayout->setContentsMargins(4, 0, 4, 0);
  filterLayout->addWidget(filter_, 1);
  filterLayout->addWidget(clear);
  filterLine_->hide();

  auto* top = new QHBoxLayout;
  top->setContentsMargins(4, 2, 4, 2);
  top->addWidget(caption_, 1);
  top->addWidget(below_);
  top->addWidget(more_);
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  layout->addLayout(top);
  layout->addWidget(filterLine_);
  layout->addWidget(table_, 1);
  setWidget(page);

  job_ = std::make_unique<TLatestJob<Result>>(this, [this](Result r) { Apply(std::move(r)); });

  TReportViews& views = window.Views();
  connect(&views, &TReportViews::CurrentNodeChanged, this, [this](TTreeNode* node) {
    folderPath_ = node ? TReportTree::PathOf(node) : std::string();
    if (below_->isChecked()) Restart();
  });
  connect(&window.Scan(), &TScanControl::DocumentsChanged, this, &TLargestFilesPane::Restart);
  connect(&window.TypeColours(), &TTypeColours::HighlightChanged, this,
          &TLargestFilesPane::Restart);
  connect(&window.Comparison(), &TReportComparison::ChangesChanged, this, [this] {
    const auto& changes = window_.Comparison().Changes();
    table_->setColumnHidden(TLargestFilesModel::kChangeColumn, changes == nullptr);
    model_->SetChanges(changes);
  });
  connect(below_, &QCheckBox::toggled, this, &TLargestFilesPane::Restart);
  connect(more_, &QPushButton::clicked, this, &TLargestFilesPane::ShowMore);
  connect(clear, &QPushButton::clicked, this, &TLargestFilesPane::ClearFilter);
  connect(table_, &QTableView::activated, this, &TLargestFilesPane::GoToRow);
  // A hidden pane counts nothing; it catches up when shown.
  connect(this, &QDockWidget::visibilityChanged, this, [this](bool visible) {
    if (visible && stale_) Recount();
  });
  Recount();
}

TLargestFilesPane::~TLargestFilesPane() = default;

void TLargestFilesPane::SetYear(std::optional<int> year) {
  if (year == year_) return;
  year_ = year;
  emit YearChanged();
  Restart();
}

void TLargestFilesPane::ShowMore() {
  wanted_ += kStep;
  Recount();
}

void TLargestFilesPane::ClearFilter() {
  window_.TypeColours().SetHighlighted(std::nullopt);
  SetYear(std::nullopt);
}

bool TLargestFilesPane::Counting() const {
  return job_->Busy() || stale_;
}

QString TLargestFilesPane::FilterText() const {
  const std::optional<std::string>& type = window_.TypeColours().Highlighted();
  QString files;
  if (type) {
    files = type->empty() ? QString("Only files with no type")
                          : "Only ." + QString::fromStdString(*type) + " files";
  }
  if (!year_) return files;
  const QString year = QString::number(*year_);
  return files.isEmpty() ? "Only files modified in " + year : files + ", modified in " + year;
}

void TLargestFilesPane::Restart() {
  wanted_ = kStep;
  Recount();
}

void TLargestFilesPane::Recount() {
  ShowFilter();
  stale_ = true;
  if (isHidden()) {
    job_->Cancel();
    return;
  }
  const auto& documents = window_.Scan().Documents();
  if (documents.empty()) {
    job_->Cancel();
    Apply({{}, kNoScan, false});
    return;
  }
  const bool below = below_->isChecked();
  if (below && folderPath_.empty()) {
    job_->Cancel();
    Apply({{}, kNoFolder, false});
    return;
  }
  caption_->setText(kCounting);
  more_->setEnabled(false);

  std::optional<std::pair<std::int64_t, std::int64_t>> span;
  if (year_) span.emplace(TFileAges::YearStart(*year_), TFileAges::YearStart(*year_ + 1));
  const std::optional<std::string> type = window_.TypeColours().Highlighted();
  const std::size_t count = static_cast<std::size_t>(wanted_);
  job_->Start([documents, below, path = folderPath_, span, type,
               count](const TLatestJob<Result>::Stale& stale) {
    Result result;
    // An overtaken count lets every file go by.
    const TLargestFiles::Filter keep = [&](const ScanFile& file) {
      if (span && (file.modified < span->first || file.modified >= span->second)) return false;
      if (type && FileTypeOf(file.name) != *type) return false;
      return !stale();
    };
    std::vector<TLargestFiles::File> files;
    if (below) {
      const TDocumentLookup::Place place = TDocumentLookup::Find(documents, path);
      if (!place) {
        result.note = kNotKnown;
        return result;
      }
      files = TLargestFiles(*place.document, count + 1, place.folder, keep).Files();
    } else {
      files = TLargestFiles(TReportScopes(documents), count + 1, keep).Files();
    }
    // One more than asked says whether there are more.
    result.more = files.size() > count;
    if (result.more) files.resize(count);
    result.rows.reserve(files.size());
    for (const TLargestFiles::File& f : files) {
      const ScanFile file = f.document->File(f.file);
      result.rows.push_back({f.document->FolderPath(f.folder), std::string(file.name),
                             QFile::decodeName(QByteArray::fromStdString(f.path)), f.bytes,
                             file.modified});
    }
    return result;
  });
}

void TLargestFilesPane::Apply(Result result) {
  stale_ = false;
  model_->SetRows(std::move(result.rows));
  more_->setEnabled(result.more);
  if (!result.note.isEmpty()) {
    caption_->setText(result.note);
  } else if (model_->rowCount() == 0) {
    caption_->setText(FilterText().isEmpty() ? "No files." : "No files match.");
  } else {
    const QString count = QLocale().toString(model_->rowCount());
    const QString where = below_->isChecked() ? "below the selected folder" : "of the report";
    caption_->setText((model_->rowCount() == 1 ? "The largest file " + where
                                               : "The " + count + " largest files " + where) +
                      window_.Scan().IncompleteSuffix());
  }
  emit Filled();
}

void TLargestFilesPane::ShowFilter() {
  const QString text = FilterText();
  filter_->setText(text);
  filterLine_->setVisible(!text.isEmpty());
}

void TLargestFilesPane::GoToRow(const QModelIndex& index) {
  if (!index.isValid()) return;
  const TLargestFilesModel::Row& row = model_->RowAt(index.row());
  window_.GoToFile(row.folderPath, row.rawName);
}
