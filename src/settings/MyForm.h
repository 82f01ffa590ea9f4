#pragma once

#include <QDialog>
#include <QString>
#include <memory>
#include <optional>

#include "settings/MyIniFile.h"

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

// Base of every window that remembers its placement and values between runs.
// A QDialog, so it can be shown modally; a main window adds its menu bar
// through its layout (QLayout::setMenuBar).
class TMyForm : public QDialog {
  Q_OBJECT

 public:
  // Reads nothing: the owner of the window triggers RestoreForm.
  TMyForm(QWidget* owner, const QString& root, const QString& section);
  ~TMyForm() override;

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

  void setVisible(bool visible) override;

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void changeEvent(QEvent* event) override;

 public:
  std::unique_ptr<TMyIniFile> IniFile;
  QString Section;

 private:
  void ApplyShowingRule();
  void LeaveMaximisedForPlacement();
  void ApplyPendingFrameSize(bool userResized);

  // An outer size given while the frame was not yet known (before showing):
  // the client area is corrected once the window system tells the frame.
  std::optional<int> pendingWidth_;
  std::optional<int> pendingHeight_;

  int position_ = poScreenCenter;
};
