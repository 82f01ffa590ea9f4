#pragma once

#include <QDockWidget>
#include <QString>
#include <memory>
#include <optional>
#include <string>

#include "report/LargestFilesModel.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QTableView;
class TUsageReport;
template <class Result>
class TLatestJob;

// The Largest Files pane: the largest files of the whole report, or of the
// folder chosen in the tree and all below it, a thousand at a time. The
// type chosen in the File Types pane and a year chosen in the File Ages
// pane narrow it; a line over the table says so and clears them. The count
// runs off the interface thread, after each scan and each change of what
// is asked, and only while the pane is shown.
class TLargestFilesPane : public QDockWidget {
  Q_OBJECT

 public:
  static constexpr int kStep = 1000;

  explicit TLargestFilesPane(TUsageReport& window);
  ~TLargestFilesPane() override;

  TLargestFilesModel* Model() const { return model_; }
  QTableView* Table() const { return table_; }
  QCheckBox* BelowFolder() const { return below_; }
  QPushButton* ShowMoreButton() const { return more_; }
  // Only files last modified in that year (local time); none: any year.
  void SetYear(std::optional<int> year);
  const std::optional<int>& Year() const { return year_; }
  // What narrows the list, as the pane says it; empty when nothing does.
  QString FilterText() const;
  // A count is running or waits to run.
  bool Counting() const;

 public slots:
  void ShowMore();
  // Lifts the type and the year filters.
  void ClearFilter();

 signals:
  void YearChanged();
  // The table shows a count's result.
  void Filled();

 private:
  struct Result;
  // Counts anew from the first thousand.
  void Restart();
  void Recount();
  void Apply(Result result);
  void GoToRow(const QModelIndex& index);
  void ShowFilter();

  TUsageReport& window_;
  std::optional<int> year_;
  std::string folderPath_;  // of the tree's current line; empty for none
  int wanted_ = kStep;      // rows asked for
  bool stale_ = true;       // the rows shown are not for what is asked now
  TLargestFilesModel* model_ = nullptr;
  QTableView* table_ = nullptr;
  QCheckBox* below_ = nullptr;
  QLabel* caption_ = nullptr;
  QWidget* filterLine_ = nullptr;
  QLabel* filter_ = nullptr;
  QPushButton* more_ = nullptr;
  std::unique_ptr<TLatestJob<Result>> job_;
};
