#pragma once

#include <QObject>
#include <QString>

class QAction;
class QMenu;
class QPoint;
class TMyReport;
class TReportTree;
class TReportViews;
class TScanControl;
class TTreeNode;

// The commands on one folder of the report, from the context menus of the
// tree and the treemap (or by their keys, on the tree's current node): Open
// in File Manager, Copy Path, Rescan Folder and Move to Trash, enabled when
// their folder is there to act on.
class TNodeCommands : public QObject {
  Q_OBJECT

 public:
  // Puts the commands on the window, so their keys act wherever the focus
  // is in it, and the context menus on the views.
  TNodeCommands(TMyReport& window, TReportTree& tree, TReportViews& views, TScanControl& scan);

  void OpenFolder();
  void CopyPath();
  void RescanFolder();
  void MoveToTrash();

 private:
  QAction* AddCommand(const char* name, const QString& caption, const QKeySequence& shortcut,
                      void (TNodeCommands::*handler)());
  void TreemapMenu(TTreeNode* node, const QPoint& globalPos);
  // The tree's context menu, at a point of its viewport or (from a key) at
  // the current node.
  void TreeMenu(const QPoint& viewportPos);
  void TreeMenuFromKey();
  // Runs a context menu whose node commands act on `node`.
  void ExecNodeMenu(QMenu& menu, TTreeNode* node, const QPoint& globalPos);
  // Enables the commands for `node`; gives why they cannot act on it
  // (empty when they can).
  QString UpdateActions(TTreeNode* node);
  // The node the commands act on, and its folder's path when it is there
  // to act on; otherwise says why not and gives an empty path.
  TTreeNode* ActionNode() const;
  // `onDisk`: for a command that acts on the folder, which a scan made
  // elsewhere or a folder replaced since must refuse.
  QString ActionPath(TTreeNode* node, bool onDisk = true);

  TMyReport& window_;
  TReportTree& tree_;
  TReportViews& views_;
  TScanControl& scan_;
  QAction* openFolder_ = nullptr;
  QAction* copyPath_ = nullptr;
  QAction* rescanFolder_ = nullptr;
  QAction* moveToTrash_ = nullptr;
  TTreeNode* menuNode_ = nullptr;  // what an open context menu acts on
};
