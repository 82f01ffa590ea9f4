#pragma once

#include <QAbstractTableModel>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "report/ReportChanges.h"
#include "scan/ScanDocument.h"

// The files directly in one folder of a scan document, a row each, read
// from the document only for the rows a view asks for: a folder of
// hundreds of thousands of files shows at once. Sizes are what the report
// counted for each file. It sorts itself (a view's header calls sort()),
// by keys read once from the document: a proxy model comparing rows one
// pair at a time took several times as long for a large folder. Equal
// values keep the folder's walk order either way.
class TFilesModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  static constexpr int kNameColumn = 0;
  static constexpr int kSizeColumn = 1;
  static constexpr int kAllocatedColumn = 2;
  static constexpr int kModifiedColumn = 3;
  static constexpr int kTypeColumn = 4;
  // While comparing: "new", "+12 MiB", "-3 MiB"; empty when unchanged.
  static constexpr int kChangeColumn = 5;
  static constexpr int kColumns = 6;
  // What a column sorts by: the name, the bytes (-1 when not measured),
  // the seconds since 1970, the type, the change in bytes (a new file's
  // size, 0 when unchanged or not compared); never the text shown.
  static constexpr int kSortRole = Qt::UserRole + 2;

  explicit TFilesModel(QObject* parent = nullptr);

  // Shows the own files of `folder` in `document`; a null document shows none.
  void SetFolder(std::shared_ptr<const TScanDocument> document, std::uint32_t folder);
  const std::shared_ptr<const TScanDocument>& Document() const { return document_; }
  // The comparison with an earlier scan, for the Change column; null: none.
  void SetChanges(std::shared_ptr<const TReportChanges> changes);
  std::uint32_t Folder() const { return folder_; }

  // The document's index of the file on a row; its name as the file
  // system gave it, and its full path in the same bytes.
  std::uint64_t FileOf(int row) const;
  std::string RawName(int row) const;
  std::string RawPath(int row) const;
  // Takes the rows of these files away (a file moved to the trash).
  void RemoveFiles(const std::vector<std::uint64_t>& files);

  // By kSortRole's value, never the text shown: names without regard to
  // ASCII case first, types then names; -1 the folder's walk order. The
  // order stays for the folders shown after.
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 private:
  std::shared_ptr<const TScanDocument> document_;
  std::uint32_t folder_ = TScanDocument::kNoFolder;
  std::string folderPath_;
  std::uint64_t first_ = 0;  // the folder's first file
  int count_ = 0;
  // The files shown, in their order; empty while they are
  // [first_, first_ + count_) in walk order.
  std::vector<std::uint64_t> rows_;
  int sortColumn_ = -1;
  Qt::SortOrder sortOrder_ = Qt::AscendingOrder;

  std::shared_ptr<const TReportChanges> changes_;
  // The folder's files' changes by file, while comparing.
  std::unordered_map<std::uint64_t, TReportChanges::File> fileChanges_;
  std::int64_t ChangeOf(std::uint64_t file) const;

  // Puts rows_ in the sort order.
  void Arrange();
};
