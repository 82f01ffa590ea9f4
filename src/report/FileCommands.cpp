#include "report/FileCommands.h"

#include <QAction>
#include <QClipboard>
#include <QDesktopServices>
#include <QFile>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QUrl>
#include <algorithm>
#include <cstdint>
#include <vector>

#include "dialogs/ErrorBox.h"
#include "dialogs/ModalHook.h"
#include "report/FilesModel.h"
#include "report/FilesPane.h"
#include "report/MyReport.h"
#include "report/ScanControl.h"
#include "report/ShareBars.h"
#include "scan/Errors.h"
#include "scan/HostName.h"
#include "scan/ShellQuoted.h"

namespace {
// The trash question names at most this many files.
constexpr std::size_t kNamesAsked = 10;

QString Decoded(const std::string& raw) {
  return QFile::decodeName(QByteArray::fromStdString(raw));
}

bool IsMenuKey(const QKeyEvent& key) {
  return key.key() == Qt::Key_Menu ||
         (key.key() == Qt::Key_F10 && key.modifiers() == Qt::ShiftModifier);
}
}  // namespace

TFileCommands::TFileCommands(TMyReport& window, TFilesPane& pane, TScanControl& scan)
    : QObject(&pane), window_(window), pane_(pane), scan_(scan) {
  const QKeySequence none;
  open_ = AddCommand("OpenFile1", "&Open", none, &TFileCommands::Open);
  openFolder_ = AddCommand("OpenFileFolder1", "Open Containing &Folder", none,
                           &TFileCommands::OpenContainingFolder);
  copyPath_ = AddCommand("CopyFilePath1", "&Copy Path", none, &TFileCommands::CopyPath);
  moveToTrash_ = AddCommand("MoveFilesToTrash1", "Move to &Trash...", QKeySequence(Qt::Key_Delete),
                            &TFileCommands::MoveToTrash);

  QTableView* table = pane_.Table();
  table->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(table, &QWidget::customContextMenuRequested, this, &TFileCommands::Menu);
  connect(table, &QAbstractItemView::activated, this, [this] {
    if (open_->isEnabled()) Open();
  });
  table->installEventFilter(this);
  // The table's selection model is made anew with each model it is given.
  connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &TFileCommands::UpdateActions);
  connect(pane_.Model(), &QAbstractItemModel::modelReset, this, &TFileCommands::UpdateActions);
  connect(&scan_, &TScanControl::ScanningChanged, this, &TFileCommands::UpdateActions);
  UpdateActions();
}

QAction* TFileCommands::AddCommand(const char* name, const QString& caption,
                                   const QKeySequence& shortcut, void (TFileCommands::*handler)()) {
  // Not on the window: its keys act in the table alone (see eventFilter).
  auto* action = new QAction(caption, this);
  action->setObjectName(name);
  action->setShortcut(shortcut);
  action->setShortcutContext(Qt::WidgetShortcut);
  connect(action, &QAction::triggered, this, handler);
  return action;
}

bool TFileCommands::Local() const {
  const auto& document = pane_.Model()->Document();
  return document && document->Host() == HostName();
}

void TFileCommands::UpdateActions() {
  const bool selected =
      pane_.Model()->Document() && pane_.Table()->selectionModel()->hasSelection();
  copyPath_->setEnabled(selected);
  const bool acts = selected && Local() && !scan_.Scanning();
  for (QAction* action : {open_, openFolder_, moveToTrash_}) action->setEnabled(acts);
}

bool TFileCommands::eventFilter(QObject* watched, QEvent* event) {
  if (watched != pane_.Table()) return false;
  if (event->type() == QEvent::ShortcutOverride) {
    const auto& key = static_cast<QKeyEvent&>(*event);
    // Shift+Delete too: it deletes the report's folder for good, which
    // the selected files must never stand for.
    if (key.key() == Qt::Key_Delete || IsMenuKey(key)) {
      event->accept();
      return true;
    }
  } else if (event->type() == QEvent::KeyPress) {
    const auto& key = static_cast<QKeyEvent&>(*event);
    if (key.key() == Qt::Key_Delete && key.modifiers() == Qt::NoModifier) {
      if (moveToTrash_->isEnabled()) MoveToTrash();
      return true;
    }
    if (key.key() == Qt::Key_Delete) return true;
    if (IsMenuKey(key)) {
      QTableView* table = pane_.Table();
      const QModelIndex current = table->currentIndex();
      table->scrollTo(current);
      Menu(table->visualRect(current).bottomLeft());
      return true;
    }
  }
  return false;
}

