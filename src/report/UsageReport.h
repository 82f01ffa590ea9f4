#pragma once

#include <QColor>
#include <QModelIndex>
#include <QPrinter>
#include <QString>
#include <memory>

#include "report/MyReport.h"
#include "scan/ReportTree.h"
#include "scan/UsageOptions.h"

class QAction;
class QDockWidget;
class QMenu;
class QMenuBar;
class QSplitter;
class QStackedWidget;
class QStatusBar;
class QTextEdit;
class QTreeView;
class TFilesPane;
class TTypeColours;
class TFontDialog;
class TNodeCommands;
class TProblemsWindow;
class TReportComparison;
class TScanDocument;
class TReportModel;
class TReportOutput;
class TReportViews;
class TScanControl;
class TScanFiles;
class TStartPage;
class TTreemapView;
class TUsageDialog;
class TUsageWizard;

// The main window: the report's views in the middle, the menu every command
// starts from and the status line under them; it keeps their settings and
// hands each command to the part of the window whose role it is: the views
// (TReportViews), the scans (TScanControl), the commands on one folder
// (TNodeCommands) and the output (TReportOutput).
class TUsageReport : public TMyReport {
  Q_OBJECT

 public:
  // Builds the window, its wizard and its dialog, and restores all their settings.
  TUsageReport(QWidget* owner, const QString& root);
  // Saves everything (FormDestroy).
  ~TUsageReport() override;

  void ReadSettings() override;
  void WriteSettings() override;
  // Switches as the base does; the title then names the configuration.
  void SetConfiguration(const QString& name) override;
  void ScanFromDialog() override;
  void ScanFromWizard() override;
  TFontDialog* GetFontDialog() override;
  void ApplyFont(const QFont& font, const QColor& color) override;

  // Runs one scan in the window; the interface stays live meanwhile.
  void RunScan(const UsageOptions& options);
  TProblemsWindow* ProblemsWindow = nullptr;  // what the last scan could not read

  // Docks a pane at `area`, or where it was when the window last saved its
  // panes (by the pane's object name), and lists it in the View menu.
  void AddPane(QDockWidget* pane, Qt::DockWidgetArea area);

  TReportTree& Tree() { return tree_; }
  TReportViews& Views() const { return *views_; }
  TScanControl& Scan() const { return *scan_; }
  TReportOutput& Output() const { return *output_; }
  TScanFiles& ScanFiles() const { return *scanFiles_; }
  // A scan file to open once the window is first shown (vorntools --open).
  void OpenAtStart(const QString& path) { openAtStart_ = path; }
  TFilesPane* FilesPane() const { return filesPane_; }
  // Shows a file of the report: its folder's line selected in the tree
  // (the nearest line above it when the folder has none), and the file
  // selected in the Files pane, which is shown. False when no line holds it.
  bool GoToFile(const std::string& folderPath, const std::string& rawName);
  // The report compared with an earlier scan (View > Compare With...).
  TReportComparison& Comparison() const { return *comparison_; }
  // Compares the report with `baseline`, made off the interface thread;
  // `source` says where it came from.
  void CompareWith(std::shared_ptr<const TScanDocument> baseline, const QString& source);
  // The colour of each file type, shared by the views that draw files.
  TTypeColours& TypeColours() const { return *typeColours_; }
  TReportModel* Model() const;
  // The node a view index stands for, and back (see TReportViews).
  TTreeNode* NodeAt(const QModelIndex& viewIndex) const;
  QModelIndex ViewIndexOf(TTreeNode* node, int column = 0) const;
  TUsageDialog* UsageDialog() const;
  TUsageWizard* UsageWizard() const;
  bool Scanning() const;
  QString StatusText() const;
  // A notice shown over the status line for a moment (e.g. "scan running").
  QString StatusNotice() const;
  QColor FontColor() const;
  QPrinter& Printer();
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
  // The start page while the report is empty, the report's views otherwise.
  QStackedWidget* Pages1 = nullptr;
  TStartPage* StartPage1 = nullptr;

  // Command handlers of the window itself, as the menu calls them; the
  // others go straight to the part of the window they belong to.
  void New1Click();
  void Dialog1Click();
  void Wizard1Click();
  void LoadConfiguration1Click();
  void SaveConfiguration1Click();
  void DeleteConfiguration1Click();
  void Exit1Click();
  void Sort1Click();
  void Expand1Click();
  void Contract1Click();
  void Font1Click();
  void Problems1Click();
  void Help2Click();
  void About1Click();
  void FormActivate();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildWindow();
  void BuildMenu();
  QAction* AddItem(QMenu* menu, const char* name, const QString& caption,
                   const QKeySequence& shortcut = {});
  void RestoreAtStart();
  // The start page when there is no report and no scan runs, else the report.
  void ShowStartPageIfEmpty();
  // A first window without a stored place takes a good part of the screen.
  void SizeForScreen();
  void FormDestroy();

  // Declared before the parts that refer to it, so it goes after them.
  TReportTree tree_;
  std::unique_ptr<TReportViews> views_;
  std::unique_ptr<TScanControl> scan_;
  std::unique_ptr<TReportOutput> output_;
  std::unique_ptr<TNodeCommands> nodeCommands_;
  TFilesPane* filesPane_ = nullptr;          // a child of the window, gone before the parts above
  TTypeColours* typeColours_ = nullptr;      // a child of the window
  TScanFiles* scanFiles_ = nullptr;          // a child of the window
  TReportComparison* comparison_ = nullptr;  // a child of the window
  QString openAtStart_;
  QMenu* viewMenu_ = nullptr;
  bool activated_ = false;
  bool docksRestored_ = false;  // the panes' places came from the settings
};
