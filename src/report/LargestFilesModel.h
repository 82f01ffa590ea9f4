#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

// The rows of the Largest Files pane, largest first, as a count found them:
// what each file's row shows, and where it is for going to it.
class TLargestFilesModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  static constexpr int kPathColumn = 0;
  static constexpr int kSizeColumn = 1;
  static constexpr int kModifiedColumn = 2;
  static constexpr int kColumns = 3;
  // The number behind a column: bytes, seconds since 1970.
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
  const Row& RowAt(int row) const { return rows_[static_cast<std::size_t>(row)]; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 private:
  std::vector<Row> rows_;
};
