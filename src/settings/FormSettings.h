#pragma once

#include <QString>
#include <memory>
#include <optional>

#include "settings/MyIniFile.h"

class QWidget;

// Placement policies applied when a window is shown.
enum TPosition {
  poDesigned = 0,
  poDefault = 1,
  poDefaultPosOnly = 2,
  poDefaultSizeOnly = 3,
  poScreenCenter = 4,
};

// Stored window states.
enum TWindowState { wsNormal = 0, wsMinimized = 1, wsMaximized = 2 };

// The settings protocol of a window that remembers its placement and values
// between runs, for any top-level widget: a dialog base and a main-window
// base each derive from it and pass their show, resize, move and state
// events on (the On... calls), so the placement rules exist once.
class TFormSettings {
 public:
  // Reads nothing: the owner of the window triggers RestoreForm.
  TFormSettings(QWidget& window, const QString& root, const QString& section);
  virtual ~TFormSettings();

  // Placement ("Left", "Top", "Height", "Width", "State", "Position"), then ReadSettings.
  void RestoreForm();
  // Placement, then WriteSettings. A store error ends it at the failing value.
  void SaveForm();

  // The window's own values; overrides call the inherited one first.
  virtual void ReadSettings();
  virtual void WriteSettings();
  // Switches IniFile to the named configuration; reads and writes nothing.
  virtual void SetConfiguration(const QString& name);

  // Placement policy (TPosition) applied the next time the window is shown.
  int Position() const { return position_; }
  void SetPosition(int position);
  // Window state as stored (TWindowState).
  int State() const;
  void SetState(int state);

  // Outer frame placement; while maximised or minimised, the normal placement.
  int FrameLeft() const;
  int FrameTop() const;
  int FrameWidth() const;
  int FrameHeight() const;
  void SetFrameLeft(int left);
  void SetFrameTop(int top);
  void SetFrameWidth(int width);
  void SetFrameHeight(int height);

  std::unique_ptr<TMyIniFile> IniFile;
  QString Section;

 protected:
  // Called by the window class: before it goes from hidden to shown, and
  // after its own show, resize, move and window-state events.
  void OnShowing();
  void OnShown();
  void OnResized(bool spontaneous);
  void OnMoved();
  void OnStateChanged();

 private:
  void LeaveMaximisedForPlacement();
  void ApplyPendingFrameSize(bool userResized);

  QWidget& window_;
  // An outer size given while the frame was not yet known (before showing):
  // the client area is corrected once the window system tells the frame.
  std::optional<int> pendingWidth_;
  std::optional<int> pendingHeight_;

  int position_ = poScreenCenter;
};
