#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "scan/UsageDirectory.h"

class QLabel;
class QTableView;
class QSortFilterProxyModel;
class TProblemsModel;

// What the last scan could not read, and what its settings left out (in the
// palette's disabled text colour, with a note saying so): path and reason,
// sortable by either column, rows copyable as "path<TAB>reason" lines. A
// plain sentence stands in for the list when there was nothing. A double
// click on a line asks for its folder in the report (PathChosen).
class TProblemsWindow : public QDialog {
  Q_OBJECT

 public:
  explicit TProblemsWindow(QWidget* owner);

  void SetProblems(std::vector<ScanProblem> problems);
  const std::vector<ScanProblem>& Problems() const;
  // The selected rows as the clipboard gets them, in the order shown.
  QString SelectedText() const;
  QTableView* List() const { return list_; }
  QLabel* EmptyNote() const { return empty_; }
  QLabel* LeftOutNote() const { return legend_; }

 signals:
  // The path of a line double-clicked.
  void PathChosen(const std::string& path);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void CopySelection();

  TProblemsModel* model_;
  QSortFilterProxyModel* sorted_;
  QTableView* list_;
  QLabel* empty_;
  QLabel* legend_;
};
