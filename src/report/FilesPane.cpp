#include "report/FilesPane.h"

#include <QEvent>
#include <QFile>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLocale>
#include <QStackedWidget>
#include <QTableView>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>

#include "report/FileCommands.h"
#include "report/FilesModel.h"
#include "report/MyReport.h"
#include "report/ReportModel.h"
#include "report/ReportViews.h"
#include "report/ScanControl.h"
#include "scan/DocumentLookup.h"
#include "scan/ReportTree.h"

namespace {
const char* const kNoFolder = "Select a folder to see its files.";
const char* const kNotKnown = "No files are known for this folder: scan it to see them.";
const char* const kLeftOut = "The scan left this folder out: its files are not known.";
const char* const kNoFiles = "No files directly in this folder.";
}  // namespace

TFilesPane::TFilesPane(TMyReport& window, TReportViews& views, TScanControl& scan)
    : QDockWidget("Files", &window), views_(views), scan_(scan) {
  setObjectName("FilesPane");
  toggleViewAction()->setText("&Files");
  toggleViewAction()->setObjectName("Files1");

  model_ = new TFilesModel(this);

  table_ = new QTableView;
  table_->setObjectName("FilesTable");
  table_->setModel(model_);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setShowGrid(false);
  table_->setWordWrap(false);
  table_->setAlternatingRowColors(true);
  table_->setTextElideMode(Qt::ElideMiddle);
  table_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  // Rows of one height that is never measured: a folder of many files
  // costs only the rows painted.
  QHeaderView* rows = table_->verticalHeader();
  rows->hide();
  rows->setSectionResizeMode(QHeaderView::Fixed);
  rows->setDefaultSectionSize(table_->fontMetrics().height() + 6);
  QHeaderView* header = table_->horizontalHeader();
  header->setHighlightSections(false);
  header->setSectionsMovable(true);
  header->setStretchLastSection(false);
  header->setSectionResizeMode(QHeaderView::Interactive);
  header->setSectionResizeMode(TFilesModel::kNameColumn, QHeaderView::Stretch);
  const QFontMetrics metrics(table_->font());
  const int pad = 24;
  table_->setColumnWidth(TFilesModel::kSizeColumn, metrics.horizontalAdvance("1023.9 MiB") + pad);
  table_->setColumnWidth(TFilesModel::kAllocatedColumn,
                         metrics.horizontalAdvance("Allocated") + pad);
  table_->setColumnWidth(TFilesModel::kModifiedColumn,
                         metrics.horizontalAdvance("2000-00-00 00:00") + pad);
  table_->setColumnWidth(TFilesModel::kTypeColumn, metrics.horizontalAdvance("Type.html") + pad);
  table_->setColumnWidth(TFilesModel::kChangeColumn,
                         metrics.horizontalAdvance("+1023.9 MiB") + pad);
  table_->setColumnHidden(TFilesModel::kChangeColumn, true);
  header->setMinimumSectionSize(metrics.horizontalAdvance("Name") + pad);
  // The largest first, as one looks for what takes the room; a click on a
  // header sorts by its column.
  header->setSortIndicator(TFilesModel::kSizeColumn, Qt::DescendingOrder);
  table_->setSortingEnabled(true);

  caption_ = new QLabel;
  caption_->setObjectName("FilesCaption");
  caption_->setTextFormat(Qt::PlainText);
  caption_->setContentsMargins(4, 2, 4, 2);
  // A long path is shortened to the pane's width, never widening it.
  caption_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  caption_->installEventFilter(this);
  auto* listing = new QWidget;
  auto* layout = new QVBoxLayout(listing);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(caption_);
  layout->addWidget(table_, 1);

  note_ = new QLabel;
  note_->setObjectName("FilesNote");
  note_->setTextFormat(Qt::PlainText);
  note_->setAlignment(Qt::AlignCenter);
  note_->setWordWrap(true);
  note_->setMargin(12);
  note_->setEnabled(false);  // drawn greyed, as a hint

  pages_ = new QStackedWidget(this);
  pages_->addWidget(note_);
  pages_->addWidget(listing);
  setWidget(pages_);

  commands_ = new TFileCommands(window, *this, scan_);

  connect(&views_, &TReportViews::CurrentNodeChanged, this, &TFilesPane::ShowFolder);
  connect(&scan_, &TScanControl::DocumentsChanged, this, &TFilesPane::Refresh);
  // A label edited in place changes the folder's path, and with it what
  // is known of it; during a scan the documents' change says it all.
  connect(views_.Model(), &QAbstractItemModel::dataChanged, this, [this] {
    if (!scan_.Scanning()) ShowFolder(views_.NodeAt(views_.TreeView()->currentIndex()));
  });
  // Rows moved to the trash leave the table.
  connect(model_, &QAbstractItemModel::rowsRemoved, this, [this] {
    if (model_->rowCount() == 0) {
      ShowNote(kNoFiles);
    } else {
      UpdateCaption();
    }
  });
  ShowNote(kNoFolder);
}

