#include "report/FilesModel.h"

#include <QDateTime>
#include <QLocale>
#include <algorithm>
#include <limits>
#include <unordered_map>
#include <unordered_set>

#include "report/ShareBars.h"
#include "scan/FileType.h"

namespace {

char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Names without regard to ASCII case.
int CompareFolded(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const char x = AsciiLower(a[i]);
    const char y = AsciiLower(b[i]);
    if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y) ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace

TFilesModel::TFilesModel(QObject* parent) : QAbstractTableModel(parent) {}

void TFilesModel::SetFolder(std::shared_ptr<const TScanDocument> document, std::uint32_t folder) {
  beginResetModel();
  rows_.clear();
  count_ = 0;
  first_ = 0;
  folderPath_.clear();
  document_ = std::move(document);
  folder_ = document_ ? folder : TScanDocument::kNoFolder;
  if (document_) {
    first_ = document_->Folder(folder_).firstFile;
    // A view's rows are ints: a folder beyond that shows its first files.
    const std::uint64_t kept = document_->KeptFilesEnd(folder_) - first_;
    count_ = static_cast<int>(
        std::min<std::uint64_t>(kept, static_cast<std::uint64_t>(std::numeric_limits<int>::max())));
    folderPath_ = document_->FolderPath(folder_);
    fileChanges_.clear();
    if (changes_) {
      for (const auto& f : changes_->FileChanges(document_.get(), folder_)) {
        if (f.now == TScanComparison::kNoFile) continue;  // gone
        fileChanges_[f.now] = {true, f.state, f.newBytes - std::max<std::int64_t>(0, f.oldBytes)};
      }
    }
    Arrange();
  }
  endResetModel();
}

void TFilesModel::SetChanges(std::shared_ptr<const TReportChanges> changes) {
  changes_ = std::move(changes);
  SetFolder(document_, folder_);
}

std::int64_t TFilesModel::ChangeOf(std::uint64_t file) const {
  const auto at = fileChanges_.find(file);
  return at == fileChanges_.end() ? 0 : at->second.change;
}

std::uint64_t TFilesModel::FileOf(int row) const {
  return rows_.empty() ? first_ + static_cast<std::uint64_t>(row)
                       : rows_[static_cast<std::size_t>(row)];
}

std::string TFilesModel::RawName(int row) const {
  return std::string(document_->FileName(FileOf(row)));
}

std::string TFilesModel::RawPath(int row) const {
  std::string path = folderPath_;
  if (path.empty() || path.back() != '/') path += '/';
  return path + RawName(row);
}

void TFilesModel::RemoveFiles(const std::vector<std::uint64_t>& files) {
  const std::unordered_set<std::uint64_t> gone(files.begin(), files.end());
  // Runs of rows from the last, so the rows before keep their numbers.
  for (int row = count_ - 1; row >= 0; --row) {
    if (gone.count(FileOf(row)) == 0) continue;
    const int last = row;
    while (row > 0 && gone.count(FileOf(row - 1)) != 0) --row;
    if (rows_.empty()) {
      rows_.resize(static_cast<std::size_t>(count_));
      for (std::size_t r = 0; r < rows_.size(); ++r) rows_[r] = first_ + r;
    }
    beginRemoveRows({}, row, last);
    rows_.erase(rows_.begin() + row, rows_.begin() + last + 1);
    count_ -= last - row + 1;
    endRemoveRows();
  }
}

void TFilesModel::sort(int column, Qt::SortOrder order) {
  sortColumn_ = column >= 0 && column < kColumns ? column : -1;
  sortOrder_ = order;
  if (count_ == 0) return;
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  // The view's persistent rows (selection, current) follow their files.
  const QModelIndexList before = persistentIndexList();
  std::unordered_map<std::uint64_t, int> placed;
  for (const QModelIndex& index : before) placed.emplace(FileOf(index.row()), -1);
  Arrange();
  if (!placed.empty()) {
    for (int row = 0; row < count_; ++row) {
      const auto at = placed.find(FileOf(row));
      if (at != placed.end()) at->second = row;
    }
  }
  QModelIndexList after;
  after.reserve(before.size());
  for (const QModelIndex& index : before) {
    after << createIndex(placed[FileOf(index.row())], index.column());
  }
  changePersistentIndexList(before, after);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void TFilesModel::Arrange() {
  if (count_ == 0) return;
  if (sortColumn_ < 0) {
    std::sort(rows_.begin(), rows_.end());  // walk order
    return;
  }
  if (rows_.empty()) {
    rows_.resize(static_cast<std::size_t>(count_));
    for (std::size_t r = 0; r < rows_.size(); ++r) rows_[r] = first_ + r;
  }
  // Read once a row: a sort compares each some twenty times. Numbers
  // compare as unsigned (the sign bit flipped keeps their order); a type by
  // its first 8 bytes, a name by its first 16 in lower case, each packed in
  // numbers, and only then whole.
  struct Key {
    std::uint64_t primary = 0;
    std::uint64_t high = 0, low = 0;
    std::uint64_t file = 0;
    bool longType = false;  // beyond the 8 bytes packed
  };
  const auto pack = [](std::string_view text, std::size_t from) {
    std::uint64_t packed = 0;
    for (std::size_t i = 0; i < 8; ++i) {
      const std::size_t at = from + i;
      const auto byte = static_cast<unsigned char>(at < text.size() ? AsciiLower(text[at]) : '\0');
      packed |= std::uint64_t{byte} << (8 * (7 - i));
    }
    return packed;
  };
  const auto number = [](std::int64_t value) {
    return static_cast<std::uint64_t>(value) ^ (std::uint64_t{1} << 63);
  };
  const bool byName = sortColumn_ == kNameColumn || sortColumn_ == kTypeColumn;
  std::vector<Key> keys(rows_.size());
  for (std::size_t r = 0; r < rows_.size(); ++r) {
    Key& key = keys[r];
    key.file = rows_[r];
    const ScanFile file = document_->File(key.file);
    const bool measured = file.length >= 0;
    switch (sortColumn_) {
      case kSizeColumn:
        key.primary = number(file.counted);
        break;
      case kAllocatedColumn:
        key.primary = number(measured ? file.allocated : -1);
        break;
      case kModifiedColumn:
        key.primary = number(measured ? file.modified : TScanDocument::kNoTime);
        break;
      case kChangeColumn:
        key.primary = number(ChangeOf(key.file));
        break;
      case kTypeColumn: {
        const std::string type = FileTypeOf(file.name);
        key.primary = pack(type, 0);
        key.longType = type.size() > 8;
        break;
      }
      default:
        break;
    }
    if (byName) {
      key.high = pack(file.name, 0);
      key.low = pack(file.name, 8);
    }
  }
  const bool down = sortOrder_ == Qt::DescendingOrder;
  const auto before = [down](auto x, auto y) { return down ? y < x : x < y; };
  std::sort(keys.begin(), keys.end(), [&](const Key& x, const Key& y) {
    if (x.primary != y.primary) return before(x.primary, y.primary);
    if (!byName) return x.file < y.file;
    if (x.longType || y.longType) {
      const std::string a = FileTypeOf(document_->FileName(x.file));
      const std::string b = FileTypeOf(document_->FileName(y.file));
      if (const int c = CompareFolded(a, b)) return before(c, 0);
      if (a != b) return before(a, b);
    }
    if (x.high != y.high) return before(x.high, y.high);
    if (x.low != y.low) return before(x.low, y.low);
    const std::string_view a = document_->FileName(x.file);
    const std::string_view b = document_->FileName(y.file);
    if (a.size() > 16 || b.size() > 16) {
      if (const int c = CompareFolded(a, b)) return before(c, 0);
    }
    if (a != b) return before(a, b);
    return x.file < y.file;
  });
  for (std::size_t r = 0; r < rows_.size(); ++r) rows_[r] = keys[r].file;
}

int TFilesModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : count_;
}

int TFilesModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumns;
}

