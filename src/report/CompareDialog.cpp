#include "report/CompareDialog.h"

#include <QDateTime>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "report/ShareBars.h"

TCompareDialog::TCompareDialog(QWidget* parent, std::vector<ArchivedScan> scans, int preferred,
                               bool comparing, const QString& notes)
    : QDialog(parent), scans_(std::move(scans)) {
  setObjectName("CompareDialog");
  setWindowTitle("Compare With");

  auto* caption = new QLabel("&Earlier scans:");
  list_ = new QTreeWidget;
  list_->setObjectName("CompareScans");
  caption->setBuddy(list_);
  list_->setRootIsDecorated(false);
  list_->setUniformRowHeights(true);
  list_->setHeaderLabels({"Ended", "Total", "Files", "Starting Folders"});
  for (const ArchivedScan& scan : scans_) {
    QStringList folders;
    for (const std::string& f : scan.folders) folders << QString::fromStdString(f);
    auto* row = new QTreeWidgetItem(
        list_, {QDateTime::fromSecsSinceEpoch(scan.ended).toString("yyyy-MM-dd HH:mm"),
                ReadableSize(scan.bytes), QLocale().toString(qulonglong{scan.fileCount}),
                folders.join(", ")});
    row->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    row->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    row->setToolTip(3, QString::fromStdString(scan.file));
  }
  for (int c = 0; c < 3; ++c) list_->resizeColumnToContents(c);
  if (preferred >= 0 && preferred < list_->topLevelItemCount()) {
    list_->setCurrentItem(list_->topLevelItem(preferred));
  }
  auto* empty = new QLabel("No earlier scans are kept yet: choose a scan file.");
  empty->setVisible(scans_.empty());

  auto* note = new QLabel(notes);
  note->setObjectName("CompareNotes");
  note->setWordWrap(true);
  note->setVisible(!notes.isEmpty());

  auto* other = new QPushButton("Other &File...");
  auto* end = new QPushButton("&No Comparison");
  end->setEnabled(comparing);
  auto* compare = new QPushButton("&Compare");
  compare->setDefault(true);
  compare->setEnabled(list_->currentItem() != nullptr);
  auto* cancel = new QPushButton("Cancel");
  connect(list_, &QTreeWidget::currentItemChanged, compare,
          [compare](QTreeWidgetItem* current) { compare->setEnabled(current != nullptr); });
  connect(list_, &QTreeWidget::itemActivated, this, &TCompareDialog::Accept);
  connect(compare, &QPushButton::clicked, this, &TCompareDialog::Accept);
  connect(other, &QPushButton::clicked, this, &TCompareDialog::OtherFile);
  connect(end, &QPushButton::clicked, this, [this] {
    chosen_ = Choice::End;
    accept();
  });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(other);
  buttons->addWidget(end);
  buttons->addStretch(1);
  buttons->addWidget(compare);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(caption);
  layout->addWidget(list_, 1);
  layout->addWidget(empty);
  layout->addWidget(note);
  layout->addLayout(buttons);
  resize(620, 320);
}

void TCompareDialog::Accept() {
  const int row = list_->indexOfTopLevelItem(list_->currentItem());
  if (row < 0) return;
  chosen_ = Choice::File;
  path_ = QString::fromStdString(scans_[static_cast<std::size_t>(row)].file);
  accept();
}

void TCompareDialog::OtherFile() {
  const QString path = QFileDialog::getOpenFileName(
      this, "Compare With Scan File", QString(),
      "Scan files (*.json *.json.gz *.json.zst *.gz *.zst);;All files (*)");
  if (path.isEmpty()) return;
  chosen_ = Choice::File;
  path_ = path;
  accept();
}
