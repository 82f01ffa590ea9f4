#pragma once

#include <QModelIndex>
#include <atomic>
#include <cstddef>
#include <memory>

#include "report/FindModel.h"
#include "settings/MyForm.h"

class QLabel;
class QLineEdit;
class QSortFilterProxyModel;
class QTableView;
class QTimer;
class TUsageReport;

// Files and folders of the window's report by name, beside the report: the
// search runs as the user types (a moment after the last key) off the
// interface thread, a newer search or a new scan replacing a running one.
// Choosing a hit shows it: a folder's line in the tree, a file in the Files
// pane. Its placement is remembered between runs.
class TFindWindow : public TMyForm {
  Q_OBJECT

 public:
  static constexpr std::size_t kLimit = 10000;
  static constexpr int kDelayMs = 200;

  explicit TFindWindow(TUsageReport& window);
  ~TFindWindow() override;

  // The window's Find window, made the first time, shown with the focus in
  // its text.
  static TFindWindow* Open(TUsageReport& window);

  QLineEdit* Text() const { return text_; }
  QTableView* Table() const { return table_; }
  QLabel* Count() const { return count_; }
  TFindModel* Model() const { return model_; }
  // A search is waiting for the typing to stop or running.
  bool Searching() const;
  // Shows the hit on a row of the table.
  void Choose(const QModelIndex& tableIndex);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Start();
  void Apply(TFindResult result);

  TUsageReport& window_;
  QLineEdit* text_;
  QTableView* table_;
  QLabel* count_;
  TFindModel* model_;
  QSortFilterProxyModel* sorted_;
  QTimer* delay_;
  // The running search's flag; set, it stops the search.
  std::shared_ptr<std::atomic<bool>> cancel_;
  unsigned generation_ = 0;  // of the newest search; older results are dropped
  bool running_ = false;
};
