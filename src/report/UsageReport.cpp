#include "report/UsageReport.h"

#include <QAction>
#include <QByteArray>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDockWidget>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTextEdit>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <exception>
#include <utility>

#include "dialogs/About.h"
#include "dialogs/DialogCommon.h"
#include "dialogs/ShowHelp.h"
#include "dialogs/UsageDialog.h"
#include "dialogs/UsageWizard.h"
#include "report/FileAgesPane.h"
#include "report/FileTypesPane.h"
#include "report/FilesPane.h"
#include "report/FindWindow.h"
#include "report/FontDialog.h"
#include "report/LargestFilesPane.h"
#include "report/NodeCommands.h"
#include "report/ProblemsWindow.h"
#include "report/ReportComparison.h"
#include "report/ReportModel.h"
#include "report/ReportOutput.h"
#include "report/ReportViews.h"
#include "report/ScanControl.h"
#include "report/ScanFiles.h"
#include "report/StartPage.h"
#include "report/TreemapView.h"
#include "report/TypeColours.h"
#include "scan/ScanDocument.h"

namespace {
// A stored list of whole numbers ("120,80"), those below `least` left out:
// a damaged value gives fewer numbers, which the caller ignores.
QList<int> PositiveNumbers(const QString& text, int least = 1) {
  QList<int> numbers;
  for (const QString& part : text.split(',')) {
    bool ok = false;
    const int number = part.trimmed().toInt(&ok);
    if (ok && number >= least) numbers << number;
  }
  return numbers;
}
}  // namespace

TUsageReport::TUsageReport(QWidget* owner, const QString& root) : TMyReport(owner, root, "Usage") {
  setObjectName("UsageReport");
  BuildWindow();
  Wizard = new TUsageWizard(this, root);
  Dialog = new TUsageDialog(this, root);
  SizeForScreen();
  RestoreAtStart();
  setWindowTitle(CaptionFor("Usage Report", IniFile->SettingsRoot()));
  ShowStartPageIfEmpty();
}

TUsageReport::~TUsageReport() {
  FormDestroy();
  // The parts go before the tree they refer to, the views last, as they
  // take the model off the tree view; the Files pane, which follows the
  // views and the scans, first.
  delete filesPane_;
  filesPane_ = nullptr;
  nodeCommands_.reset();
  output_.reset();
  scan_.reset();
  views_.reset();
}

void TUsageReport::RestoreAtStart() {
  try {
    RestoreAll();
  } catch (const std::exception& e) {
    // A damaged store must not keep the program from starting: what could
    // not be read keeps its design value.
    ReportError(e);
  }
}

void TUsageReport::SizeForScreen() {
  // Only when nothing was stored: a stored place is the user's own.
  if (IniFile->ReadText(Section, "Width", QString()).isEmpty() &&
      QGuiApplication::primaryScreen()) {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    SetFrameWidth(std::min(area.width(), std::max(800, area.width() * 3 / 5)));
    SetFrameHeight(std::min(area.height(), std::max(600, area.height() * 3 / 4)));
  }
}

void TUsageReport::ShowStartPageIfEmpty() {
  const bool empty = tree_.TopLevelCount() == 0 && !scan_->Scanning();
  QWidget* page = empty ? static_cast<QWidget*>(StartPage1) : Splitter1;
  if (Pages1->currentWidget() == page) return;
  if (empty) StartPage1->Refresh();
  Pages1->setCurrentWidget(page);
}

void TUsageReport::FormDestroy() {
  try {
    SaveForm();
  } catch (const std::exception& e) {
    ReportError(e);
  }
}

// ---------------------------------------------------------------- window

