#pragma once

#include <memory>

#include <QDockWidget>
#include <QString>
#include <string>
#include <vector>

class QLabel;
class QStackedWidget;
class QTableView;
class TFileCommands;
class TFilesModel;
class TReportChanges;
class TMyReport;
class TReportViews;
class TScanControl;
class TTreeNode;

// The Files pane: the files directly in the folder chosen in the report,
// from the document of the newest scan that walked it, with the commands
// on them in its context menu. It follows the tree's current line; a short
// note stands in for the table when there is no folder or no scan of it.
class TFilesPane : public QDockWidget {
  Q_OBJECT

 public:
  TFilesPane(TMyReport& window, TReportViews& views, TScanControl& scan);
  ~TFilesPane() override;

  TFilesModel* Model() const { return model_; }
  QTableView* Table() const { return table_; }
  TFileCommands* Commands() const { return commands_; }
  // The note shown instead of the table; empty while the table shows.
  QString Note() const;
  // The model rows selected in the table, in the table's order.
  std::vector<int> SelectedRows() const;

 public slots:
  // Shows the files of the folder `node` stands for (nullptr: none).
  // While the report is compared with an earlier scan: each file's change
  // in a column of its own (null: none, the column hidden).
  void SetChanges(std::shared_ptr<const TReportChanges> changes);
  void ShowFolder(TTreeNode* node);
  // Selects the shown folder's file of that raw name and scrolls to it;
  // false when the folder shown has no such file.
  bool SelectFile(const std::string& rawName);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Looks the shown folder up again in the scans' documents.
  void Refresh();
  void ShowNote(const QString& note);
  void UpdateCaption();
  void ElideCaption();

  TReportViews& views_;
  TScanControl& scan_;
  std::string path_;  // of the folder shown; empty for none
  bool known_ = false;
  TFilesModel* model_ = nullptr;
  QStackedWidget* pages_ = nullptr;
  QLabel* note_ = nullptr;
  QLabel* caption_ = nullptr;  // what the table shows, over it
  QString captionText_;        // the caption before it is shortened
  QTableView* table_ = nullptr;
  TFileCommands* commands_ = nullptr;  // a child of the pane
};
