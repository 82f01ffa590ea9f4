#pragma once

#include <QString>
#include <QWidget>

// The status line's one text panel. Setting the text only records it and
// marks the panel for repainting, so a scan can show every folder it enters
// without paying for a repaint each time: repaints are merged until the
// interface next gets to process its events.
class TStatusText : public QWidget {
  Q_OBJECT

 public:
  explicit TStatusText(QWidget* parent = nullptr);

  const QString& Text() const { return text_; }
  void SetText(const QString& text);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString text_;
};
