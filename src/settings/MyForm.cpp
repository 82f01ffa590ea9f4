#include "settings/MyForm.h"

#include <QGuiApplication>
#include <QMoveEvent>
#include <QResizeEvent>
#include <QScreen>
#include <algorithm>

namespace {

constexpr Qt::WindowStates kNotNormal =
    Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen;

// Window systems take 16-bit coordinates; a damaged stored value must not
// produce a window nobody can reach or a size the system refuses.
int ClampCoordinate(int value) {
  return std::clamp(value, -32000, 32000);
}
int ClampSize(int value) {
  return std::clamp(value, 1, 32000);
}

}  // namespace

TMyForm::TMyForm(QWidget* owner, const QString& root, const QString& section)
    : QDialog(owner), IniFile(std::make_unique<TMyIniFile>(root)), Section(section) {}

TMyForm::~TMyForm() = default;

void TMyForm::RestoreForm() {
  // Each value is applied before the next is read; the current value is the
  // default, so what is not stored keeps the design (or the last restore).
  SetFrameLeft(IniFile->ReadNumber(Section, "Left", FrameLeft()));
  SetFrameTop(IniFile->ReadNumber(Section, "Top", FrameTop()));
  SetFrameHeight(IniFile->ReadNumber(Section, "Height", FrameHeight()));
  SetFrameWidth(IniFile->ReadNumber(Section, "Width", FrameWidth()));
  SetState(IniFile->ReadNumber(Section, "State", State()));
  SetPosition(IniFile->ReadNumber(Section, "Position", Position()));
  ReadSettings();
}

void TMyForm::SaveForm() {
  IniFile->WriteNumber(Section, "Left", FrameLeft());
  IniFile->WriteNumber(Section, "Top", FrameTop());
  IniFile->WriteNumber(Section, "Height", FrameHeight());
  IniFile->WriteNumber(Section, "Width", FrameWidth());
  IniFile->WriteNumber(Section, "State", State());
  IniFile->WriteNumber(Section, "Position", Position());
  WriteSettings();
}

void TMyForm::ReadSettings() {}

void TMyForm::WriteSettings() {}

void TMyForm::SetConfiguration(const QString& name) {
  IniFile = std::make_unique<TMyIniFile>(ConfigurationRoot(name));
}

void TMyForm::SetPosition(int position) {
  if (position >= poDesigned && position <= poScreenCenter) position_ = position;
}

int TMyForm::State() const {
  const Qt::WindowStates state = windowState();
  if (state & (Qt::WindowMaximized | Qt::WindowFullScreen)) return wsMaximized;
  if (state & Qt::WindowMinimized) return wsMinimized;
  return wsNormal;
}

void TMyForm::SetState(int state) {
  if (state < wsNormal || state > wsMaximized || state == State()) return;
  Qt::WindowStates flags = windowState() & ~kNotNormal;
  if (state == wsMinimized) flags |= Qt::WindowMinimized;
  if (state == wsMaximized) flags |= Qt::WindowMaximized;
  setWindowState(flags);
}

// The placement of a maximised or minimised window is the one it returns to,
// so the next run does not open a normal window as large as the screen.
namespace {
struct TFrame {
  QRect normal;
  QMargins margins;
};
TFrame FrameOf(const QWidget* w) {
  const QRect outer = w->frameGeometry(), inner = w->geometry();
  const QMargins margins(inner.left() - outer.left(), inner.top() - outer.top(),
                         outer.right() - inner.right(), outer.bottom() - inner.bottom());
  QRect normal = (w->windowState() & kNotNormal) ? w->normalGeometry() : inner;
  if (!normal.isValid()) normal = inner;
  return {normal, margins};
}
}  // namespace

int TMyForm::FrameLeft() const {
  const TFrame f = FrameOf(this);
  return f.normal.left() - f.margins.left();
}

int TMyForm::FrameTop() const {
  const TFrame f = FrameOf(this);
  return f.normal.top() - f.margins.top();
}

