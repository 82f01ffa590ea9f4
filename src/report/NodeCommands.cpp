#include "report/NodeCommands.h"

#include <QAction>
#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QTreeView>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

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
#include "scan/ScannedFolder.h"
#include "scan/ShellQuoted.h"

namespace {
const char* const kNoPath =
    "No folder path can be made from this line: the report may come "
    "from another computer";
const char* const kNotFound = "Folder not found on this computer: %1";
const char* const kOtherComputer = "This scan was made on another computer (%1)";
const char* const kReplaced = "Folder %1 has been replaced since the scan read it";
const char* const kTrashed =
    "Moved \"%1\" to the trash (%2): the space is freed only when the trash is emptied";
const char* const kTrashedNoSize =
    "Moved \"%1\" to the trash: the space is freed only when the trash is emptied";
const char* const kDeleted = "Deleted \"%1\" (%2) permanently";
const char* const kDeletedNoSize = "Deleted \"%1\" permanently";

// A path as messages show it: as Copy Path gives it, and a long one cut in
// the middle, so a box never grows past the screen.
QString Shown(const std::string& path) {
  constexpr qsizetype kLongest = 200;
  QString text = QString::fromStdString(ShellQuoted(path));
  if (text.size() > kLongest) text = text.left(60) + QChar(0x2026) + text.right(kLongest - 61);
  return text;
}

QUrl UrlOf(const std::string& path) {
  if (IsValidUtf8(path)) return QUrl::fromLocalFile(QString::fromStdString(path));
  // Bytes that are no UTF-8 stay percent-encoded: the handler gets them back.
  return QUrl::fromEncoded("file://" + QByteArray::fromStdString(path).toPercentEncoding("/"));
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
  deletePermanently_ =
      AddCommand("DeletePermanently1", "&Delete Permanently...",
                 QKeySequence(Qt::SHIFT | Qt::Key_Delete), &TNodeCommands::DeletePermanently);

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

TNodeCommands::Target TNodeCommands::TargetOf(const TTreeNode* node) const {
  Target target;
  TDocumentLookup::NodePlace found = TDocumentLookup::FindNode(scan_.Documents(), node);
  if (found.path.empty()) {
    // A report read from text: its labels are all there is. A "?" in
    // them may stand for another character, so no path is made of those
    // while a scan could not tell which folder the line is.
    target.path = TReportTree::PathOf(node);
    if (!scan_.Documents().empty() && target.path.find('?') != std::string::npos) return {};
    const TTreeNode* top = node;
    while (top->Parent()) top = top->Parent();
    target.startLength = target.path.empty() ? 0 : top->Name().size();
  } else {
    target.path = std::move(found.path);
    target.startLength = found.startLength;
    target.place = std::move(found.place);
  }
  if (target.startLength < target.path.size()) {
    target.startBelow = target.path.substr(target.startLength);
    target.startBelow.erase(0, target.startBelow.find_first_not_of('/'));
  }
  return target;
}

QString TNodeCommands::Reach(const Target& target, TScannedFolder& folder, bool* copyable) const {
  if (copyable) *copyable = false;
  if (target.path.empty()) return kNoPath;
  const TScannedFolder::Reach reach = folder.Open(target.path, target.startLength);
  if (reach == TScannedFolder::Reach::Missing || reach == TScannedFolder::Reach::Failed) {
    return QString(kNotFound).arg(Shown(target.path));
  }
  if (copyable) *copyable = true;
  if (reach == TScannedFolder::Reach::Changed) return QString(kReplaced).arg(Shown(target.path));
  if (!target.place) return {};
  const TScanDocument& document = *target.place.document;
  if (document.Host() != HostName()) {
    return QString(kOtherComputer)
        .arg(document.Host().empty() ? QStringLiteral("unknown")
                                     : QString::fromStdString(document.Host()));
  }
  // What stands there now must be the folder the scan read.
  const ScanFolder& scanned = document.Folder(target.place.folder);
  FolderId now;
  if (scanned.Has(ScanFolder::Identified) &&
      (!folder.Identify(now) || now.device != document.FolderDevice(target.place.folder) ||
       now.inode != scanned.inode)) {
    return QString(kReplaced).arg(Shown(target.path));
  }
  return {};
}

QString TNodeCommands::UpdateActions(TTreeNode* node) {
  QString why;
  bool copyable = false;
  if (node) {
    TScannedFolder folder;
    why = Reach(TargetOf(node), folder, &copyable);
  }
  copyPath_->setEnabled(node && copyable);
  for (QAction* action : {openFolder_, rescanFolder_, moveToTrash_, deletePermanently_}) {
    action->setEnabled(node && copyable && why.isEmpty() && !scan_.Scanning());
  }
  return why;
}

TTreeNode* TNodeCommands::ActionNode() const {
  return menuNode_ ? menuNode_ : views_.NodeAt(views_.TreeView()->currentIndex());
}

TNodeCommands::Target TNodeCommands::ActionTarget(TTreeNode* node, bool onDisk) {
  if (!node) return {};
  const QString why = UpdateActions(node);
  if (!why.isEmpty() && (onDisk || !copyPath_->isEnabled())) {
    scan_.ShowNotice(why);
    return {};
  }
  return TargetOf(node);
}

void TNodeCommands::ExecNodeMenu(QMenu& menu, TTreeNode* node, const QPoint& globalPos) {
  for (QAction* action :
       {openFolder_, copyPath_, rescanFolder_, moveToTrash_, deletePermanently_}) {
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
  const Target target = ActionTarget(ActionNode());
  if (target.path.empty()) return;
  if (!QDesktopServices::openUrl(UrlOf(target.path))) {
    ShowErrorBox(QString("Cannot open %1 in a file manager").arg(Shown(target.path)), &window_);
  }
}

void TNodeCommands::CopyPath() {
  // A path is worth copying from any scan, even one made elsewhere.
  const Target target = ActionTarget(ActionNode(), false);
  if (!target.path.empty()) {
    QGuiApplication::clipboard()->setText(QString::fromStdString(ShellQuoted(target.path)));
  }
}

void TNodeCommands::RescanFolder() {
  if (scan_.RefusedWhileScanning()) return;
  TTreeNode* node = ActionNode();
  const Target target = ActionTarget(node);
  if (target.path.empty()) return;
  window_.Command([&] { scan_.RunRescan(node, target.path, target.startBelow); });
  scan_.CloseIfPending();
}

void TNodeCommands::MoveToTrash() {
  Remove(false);
}

void TNodeCommands::DeletePermanently() {
  Remove(true);
}

void TNodeCommands::Remove(bool permanently) {
  if (scan_.RefusedWhileScanning()) return;
  TTreeNode* node = ActionNode();
  const Target target = ActionTarget(node);
  if (target.path.empty()) return;
  window_.Command([&] {
    const QString shown = Shown(target.path);
    // What goes: the size the report gives, and everything below the folder.
    std::int64_t items = 0;
    {
      TScannedFolder folder;
      const QString why = Reach(target, folder);
      if (!why.isEmpty()) throw EVorntoolsError(why.toStdString());
      window_.setCursor(Qt::WaitCursor);
      items = std::max<std::int64_t>(folder.CountItems(), 0);
      window_.unsetCursor();
    }
    const QLocale locale;
    QStringList facts;
    if (node->HasSize()) facts << ReadableSize(node->Bytes());
    facts << (items == 1 ? QString("1 item") : QString("%1 items").arg(locale.toString(items)));
    QMessageBox box(permanently ? QMessageBox::Warning : QMessageBox::Question, ApplicationTitle(),
                    (permanently ? QString("Delete \"%1\" (%2) permanently?")
                                 : QString("Move \"%1\" (%2) to the trash?"))
                        .arg(shown, facts.join(", ")),
                    QMessageBox::Yes | QMessageBox::No, &window_);
    if (permanently) box.setInformativeText("It cannot be restored.");
    box.setObjectName(permanently ? "DeleteQuestion" : "TrashQuestion");
    box.button(QMessageBox::Yes)->setText(permanently ? "&Delete Permanently" : "&Move to Trash");
    box.button(QMessageBox::No)->setText("Cancel");
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    if (ExecModal(box) != QMessageBox::Yes) return;
    // Reached and checked again, as the question may have stood open a
    // while; from here on the folder is acted on by its descriptors, so
    // what is moved or deleted is what was checked.
    TScannedFolder folder;
    const QString why = Reach(target, folder);
    if (!why.isEmpty()) throw EVorntoolsError(why.toStdString());
    if (permanently) {
      std::string failed;
      int error = 0;
      if (!folder.Delete(failed, error)) {
        if (failed.empty() && error == ESTALE) {
          throw EVorntoolsError(QString(kReplaced).arg(shown).toStdString());
        }
        const std::string path = failed.empty() ? target.path : target.path + "/" + failed;
        throw EVorntoolsError(FormatMessage("Cannot delete %s", Shown(path).toStdString()) + ": " +
                              std::strerror(error));
      }
    } else {
      // Moved the freedesktop way, so the desktop's trash can restore it.
      std::string failure;
      if (!folder.MoveToTrash(failure)) {
        if (folder.Error() == ESTALE) {
          throw EVorntoolsError(QString(kReplaced).arg(shown).toStdString());
        }
        throw EVorntoolsError(FormatMessage("Cannot move %s to the trash", shown.toStdString()) +
                              ": " + failure);
      }
    }
    const bool sized = node->HasSize();
    const QString size = sized ? ReadableSize(node->Bytes()) : QString();
    tree_.DeleteAndCorrect(node, static_cast<std::int64_t>(scan_.LastOptions().MinSizeK) * 1024);
    if (permanently) {
      scan_.ShowNotice(sized ? QString(kDeleted).arg(shown, size)
                             : QString(kDeletedNoSize).arg(shown));
    } else {
      scan_.ShowNotice(sized ? QString(kTrashed).arg(shown, size)
                             : QString(kTrashedNoSize).arg(shown));
    }
  });
}
