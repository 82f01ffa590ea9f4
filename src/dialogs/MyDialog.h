#pragma once

#include <QSize>
#include <QString>
#include <memory>
#include <vector>

#include "settings/MyForm.h"

class QWidget;

// One edge-following rule: how a control moves or stretches with the dialog.
// The offsets are taken from the dialog's outer size when the rule is added.
struct TResize {
  QWidget* component = nullptr;  // not owned
  bool followRight = false;      // left = width - rightOffset
  bool stretchWidth = false;     // width = width - widthOffset
  bool followBottom = false;     // top = height - bottomOffset
  bool stretchHeight = false;    // height = height - heightOffset
  int rightOffset = 0;
  int widthOffset = 0;
  int bottomOffset = 0;
  int heightOffset = 0;
};

// Base of the settings dialogs: a remembered window (section "<base>\Dialog")
// whose controls follow its edges by the rules added with AddResize.
class TMyDialog : public TMyForm {
  Q_OBJECT

 public:
  TMyDialog(QWidget* owner, const QString& root, const QString& baseName);
  ~TMyDialog() override;

  void ReadSettings() override;
  void WriteSettings() override;

  // Esc, the close box and a Cancel button all give mrCancel.
  void reject() override;

  // The rules in the order they were added.
  const std::vector<std::unique_ptr<TResize>>& ResizeList() const { return resizeList_; }

  // The outer size that the rules are measured against (frame included).
  QSize OuterSize() const;

 protected:
  void AddResize(QWidget* control, bool followRight, bool stretchWidth, bool followBottom,
                 bool stretchHeight);
  // Applies every rule, first to last, to the dialog's current outer size.
  void ResizeControls();

 private:
  std::vector<std::unique_ptr<TResize>> resizeList_;
  // The window system adds the frame only when the window is first shown;
  // the frame found when the rules were measured is remembered so that a
  // frame appearing later does not shift every control by its thickness.
  QSize measuredFrame_;
};
