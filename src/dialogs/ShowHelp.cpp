#include "dialogs/ShowHelp.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QTextBrowser>
#include <QUrl>
#include <QWindow>
#include <algorithm>

#include "dialogs/About.h"

namespace {

QString& HelpFileSetting() {
  static QString file;
  return file;
}

QPointer<QTextBrowser>& HelpBrowser() {
  static QPointer<QTextBrowser> browser;
  return browser;
}

// The folder part of a path: up to and including its last "/".
QString FolderPart(const QString& path) {
  return path.left(path.lastIndexOf('/') + 1);
}

// Centres a new window on `owner` (on the screen without one), moved and if
// need be shrunk so that all of it is on the owner's screen. The new window
// has no frame yet: the owner's stands in for it.
void PlaceOver(QWidget* window, const QWidget* owner) {
  const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  QMargins frame;
  if (owner) {
    const QRect outer = owner->frameGeometry(), inner = owner->geometry();
    frame = {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
             outer.bottom() - inner.bottom()};
  }
  QRect placed(QPoint(), (window->size().grownBy(frame)).boundedTo(area.size()));
  placed.moveCenter(owner ? owner->frameGeometry().center() : area.center());
  placed.moveLeft(std::clamp(placed.left(), area.left(), area.right() + 1 - placed.width()));
  placed.moveTop(std::clamp(placed.top(), area.top(), area.bottom() + 1 - placed.height()));
  window->resize(placed.size().shrunkBy(frame));
  window->move(placed.topLeft());  // a window's position is its frame's
}

void OpenHelpWindow(const QString& file) {
  QPointer<QTextBrowser>& browser = HelpBrowser();
  if (!browser) {
    browser = new QTextBrowser;
    browser->setAttribute(Qt::WA_DeleteOnClose);
    browser->setAttribute(Qt::WA_QuitOnClose, false);
    browser->setWindowTitle(QStringLiteral("Usage Vorntool Help"));
    browser->setWindowIcon(MainIcon());
    browser->setOpenExternalLinks(true);
    browser->resize(640, 520);
    QWidget* owner = QApplication::activeModalWidget();
    if (!owner) owner = QApplication::activeWindow();
    PlaceOver(browser, owner);
  }
  // The guide is HTML whatever its file name says. Loading it as the
  // browser's source keeps its links to its own sections working.
  browser->setSource(QUrl(), QTextDocument::HtmlResource);
  browser->setSource(QUrl::fromLocalFile(file), QTextDocument::HtmlResource);
  // Context 0 is the guide's first page.
  browser->moveCursor(QTextCursor::Start);
  browser->ensureCursorVisible();
  // While a modal window runs, only windows that belong to it take input:
  // tie the help window to it so the guide can be read beside the dialog.
  browser->winId();
  if (QWindow* handle = browser->windowHandle()) {
    QWidget* modal = QApplication::activeModalWidget();
    handle->setTransientParent(modal && modal != browser ? modal->windowHandle() : nullptr);
  }
  browser->show();
  browser->raise();
  browser->activateWindow();
}

}  // namespace

QStringList HelpFileCandidates(const QString& programPath) {
  const QString beside = FolderPart(programPath);
  QString up = beside;
  up.chop(1);
  const QString parent = FolderPart(up);
  return {beside + kHelpFileName, parent + kHelpFileName,
          parent + QStringLiteral("share/vorntools/") + kHelpFileName};
}

QString FindHelpFile(const QString& programPath) {
  for (const QString& candidate : HelpFileCandidates(programPath)) {
    HelpFileSetting() = candidate;
    if (QFileInfo(candidate).isFile()) return candidate;
  }
  return {};
}

QString ApplicationHelpFile() {
  return HelpFileSetting();
}

void ShowHelp() {
  ShowHelp(QCoreApplication::applicationFilePath());
}

void ShowHelp(const QString& programPath) {
  const QString file = FindHelpFile(programPath);
  if (file.isEmpty()) {
    QMessageBox::critical(QApplication::activeModalWidget(), QStringLiteral("Error"),
                          QStringLiteral("Can't find the help file"), QMessageBox::Ok);
    return;
  }
  OpenHelpWindow(file);
}

QTextBrowser* HelpWindow() {
  return HelpBrowser();
}