TFilesPane::~TFilesPane() {
  // The commands watch the table's events and ask the pane about them: they
  // go first, while the pane is still whole.
  delete commands_;
  commands_ = nullptr;
}

QString TFilesPane::Note() const {
  return pages_->currentWidget() == note_ ? note_->text() : QString();
}

std::vector<int> TFilesPane::SelectedRows() const {
  QModelIndexList selected = table_->selectionModel()->selectedRows();
  std::sort(selected.begin(), selected.end(),
            [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  std::vector<int> rows;
  rows.reserve(static_cast<std::size_t>(selected.size()));
  for (const QModelIndex& index : selected) rows.push_back(index.row());
  return rows;
}

void TFilesPane::SetChanges(std::shared_ptr<const TReportChanges> changes) {
  table_->setColumnHidden(TFilesModel::kChangeColumn, changes == nullptr);
  model_->SetChanges(std::move(changes));
}

void TFilesPane::ShowFolder(TTreeNode* node) {
  const std::string path = node ? TReportTree::PathOf(node) : std::string();
  if (node && path == path_ && known_) return;  // already shown
  path_ = path;
  known_ = node != nullptr;
  Refresh();
}

bool TFilesPane::SelectFile(const std::string& rawName) {
  for (int row = 0; row < model_->rowCount(); ++row) {
    if (model_->RawName(row) != rawName) continue;
    const QModelIndex index = model_->index(row, TFilesModel::kNameColumn);
    table_->setCurrentIndex(index);
    table_->selectRow(row);
    table_->scrollTo(index);
    return true;
  }
  return false;
}

void TFilesPane::Refresh() {
  if (!known_) {
    model_->SetFolder(nullptr, 0);
    ShowNote(kNoFolder);
    return;
  }
  const TDocumentLookup::Place place = TDocumentLookup::Find(scan_.Documents(), path_);
  // The same folder of the same document keeps its rows, selection and order.
  if (!place || place.document != model_->Document() || place.folder != model_->Folder()) {
    model_->SetFolder(place.document, place.folder);
  }
  if (!place) {
    ShowNote(kNotKnown);
  } else if (place.document->Folder(place.folder).Has(ScanFolder::LeftOut)) {
    ShowNote(kLeftOut);
  } else if (model_->rowCount() == 0) {
    ShowNote(kNoFiles);
  } else {
    pages_->setCurrentIndex(1);
    UpdateCaption();
  }
  if (commands_) commands_->UpdateActions();
}

void TFilesPane::ShowNote(const QString& note) {
  note_->setText(note);
  pages_->setCurrentWidget(note_);
  if (commands_) commands_->UpdateActions();
}

void TFilesPane::UpdateCaption() {
  const int count = model_->rowCount();
  const QString files =
      count == 1 ? QString("1 file") : QString("%1 files").arg(QLocale().toString(count));
  const QString folder = QFile::decodeName(QByteArray::fromStdString(path_));
  captionText_ = files + " in " + folder;
  caption_->setToolTip(folder);
  ElideCaption();
}

void TFilesPane::ElideCaption() {
  const QMargins margins = caption_->contentsMargins();
  const int width = caption_->width() - margins.left() - margins.right();
  caption_->setText(caption_->fontMetrics().elidedText(captionText_, Qt::ElideMiddle, width));
}

bool TFilesPane::eventFilter(QObject* watched, QEvent* event) {
  if (watched == caption_ && event->type() == QEvent::Resize) ElideCaption();
  return QDockWidget::eventFilter(watched, event);
}
