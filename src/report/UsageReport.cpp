#include "report/UsageReport.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QDirIterator>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyle>
#include <QStyleFactory>
#include <QTemporaryFile>
#include <QTextEdit>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>
#include <functional>

#include "dialogs/About.h"
#include "dialogs/DialogCommon.h"
#include "dialogs/ErrorBox.h"
#include "dialogs/ModalHook.h"
#include "dialogs/ShowHelp.h"
#include "dialogs/UsageDialog.h"
#include "dialogs/UsageWizard.h"
#include "report/FontDialog.h"
#include "report/ProblemsWindow.h"
#include "report/ReportModel.h"
#include "report/ReportPrint.h"
#include "report/ReportSortModel.h"
#include "report/ShareBars.h"
#include "report/StatusText.h"
#include "report/TreemapView.h"
#include "scan/Errors.h"
#include "scan/IntegerText.h"
#include "scan/SafeFile.h"
#include "scan/UsageDirectory.h"
#include "settings/HistoryBox.h"

namespace {
// Interface events are handled at most this often during a scan: often
// enough for Stop and repaints to feel immediate, rarely enough that the
// status line's repaint does not slow the walk.
constexpr qint64 kPumpIntervalNs = 10'000'000;

const char* const kScanRunning = "A scan is running: choose Stop or wait for it to end";
const char* const kCloseAfterScan = "The window closes when the scan has ended";
constexpr int kNoticeMs = 4000;
const char* const kNoPath =
    "No folder path can be made from this line: the report may come "
    "from another computer";
const char* const kNotFound = "Folder not found on this computer: %1";

QFont DesignReportFont() {
  QFont font("Courier New", 10);
  font.setStyleHint(QFont::TypeWriter);  // a fixed-pitch stand-in where it is missing
  return font;
}

// Clears the scan state however the scan ends.
struct TScanState {
  bool& scanning;
  TUsageDirectory*& walker;
  TReportModel& model;
  std::function<void()> ended;  // after the rest
  ~TScanState() {
    walker = nullptr;
    scanning = false;
    model.SetBatching(false);
    ended();
  }
};
}  // namespace

TUsageReport::TUsageReport(QWidget* owner, const QString& root) : TMyReport(owner, root, "Usage") {
  setObjectName("UsageReport");
  BuildWindow();
  Wizard = new TUsageWizard(this, root);
  ProblemsWindow = new TProblemsWindow(this);
  Dialog = new TUsageDialog(this, root);
  RestoreAtStart();
}

