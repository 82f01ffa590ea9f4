#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <string>

#include "report/ReportChanges.h"

class QAction;
class QLabel;
class TUsageReport;

// The window's comparison of its report with an earlier scan ("what grew?"):
// builds it off the interface thread, hands it to the views that show it
// (the tree's Change column and gone folders, the panes, the treemap's
// colours), says on the status line what it is compared with, and ends it
// when the report changes or the user ends it.
class TReportComparison : public QObject {
  Q_OBJECT

 public:
  explicit TReportComparison(TUsageReport& window);
  ~TReportComparison() override;

  // Compares the report's documents with `baseline`; the views show it when
  // it is made. `source` says where the baseline came from (for the tooltip).
  void CompareWith(std::shared_ptr<const TScanDocument> baseline, const QString& source);
  // The same with a scan file read first, off the interface thread too.
  void CompareWithFile(const QString& path);
  // Ends the comparison, or drops one being made.
  void End();
  // View > Compare With...: the dialog that chooses the earlier scan.
  void Choose();

  // The comparison shown; null when none is.
  const std::shared_ptr<const TReportChanges>& Changes() const { return changes_; }
  // A comparison is being made.
  bool Busy() const { return busy_; }
  // What the status line says while comparing, and its tooltip.
  QString StatusText() const;
  QString NotesText() const;

  // The View menu's Colour by Change: enabled only while comparing.
  void SetColourAction(QAction* action);

 signals:
  // A comparison was shown, or ended.
  void ChangesChanged();

 private:
  struct Made;
  void Start(std::function<Made()> make);
  void Apply(Made made);
  void Show(std::shared_ptr<const TReportChanges> changes);

  TUsageReport& window_;
  std::shared_ptr<const TReportChanges> changes_;
  QString source_;
  QLabel* status_ = nullptr;
  QAction* colourAction_ = nullptr;
  unsigned generation_ = 0;  // a result made for an older request is dropped
  bool busy_ = false;
};
