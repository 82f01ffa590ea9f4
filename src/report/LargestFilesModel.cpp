#include "report/LargestFilesModel.h"

#include <QDateTime>
#include <QLocale>

#include "report/ShareBars.h"
#include "scan/ScanDocument.h"

TLargestFilesModel::TLargestFilesModel(QObject* parent) : QAbstractTableModel(parent) {}

void TLargestFilesModel::SetRows(std::vector<Row> rows) {
  beginResetModel();
  rows_ = std::move(rows);
  rowChanges_.assign(rows_.size(), std::nullopt);
  endResetModel();
}

void TLargestFilesModel::SetChanges(std::shared_ptr<const TReportChanges> changes) {
  changes_ = std::move(changes);
  rowChanges_.assign(rows_.size(), std::nullopt);
  if (!rows_.empty()) {
    emit dataChanged(index(0, kChangeColumn), index(rowCount() - 1, kChangeColumn));
  }
}

const TReportChanges::File& TLargestFilesModel::ChangeAt(int row) const {
  std::optional<TReportChanges::File>& change = rowChanges_[static_cast<std::size_t>(row)];
  if (!change) {
    const Row& r = RowAt(row);
    change = changes_ ? changes_->FileAt(r.folderPath, r.rawName) : TReportChanges::File{};
  }
  return *change;
}

int TLargestFilesModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TLargestFilesModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumns;
}

QVariant TLargestFilesModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const Row& row = RowAt(index.row());
  switch (index.column()) {
    case kPathColumn:
      if (role == Qt::DisplayRole || role == Qt::ToolTipRole) return row.path;
      break;
    case kSizeColumn:
      if (role == Qt::DisplayRole) return ReadableSize(row.bytes);
      if (role == Qt::ToolTipRole) return QLocale().toString(qint64{row.bytes}) + " bytes";
      if (role == kValueRole) return qint64{row.bytes};
      if (role == Qt::TextAlignmentRole) return int(Qt::AlignRight | Qt::AlignVCenter);
      break;
    case kModifiedColumn: {
      if (role == kValueRole) return qint64{row.modified};
      if (row.modified == TScanDocument::kNoTime) return {};  // a scan file without times
      const QDateTime when = QDateTime::fromSecsSinceEpoch(row.modified);
      if (role == Qt::DisplayRole) return when.toString("yyyy-MM-dd HH:mm");
      if (role == Qt::ToolTipRole) return QLocale().toString(when, QLocale::LongFormat);
      break;
    }
    case kChangeColumn: {
      if (role == Qt::TextAlignmentRole) return int(Qt::AlignRight | Qt::AlignVCenter);
      if (role != Qt::DisplayRole && role != kValueRole) break;
      const TReportChanges::File& c = ChangeAt(index.row());
      if (role == kValueRole) return qint64{c.compared ? c.change : 0};
      if (!c.compared) break;
      if (c.state == TScanComparison::FileState::New) return QStringLiteral("new");
      if (c.change == 0) break;
      return c.change < 0 ? "-" + ReadableSize(-c.change) : "+" + ReadableSize(c.change);
    }
  }
  return {};
}

QVariant TLargestFilesModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case kPathColumn:
      return QStringLiteral("Path");
    case kSizeColumn:
      return QStringLiteral("Size");
    case kModifiedColumn:
      return QStringLiteral("Modified");
    case kChangeColumn:
      return QStringLiteral("Change");
  }
  return {};
}