QVariant TFilesModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || !document_ || index.row() >= count_) return {};
  if (role == Qt::TextAlignmentRole) {
    const bool number = index.column() == kSizeColumn || index.column() == kAllocatedColumn ||
                        index.column() == kChangeColumn;
    return (number ? Qt::AlignRight | Qt::AlignVCenter : Qt::AlignLeft | Qt::AlignVCenter).toInt();
  }
  if (role != Qt::DisplayRole && role != kSortRole && role != Qt::ToolTipRole) return {};
  // Only the rows a view paints are read and turned into text.
  const ScanFile file = document_->File(FileOf(index.row()));
  const bool measured = file.length >= 0;
  const bool sorting = role == kSortRole;
  switch (index.column()) {
    case kNameColumn:
      return QString::fromUtf8(file.name.data(), static_cast<qsizetype>(file.name.size()));
    case kSizeColumn:
      if (sorting) return qint64{file.counted};
      if (file.counted < 0) return {};
      // The exact count beside the rounded one.
      return role == Qt::ToolTipRole ? QLocale().toString(qint64{file.counted}) + " bytes"
                                     : ReadableSize(file.counted);
    case kAllocatedColumn:
      if (sorting) return qint64{measured ? file.allocated : -1};
      if (!measured) return {};
      return role == Qt::ToolTipRole ? QLocale().toString(qint64{file.allocated}) + " bytes"
                                     : ReadableSize(file.allocated);
    case kModifiedColumn: {
      if (sorting) return qint64{measured ? file.modified : TScanDocument::kNoTime};
      if (!measured || file.modified == TScanDocument::kNoTime) return {};
      const QDateTime when = QDateTime::fromSecsSinceEpoch(file.modified);
      return role == Qt::ToolTipRole ? QLocale().toString(when, QLocale::LongFormat)
                                     : when.toString("yyyy-MM-dd HH:mm");
    }
    case kTypeColumn:
      return QString::fromStdString(FileTypeOf(file.name));
    case kChangeColumn: {
      const std::uint64_t j = FileOf(index.row());
      if (sorting) return qint64{ChangeOf(j)};
      const auto at = fileChanges_.find(j);
      if (at == fileChanges_.end()) return {};
      const TReportChanges::File& c = at->second;
      if (c.state == TScanComparison::FileState::New) return QStringLiteral("new");
      if (c.change == 0) return {};
      return c.change < 0 ? "-" + ReadableSize(-c.change) : "+" + ReadableSize(c.change);
    }
    default:
      return {};
  }
}

QVariant TFilesModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal) return {};
  if (role == Qt::TextAlignmentRole) {
    const bool number =
        section == kSizeColumn || section == kAllocatedColumn || section == kChangeColumn;
    return (number ? Qt::AlignRight | Qt::AlignVCenter : Qt::AlignLeft | Qt::AlignVCenter).toInt();
  }
  if (role != Qt::DisplayRole) return {};
  switch (section) {
    case kNameColumn:
      return QStringLiteral("Name");
    case kSizeColumn:
      return QStringLiteral("Size");
    case kAllocatedColumn:
      return QStringLiteral("Allocated");
    case kModifiedColumn:
      return QStringLiteral("Modified");
    case kTypeColumn:
      return QStringLiteral("Type");
    case kChangeColumn:
      return QStringLiteral("Change");
    default:
      return {};
  }
}
