#include "report/FindModel.h"

#include <QApplication>
#include <QStyle>

#include "report/ShareBars.h"

namespace {

QString Text(std::string_view bytes) {
  return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string_view NameOf(const TNameSearch::Hit& hit) {
  if (hit.kind == TNameSearch::Kind::File) return hit.document->FileName(hit.index);
  std::string_view path = hit.path;
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos || path.size() == 1 ? path : path.substr(slash + 1);
}

}  // namespace

TFindModel::TFindModel(QObject* parent) : QAbstractTableModel(parent) {}

void TFindModel::SetResult(TFindResult result) {
  beginResetModel();
  result_ = std::move(result);
  endResetModel();
}

const TNameSearch::Hit& TFindModel::Hit(int row) const {
  return result_.search->Hits()[static_cast<std::size_t>(row)];
}

int TFindModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid() || !result_.search) return 0;
  return static_cast<int>(result_.search->Hits().size());
}

int TFindModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumns;
}

QVariant TFindModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const TNameSearch::Hit& hit = Hit(index.row());
  const bool folder = hit.kind == TNameSearch::Kind::Folder;
  switch (index.column()) {
    case kNameColumn:
      if (role == Qt::DisplayRole || role == kSortRole) return Text(NameOf(hit));
      if (role == Qt::DecorationRole) {
        return QApplication::style()->standardIcon(folder ? QStyle::SP_DirIcon
                                                          : QStyle::SP_FileIcon);
      }
      break;
    case kSizeColumn:
      if (role == kSortRole) return static_cast<qlonglong>(hit.bytes);
      if (role == Qt::DisplayRole) return hit.bytes < 0 ? QString() : ReadableSize(hit.bytes);
      if (role == Qt::TextAlignmentRole) return int(Qt::AlignRight | Qt::AlignVCenter);
      break;
    case kPathColumn:
      if (role == Qt::DisplayRole || role == Qt::ToolTipRole || role == kSortRole) {
        return Text(hit.path);
      }
      break;
  }
  return {};
}

QVariant TFindModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case kNameColumn:
      return QStringLiteral("Name");
    case kSizeColumn:
      return QStringLiteral("Size");
    case kPathColumn:
      return QStringLiteral("Path");
  }
  return {};
}
