#include "settings/FormSettings.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
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

TFormSettings::TFormSettings(QWidget& window, const QString& root, const QString& section)
    : IniFile(std::make_unique<TMyIniFile>(root)), Section(section), window_(window) {}

TFormSettings::~TFormSettings() = default;

void TFormSettings::RestoreForm() {
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

void TFormSettings::SaveForm() {
  IniFile->WriteNumber(Section, "Left", FrameLeft());
  IniFile->WriteNumber(Section, "Top", FrameTop());
  IniFile->WriteNumber(Section, "Height", FrameHeight());
  IniFile->WriteNumber(Section, "Width", FrameWidth());
  IniFile->WriteNumber(Section, "State", State());
  IniFile->WriteNumber(Section, "Position", Position());
  WriteSettings();
}

void TFormSettings::ReadSettings() {}

void TFormSettings::WriteSettings() {}

void TFormSettings::SetConfiguration(const QString& name) {
  IniFile = std::make_unique<TMyIniFile>(ConfigurationRoot(name));
}

void TFormSettings::SetPosition(int position) {
  if (position >= poDesigned && position <= poScreenCenter) position_ = position;
}

int TFormSettings::State() const {
  const Qt::WindowStates state = window_.windowState();
  if (state & (Qt::WindowMaximized | Qt::WindowFullScreen)) return wsMaximized;
  if (state & Qt::WindowMinimized) return wsMinimized;
  return wsNormal;
}

void TFormSettings::SetState(int state) {
  if (state < wsNormal || state > wsMaximized || state == State()) return;
  Qt::WindowStates flags = window_.windowState() & ~kNotNormal;
  if (state == wsMinimized) flags |= Qt::WindowMinimized;
  if (state == wsMaximized) flags |= Qt::WindowMaximized;
  window_.setWindowState(flags);
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

int TFormSettings::FrameLeft() const {
  const TFrame f = FrameOf(&window_);
  return f.normal.left() - f.margins.left();
}

int TFormSettings::FrameTop() const {
  const TFrame f = FrameOf(&window_);
  return f.normal.top() - f.margins.top();
}

int TFormSettings::FrameWidth() const {
  if (pendingWidth_) return *pendingWidth_;
  const TFrame f = FrameOf(&window_);
  return f.normal.width() + f.margins.left() + f.margins.right();
}

int TFormSettings::FrameHeight() const {
  if (pendingHeight_) return *pendingHeight_;
  const TFrame f = FrameOf(&window_);
  return f.normal.height() + f.margins.top() + f.margins.bottom();
}

void TFormSettings::LeaveMaximisedForPlacement() {
  if (window_.windowState() & kNotNormal)
    window_.setWindowState(window_.windowState() & ~kNotNormal);
}

void TFormSettings::SetFrameLeft(int left) {
  left = ClampCoordinate(left);
  if (left == FrameLeft()) return;
  LeaveMaximisedForPlacement();
  window_.move(left, FrameTop());  // a window's position is that of its frame
}

void TFormSettings::SetFrameTop(int top) {
  top = ClampCoordinate(top);
  if (top == FrameTop()) return;
  LeaveMaximisedForPlacement();
  window_.move(FrameLeft(), top);
}

void TFormSettings::SetFrameWidth(int width) {
  width = ClampSize(width);
  if (width == FrameWidth()) return;
  LeaveMaximisedForPlacement();
  const TFrame f = FrameOf(&window_);
  window_.resize(std::max(1, width - f.margins.left() - f.margins.right()), window_.height());
  pendingWidth_.reset();
  if (f.margins.isNull()) pendingWidth_ = width;
}

void TFormSettings::SetFrameHeight(int height) {
  height = ClampSize(height);
  if (height == FrameHeight()) return;
  LeaveMaximisedForPlacement();
  const TFrame f = FrameOf(&window_);
  window_.resize(window_.width(), std::max(1, height - f.margins.top() - f.margins.bottom()));
  pendingHeight_.reset();
  if (f.margins.isNull()) pendingHeight_ = height;
}

void TFormSettings::ApplyPendingFrameSize(bool userResized) {
  // A maximised window takes its normal size when it is restored.
  if ((!pendingWidth_ && !pendingHeight_) || (window_.windowState() & kNotNormal)) return;
  const TFrame f = FrameOf(&window_);
  if (f.margins.isNull()) {
    // A size the user or the window system chose wins over the stored one.
    if (userResized) pendingWidth_.reset(), pendingHeight_.reset();
    return;
  }
  const int w =
      pendingWidth_ ? *pendingWidth_ - f.margins.left() - f.margins.right() : window_.width();
  const int h =
      pendingHeight_ ? *pendingHeight_ - f.margins.top() - f.margins.bottom() : window_.height();
  pendingWidth_.reset();
  pendingHeight_.reset();
  window_.resize(std::max(1, w), std::max(1, h));
}

void TFormSettings::OnShown() {
  ApplyPendingFrameSize(false);
}

void TFormSettings::OnResized(bool spontaneous) {
  if (window_.isVisible()) ApplyPendingFrameSize(spontaneous);
}

void TFormSettings::OnStateChanged() {
  if (window_.isVisible()) ApplyPendingFrameSize(false);
}

void TFormSettings::OnMoved() {
  if (window_.isVisible()) ApplyPendingFrameSize(false);
}

void TFormSettings::OnShowing() {
  if (position_ == poScreenCenter) {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
      const QSize area = screen->geometry().size();
      // The window is hidden: move its normal placement and keep its state.
      const Qt::WindowStates state = window_.windowState();
      if (state & kNotNormal) window_.setWindowState(state & ~kNotNormal);
      window_.move(std::max(0, (area.width() - FrameWidth()) / 2),
                   std::max(0, (area.height() - FrameHeight()) / 2));
      if (state & kNotNormal) window_.setWindowState(state);
    }
  } else if (position_ == poDefault || position_ == poDefaultPosOnly) {
    // Leave the position to the window system.
    window_.setAttribute(Qt::WA_Moved, false);
  }
  position_ = poDesigned;
}