TUsageReport::~TUsageReport() {
  FormDestroy();
  // The model refers to the tree, which goes before the window's children do.
  resultField->setModel(nullptr);
  delete model_;
  model_ = nullptr;
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

void TUsageReport::FormDestroy() {
  try {
    SaveForm();
  } catch (const std::exception& e) {
    ReportError(e);
  }
}

// ---------------------------------------------------------------- window

void TUsageReport::BuildWindow() {
  setWindowTitle("Usage Report");
  // A main window: minimise and maximise boxes, no dialog frame.
  setWindowFlags(Qt::Window);
  setFont(DesignFont());
  SetFrameLeft(200);
  SetFrameTop(110);
  SetFrameWidth(491);
  SetFrameHeight(355);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  MainMenu1 = new QMenuBar(this);
  MainMenu1->setObjectName("MainMenu1");
  layout->setMenuBar(MainMenu1);

  resultField = new QTreeView(this);
  resultField->setObjectName("resultField");
  resultField->setHeaderHidden(true);
  resultField->setUniformRowHeights(true);
  resultField->setIndentation(19);
  resultField->setRootIsDecorated(true);
  resultField->setEditTriggers(QAbstractItemView::SelectedClicked |
                               QAbstractItemView::EditKeyPressed);
  resultField->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  // Wide labels scroll sideways instead of being cut; measuring a bounded
  // number of rows keeps that cheap on a large report.
  resultField->header()->setStretchLastSection(false);
  resultField->header()->setResizeContentsPrecision(256);
  // The share bars take the room the labels leave, down to a readable width.
  resultField->header()->setMinimumSectionSize(170);
  // The classic style draws the dotted lines between nodes.
  if (QStyle* lines = QStyleFactory::create("Windows")) {
    lines->setParent(resultField);
    resultField->setStyle(lines);
  }
  resultField->setFont(DesignReportFont());
  QPalette palette = resultField->palette();
  palette.setColor(QPalette::Text, fontColor_);
  resultField->setPalette(palette);
  Splitter1 = new QSplitter(Qt::Vertical, this);
  Splitter1->setObjectName("Splitter1");
  Splitter1->setChildrenCollapsible(false);
  Splitter1->addWidget(resultField);
  Treemap1 = new TTreemapView(tree_, Splitter1);
  Treemap1->setFont(DesignFont());
  Splitter1->addWidget(Treemap1);
  Treemap1->hide();
  layout->addWidget(Splitter1, 1);
  connect(Treemap1, &TTreemapView::NodeClicked, this, &TUsageReport::SelectFromTreemap);
  connect(Treemap1, &TTreemapView::ContextMenuRequested, this, &TUsageReport::TreemapMenu);

  model_ = new TReportModel(tree_);
  resultField->setModel(model_);
  SetUpView();
  resultField->setItemDelegateForColumn(TReportModel::kShareColumn,
                                        new TShareBarDelegate(resultField));
  connect(model_, &TReportModel::NodeExpandedChanged, resultField,
          [this](const QModelIndex& index, bool expanded) {
            resultField->setExpanded(ViewIndexOf(model_->NodeOf(index)), expanded);
          });
  connect(resultField, &QTreeView::expanded, this, [this](const QModelIndex& index) {
    if (TTreeNode* node = NodeAt(index)) tree_.NoteExpanded(node, true);
  });
  connect(resultField, &QTreeView::collapsed, this, [this](const QModelIndex& index) {
    if (TTreeNode* node = NodeAt(index)) tree_.NoteExpanded(node, false);
  });

  resultField->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(resultField, &QWidget::customContextMenuRequested, this, &TUsageReport::TreeMenu);
  // The Menu key and Shift+F10 open the menu at the current line.
  for (const QKeySequence& key :
       {QKeySequence(Qt::Key_Menu), QKeySequence(Qt::SHIFT | Qt::Key_F10)}) {
    auto* shortcut = new QShortcut(key, resultField, nullptr, nullptr, Qt::WidgetShortcut);
    connect(shortcut, &QShortcut::activated, this, &TUsageReport::TreeMenuFromKey);
  }

  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName("StatusBar1");
  status_ = new TStatusText(StatusBar1);
  StatusBar1->addWidget(status_, 1);
  layout->addWidget(StatusBar1);

  RichEdit1 = new QTextEdit(this);
  RichEdit1->setObjectName("RichEdit1");
  RichEdit1->setPlainText("RichEdit1");
  RichEdit1->setFont(resultField->font());
  RichEdit1->hide();

  FontDialog1 = new TFontDialog(this);
  FontDialog1->setObjectName("FontDialog1");
  FontDialog1->SetFont(resultField->font());

  BuildMenu();
  UpdateNodeActions(nullptr);
}

void TUsageReport::SetUpView() {
  // A new model on the view brings a new header and selection model.
  resultField->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  resultField->header()->setSectionResizeMode(TReportModel::kShareColumn, QHeaderView::Stretch);
  connect(resultField->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) {
            TTreeNode* node = NodeAt(current);
            tree_.SetSelected(node);
            UpdateNodeActions(node);
            // The treemap draws what is chosen in the tree; a click in the
            // treemap itself only points at a node.
            if (!selectingFromTreemap_) Treemap1->SetRoot(node);
          });
}

TTreeNode* TUsageReport::NodeAt(const QModelIndex& viewIndex) const {
  return largest_ ? largest_->NodeOf(viewIndex) : model_->NodeOf(viewIndex);
}

QModelIndex TUsageReport::ViewIndexOf(TTreeNode* node, int column) const {
  return largest_ ? largest_->IndexOf(node, column) : model_->IndexOf(node, column);
}

QAction* TUsageReport::AddItem(QMenu* menu, const char* name, const QString& caption,
                               const QKeySequence& shortcut, void (TUsageReport::*handler)()) {
  auto* action = new QAction(caption, this);
  action->setObjectName(name);
  action->setShortcut(shortcut);
  if (handler) connect(action, &QAction::triggered, this, handler);
  menu->addAction(action);
  addAction(action);  // shortcuts act wherever the focus is in the window
  return action;
}

