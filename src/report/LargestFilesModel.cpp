#include "report/LargestFilesModel.h"

#include <QDateTime>
#include <QLocale>

#include "report/ShareBars.h"

TLargestFilesModel::TLargestFilesModel(QObject* parent) : QAbstractTableModel(parent) {}

void TLargestFilesModel::SetRows(std::vector<Row> rows) {
  beginResetModel();
  rows_ = std::move(rows);
  endResetModel();
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
      const QDateTime when = QDateTime::fromSecsSinceEpoch(row.modified);
      if (role == Qt::DisplayRole) return when.toString("yyyy-MM-dd HH:mm");
      if (role == Qt::ToolTipRole) return QLocale().toString(when, QLocale::LongFormat);
      break;
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
  }
  return {};
}