void TUsageReport::BuildWindow() {
  setFont(DesignFont());
  SetFrameLeft(200);
  SetFrameTop(110);
  SetFrameWidth(491);
  SetFrameHeight(355);
  // Panes may be docked beside each other and in tabs, as in other programs.
  setDockNestingEnabled(true);

  MainMenu1 = new QMenuBar(this);
  MainMenu1->setObjectName("MainMenu1");
  setMenuBar(MainMenu1);

  views_ = std::make_unique<TReportViews>(tree_, this);
  Splitter1 = views_->Splitter();
  resultField = views_->TreeView();
  Treemap1 = views_->Treemap();
  Pages1 = new QStackedWidget(this);
  Pages1->setObjectName("Pages1");
  setCentralWidget(Pages1);

  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName("StatusBar1");
  setStatusBar(StatusBar1);

  ProblemsWindow = new TProblemsWindow(this);
  scan_ =
      std::make_unique<TScanControl>(*this, tree_, *views_->Model(), *StatusBar1, *ProblemsWindow);
  connect(ProblemsWindow, &TProblemsWindow::PathChosen, this, [this](const std::string& path) {
    if (TTreeNode* line = tree_.LineOf(path)) views_->SelectNode(line);
    raise();
    activateWindow();
  });

  output_ = std::make_unique<TReportOutput>(*this, tree_);
  output_->SetScanTime([this] {
    const auto& documents = scan_->Documents();
    if (documents.empty()) return QDateTime();
    // The scan that made the report; rescans since are parts of it.
    return QDateTime::fromSecsSinceEpoch(
        std::chrono::system_clock::to_time_t(documents.front()->Started()));
  });
  RichEdit1 = output_->PrintText();
  output_->SetFont(resultField->font());

  FontDialog1 = new TFontDialog(this);
  FontDialog1->setObjectName("FontDialog1");
  FontDialog1->SetFont(resultField->font());

  scanFiles_ = new TScanFiles(*this);
  comparison_ = new TReportComparison(*this);
  BuildMenu();
  nodeCommands_ = std::make_unique<TNodeCommands>(*this, tree_, *views_, *scan_);
  StartPage1 = new TStartPage(*this);
  Pages1->addWidget(StartPage1);
  Pages1->addWidget(Splitter1);
  Pages1->setCurrentWidget(Splitter1);
  // Whatever empties or fills the report: a scan, New, a rescan, a file opened.
  TReportModel* model = views_->Model();
  for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved}) {
    connect(model, signal, this, [this] { ShowStartPageIfEmpty(); });
  }
  connect(model, &QAbstractItemModel::modelReset, this, [this] { ShowStartPageIfEmpty(); });
  connect(model, &QAbstractItemModel::layoutChanged, this, [this] { ShowStartPageIfEmpty(); });
  connect(scan_.get(), &TScanControl::ScanningChanged, this, [this] { ShowStartPageIfEmpty(); });
  typeColours_ = new TTypeColours(this);
  Treemap1->ShowFiles(*scan_, *typeColours_);
  connect(views_.get(), &TReportViews::TreemapFileClicked, this,
          [this](const std::string& folderPath, const std::string& rawName) {
            GoToFile(folderPath, rawName);
          });
  filesPane_ = new TFilesPane(*this, *views_, *scan_);
  AddPane(filesPane_, Qt::BottomDockWidgetArea);
  auto* largest = new TLargestFilesPane(*this);
  AddPane(largest, Qt::BottomDockWidgetArea);
  tabifyDockWidget(filesPane_, largest);
  auto* types = new TFileTypesPane(*this);
  AddPane(types, Qt::RightDockWidgetArea);
  auto* ages = new TFileAgesPane(*this, *largest);
  AddPane(ages, Qt::RightDockWidgetArea);
  // Shown from the View menu; a saved layout brings them back as they were.
  for (QDockWidget* pane : std::initializer_list<QDockWidget*>{largest, types, ages}) pane->hide();
}

QAction* TUsageReport::AddItem(QMenu* menu, const char* name, const QString& caption,
                               const QKeySequence& shortcut) {
  auto* action = new QAction(caption, this);
  action->setObjectName(name);
  action->setShortcut(shortcut);
  menu->addAction(action);
  addAction(action);  // shortcuts act wherever the focus is in the window
  return action;
}