void TUsageReport::BuildMenu() {
  auto separator = [](QMenu* menu, const char* name) { menu->addSeparator()->setObjectName(name); };
  const QKeySequence none;

  QMenu* file = MainMenu1->addMenu("&File");
  file->setObjectName("File1");
  file->menuAction()->setObjectName("File1Item");
  AddItem(file, "New1", "&New...", none, &TUsageReport::New1Click);
  AddItem(file, "SaveAs1", "Save &As...", none, &TUsageReport::SaveAs1Click);
  separator(file, "N5");
  AddItem(file, "Dialog1", "&Dialog...", QKeySequence(Qt::Key_F5), &TUsageReport::Dialog1Click);
  AddItem(file, "Wizard1", "&Wizard...", QKeySequence(Qt::Key_F6), &TUsageReport::Wizard1Click);
  separator(file, "N1");
  AddItem(file, "SetupPrinter1", "Setup Printer...", none, &TUsageReport::SetupPrinter1Click);
  AddItem(file, "Print1", "&Print...", none, &TUsageReport::Print1Click);
  separator(file, "N6");
  AddItem(file, "LoadConfiguration1", "Load Configuration...", none,
          &TUsageReport::LoadConfiguration1Click);
  AddItem(file, "SaveConfiguration1", "Save Configuration...", none,
          &TUsageReport::SaveConfiguration1Click);
  separator(file, "N7");
  AddItem(file, "Exit1", "E&xit", none, &TUsageReport::Exit1Click);

  QMenu* edit = MainMenu1->addMenu("&Edit");
  edit->setObjectName("Edit1");
  AddItem(edit, "Sort1", "&Sort", none, &TUsageReport::Sort1Click);
  separator(edit, "N2");
  // Cut, Copy and Paste have their keys but no action: the keys are taken
  // here so the tree does not act on them either.
  AddItem(edit, "Cut1", "Cut", QKeySequence(Qt::CTRL | Qt::Key_X), nullptr);
  AddItem(edit, "Copy1", "Copy", QKeySequence(Qt::CTRL | Qt::Key_C), nullptr);
  AddItem(edit, "Paste1", "Paste", QKeySequence(Qt::CTRL | Qt::Key_V), nullptr);
  separator(edit, "N4");
  AddItem(edit, "Expand1", "Expand", none, &TUsageReport::Expand1Click);
  AddItem(edit, "Contract1", "Contract", none, &TUsageReport::Contract1Click);
  separator(edit, "N3");
  AddItem(edit, "Font1", "&Font...", none, &TUsageReport::Font1Click);

  QMenu* view = MainMenu1->addMenu("&View");
  view->setObjectName("View1");
  QAction* bars = AddItem(view, "ShareBars1", "Share &Bars", none, &TUsageReport::ShareBars1Click);
  bars->setCheckable(true);
  bars->setChecked(true);
  QAction* treemap =
      AddItem(view, "Treemap1", "&Treemap", QKeySequence(Qt::Key_F7), &TUsageReport::Treemap1Click);
  treemap->setCheckable(true);
  QAction* largest =
      AddItem(view, "LargestFirst1", "&Largest First", none, &TUsageReport::LargestFirst1Click);
  largest->setCheckable(true);
  AddItem(view, "Problems1", "&Problems...", none, &TUsageReport::Problems1Click);

  // An item of the bar itself: it acts when clicked.
  auto* stop = new QAction("&Stop", this);
  stop->setObjectName("Stop1");
  connect(stop, &QAction::triggered, this, &TUsageReport::Stop1Click);
  MainMenu1->addAction(stop);

  // The node commands live in the context menus; the window holds them so
  // their keys act wherever the focus is in it.
  auto node = [this](const char* name, const QString& caption, const QKeySequence& shortcut,
                     void (TUsageReport::*handler)()) {
    auto* action = new QAction(caption, this);
    action->setObjectName(name);
    action->setShortcut(shortcut);
    connect(action, &QAction::triggered, this, handler);
    addAction(action);
  };
  node("OpenFolder1", "&Open in File Manager", none, &TUsageReport::OpenFolder1Click);
  node("CopyPath1", "&Copy Path", none, &TUsageReport::CopyPath1Click);
  node("RescanFolder1", "&Rescan Folder", QKeySequence(Qt::Key_F9),
       &TUsageReport::RescanFolder1Click);
  node("MoveToTrash1", "Move to &Trash...", QKeySequence(Qt::Key_Delete),
       &TUsageReport::MoveToTrash1Click);

  QMenu* help = MainMenu1->addMenu("&Help");
  help->setObjectName("Help1");
  AddItem(help, "Help2", "&Help...", QKeySequence(Qt::Key_F1), &TUsageReport::Help2Click);
  AddItem(help, "About1", "&About...", none, &TUsageReport::About1Click);
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

QString TUsageReport::StatusText() const {
  return status_->Text();
}

QString TUsageReport::StatusNotice() const {
  return StatusBar1->currentMessage();
}

// ---------------------------------------------------------------- settings

void TUsageReport::ReadSettings() {
  TMyReport::ReadSettings();
  ReadStep([this] { IniFile->ReadTreeView(Section, "1", tree_); });
  ReadStep([this] {
    FindAction("ShareBars1")->setChecked(IniFile->ReadFlag(Section, "MenuItem-1", true));
    FindAction("Treemap1")->setChecked(IniFile->ReadFlag(Section, "MenuItem-2", false));
    FindAction("LargestFirst1")->setChecked(IniFile->ReadFlag(Section, "MenuItem-3", false));
    ShareBars1Click();
    Treemap1Click();
    LargestFirst1Click();
    QList<int> sizes;
    for (const QString& part : IniFile->ReadText(Section, "Splitter-1", "").split(',')) {
      bool ok = false;
      const int size = part.toInt(&ok);
      if (ok && size > 0) sizes << size;
    }
    if (sizes.size() == 2) {
      splitterSizes_ = sizes;
      // Sizes given before the window is laid out would be shared out anew.
      if (isVisible()) Splitter1->setSizes(sizes);
    }
  });
  ReadStep([this] {
    QFont font = resultField->font();
    IniFile->ReadFont(Section, "Font-1", font);
    resultField->setFont(font);
    FontDialog1->SetFont(font);
    FontDialog1->SetColor(fontColor_);
    RichEdit1->setFont(font);
  });
}

void TUsageReport::WriteSettings() {
  TMyReport::WriteSettings();
  IniFile->WriteTreeView(Section, "1", tree_);
  IniFile->WriteFont(Section, "Font-1", resultField->font());
  IniFile->WriteFlag(Section, "MenuItem-1", FindAction("ShareBars1")->isChecked());
  IniFile->WriteFlag(Section, "MenuItem-2", FindAction("Treemap1")->isChecked());
  IniFile->WriteFlag(Section, "MenuItem-3", FindAction("LargestFirst1")->isChecked());
  // Sizes of a hidden pane are 0: keep the last ones it had on screen.
  const QList<int> sizes = Splitter1->sizes();
  if (!Treemap1->isHidden() && sizes.size() == 2 && sizes[1] > 0) splitterSizes_ = sizes;
  if (splitterSizes_.size() == 2) {
    IniFile->WriteText(Section, "Splitter-1",
                       QString("%1,%2").arg(splitterSizes_[0]).arg(splitterSizes_[1]));
  }
}

// ---------------------------------------------------------------- events

void TUsageReport::showEvent(QShowEvent* event) {
  TMyReport::showEvent(event);
  if (!activated_) {
    activated_ = true;
    if (!Treemap1->isHidden() && splitterSizes_.size() == 2) Splitter1->setSizes(splitterSizes_);
    // Once per run, after the window is on screen.
    QTimer::singleShot(0, this, &TUsageReport::FormActivate);
  }
}

void TUsageReport::closeEvent(QCloseEvent* event) {
  if (scanning_) {
    // The scan refers to the window: it closes when the scan has ended.
    closePending_ = true;
    StatusBar1->showMessage(kCloseAfterScan, kNoticeMs);
    event->ignore();
    return;
  }
  TMyReport::closeEvent(event);
}

void TUsageReport::keyPressEvent(QKeyEvent* event) {
  // The main window has no Cancel: Esc does not close it.
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    event->accept();
    return;
  }
  TMyReport::keyPressEvent(event);
}

