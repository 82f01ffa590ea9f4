#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QAction;
class QKeySequence;
class QPoint;
class TFilesPane;
class TMyReport;
class TScanControl;

// The commands on the files selected in the Files pane, from its context
// menu (and Delete, the Menu key, Shift+F10 and a double click in it):
// Open, Open Containing Folder, Copy Path and Move to Trash. All but Copy
// Path wait while a scan runs and act only on files of a scan made on this
// computer.
class TFileCommands : public QObject {
  Q_OBJECT

 public:
  TFileCommands(TMyReport& window, TFilesPane& pane, TScanControl& scan);

  void Open();
  void OpenContainingFolder();
  void CopyPath();
  void MoveToTrash();
  void UpdateActions();

 protected:
  // Takes Delete, the Menu key and Shift+F10 in the table before the
  // window's shortcuts do: Delete there means the files, not the folder.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QAction* AddCommand(const char* name, const QString& caption, const QKeySequence& shortcut,
                      void (TFileCommands::*handler)());
  void Menu(const QPoint& viewportPos);
  // The selected files' paths, in the table's order.
  QStringList SelectedPaths() const;
  bool Local() const;

  TMyReport& window_;
  TFilesPane& pane_;
  TScanControl& scan_;
  QAction* open_ = nullptr;
  QAction* openFolder_ = nullptr;
  QAction* copyPath_ = nullptr;
  QAction* moveToTrash_ = nullptr;
};