void TUsageReport::BuildMenu() {
  auto separator = [](QMenu* menu, const char* name) { menu->addSeparator()->setObjectName(name); };
  auto item = [this](QMenu* menu, const char* name, const QString& caption, auto* receiver,
                     auto handler, const QKeySequence& shortcut = {}) {
    QAction* action = AddItem(menu, name, caption, shortcut);
    connect(action, &QAction::triggered, receiver, handler);
    return action;
  };
  TReportOutput* output = output_.get();
  TReportViews* views = views_.get();

  QMenu* file = MainMenu1->addMenu("&File");
  file->setObjectName("File1");
  file->menuAction()->setObjectName("File1Item");
  item(file, "New1", "&New...", this, &TUsageReport::New1Click);
  item(file, "SaveAs1", "Save &As...", output, &TReportOutput::SaveAs,
       QKeySequence(Qt::CTRL | Qt::Key_S));
  separator(file, "N8");
  item(file, "OpenScan1", "&Open Scan...", scanFiles_, &TScanFiles::OpenScan,
       QKeySequence(Qt::CTRL | Qt::Key_O));
  item(file, "ExportScan1", "&Export Scan...", scanFiles_, &TScanFiles::ExportScan);
  separator(file, "N5");
  item(file, "Dialog1", "&Dialog...", this, &TUsageReport::Dialog1Click, QKeySequence(Qt::Key_F5));
  item(file, "Wizard1", "&Wizard...", this, &TUsageReport::Wizard1Click, QKeySequence(Qt::Key_F6));
  separator(file, "N1");
  item(file, "SetupPrinter1", "Setup Printer...", output, &TReportOutput::SetupPrinter);
  item(file, "Print1", "&Print...", output, &TReportOutput::Print,
       QKeySequence(Qt::CTRL | Qt::Key_P));
  separator(file, "N6");
  item(file, "LoadConfiguration1", "Load Configuration...", this,
       &TUsageReport::LoadConfiguration1Click);
  item(file, "SaveConfiguration1", "Save Configuration...", this,
       &TUsageReport::SaveConfiguration1Click);
  item(file, "DeleteConfiguration1", "De&lete Configuration...", this,
       &TUsageReport::DeleteConfiguration1Click);
  separator(file, "N7");
  item(file, "Exit1", "E&xit", this, &TUsageReport::Exit1Click, QKeySequence(Qt::CTRL | Qt::Key_Q));

  QMenu* edit = MainMenu1->addMenu("&Edit");
  edit->setObjectName("Edit1");
  item(edit, "Sort1", "&Sort", this, &TUsageReport::Sort1Click);
  const auto find = [this] { TFindWindow::Open(*this); };
  item(edit, "Find1", "F&ind...", this, find, QKeySequence(Qt::CTRL | Qt::Key_F));
  separator(edit, "N2");
  // Cut, Copy and Paste have their keys but no action: the keys are taken
  // here so the tree does not act on them either.
  AddItem(edit, "Cut1", "Cut", QKeySequence(Qt::CTRL | Qt::Key_X));
  AddItem(edit, "Copy1", "Copy", QKeySequence(Qt::CTRL | Qt::Key_C));
  AddItem(edit, "Paste1", "Paste", QKeySequence(Qt::CTRL | Qt::Key_V));
  separator(edit, "N4");
  item(edit, "Expand1", "&Expand", this, &TUsageReport::Expand1Click);
  item(edit, "Contract1", "&Contract", this, &TUsageReport::Contract1Click);
  separator(edit, "N3");
  item(edit, "Font1", "&Font...", this, &TUsageReport::Font1Click);

  viewMenu_ = MainMenu1->addMenu("&View");
  viewMenu_->setObjectName("View1");
  QAction* bars = item(viewMenu_, "ShareBars1", "Share &Bars", views, &TReportViews::ShowShareBars);
  bars->setCheckable(true);
  bars->setChecked(true);
  views->SetShareBarsAction(bars);
  QAction* treemap = item(viewMenu_, "Treemap1", "&Treemap", views, &TReportViews::ShowTreemap,
                          QKeySequence(Qt::Key_F7));
  treemap->setCheckable(true);
  QAction* largest =
      item(viewMenu_, "LargestFirst1", "&Largest First", views, &TReportViews::SetLargestFirst);
  largest->setCheckable(true);
  // A click on a header changes the order too.
  connect(views, &TReportViews::SortChanged, largest,
          [largest, views] { largest->setChecked(views->LargestFirst()); });
  item(viewMenu_, "Problems1", "&Problems...", this, &TUsageReport::Problems1Click);
  separator(viewMenu_, "N8");
  item(viewMenu_, "CompareWith1", "&Compare With...", comparison_, &TReportComparison::Choose);
  QAction* byChange = item(viewMenu_, "ColourByChange1", "C&olour by Change", Treemap1,
                           &TTreemapView::ColourByChange);
  byChange->setCheckable(true);
  comparison_->SetColourAction(byChange);

  // An item of the bar itself: it acts when clicked.
  auto* stop = new QAction("&Stop", this);
  stop->setObjectName("Stop1");
  connect(stop, &QAction::triggered, scan_.get(), &TScanControl::Stop);
  MainMenu1->addAction(stop);

  QMenu* help = MainMenu1->addMenu("&Help");
  help->setObjectName("Help1");
  item(help, "Help2", "&Help...", this, &TUsageReport::Help2Click, QKeySequence(Qt::Key_F1));
  item(help, "About1", "&About...", this, &TUsageReport::About1Click);
}