void TUsageReport::FormActivate() {
  Command([this] {
    if (!scanning_ && UsageDialog()->startWithDialog->isChecked()) RunDialog();
  });
  CloseIfPending();
}

void TUsageReport::CloseIfPending() {
  if (closePending_ && !scanning_) {
    closePending_ = false;
    close();
  }
}

bool TUsageReport::RefusedWhileScanning() {
  if (!scanning_) return false;
  StatusBar1->showMessage(kScanRunning, kNoticeMs);
  return true;
}

// ---------------------------------------------------------------- scanning

void TUsageReport::ScanFromDialog() {
  RunScan(UsageDialog()->TakeScanOptions());
}

void TUsageReport::ScanFromWizard() {
  RunScan(UsageWizard()->ScanOptions());
}

void TUsageReport::BeginScan() {
  UpdateNodeActions(tree_.Selected());
  // The view sees the scan's changes each time the interface gets its turn.
  model_->SetBatching(true);
  pumpClock_.invalidate();
}

void TUsageReport::RunScan(const UsageOptions& options) {
  scanning_ = true;
  TScanState state{scanning_, UsageDirectory, *model_,
                   [this] { UpdateNodeActions(tree_.Selected()); }};
  BeginScan();
  ProblemsWindow->SetProblems({});
  lastOptions_ = options;
  ShowOutcome(RunUsageScan(options, tree_, this, this, &UsageDirectory));
}

