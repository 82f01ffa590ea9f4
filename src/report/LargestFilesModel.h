#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "report/ReportChanges.h"

// The rows of the Largest Files pane, largest first, as a count found them:
// what each file's row shows, and where it is for going to it.
class TLargestFilesModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  static constexpr int kPathColumn = 0;
  static constexpr int kSizeColumn = 1;
  static constexpr int kModifiedColumn = 2;
  // While comparing: "new", "+12 MiB", "-3 MiB"; empty when unchanged.
  static constexpr int kChangeColumn = 3;
  static constexpr int kColumns = 4;
  // The number behind a column: bytes, seconds since 1970, the change in
  // bytes (a new file's size; 0 when unchanged or not compared).
  static constexpr int kValueRole = Qt::UserRole + 2;

  struct Row {
    std::string folderPath;  // raw bytes, as the scan has them
    std::string rawName;
    QString path;  // for showing
    std::int64_t bytes = 0;
    std::int64_t modified = 0;
  };

  explicit TLargestFilesModel(QObject* parent = nullptr);

  void SetRows(std::vector<Row> rows);
  // The comparison with an earlier scan, for the Change column; null: none.
  void SetChanges(std::shared_ptr<const TReportChanges> changes);
  const Row& RowAt(int row) const { return rows_[static_cast<std::size_t>(row)]; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 private:
  // A row's change, found when first shown.
  const TReportChanges::File& ChangeAt(int row) const;

  std::vector<Row> rows_;
  std::shared_ptr<const TReportChanges> changes_;
  mutable std::vector<std::optional<TReportChanges::File>> rowChanges_;
};