void TFileCommands::Menu(const QPoint& viewportPos) {
  UpdateActions();
  QTableView* table = pane_.Table();
  QMenu menu(table);
  menu.setObjectName("FilesMenu1");
  menu.addAction(open_);
  menu.addAction(openFolder_);
  menu.addSeparator();
  menu.addAction(copyPath_);
  menu.addSeparator();
  menu.addAction(moveToTrash_);
  menu.exec(table->viewport()->mapToGlobal(viewportPos));
}

QStringList TFileCommands::SelectedPaths() const {
  QStringList paths;
  for (const int row : pane_.SelectedRows()) paths << Decoded(pane_.Model()->RawPath(row));
  return paths;
}

void TFileCommands::Open() {
  if (scan_.RefusedWhileScanning() || !Local()) return;
  for (const QString& path : SelectedPaths()) {
    // The desktop's program for the file's type.
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
      ShowErrorBox(QString("Cannot open %1").arg(path), &window_);
      return;
    }
  }
}

void TFileCommands::OpenContainingFolder() {
  if (scan_.RefusedWhileScanning() || !Local() || pane_.SelectedRows().empty()) return;
  const TFilesModel& model = *pane_.Model();
  const QString folder = Decoded(model.Document()->FolderPath(model.Folder()));
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder))) {
    ShowErrorBox(QString("Cannot open %1 in a file manager").arg(folder), &window_);
  }
}

void TFileCommands::CopyPath() {
  // Quoted where the shell would need it, so one per line stays one.
  QStringList paths;
  for (const int row : pane_.SelectedRows()) {
    paths << QString::fromStdString(ShellQuoted(pane_.Model()->RawPath(row)));
  }
  if (!paths.isEmpty()) QGuiApplication::clipboard()->setText(paths.join('\n'));
}

void TFileCommands::MoveToTrash() {
  if (scan_.RefusedWhileScanning() || !Local()) return;
  TFilesModel& model = *pane_.Model();
  const std::vector<int> rows = pane_.SelectedRows();
  if (rows.empty()) return;
  window_.Command([&] {
    std::int64_t bytes = 0;
    QStringList names;
    for (const int row : rows) {
      const ScanFile file = model.Document()->File(model.FileOf(row));
      bytes += std::max<std::int64_t>(file.counted, 0);
      if (static_cast<std::size_t>(names.size()) < kNamesAsked) {
        names << Decoded(std::string(file.name));
      }
    }
    QString question;
    if (rows.size() == 1) {
      question = QString("Move \"%1\" (%2) to the trash?").arg(names[0], ReadableSize(bytes));
    } else {
      question =
          QString("Move %1 files (%2) to the trash?")
              .arg(QLocale().toString(static_cast<qint64>(rows.size())), ReadableSize(bytes));
      question += "\n\n" + names.join('\n');
      if (rows.size() > kNamesAsked) {
        question += QString("\nand %1 more")
                        .arg(QLocale().toString(static_cast<qint64>(rows.size() - kNamesAsked)));
      }
    }
    QMessageBox box(QMessageBox::Question, ApplicationTitle(), question,
                    QMessageBox::Yes | QMessageBox::No, &window_);
    box.setObjectName("TrashQuestion");
    box.button(QMessageBox::Yes)->setText("&Move to Trash");
    box.button(QMessageBox::No)->setText("Cancel");
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    if (ExecModal(box) != QMessageBox::Yes) return;

    // Moved the freedesktop way, so the desktop's trash can restore them;
    // never deleted. The first that fails ends the command; those moved
    // before it leave the pane all the same.
    std::vector<std::uint64_t> moved;
    struct Leave {
      TFilesModel& model;
      std::vector<std::uint64_t>& moved;
      ~Leave() { model.RemoveFiles(moved); }
    } leave{model, moved};
    std::vector<std::uint64_t> files;
    std::vector<std::string> paths;
    for (const int row : rows) {
      files.push_back(model.FileOf(row));
      paths.push_back(model.RawPath(row));
    }
    for (std::size_t k = 0; k < files.size(); ++k) {
      QFile file(Decoded(paths[k]));
      if (!file.moveToTrash()) {
        throw EVorntoolsError(FormatMessage("Cannot move %s to the trash", paths[k]) + ": " +
                              file.errorString().toStdString());
      }
      moved.push_back(files[k]);
    }
    scan_.ShowNotice(
        moved.size() == 1
            ? QString("Moved to the trash: 1 file; the report counts it until the folder is "
                      "scanned again")
            : QString("Moved to the trash: %1 files; the report counts them until the folder "
                      "is scanned again")
                  .arg(QLocale().toString(static_cast<qint64>(moved.size()))));
  });
}