void TUsageReport::RunRescan(TTreeNode* node) {
  const std::string folder = TReportTree::PathOf(node);
  scanning_ = true;
  TScanState state{scanning_, UsageDirectory, *model_,
                   [this] { UpdateNodeActions(tree_.Selected()); }};
  BeginScan();
  ScanOutcome outcome = RescanUsageFolder(node, lastOptions_, tree_, this, this, &UsageDirectory);
  if (outcome.stopped) return;  // the report and its problems stay as they were
  // The folder's old problems give way to its new ones; the others stay.
  const auto below = [&folder](const std::string& path) {
    if (path.compare(0, folder.size(), folder) != 0) return false;
    return path.size() == folder.size() || folder.back() == '/' || path[folder.size()] == '/';
  };
  std::vector<ScanProblem> problems;
  for (const ScanProblem& p : ProblemsWindow->Problems()) {
    if (!below(p.path)) problems.push_back(p);
  }
  for (ScanProblem& p : outcome.problems) problems.push_back(std::move(p));
  outcome.problems = std::move(problems);
  ShowOutcome(std::move(outcome));
}

void TUsageReport::ShowOutcome(ScanOutcome&& outcome) {
  const std::size_t count = outcome.problems.size();
  if (!outcome.stopped && count > 0) {
    ShowText("All Done (" + std::to_string(count) + (count == 1 ? " problem" : " problems") +
             ": View > Problems...)");
  }
  ProblemsWindow->SetProblems(std::move(outcome.problems));
}

void TUsageReport::ProcessMessages() {
  if (pumpClock_.isValid() && pumpClock_.nsecsElapsed() < kPumpIntervalNs) return;
  // The view catches up, and what the user changes meanwhile (a label
  // edited in place) is announced at once.
  model_->SetBatching(false);
  QCoreApplication::processEvents();
  model_->SetBatching(true);
  pumpClock_.start();
}

void TUsageReport::ShowText(const std::string& text) {
  status_->SetText(text);
}

// ---------------------------------------------------------------- commands

void TUsageReport::New1Click() {
  if (RefusedWhileScanning()) return;
  Command([this] {
    while (tree_.TopLevelCount() > 0) tree_.Delete(tree_.TopLevel(0));
  });
}

void TUsageReport::Problems1Click() {
  ProblemsWindow->show();
  ProblemsWindow->raise();
  ProblemsWindow->activateWindow();
}

void TUsageReport::Dialog1Click() {
  if (RefusedWhileScanning()) return;
  Command([this] { RunDialog(); });
  CloseIfPending();
}

void TUsageReport::Wizard1Click() {
  if (RefusedWhileScanning()) return;
  Command([this] { RunWizard(); });
  CloseIfPending();
}

