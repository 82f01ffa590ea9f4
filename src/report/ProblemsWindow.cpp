#include "report/ProblemsWindow.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

// Holds the scan's list as it came; texts are converted only for the rows
// the view asks for, so a list of a million problems opens at once.
class TProblemsModel : public QAbstractTableModel {
 public:
  // Left-out rows take the disabled text colour of `view`'s palette.
  TProblemsModel(QObject* owner, const QWidget& view) : QAbstractTableModel(owner), view_(view) {}

  void Set(std::vector<ScanProblem> problems) {
    beginResetModel();
    problems_ = std::move(problems);
    endResetModel();
  }
  const std::vector<ScanProblem>& Get() const { return problems_; }
  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : static_cast<int>(problems_.size());
  }
  int columnCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : 2;
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid()) return {};
    const ScanProblem& p = problems_[static_cast<std::size_t>(index.row())];
    if (role == Qt::ForegroundRole) {
      // What the settings left out is no fault: it stands back from the read errors.
      if (!p.leftOut) return {};
      return view_.palette().color(QPalette::Disabled, QPalette::Text);
    }
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
    return QString::fromStdString(index.column() == 0 ? p.path : p.reason);
  }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return section == 0 ? QStringLiteral("Path") : QStringLiteral("Reason");
  }

 private:
  const QWidget& view_;
  std::vector<ScanProblem> problems_;
};

TProblemsWindow::TProblemsWindow(QWidget* owner) : QDialog(owner) {
  setObjectName("ProblemsWindow");
  setWindowTitle("Problems");
  resize(640, 320);
  model_ = new TProblemsModel(this, *this);
  sorted_ = new QSortFilterProxyModel(this);
  sorted_->setSourceModel(model_);

  auto* layout = new QVBoxLayout(this);
  empty_ = new QLabel("The last scan could read every folder and file.", this);
  empty_->setObjectName("EmptyNote");
  empty_->setWordWrap(true);
  layout->addWidget(empty_);
  legend_ = new QLabel(
      "Grey lines were left out by the scan's settings; the others could not be read.", this);
  legend_->setObjectName("LeftOutNote");
  legend_->setWordWrap(true);
  layout->addWidget(legend_);

  list_ = new QTableView(this);
  list_->setObjectName("ProblemsList");
  list_->setModel(sorted_);
  list_->setSortingEnabled(true);
  list_->sortByColumn(-1, Qt::AscendingOrder);  // walk order until a header is clicked
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setWordWrap(false);
  list_->verticalHeader()->hide();
  list_->horizontalHeader()->setStretchLastSection(true);
  layout->addWidget(list_, 1);
  connect(list_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
    const QModelIndex row = sorted_->mapToSource(index);
    if (!row.isValid()) return;
    emit PathChosen(model_->Get()[static_cast<std::size_t>(row.row())].path);
  });

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  QPushButton* copy = buttons->addButton("&Copy", QDialogButtonBox::ActionRole);
  copy->setObjectName("CopyButton");
  connect(copy, &QPushButton::clicked, this, &TProblemsWindow::CopySelection);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  SetProblems({});
}

const std::vector<ScanProblem>& TProblemsWindow::Problems() const {
  return model_->Get();
}

void TProblemsWindow::SetProblems(std::vector<ScanProblem> problems) {
  const bool none = problems.empty();
  const bool anyLeftOut =
      std::any_of(problems.begin(), problems.end(), [](const ScanProblem& p) { return p.leftOut; });
  model_->Set(std::move(problems));
  empty_->setVisible(none);
  legend_->setVisible(anyLeftOut);
  list_->setVisible(!none);
  list_->setColumnWidth(0, width() * 2 / 3);
}

QString TProblemsWindow::SelectedText() const {
  QModelIndexList rows = list_->selectionModel()->selectedRows(0);
  std::sort(rows.begin(), rows.end(),
            [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  QString text;
  for (const QModelIndex& row : rows) {
    text += row.data().toString() + '\t' + row.siblingAtColumn(1).data().toString() + '\n';
  }
  return text;
}

void TProblemsWindow::CopySelection() {
  if (list_->selectionModel()->selectedRows().isEmpty()) list_->selectAll();
  QApplication::clipboard()->setText(SelectedText());
}

void TProblemsWindow::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    CopySelection();
    return;
  }
  QDialog::keyPressEvent(event);
}
