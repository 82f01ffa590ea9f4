#include "report/FindWindow.h"

#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>
#include <exception>

#include "report/BackgroundPool.h"
#include "report/ReportViews.h"
#include "report/ScanControl.h"
#include "report/UsageReport.h"
#include "scan/ReportScopes.h"

namespace {

// Whether `line` is the folder `path` or one above it.
bool Holds(const std::string& line, const std::string& path) {
  if (line.empty() || path.compare(0, line.size(), line) != 0) return false;
  return line.size() == path.size() || line.back() == '/' || path[line.size()] == '/';
}

// The deepest line of the tree whose folder is `path` or above it; null
// when no line holds it.
TTreeNode* NearestLine(TReportTree& tree, const std::string& path) {
  TTreeNode* best = nullptr;
  std::size_t bestLength = 0;
  for (std::size_t i = 0; i < tree.TopLevelCount(); ++i) {
    TTreeNode* node = tree.TopLevel(i);
    std::string line = TReportTree::PathOf(node);
    if (!Holds(line, path)) continue;
    while (node) {
      if (line.size() >= bestLength) {
        best = node;
        bestLength = line.size();
      }
      if (line.size() == path.size()) break;
      TTreeNode* inner = nullptr;
      for (std::size_t c = 0; c < node->ChildCount() && !inner; ++c) {
        std::string childLine = TReportTree::PathOf(node->Child(c));
        if (Holds(childLine, path)) {
          inner = node->Child(c);
          line = std::move(childLine);
        }
      }
      node = inner;
    }
  }
  return best;
}

}  // namespace

TFindWindow::TFindWindow(TUsageReport& window)
    : TMyForm(&window, window.IniFile->SettingsRoot(), "Usage\\Find"), window_(window) {
  setObjectName("FindWindow");
  setWindowTitle("Find");
  setModal(false);
  SetFrameWidth(620);
  SetFrameHeight(400);

  auto* layout = new QVBoxLayout(this);
  auto* row = new QHBoxLayout;
  auto* label = new QLabel("&Name:", this);
  text_ = new QLineEdit(this);
  text_->setObjectName("FindText");
  text_->setPlaceholderText("Part of a name, or a pattern such as *.svg");
  text_->setClearButtonEnabled(true);
  label->setBuddy(text_);
  row->addWidget(label);
  row->addWidget(text_, 1);
  layout->addLayout(row);

  model_ = new TFindModel(this);
  sorted_ = new QSortFilterProxyModel(this);
  sorted_->setSourceModel(model_);
  sorted_->setSortRole(TFindModel::kSortRole);
  sorted_->setSortCaseSensitivity(Qt::CaseInsensitive);
  table_ = new QTableView(this);
  table_->setObjectName("FindResults");
  table_->setModel(sorted_);
  table_->setSortingEnabled(true);
  table_->sortByColumn(-1, Qt::AscendingOrder);  // walk order until a header is clicked
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setWordWrap(false);
  table_->setTextElideMode(Qt::ElideMiddle);
  table_->verticalHeader()->hide();
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setColumnWidth(TFindModel::kNameColumn, 200);
  table_->setColumnWidth(TFindModel::kSizeColumn, 80);
  layout->addWidget(table_, 1);

  count_ = new QLabel(this);
  count_->setObjectName("FindCount");
  layout->addWidget(count_);

  delay_ = new QTimer(this);
  delay_->setSingleShot(true);
  delay_->setInterval(kDelayMs);
  connect(delay_, &QTimer::timeout, this, &TFindWindow::Start);
  connect(text_, &QLineEdit::textChanged, delay_, qOverload<>(&QTimer::start));
  // Enter in the text shows the hit chosen in the table, or the first.
  connect(text_, &QLineEdit::returnPressed, this, [this] {
    const QModelIndex current = table_->currentIndex();
    Choose(current.isValid() ? current : sorted_->index(0, 0));
  });
  connect(table_, &QTableView::activated, this, &TFindWindow::Choose);
  // Hits point into the scans: new scans search again.
  connect(&window_.Scan(), &TScanControl::DocumentsChanged, this, &TFindWindow::Start);

  try {
    RestoreForm();
  } catch (const std::exception&) {
    // A damaged placement leaves the window where it was designed.
  }
}

TFindWindow::~TFindWindow() {
  if (cancel_) cancel_->store(true);
  try {
    SaveForm();
  } catch (const std::exception&) {
    // The placement is not worth an error on the way out.
  }
}

TFindWindow* TFindWindow::Open(TUsageReport& window) {
  auto* find = window.findChild<TFindWindow*>(QString(), Qt::FindDirectChildrenOnly);
  if (!find) find = new TFindWindow(window);
  find->show();
  find->raise();
  find->activateWindow();
  find->text_->setFocus();
  find->text_->selectAll();
  return find;
}

bool TFindWindow::Searching() const {
  return running_ || delay_->isActive();
}

void TFindWindow::Start() {
  delay_->stop();
  if (cancel_) cancel_->store(true);
  cancel_.reset();
  const unsigned generation = ++generation_;
  running_ = false;
  const std::string pattern = text_->text().toStdString();
  const auto& documents = window_.Scan().Documents();
  if (pattern.empty() || documents.empty()) {
    model_->SetResult({});
    count_->setText(pattern.empty() ? QString() : "No scan to search: scan a folder first");
    return;
  }
  running_ = true;
  count_->setText("Searching...");
  cancel_ = std::make_shared<std::atomic<bool>>(false);
  auto* watcher = new QFutureWatcher<TFindResult>(this);
  connect(watcher, &QFutureWatcher<TFindResult>::finished, this, [this, watcher, generation] {
    watcher->deleteLater();
    if (generation != generation_) return;  // a newer search replaced it
    running_ = false;
    Apply(watcher->result());
  });
  watcher->setFuture(
      QtConcurrent::run(&BackgroundPool(), [documents, pattern, cancel = cancel_]() -> TFindResult {
        const TReportScopes scopes(documents);
        return {documents,
                std::make_shared<const TNameSearch>(scopes, pattern, kLimit, cancel.get())};
      }));
}

void TFindWindow::Apply(TFindResult result) {
  const TNameSearch& search = *result.search;
  const QLocale locale;
  const std::size_t found = search.Hits().size();
  if (search.More()) {
    count_->setText(QString("More than %1 found: showing the first %1")
                        .arg(locale.toString(static_cast<qulonglong>(kLimit))));
  } else if (found == 0) {
    count_->setText("Nothing found");
  } else {
    count_->setText(QString("%1 found").arg(locale.toString(static_cast<qulonglong>(found))));
  }
  model_->SetResult(std::move(result));
}

void TFindWindow::Choose(const QModelIndex& tableIndex) {
  if (!tableIndex.isValid()) return;
  const QModelIndex source = sorted_->mapToSource(tableIndex);
  if (!source.isValid()) return;
  const TNameSearch::Hit& hit = model_->Hit(source.row());
  const std::string folderPath = hit.document->FolderPath(hit.folder);
  if (hit.kind == TNameSearch::Kind::File) {
    window_.GoToFile(folderPath, std::string(hit.document->FileName(hit.index)));
  } else if (TTreeNode* line = NearestLine(window_.Tree(), folderPath)) {
    window_.Views().SelectNode(line);
  }
}

void TFindWindow::keyPressEvent(QKeyEvent* event) {
  // Enter chooses a hit (the table and the text see to it); the dialog
  // would otherwise close.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) return;
  TMyForm::keyPressEvent(event);
}