void TUsageReport::AddPane(QDockWidget* pane, Qt::DockWidgetArea area) {
  if (!restoreDockWidget(pane)) addDockWidget(area, pane);
  viewMenu_->addAction(pane->toggleViewAction());
}

bool TUsageReport::GoToFile(const std::string& folderPath, const std::string& rawName) {
  // The deepest line whose folder is the file's folder or above it.
  TTreeNode* best = nullptr;
  std::size_t bestLength = 0;
  for (std::size_t i = 0; i < tree_.TopLevelCount(); ++i) {
    std::vector<TTreeNode*> pending{tree_.TopLevel(i)};
    while (!pending.empty()) {
      TTreeNode* node = pending.back();
      pending.pop_back();
      const std::string path = TReportTree::PathOf(node);
      if (path.empty()) continue;
      const bool same = path == folderPath;
      const bool above = folderPath.compare(0, path.size(), path) == 0 &&
                         (path.back() == '/' || folderPath[path.size()] == '/');
      if (!same && !above) continue;
      if (path.size() >= bestLength) {
        best = node;
        bestLength = path.size();
      }
      for (std::size_t c = 0; c < node->ChildCount(); ++c) pending.push_back(node->Child(c));
    }
  }
  if (!best) return false;
  views_->SelectNode(best);
  filesPane_->show();
  filesPane_->raise();
  filesPane_->ShowFolder(best);
  if (TReportTree::PathOf(best) == folderPath) filesPane_->SelectFile(rawName);
  return true;
}

void TUsageReport::CompareWith(std::shared_ptr<const TScanDocument> baseline,
                               const QString& source) {
  comparison_->CompareWith(std::move(baseline), source);
}

QAction* TUsageReport::FindAction(const QString& objectName) const {
  return findChild<QAction*>(objectName);
}

TUsageDialog* TUsageReport::UsageDialog() const {
  return static_cast<TUsageDialog*>(Dialog);
}

TUsageWizard* TUsageReport::UsageWizard() const {
  return static_cast<TUsageWizard*>(Wizard);
}

TReportModel* TUsageReport::Model() const {
  return views_->Model();
}

TTreeNode* TUsageReport::NodeAt(const QModelIndex& viewIndex) const {
  return views_->NodeAt(viewIndex);
}

QModelIndex TUsageReport::ViewIndexOf(TTreeNode* node, int column) const {
  return views_->ViewIndexOf(node, column);
}

bool TUsageReport::Scanning() const {
  return scan_->Scanning();
}

QString TUsageReport::StatusText() const {
  return scan_->StatusText();
}

QString TUsageReport::StatusNotice() const {
  return scan_->StatusNotice();
}

QColor TUsageReport::FontColor() const {
  return views_->FontColor();
}

QPrinter& TUsageReport::Printer() {
  return output_->Printer();
}

QString TUsageReport::DefaultSaveName() const {
  return output_->DefaultSaveName();
}

// ---------------------------------------------------------------- settings