void TUsageReport::LoadConfiguration1Click() {
  if (RefusedWhileScanning()) return;
  Command([this] { LoadConfiguration(); });
}

void TUsageReport::SaveConfiguration1Click() {
  Command([this] { SaveConfiguration(); });
}

void TUsageReport::Exit1Click() {
  close();
}

void TUsageReport::ShareBars1Click() {
  resultField->setColumnHidden(TReportModel::kShareColumn, !FindAction("ShareBars1")->isChecked());
}

void TUsageReport::Treemap1Click() {
  const bool shown = FindAction("Treemap1")->isChecked();
  if (!shown && !Treemap1->isHidden()) splitterSizes_ = Splitter1->sizes();
  Treemap1->setVisible(shown);
  if (shown && splitterSizes_.size() == 2) Splitter1->setSizes(splitterSizes_);
}

void TUsageReport::LargestFirst1Click() {
  const bool on = FindAction("LargestFirst1")->isChecked();
  if (on == (largest_ != nullptr)) return;
  QItemSelectionModel* oldSelection = resultField->selectionModel();
  TReportSortModel* oldProxy = largest_;
  largest_ = on ? new TReportSortModel(model_, this) : nullptr;
  if (largest_) {
    largest_->sort(TReportModel::kSizeColumn, Qt::DescendingOrder);
    resultField->setModel(largest_);
  } else {
    resultField->setModel(model_);
  }
  delete oldSelection;
  delete oldProxy;
  SetUpView();
  ShareBars1Click();
  // The view forgot what was open: the tree remembers it.
  std::vector<TTreeNode*> pending;
  for (std::size_t i = 0; i < tree_.TopLevelCount(); ++i) pending.push_back(tree_.TopLevel(i));
  while (!pending.empty()) {
    TTreeNode* node = pending.back();
    pending.pop_back();
    if (!node->Expanded()) continue;
    resultField->expand(ViewIndexOf(node));
    for (std::size_t i = 0; i < node->ChildCount(); ++i) pending.push_back(node->Child(i));
  }
  if (TTreeNode* selected = tree_.Selected()) {
    selectingFromTreemap_ = true;  // the treemap keeps its root
    resultField->setCurrentIndex(ViewIndexOf(selected));
    selectingFromTreemap_ = false;
    resultField->scrollTo(resultField->currentIndex());
  }
}

void TUsageReport::SelectFromTreemap(TTreeNode* node) {
  const QModelIndex index = ViewIndexOf(node);
  for (TTreeNode* p = node->Parent(); p; p = p->Parent()) resultField->expand(ViewIndexOf(p));
  selectingFromTreemap_ = true;
  resultField->setCurrentIndex(index);
  selectingFromTreemap_ = false;
  resultField->scrollTo(index);
}

void TUsageReport::TreemapMenu(TTreeNode* node, const QPoint& globalPos) {
  QMenu menu(this);
  menu.setObjectName("TreemapMenu1");
  QAction* up = menu.addAction("&Up");
  up->setObjectName("TreemapUp1");
  up->setShortcut(QKeySequence(Qt::Key_Backspace));
  up->setEnabled(Treemap1->Root() != nullptr);
  connect(up, &QAction::triggered, Treemap1, &TTreemapView::Up);
  menu.addSeparator();
  ExecNodeMenu(menu, node, globalPos);
}

QString TUsageReport::UpdateNodeActions(TTreeNode* node) {
  QString why;
  bool there = false;
  if (node) {
    const std::string path = TReportTree::PathOf(node);
    const QString folder = QFile::decodeName(QByteArray::fromStdString(path));
    there = !path.empty() && QFileInfo(folder).isDir();
    if (!there) why = path.empty() ? QString(kNoPath) : QString(kNotFound).arg(folder);
  }
  QAction* copy = FindAction("CopyPath1");
  if (!copy) return why;  // the window is still being built
  copy->setEnabled(there);
  // A scan may be walking the folder: only the path can be taken meanwhile.
  for (const char* name : {"OpenFolder1", "RescanFolder1", "MoveToTrash1"}) {
    FindAction(name)->setEnabled(there && !scanning_);
  }
  return why;
}

TTreeNode* TUsageReport::ActionNode() const {
  return menuNode_ ? menuNode_ : NodeAt(resultField->currentIndex());
}

