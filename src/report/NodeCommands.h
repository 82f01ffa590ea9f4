#pragma once

#include <QObject>
#include <QString>
#include <string>

#include "scan/DocumentLookup.h"

class QAction;
class QMenu;
class QPoint;
class TMyReport;
class TReportTree;
class TReportViews;
class TScanControl;
class TScannedFolder;
class TTreeNode;

// The commands on one folder of the report, from the context menus of the
// tree and the treemap (or by their keys, on the tree's current node): Open
// in File Manager, Copy Path, Rescan Folder, Move to Trash and Delete
// Permanently, enabled when their folder is there to act on. They act on
// the folder by the names the walk found, whatever its line shows.
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
  void DeletePermanently();

 private:
  // The folder a line stands for: its path in the bytes the walk found
  // (made of the lines' names for a report without a scan behind it).
  struct Target {
    std::string path;  // empty: no path can be made
    std::size_t startLength = 0;
    std::string startBelow;
    TDocumentLookup::Place place;
  };
  Target TargetOf(const TTreeNode* node) const;
  // Reaches the target's folder again: why the commands that act on it
  // must leave it alone (empty when they may act). `copyable` says whether
  // its path is still worth copying.
  QString Reach(const Target& target, TScannedFolder& folder, bool* copyable = nullptr) const;
  void Remove(bool permanently);
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
  // The node the commands act on.
  TTreeNode* ActionNode() const;
  // The node's folder when the command may act on it; otherwise says why
  // not and gives an empty path. `onDisk`: for a command that acts on the
  // folder, which a scan made elsewhere or a folder replaced since must
  // refuse.
  Target ActionTarget(TTreeNode* node, bool onDisk = true);

  TMyReport& window_;
  TReportTree& tree_;
  TReportViews& views_;
  TScanControl& scan_;
  QAction* openFolder_ = nullptr;
  QAction* copyPath_ = nullptr;
  QAction* rescanFolder_ = nullptr;
  QAction* moveToTrash_ = nullptr;
  QAction* deletePermanently_ = nullptr;
  TTreeNode* menuNode_ = nullptr;  // what an open context menu acts on
};
