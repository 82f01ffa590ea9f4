#pragma once

#include <QString>
#include <QWidget>
#include <string>

// The status line's one text panel. Setting the text only records it and
// marks the panel for repainting, so a scan can show every folder it enters
// without paying for a repaint, or even a conversion, each time: the text is
// converted when it is painted, and repaints are merged until the interface
// next gets to process its events.
class TStatusText : public QWidget {
  Q_OBJECT

 public:
  explicit TStatusText(QWidget* parent = nullptr);

  QString Text() const { return QString::fromStdString(text_); }
  void SetText(const std::string& text);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::string text_;  // UTF-8, as the scan gives it
  bool repaintPending_ = false;
};
