#pragma once

#include <QDockWidget>
#include <memory>
#include <string>

class QCheckBox;
class QLabel;
class QStandardItemModel;
class QTableView;
class TLargestFilesPane;
class TUsageReport;
template <class Result>
class TLatestJob;

// The File Ages pane: the files of the whole report, or of the folder
// chosen in the tree and below it, by the year they were last modified,
// newest first, each year's bytes drawn as a bar. Choosing a year narrows
// the Largest Files pane to the files of that year; choosing it again
// lifts that. The count runs off the interface thread, only while shown.
class TFileAgesPane : public QDockWidget {
  Q_OBJECT

 public:
  static constexpr int kYearColumn = 0;
  static constexpr int kFilesColumn = 1;
  static constexpr int kSizeColumn = 2;
  static constexpr int kShareColumn = 3;
  // The year a line stands for, on its year column.
  static constexpr int kYearRole = Qt::UserRole + 3;

  TFileAgesPane(TUsageReport& window, TLargestFilesPane& largest);
  ~TFileAgesPane() override;

  QStandardItemModel* Model() const { return model_; }
  QTableView* Table() const { return table_; }
  QCheckBox* BelowFolder() const { return below_; }
  // A count is running or waits to run.
  bool Counting() const;
  // Chooses a line's year, or lifts it when it is the one chosen.
  void ChooseRow(int row);

 signals:
  // The lines show a count's result.
  void Counted();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Result;
  void Recount();
  void Apply(Result result);
  void ShowChosenYear();

  TUsageReport& window_;
  TLargestFilesPane& largest_;
  std::string folderPath_;  // of the tree's current line; empty for none
  bool stale_ = true;       // the lines are not for what is asked now
  QStandardItemModel* model_ = nullptr;
  QTableView* table_ = nullptr;
  QCheckBox* below_ = nullptr;
  QLabel* caption_ = nullptr;
  std::unique_ptr<TLatestJob<Result>> job_;
};