void TUsageReport::ReadSettings() {
  TMyReport::ReadSettings();
  ReadStep([this] {
    IniFile->ReadTreeView(Section, "1", tree_);
    // The lines read back are no scan's.
    scan_->ForgetDocuments();
  });
  ReadStep([this] {
    FindAction("ShareBars1")->setChecked(IniFile->ReadFlag(Section, "MenuItem-1", true));
    FindAction("Treemap1")->setChecked(IniFile->ReadFlag(Section, "MenuItem-2", false));
    FindAction("LargestFirst1")->setChecked(IniFile->ReadFlag(Section, "MenuItem-3", false));
    views_->ShowShareBars(FindAction("ShareBars1")->isChecked());
    views_->ShowTreemap(FindAction("Treemap1")->isChecked());
    views_->SetLargestFirst(FindAction("LargestFirst1")->isChecked());
    views_->SetTreemapSizes(PositiveNumbers(IniFile->ReadText(Section, "Splitter-1", "")),
                            isVisible());
  });
  ReadStep([this] {
    views_->ShowColumn(TReportModel::kSizeColumn, IniFile->ReadFlag(Section, "MenuItem-4", true));
    views_->ShowColumn(TReportModel::kFilesColumn, IniFile->ReadFlag(Section, "MenuItem-5", true));
    views_->ShowColumn(TReportModel::kModifiedColumn,
                       IniFile->ReadFlag(Section, "MenuItem-6", true));
    views_->SetColumnWidths(PositiveNumbers(IniFile->ReadText(Section, "Header-1", "")));
    // The column the view is sorted by and the direction (1: descending);
    // none stored leaves the order Largest First gave.
    const QList<int> sort = PositiveNumbers(IniFile->ReadText(Section, "Sort-1", ""), 0);
    if (sort.size() == 2 && sort[0] < TReportModel::kChangeColumn && sort[1] <= 1) {
      views_->SortBy(sort[0], sort[1] == 1 ? Qt::DescendingOrder : Qt::AscendingOrder);
    }
  });
  ReadStep([this] {
    // Where the panes are and which are shown; a damaged layout is left
    // out, and the panes keep the places they are given.
    const QByteArray::FromBase64Result layout =
        QByteArray::fromBase64Encoding(IniFile->ReadText(Section, "Docks-1", "").toLatin1(),
                                       QByteArray::AbortOnBase64DecodingErrors);
    if (layout && !layout.decoded.isEmpty()) docksRestored_ = restoreState(layout.decoded);
  });
  ReadStep([this] {
    QFont font = resultField->font();
    IniFile->ReadFont(Section, "Font-1", font);
    views_->SetFont(font);
    FontDialog1->SetFont(font);
    FontDialog1->SetColor(views_->FontColor());
    output_->SetFont(font);
  });
}

void TUsageReport::WriteSettings() {
  TMyReport::WriteSettings();
  IniFile->WriteTreeView(Section, "1", tree_);
  IniFile->WriteFont(Section, "Font-1", resultField->font());
  IniFile->WriteFlag(Section, "MenuItem-1", FindAction("ShareBars1")->isChecked());
  IniFile->WriteFlag(Section, "MenuItem-2", FindAction("Treemap1")->isChecked());
  IniFile->WriteFlag(Section, "MenuItem-3", FindAction("LargestFirst1")->isChecked());
  IniFile->WriteFlag(Section, "MenuItem-4", views_->ColumnShown(TReportModel::kSizeColumn));
  IniFile->WriteFlag(Section, "MenuItem-5", views_->ColumnShown(TReportModel::kFilesColumn));
  IniFile->WriteFlag(Section, "MenuItem-6", views_->ColumnShown(TReportModel::kModifiedColumn));
  const QList<int> widths = views_->ColumnWidths();
  if (widths.size() == 3) {
    IniFile->WriteText(Section, "Header-1",
                       QString("%1,%2,%3").arg(widths[0]).arg(widths[1]).arg(widths[2]));
  }
  IniFile->WriteText(Section, "Sort-1",
                     views_->SortColumn() < 0
                         ? QString()
                         : QString("%1,%2")
                               .arg(views_->SortColumn())
                               .arg(views_->SortOrder() == Qt::DescendingOrder ? 1 : 0));
  const QList<int> sizes = views_->TreemapSizes();
  if (sizes.size() == 2) {
    IniFile->WriteText(Section, "Splitter-1", QString("%1,%2").arg(sizes[0]).arg(sizes[1]));
  }
  IniFile->WriteText(Section, "Docks-1", QString::fromLatin1(saveState().toBase64()));
}

