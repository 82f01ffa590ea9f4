#pragma once

#include <QDockWidget>
#include <memory>
#include <optional>
#include <string>

class QLabel;
class QPushButton;
class QStandardItemModel;
class QTableView;
class TUsageReport;
template <class Result>
class TLatestJob;

// The File Types pane: the report's files by type, a line each with the
// type's colour, how many files, their total and their share of the
// report, most bytes first. Each tally, off the interface thread after a
// scan, tells the window's type colours the report's types. Choosing a
// type highlights it in the other views and narrows the Largest Files pane
// to it; choosing it again, or Clear, lifts that.
class TFileTypesPane : public QDockWidget {
  Q_OBJECT

 public:
  static constexpr int kTypeColumn = 0;
  static constexpr int kFilesColumn = 1;
  static constexpr int kTotalColumn = 2;
  static constexpr int kShareColumn = 3;
  // The type a line stands for (FileTypeOf's name, its bytes) on its type column.
  static constexpr int kTypeRole = Qt::UserRole + 3;
  // What a column sorts by: the type's name, or the number behind the text.
  static constexpr int kSortRole = Qt::UserRole + 4;

  explicit TFileTypesPane(TUsageReport& window);
  ~TFileTypesPane() override;

  QStandardItemModel* Model() const { return model_; }
  QTableView* Table() const { return table_; }
  // A tally is running.
  bool Counting() const;
  // Chooses a line's type, or lifts it when it is the one chosen.
  void ChooseRow(int row);

 signals:
  // The lines show a tally's result.
  void Tallied();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Result;
  void Tally();
  void Apply(Result result);
  void ShowColours();
  void ShowHighlight();

  TUsageReport& window_;
  QStandardItemModel* model_ = nullptr;
  QTableView* table_ = nullptr;
  QLabel* caption_ = nullptr;
  QPushButton* clear_ = nullptr;
  std::unique_ptr<TLatestJob<Result>> job_;
};
