#pragma once

#include <QEvent>
#include <QResizeEvent>
#include <QString>
#include <QWidget>

#include "settings/FormSettings.h"

// A top-level window of kind Base (a dialog or a main window) that tells
// its placement protocol of every showing, resize, move and change of state.
template <class Base>
class TPlacedWindow : public Base, public TFormSettings {
 public:
  TPlacedWindow(QWidget* owner, const QString& root, const QString& section)
      : Base(owner), TFormSettings(*this, root, section) {}

  void setVisible(bool visible) override {
    // exec(), show() and showMaximized() all come through here.
    if (visible && !this->isVisible()) OnShowing();
    Base::setVisible(visible);
  }

 protected:
  void showEvent(QShowEvent* event) override {
    Base::showEvent(event);
    OnShown();
  }
  void resizeEvent(QResizeEvent* event) override {
    Base::resizeEvent(event);
    OnResized(event->spontaneous());
  }
  void moveEvent(QMoveEvent* event) override {
    Base::moveEvent(event);
    OnMoved();
  }
  void changeEvent(QEvent* event) override {
    Base::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) OnStateChanged();
  }
};
