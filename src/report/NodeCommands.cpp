#include "report/NodeCommands.h"

#include <sys/stat.h>

#include <QAction>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QTreeView>
#include <QUrl>
#include <cstdint>

#include "dialogs/DialogCommon.h"
#include "dialogs/ErrorBox.h"
#include "dialogs/ModalHook.h"
#include "report/MyReport.h"
#include "report/ReportViews.h"
#include "report/ScanControl.h"
#include "report/ShareBars.h"
#include "report/TreemapView.h"
#include "scan/DocumentLookup.h"
#include "scan/Errors.h"
#include "scan/HostName.h"
#include "scan/ReportTree.h"

namespace {
const char* const kNoPath =
    "No folder path can be made from this line: the report may come "
    "from another computer";
const char* const kNotFound = "Folder not found on this computer: %1";
const char* const kOtherComputer = "This scan was made on another computer (%1)";
const char* const kReplaced = "Folder %1 has been replaced since the scan read it";

// Why the commands that act on the disk must leave a folder alone although
// a folder of its path is here: the scan that read it was made elsewhere, or
// what stands there now is another folder. Empty when they may act.
QString NotTheScannedFolder(const TScanControl& scan, const std::string& path) {
  const TDocumentLookup::Place place = TDocumentLookup::Find(scan.Documents(), path);
  if (!place) return {};
  const TScanDocument& document = *place.document;
  if (document.Host() != HostName()) {
    return QString(kOtherComputer)
        .arg(document.Host().empty() ? QStringLiteral("unknown")
                                     : QString::fromStdString(document.Host()));
  }
  const ScanFolder& folder = document.Folder(place.folder);
  struct stat now {};
  if (folder.Has(ScanFolder::Identified) && ::stat(path.c_str(), &now) == 0 &&
      (static_cast<std::uint64_t>(now.st_dev) != document.FolderDevice(place.folder) ||
       static_cast<std::uint64_t>(now.st_ino) != folder.inode)) {
    return QString(kReplaced).arg(QFile::decodeName(QByteArray::fromStdString(path)));
  }
  return {};
}
}  // namespace

TNodeCommands::TNodeCommands(TMyReport& window, TReportTree& tree, TReportViews& views,
                             TScanControl& scan)
    : QObject(&window), window_(window), tree_(tree), views_(views), scan_(scan) {
  const QKeySequence none;
  openFolder_ =
      AddCommand("OpenFolder1", "&Open in File Manager", none, &TNodeCommands::OpenFolder);
  copyPath_ = AddCommand("CopyPath1", "&Copy Path", none, &TNodeCommands::CopyPath);
  rescanFolder_ = AddCommand("RescanFolder1", "&Rescan Folder", QKeySequence(Qt::Key_F9),
                             &TNodeCommands::RescanFolder);
  moveToTrash_ = AddCommand("MoveToTrash1", "Move to &Trash...", QKeySequence(Qt::Key_Delete),
                            &TNodeCommands::MoveToTrash);

  QTreeView* view = views_.TreeView();
  view->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(view, &QWidget::customContextMenuRequested, this, &TNodeCommands::TreeMenu);
  // The Menu key and Shift+F10 open the menu at the current line.
  for (const QKeySequence& key :
       {QKeySequence(Qt::Key_Menu), QKeySequence(Qt::SHIFT | Qt::Key_F10)}) {
    auto* shortcut = new QShortcut(key, view, nullptr, nullptr, Qt::WidgetShortcut);
    connect(shortcut, &QShortcut::activated, this, &TNodeCommands::TreeMenuFromKey);
  }
  connect(views_.Treemap(), &TTreemapView::ContextMenuRequested, this, &TNodeCommands::TreemapMenu);
  connect(&views_, &TReportViews::CurrentNodeChanged, this,
          [this](TTreeNode* node) { UpdateActions(node); });
  // A scan may be walking the folder: only the path can be taken meanwhile.
  connect(&scan_, &TScanControl::ScanningChanged, this,
          [this] { UpdateActions(tree_.Selected()); });
  UpdateActions(nullptr);
}

QAction* TNodeCommands::AddCommand(const char* name, const QString& caption,
                                   const QKeySequence& shortcut, void (TNodeCommands::*handler)()) {
  auto* action = new QAction(caption, &window_);
  action->setObjectName(name);
  action->setShortcut(shortcut);
  connect(action, &QAction::triggered, this, handler);
  window_.addAction(action);
  return action;
}

QString TNodeCommands::UpdateActions(TTreeNode* node) {
  QString why;
  bool there = false;
  if (node) {
    const std::string path = TReportTree::PathOf(node);
    const QString folder = QFile::decodeName(QByteArray::fromStdString(path));
    there = !path.empty() && QFileInfo(folder).isDir();
    if (!there) why = path.empty() ? QString(kNoPath) : QString(kNotFound).arg(folder);
    if (there) why = NotTheScannedFolder(scan_, path);
  }
  copyPath_->setEnabled(there);
  for (QAction* action : {openFolder_, rescanFolder_, moveToTrash_}) {
    action->setEnabled(there && why.isEmpty() && !scan_.Scanning());
  }
  return why;
}

