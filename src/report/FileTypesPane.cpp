#include "report/FileTypesPane.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

#include "report/LatestJob.h"
#include "report/PaneTable.h"
#include "report/ReportModel.h"
#include "report/ScanControl.h"
#include "report/ShareBars.h"
#include "report/TypeColours.h"
#include "report/UsageReport.h"
#include "scan/FileTypeTally.h"
#include "scan/ReportScopes.h"

namespace {
const char* const kNoScan = "Scan a folder to see its file types.";
const char* const kNoType = "no type";
}  // namespace

struct TFileTypesPane::Result {
  std::vector<TFileTypeTally::Type> types;
  std::int64_t total = 0;
};

TFileTypesPane::TFileTypesPane(TUsageReport& window)
    : QDockWidget("File Types", &window), window_(window) {
  setObjectName("FileTypesPane");
  toggleViewAction()->setText("File T&ypes");
  toggleViewAction()->setObjectName("FileTypes1");

  model_ = new QStandardItemModel(0, 4, this);
  model_->setHorizontalHeaderLabels({"Type", "Files", "Total", "Share"});
  model_->setSortRole(kSortRole);

  table_ = new QTableView;
  table_->setObjectName("FileTypesTable");
  table_->setModel(model_);
  SetUpPaneTable(*table_, kShareColumn);
  table_->setItemDelegateForColumn(kShareColumn, new TShareBarDelegate(table_));
  table_->installEventFilter(this);
  QHeaderView* header = table_->horizontalHeader();
  const QFontMetrics metrics(table_->font());
  const int pad = 24;
  table_->setColumnWidth(kFilesColumn, metrics.horizontalAdvance("1,000,000") + pad);
  table_->setColumnWidth(kTotalColumn, metrics.horizontalAdvance("1023.9 MiB") + pad);
  table_->setColumnWidth(kTypeColumn, metrics.horizontalAdvance("no type") + 2 * pad);
  header->setSortIndicator(kTotalColumn, Qt::DescendingOrder);
  table_->setSortingEnabled(true);

  caption_ = NewPaneCaption("FileTypesCaption");
  clear_ = new QPushButton("C&lear");
  clear_->setObjectName("FileTypesClear");
  clear_->setEnabled(false);
  setWidget(PanePage(*caption_, *clear_, *table_));

  job_ = std::make_unique<TLatestJob<Result>>(this, [this](Result r) { Apply(std::move(r)); });

  TTypeColours& colours = window.TypeColours();
  connect(&window.Scan(), &TScanControl::DocumentsChanged, this, &TFileTypesPane::Tally);
  connect(&colours, &TTypeColours::Changed, this, &TFileTypesPane::ShowColours);
  connect(&colours, &TTypeColours::HighlightChanged, this, &TFileTypesPane::ShowHighlight);
  connect(table_, &QTableView::clicked, this,
          [this](const QModelIndex& index) { ChooseRow(index.row()); });
  connect(clear_, &QPushButton::clicked, this,
          [this] { window_.TypeColours().SetHighlighted(std::nullopt); });
  Tally();
}

TFileTypesPane::~TFileTypesPane() = default;

bool TFileTypesPane::Counting() const {
  return job_->Busy();
}

void TFileTypesPane::ChooseRow(int row) {
  if (row < 0 || row >= model_->rowCount()) return;
  const std::string type =
      model_->item(row, kTypeColumn)->data(kTypeRole).toByteArray().toStdString();
  TTypeColours& colours = window_.TypeColours();
  if (colours.Highlighted() == type) {
    colours.SetHighlighted(std::nullopt);
  } else {
    colours.SetHighlighted(type);
  }
}

bool TFileTypesPane::eventFilter(QObject* watched, QEvent* event) {
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

void TFileTypesPane::Tally() {
  const auto& documents = window_.Scan().Documents();
  if (documents.empty()) {
    job_->Cancel();
    Apply({});
    return;
  }
  caption_->setText("Counting...");
  job_->Start([documents](const TLatestJob<Result>::Stale&) {
    const TFileTypeTally tally{TReportScopes(documents)};
    return Result{tally.Types(), tally.TotalBytes()};
  });
}

void TFileTypesPane::Apply(Result result) {
  std::vector<std::string> names;
  names.reserve(result.types.size());
  for (const TFileTypeTally::Type& type : result.types) names.push_back(type.name);
  // The colours first, so the lines get theirs as they come.
  window_.TypeColours().SetTypes(names);

  table_->setSortingEnabled(false);
  model_->removeRows(0, model_->rowCount());
  const QLocale locale;
  for (const TFileTypeTally::Type& type : result.types) {
    const QString name = QString::fromUtf8(type.name);
    auto* typeItem = new QStandardItem(name.isEmpty() ? QString(kNoType) : name);
    typeItem->setData(QByteArray::fromStdString(type.name), kTypeRole);
    typeItem->setData(name, kSortRole);
    typeItem->setData(window_.TypeColours().Of(type.name), Qt::DecorationRole);
    auto* files = new QStandardItem(locale.toString(qulonglong{type.files}));
    files->setData(qulonglong{type.files}, kSortRole);
    files->setData(int(Qt::AlignRight | Qt::AlignVCenter), Qt::TextAlignmentRole);
    auto* total = new QStandardItem(ReadableSize(type.bytes));
    total->setData(qint64{type.bytes}, kSortRole);
    total->setData(locale.toString(qint64{type.bytes}) + " bytes", Qt::ToolTipRole);
    total->setData(int(Qt::AlignRight | Qt::AlignVCenter), Qt::TextAlignmentRole);
    const double share =
        result.total > 0 ? static_cast<double>(type.bytes) / static_cast<double>(result.total) : 0;
    auto* shareItem = new QStandardItem(locale.toString(share * 100, 'f', 1) + "%");
    shareItem->setData(share, TReportModel::kShareRole);
    shareItem->setData(qint64{type.bytes}, kSortRole);
    model_->appendRow({typeItem, files, total, shareItem});
  }
  table_->setSortingEnabled(true);  // sorts by the header's column again

  if (result.types.empty()) {
    caption_->setText(window_.Scan().Documents().empty() ? kNoScan : "No files.");
  } else {
    caption_->setText((result.types.size() == 1
                           ? QString("1 type")
                           : locale.toString(qulonglong{result.types.size()}) + " types") +
                      ", " + ReadableSize(result.total) + window_.Scan().IncompleteSuffix());
  }
  ShowHighlight();
  emit Tallied();
}

void TFileTypesPane::ShowColours() {
  for (int row = 0; row < model_->rowCount(); ++row) {
    QStandardItem* item = model_->item(row, kTypeColumn);
    item->setData(window_.TypeColours().Of(item->data(kTypeRole).toByteArray().toStdString()),
                  Qt::DecorationRole);
  }
}

void TFileTypesPane::ShowHighlight() {
  const std::optional<std::string>& chosen = window_.TypeColours().Highlighted();
  clear_->setEnabled(chosen.has_value());
  table_->clearSelection();
  if (!chosen) return;
  const QByteArray type = QByteArray::fromStdString(*chosen);
  for (int row = 0; row < model_->rowCount(); ++row) {
    if (model_->item(row, kTypeColumn)->data(kTypeRole).toByteArray() != type) continue;
    table_->selectRow(row);
    table_->scrollTo(model_->index(row, kTypeColumn));
    return;
  }
}