int TMyForm::FrameWidth() const {
  if (pendingWidth_) return *pendingWidth_;
  const TFrame f = FrameOf(this);
  return f.normal.width() + f.margins.left() + f.margins.right();
}

int TMyForm::FrameHeight() const {
  if (pendingHeight_) return *pendingHeight_;
  const TFrame f = FrameOf(this);
  return f.normal.height() + f.margins.top() + f.margins.bottom();
}

void TMyForm::LeaveMaximisedForPlacement() {
  if (windowState() & kNotNormal) setWindowState(windowState() & ~kNotNormal);
}

void TMyForm::SetFrameLeft(int left) {
  left = ClampCoordinate(left);
  if (left == FrameLeft()) return;
  LeaveMaximisedForPlacement();
  move(left, FrameTop());  // a window's position is that of its frame
}

void TMyForm::SetFrameTop(int top) {
  top = ClampCoordinate(top);
  if (top == FrameTop()) return;
  LeaveMaximisedForPlacement();
  move(FrameLeft(), top);
}

void TMyForm::SetFrameWidth(int width) {
  width = ClampSize(width);
  if (width == FrameWidth()) return;
  LeaveMaximisedForPlacement();
  const TFrame f = FrameOf(this);
  resize(std::max(1, width - f.margins.left() - f.margins.right()), height());
  pendingWidth_.reset();
  if (f.margins.isNull()) pendingWidth_ = width;
}

void TMyForm::SetFrameHeight(int height) {
  height = ClampSize(height);
  if (height == FrameHeight()) return;
  LeaveMaximisedForPlacement();
  const TFrame f = FrameOf(this);
  resize(width(), std::max(1, height - f.margins.top() - f.margins.bottom()));
  pendingHeight_.reset();
  if (f.margins.isNull()) pendingHeight_ = height;
}

void TMyForm::ApplyPendingFrameSize(bool userResized) {
  // A maximised window takes its normal size when it is restored.
  if ((!pendingWidth_ && !pendingHeight_) || (windowState() & kNotNormal)) return;
  const TFrame f = FrameOf(this);
  if (f.margins.isNull()) {
    // A size the user or the window system chose wins over the stored one.
    if (userResized) pendingWidth_.reset(), pendingHeight_.reset();
    return;
  }
  const int w = pendingWidth_ ? *pendingWidth_ - f.margins.left() - f.margins.right() : width();
  const int h = pendingHeight_ ? *pendingHeight_ - f.margins.top() - f.margins.bottom() : height();
  pendingWidth_.reset();
  pendingHeight_.reset();
  resize(std::max(1, w), std::max(1, h));
}

void TMyForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  ApplyPendingFrameSize(false);
}

void TMyForm::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  if (isVisible()) ApplyPendingFrameSize(event->spontaneous());
}

void TMyForm::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange && isVisible()) ApplyPendingFrameSize(false);
}

void TMyForm::moveEvent(QMoveEvent* event) {
  QDialog::moveEvent(event);
  if (isVisible()) ApplyPendingFrameSize(false);
}

void TMyForm::setVisible(bool visible) {
  // exec(), show() and showMaximized() all come through here.
  if (visible && !isVisible()) ApplyShowingRule();
  QDialog::setVisible(visible);
}

void TMyForm::ApplyShowingRule() {
  if (position_ == poScreenCenter) {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
      const QSize area = screen->geometry().size();
      // The window is hidden: move its normal placement and keep its state.
      const Qt::WindowStates state = windowState();
      if (state & kNotNormal) setWindowState(state & ~kNotNormal);
      move(std::max(0, (area.width() - FrameWidth()) / 2),
           std::max(0, (area.height() - FrameHeight()) / 2));
      if (state & kNotNormal) setWindowState(state);
    }
  } else if (position_ == poDefault || position_ == poDefaultPosOnly) {
    // Leave the position to the window system.
    setAttribute(Qt::WA_Moved, false);
  }
  position_ = poDesigned;
}