QString TUsageReport::ActionPath(TTreeNode* node) {
  if (!node) return {};
  const QString why = UpdateNodeActions(node);
  if (!why.isEmpty()) {
    StatusBar1->showMessage(why, kNoticeMs);
    return {};
  }
  return QFile::decodeName(QByteArray::fromStdString(TReportTree::PathOf(node)));
}

void TUsageReport::ExecNodeMenu(QMenu& menu, TTreeNode* node, const QPoint& globalPos) {
  for (const char* name : {"OpenFolder1", "CopyPath1", "RescanFolder1", "MoveToTrash1"}) {
    menu.addAction(FindAction(name));
  }
  const QString why = UpdateNodeActions(node);
  if (!why.isEmpty()) StatusBar1->showMessage(why, kNoticeMs);
  menuNode_ = node;
  struct Done {
    TUsageReport* window;
    ~Done() {
      window->menuNode_ = nullptr;
      window->UpdateNodeActions(window->tree_.Selected());
    }
  } done{this};
  menu.exec(globalPos);
}

void TUsageReport::TreeMenu(const QPoint& viewportPos) {
  TTreeNode* node = NodeAt(resultField->indexAt(viewportPos));
  if (!node) return;
  QMenu menu(this);
  menu.setObjectName("NodeMenu1");
  ExecNodeMenu(menu, node, resultField->viewport()->mapToGlobal(viewportPos));
}

void TUsageReport::TreeMenuFromKey() {
  const QModelIndex current = resultField->currentIndex();
  TTreeNode* node = NodeAt(current);
  if (!node) return;
  resultField->scrollTo(current);
  const QRect place = resultField->visualRect(current);
  QMenu menu(this);
  menu.setObjectName("NodeMenu1");
  ExecNodeMenu(menu, node, resultField->viewport()->mapToGlobal(place.bottomLeft()));
}

void TUsageReport::OpenFolder1Click() {
  if (RefusedWhileScanning()) return;
  const QString path = ActionPath(ActionNode());
  if (path.isEmpty()) return;
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
    ShowErrorBox(QString("Cannot open %1 in a file manager").arg(path), this);
  }
}

void TUsageReport::CopyPath1Click() {
  const QString path = ActionPath(ActionNode());
  if (!path.isEmpty()) QGuiApplication::clipboard()->setText(path);
}

void TUsageReport::RescanFolder1Click() {
  if (RefusedWhileScanning()) return;
  TTreeNode* node = ActionNode();
  if (ActionPath(node).isEmpty()) return;
  Command([&] { RunRescan(node); });
  CloseIfPending();
}

void TUsageReport::MoveToTrash1Click() {
  if (RefusedWhileScanning()) return;
  TTreeNode* node = ActionNode();
  const QString path = ActionPath(node);
  if (path.isEmpty()) return;
  Command([&] {
    // What goes: the size the report gives, and everything below the folder.
    std::int64_t items = 0;
    {
      setCursor(Qt::WaitCursor);
      QDirIterator it(path, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                      QDirIterator::Subdirectories);
      while (it.hasNext()) {
        it.next();
        ++items;
      }
      unsetCursor();
    }
    const QLocale locale;
    QStringList facts;
    if (node->HasSize()) facts << ReadableSize(node->Bytes());
    facts << (items == 1 ? QString("1 item") : QString("%1 items").arg(locale.toString(items)));
    QMessageBox box(QMessageBox::Question, ApplicationTitle(),
                    QString("Move \"%1\" (%2) to the trash?").arg(path, facts.join(", ")),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName("TrashQuestion");
    box.button(QMessageBox::Yes)->setText("&Move to Trash");
    box.button(QMessageBox::No)->setText("Cancel");
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    if (ExecModal(box) != QMessageBox::Yes) return;
    // Moved the freedesktop way, so the desktop's trash can restore it;
    // never deleted.
    QFile folder(path);
    if (!folder.moveToTrash()) {
      throw EVorntoolsError(FormatMessage("Cannot move %s to the trash", path.toStdString()) +
                            ": " + folder.errorString().toStdString());
    }
    tree_.DeleteAndCorrect(node, static_cast<std::int64_t>(lastOptions_.MinSizeK) * 1024);
  });
}

void TUsageReport::Stop1Click() {
  StopRequested = true;
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
  fontColor_ = color;
  for (QWidget* control : {static_cast<QWidget*>(resultField), static_cast<QWidget*>(RichEdit1)}) {
    control->setFont(font);
    QPalette palette = control->palette();
    palette.setColor(QPalette::Text, color);
    control->setPalette(palette);
  }
}

// ---------------------------------------------------------------- output

QString TUsageReport::DefaultSaveName() const {
  // The section names the file; its key separators would make folders of it.
  QString name = Section;
  name.replace(QLatin1Char('\\'), QLatin1Char(' ')).replace(QLatin1Char('/'), QLatin1Char(' '));
  return name + ".txt";
}

QFileDialog& TUsageReport::SaveDialog1() {
  if (!saveDialog_) {
    saveDialog_ = new QFileDialog(this, "Save As");
    saveDialog_->setObjectName("SaveDialog1");
    saveDialog_->setAcceptMode(QFileDialog::AcceptSave);
    saveDialog_->setFileMode(QFileDialog::AnyFile);
    saveDialog_->setOption(QFileDialog::DontConfirmOverwrite);
    saveDialog_->setOption(QFileDialog::DontUseNativeDialog);
    saveDialog_->setDefaultSuffix("txt");
    saveDialog_->setNameFilter("Text Files (*.txt)");
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty() || !QDir(documents).exists()) documents = QDir::homePath();
    saveDialog_->setDirectory(documents);
  }
  return *saveDialog_;
}