// ---------------------------------------------------------------- events

void TUsageReport::showEvent(QShowEvent* event) {
  TMyReport::showEvent(event);
  if (!activated_) {
    activated_ = true;
    views_->ApplyTreemapSizes();
    // Without a saved layout the Files pane takes what it asks for, which
    // leaves the report a few lines in a window of the design size.
    if (!docksRestored_) resizeDocks({filesPane_}, {height() / 3}, Qt::Vertical);
    // Once per run, after the window is on screen.
    QTimer::singleShot(0, this, &TUsageReport::FormActivate);
  }
}

void TUsageReport::closeEvent(QCloseEvent* event) {
  // The scan refers to the window: it closes when the scan has ended.
  if (scan_->DeferClose()) {
    event->ignore();
    return;
  }
  TMyReport::closeEvent(event);
}

void TUsageReport::FormActivate() {
  // A scan file named at start takes the place of the starting dialog.
  if (!openAtStart_.isEmpty()) {
    scanFiles_->Open(std::exchange(openAtStart_, QString()));
    scan_->CloseIfPending();
    return;
  }
  Command([this] {
    if (!scan_->Scanning() && UsageDialog()->startWithDialog->isChecked()) RunDialog();
  });
  scan_->CloseIfPending();
}

// ---------------------------------------------------------------- commands

void TUsageReport::ScanFromDialog() {
  RunScan(UsageDialog()->TakeScanOptions());
}

void TUsageReport::ScanFromWizard() {
  RunScan(UsageWizard()->ScanOptions());
}

void TUsageReport::RunScan(const UsageOptions& options) {
  scan_->RunScan(options);
}

void TUsageReport::New1Click() {
  if (scan_->RefusedWhileScanning()) return;
  Command([this] {
    while (tree_.TopLevelCount() > 0) tree_.Delete(tree_.TopLevel(0));
    scan_->ForgetDocuments();
  });
}

void TUsageReport::Problems1Click() {
  ProblemsWindow->show();
  ProblemsWindow->raise();
  ProblemsWindow->activateWindow();
}

void TUsageReport::Dialog1Click() {
  if (scan_->RefusedWhileScanning()) return;
  Command([this] { RunDialog(); });
  scan_->CloseIfPending();
}

void TUsageReport::Wizard1Click() {
  if (scan_->RefusedWhileScanning()) return;
  Command([this] { RunWizard(); });
  scan_->CloseIfPending();
}

void TUsageReport::LoadConfiguration1Click() {
  if (scan_->RefusedWhileScanning()) return;
  Command([this] { LoadConfiguration(); });
}

void TUsageReport::SaveConfiguration1Click() {
  Command([this] { SaveConfiguration(); });
}

void TUsageReport::DeleteConfiguration1Click() {
  Command([this] { DeleteConfiguration(); });
}

void TUsageReport::SetConfiguration(const QString& name) {
  TMyReport::SetConfiguration(name);
  setWindowTitle(CaptionFor("Usage Report", IniFile->SettingsRoot()));
}

void TUsageReport::Exit1Click() {
  close();
}

void TUsageReport::Sort1Click() {
  Command([this] {
    setCursor(Qt::WaitCursor);
    struct Arrow {
      QWidget* window;
      ~Arrow() { window->unsetCursor(); }
    } arrow{this};
    tree_.SortByLabel();
  });
}

void TUsageReport::Expand1Click() {
  if (TTreeNode* node = tree_.Selected()) tree_.Expand(node);
}

void TUsageReport::Contract1Click() {
  if (TTreeNode* node = tree_.Selected()) tree_.Collapse(node);
}

void TUsageReport::Font1Click() {
  Command([this] { ChangeFont(); });
}

void TUsageReport::Help2Click() {
  Command([] { ShowHelp(); });
}

void TUsageReport::About1Click() {
  Command([] { ShowAbout("Usage Vorntool", VORNTOOLS_VERSION); });
}

TFontDialog* TUsageReport::GetFontDialog() {
  return FontDialog1;
}

void TUsageReport::ApplyFont(const QFont& font, const QColor& color) {
  views_->ApplyFont(font, color);
  output_->ApplyFont(font, color);
}
