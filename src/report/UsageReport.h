#pragma once

#include <QColor>
#include <QElapsedTimer>
#include <QModelIndex>
#include <QPrinter>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "report/MyReport.h"
#include "scan/ReportTree.h"
#include "scan/UiHooks.h"
#include "scan/UsageDirectory.h"
#include "scan/UsageOptions.h"

class QAction;
class QFileDialog;
class QMenu;
class QMenuBar;
class QPageSetupDialog;
class QPrintDialog;
class QSplitter;
class QStatusBar;
class QTextEdit;
class QTreeView;
class TFontDialog;
class TReportSortModel;
class TProblemsWindow;
class TReportModel;
class TStatusText;
class TTreemapView;
class TUsageDialog;
class TUsageDirectory;
class TUsageWizard;

// The main window: the report tree over a status line, the menu every
// command starts from, and the scan itself, run on this thread inside the
// command that starts it. It is also the scan's message pump and status line.
class TUsageReport : public TMyReport, public TMessagePump, public TStatusLine {
  Q_OBJECT

 public:
  // Builds the window, its wizard and its dialog, and restores all their settings.
  TUsageReport(QWidget* owner, const QString& root);
  // Saves everything (FormDestroy).
  ~TUsageReport() override;

  void ReadSettings() override;
  void WriteSettings() override;
  void ScanFromDialog() override;
  void ScanFromWizard() override;
  TFontDialog* GetFontDialog() override;
  void ApplyFont(const QFont& font, const QColor& color) override;

  // Runs one scan in the window; the interface stays live meanwhile.
  void RunScan(const UsageOptions& options);
  // Scans the folder of one node again with the last scan's options.
  void RunRescan(TTreeNode* node);
  TProblemsWindow* ProblemsWindow = nullptr;  // what the last scan could not read

  // TMessagePump: handles pending interface events at most every few
  // milliseconds, so a scan through many small folders does not spend its
  // time repainting.
  void ProcessMessages() override;
  // TStatusLine
  void ShowText(const std::string& text) override;

  TReportTree& Tree() { return tree_; }
  TReportModel* Model() const { return model_; }
  // The node a view index stands for, and back; the view may show the
  // model through the Largest First order.
  TTreeNode* NodeAt(const QModelIndex& viewIndex) const;
  QModelIndex ViewIndexOf(TTreeNode* node, int column = 0) const;
  TUsageDialog* UsageDialog() const;
  TUsageWizard* UsageWizard() const;
  bool Scanning() const { return scanning_; }
  QString StatusText() const;
  // A notice shown over the status line for a moment (e.g. "scan running").
  QString StatusNotice() const;
  QColor FontColor() const { return fontColor_; }
  QPrinter& Printer() { return printer_; }
  QAction* FindAction(const QString& objectName) const;
  // The name Save As offers.
  QString DefaultSaveName() const;

  // Controls, by their design names.
  QTreeView* resultField = nullptr;
  QStatusBar* StatusBar1 = nullptr;
  QTextEdit* RichEdit1 = nullptr;
  QMenuBar* MainMenu1 = nullptr;
  QSplitter* Splitter1 = nullptr;  // the tree over the treemap
  TTreemapView* Treemap1 = nullptr;
  TFontDialog* FontDialog1 = nullptr;

  // Command handlers, as the menu calls them.
  void New1Click();
  void SaveAs1Click();
  void Dialog1Click();
  void Wizard1Click();
  void SetupPrinter1Click();
  void Print1Click();
  void LoadConfiguration1Click();
  void SaveConfiguration1Click();
  void Exit1Click();
  void Sort1Click();
  void Expand1Click();
  void Contract1Click();
  void Font1Click();
  void ShareBars1Click();
  void Treemap1Click();
  void LargestFirst1Click();
  void Problems1Click();
  void Stop1Click();
  // The node commands, from the context menus of the tree and the treemap
  // (or by their keys, on the tree's current node).
  void OpenFolder1Click();
  void CopyPath1Click();
  void RescanFolder1Click();
  void MoveToTrash1Click();
  void Help2Click();
  void About1Click();
  void FormActivate();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void BuildWindow();
  void BuildMenu();
  void SetUpView();
  // What a scan and a rescan do first, once the scan counts as running.
  void BeginScan();
  QAction* AddItem(QMenu* menu, const char* name, const QString& caption,
                   const QKeySequence& shortcut, void (TUsageReport::*handler)());
  void RestoreAtStart();
  void FormDestroy();
  // Selects a node the treemap was clicked on, showing it in the tree.
  void SelectFromTreemap(TTreeNode* node);
  void TreemapMenu(TTreeNode* node, const QPoint& globalPos);
  // The tree's context menu, at a point of its viewport or (from a key) at
  // the current node.
  void TreeMenu(const QPoint& viewportPos);
  void TreeMenuFromKey();
  // Runs a context menu whose node commands act on `node`.
  void ExecNodeMenu(QMenu& menu, TTreeNode* node, const QPoint& globalPos);
  // Enables the node commands for `node`; gives why they cannot act on it
  // (empty when they can).
  QString UpdateNodeActions(TTreeNode* node);
  // The node the node commands act on, and its folder's path when it is
  // there to act on; otherwise says why not and gives an empty path.
  TTreeNode* ActionNode() const;
  QString ActionPath(TTreeNode* node);
  // The status line after a scan, and the problems it found.
  void ShowOutcome(ScanOutcome&& outcome);
  // Refuses a command that would disturb a running scan, saying so.
  bool RefusedWhileScanning();
  // Carries out an Exit or close that came while a scan ran.
  void CloseIfPending();
  QFileDialog& SaveDialog1();
  QPrintDialog& PrintDialog1();
  QPageSetupDialog& PrinterSetupDialog1();

  TReportTree tree_;
  TReportModel* model_ = nullptr;
  TReportSortModel* largest_ = nullptr;  // set while View > Largest First is on
  TStatusText* status_ = nullptr;
  QFileDialog* saveDialog_ = nullptr;
  QPrintDialog* printDialog_ = nullptr;
  QPageSetupDialog* setupDialog_ = nullptr;
  QPrinter printer_{QPrinter::HighResolution};
  QColor fontColor_ = Qt::black;

  TUsageDirectory* UsageDirectory = nullptr;  // the walker of the running scan
  UsageOptions lastOptions_;                  // the last scan's, for Rescan Folder
  TTreeNode* menuNode_ = nullptr;             // what an open context menu acts on
  bool scanning_ = false;
  bool closePending_ = false;
  bool activated_ = false;
  bool selectingFromTreemap_ = false;
  QList<int> splitterSizes_;  // the splitter's last sizes with the treemap shown
  QElapsedTimer pumpClock_;
};