void TUsageReport::SaveAs1Click() {
  Command([this] {
    QFileDialog& dialog = SaveDialog1();
    dialog.selectFile(DefaultSaveName());
    if (ExecModal(dialog) != QDialog::Accepted) return;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return;
    tree_.Save(chosen.first().toStdString());
  });
}

QPrintDialog& TUsageReport::PrintDialog1() {
  if (!printDialog_) {
    printDialog_ = new QPrintDialog(&printer_, this);
    printDialog_->setObjectName("PrintDialog1");
    // No page range or selection; printing to a PDF file stays, so a
    // machine without a printer can still print.
    printDialog_->setOptions(QAbstractPrintDialog::PrintToFile |
                             QAbstractPrintDialog::PrintShowPageSize);
  }
  return *printDialog_;
}

QPageSetupDialog& TUsageReport::PrinterSetupDialog1() {
  if (!setupDialog_) {
    setupDialog_ = new QPageSetupDialog(&printer_, this);
    setupDialog_->setObjectName("PrinterSetupDialog1");
  }
  return *setupDialog_;
}

void TUsageReport::SetupPrinter1Click() {
  // The dialog works on the window's printer, which keeps the settings for the run.
  Command([this] {
    if (printer_.outputFormat() == QPrinter::NativeFormat) {
      ExecModal(PrinterSetupDialog1());
      return;
    }
    // Qt's page set-up works on system printers only; with none installed
    // the printer is chosen and set up in the print dialog's own form.
    QPrintDialog setup(&printer_, this);
    setup.setWindowTitle("Setup Printer");
    setup.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize);
    ExecModal(setup);
  });
}

void TUsageReport::Print1Click() {
  Command([this] {
    if (ExecModal(PrintDialog1()) != QDialog::Accepted) return;
    // Removed when the command ends, however it ends.
    QTemporaryFile temporary(QDir(QDir::tempPath()).filePath("xxxXXXXXX"));
    if (!temporary.open()) {
      throw EVorntoolsError(
          FormatMessage("Cannot create file %s", temporary.fileTemplate().toStdString()));
    }
    const std::string fileName = temporary.fileName().toStdString();
    temporary.close();
    tree_.Save(fileName);
    std::string text;
    if (!ReadWholeFile(fileName, text)) {
      throw EVorntoolsError(FormatMessage("Cannot open file %s", fileName));
    }
    QString plain = QString::fromStdString(text);
    plain.replace("\r\n", "\n");
    if (plain.endsWith('\n')) plain.chop(1);  // a line end ends a line, it does not add one
    RichEdit1->setPlainText(plain);
    PrintPlainText(printer_, RichEdit1->toPlainText(), RichEdit1->font(), fontColor_,
                   Section + " Vorntool");
  });
}
