#pragma once

#include <QAbstractTableModel>
#include <memory>
#include <vector>

#include "scan/NameSearch.h"

// What one search found, with the documents its hits point into, which it
// keeps alive.
struct TFindResult {
  std::vector<std::shared_ptr<const TScanDocument>> documents;
  std::shared_ptr<const TNameSearch> search;
};

// The hits of a search, a row each: name, size and path. Sizes sort by
// their number through kSortRole, names and paths by their text.
class TFindModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  static constexpr int kNameColumn = 0;
  static constexpr int kSizeColumn = 1;
  static constexpr int kPathColumn = 2;
  static constexpr int kColumns = 3;
  static constexpr int kSortRole = Qt::UserRole + 2;

  explicit TFindModel(QObject* parent = nullptr);

  void SetResult(TFindResult result);
  const TFindResult& Result() const { return result_; }
  // The hit on a row of the model (not of a sorted view).
  const TNameSearch::Hit& Hit(int row) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 private:
  TFindResult result_;
};