TTreeNode* TNodeCommands::ActionNode() const {
  return menuNode_ ? menuNode_ : views_.NodeAt(views_.TreeView()->currentIndex());
}

QString TNodeCommands::ActionPath(TTreeNode* node, bool onDisk) {
  if (!node) return {};
  const QString why = UpdateActions(node);
  if (!why.isEmpty() && (onDisk || !copyPath_->isEnabled())) {
    scan_.ShowNotice(why);
    return {};
  }
  return QFile::decodeName(QByteArray::fromStdString(TReportTree::PathOf(node)));
}

void TNodeCommands::ExecNodeMenu(QMenu& menu, TTreeNode* node, const QPoint& globalPos) {
  for (QAction* action : {openFolder_, copyPath_, rescanFolder_, moveToTrash_}) {
    menu.addAction(action);
  }
  const QString why = UpdateActions(node);
  if (!why.isEmpty()) scan_.ShowNotice(why);
  menuNode_ = node;
  struct Done {
    TNodeCommands* commands;
    ~Done() {
      commands->menuNode_ = nullptr;
      commands->UpdateActions(commands->tree_.Selected());
    }
  } done{this};
  menu.exec(globalPos);
}

void TNodeCommands::TreemapMenu(TTreeNode* node, const QPoint& globalPos) {
  TTreemapView* treemap = views_.Treemap();
  QMenu menu(&window_);
  menu.setObjectName("TreemapMenu1");
  QAction* up = menu.addAction("&Up");
  up->setObjectName("TreemapUp1");
  up->setShortcut(QKeySequence(Qt::Key_Backspace));
  up->setEnabled(treemap->CanGoUp());
  connect(up, &QAction::triggered, treemap, &TTreemapView::Up);
  menu.addSeparator();
  ExecNodeMenu(menu, node, globalPos);
}

void TNodeCommands::TreeMenu(const QPoint& viewportPos) {
  QTreeView* view = views_.TreeView();
  TTreeNode* node = views_.NodeAt(view->indexAt(viewportPos));
  if (!node) return;
  QMenu menu(&window_);
  menu.setObjectName("NodeMenu1");
  ExecNodeMenu(menu, node, view->viewport()->mapToGlobal(viewportPos));
}

void TNodeCommands::TreeMenuFromKey() {
  QTreeView* view = views_.TreeView();
  const QModelIndex current = view->currentIndex();
  TTreeNode* node = views_.NodeAt(current);
  if (!node) return;
  view->scrollTo(current);
  const QRect place = view->visualRect(current);
  QMenu menu(&window_);
  menu.setObjectName("NodeMenu1");
  ExecNodeMenu(menu, node, view->viewport()->mapToGlobal(place.bottomLeft()));
}

void TNodeCommands::OpenFolder() {
  if (scan_.RefusedWhileScanning()) return;
  const QString path = ActionPath(ActionNode());
  if (path.isEmpty()) return;
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
    ShowErrorBox(QString("Cannot open %1 in a file manager").arg(path), &window_);
  }
}

void TNodeCommands::CopyPath() {
  // A path is worth copying from any scan, even one made elsewhere.
  const QString path = ActionPath(ActionNode(), false);
  if (!path.isEmpty()) QGuiApplication::clipboard()->setText(path);
}

void TNodeCommands::RescanFolder() {
  if (scan_.RefusedWhileScanning()) return;
  TTreeNode* node = ActionNode();
  if (ActionPath(node).isEmpty()) return;
  window_.Command([&] { scan_.RunRescan(node); });
  scan_.CloseIfPending();
}

void TNodeCommands::MoveToTrash() {
  if (scan_.RefusedWhileScanning()) return;
  TTreeNode* node = ActionNode();
  const QString path = ActionPath(node);
  if (path.isEmpty()) return;
  window_.Command([&] {
    // What goes: the size the report gives, and everything below the folder.
    std::int64_t items = 0;
    {
      window_.setCursor(Qt::WaitCursor);
      QDirIterator it(path, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                      QDirIterator::Subdirectories);
      while (it.hasNext()) {
        it.next();
        ++items;
      }
      window_.unsetCursor();
    }
    const QLocale locale;
    QStringList facts;
    if (node->HasSize()) facts << ReadableSize(node->Bytes());
    facts << (items == 1 ? QString("1 item") : QString("%1 items").arg(locale.toString(items)));
    QMessageBox box(QMessageBox::Question, ApplicationTitle(),
                    QString("Move \"%1\" (%2) to the trash?").arg(path, facts.join(", ")),
                    QMessageBox::Yes | QMessageBox::No, &window_);
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
    tree_.DeleteAndCorrect(node, static_cast<std::int64_t>(scan_.LastOptions().MinSizeK) * 1024);
  });
}
