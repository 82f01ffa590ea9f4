#pragma once

#include <QColor>
#include <QDialog>
#include <QFont>

class QComboBox;
class QFontDialog;

// The font dialog of the report: face, size, the styles bold, italic,
// underline and strike-out, and a text colour from the sixteen basic colours.
class TFontDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TFontDialog(QWidget* parent = nullptr);

  QFont Font() const;
  void SetFont(const QFont& font);
  QColor Color() const;
  void SetColor(const QColor& color);

 private:
  QFontDialog* fonts_;
  QComboBox* colors_;
  QFont given_;  // as SetFont had it
  QFont shown_;  // as the chooser showed it then
};

// Gives a control the report's font and text colour (the Font command's
// choice), each control keeping its own copy.
void ApplyFontAndColor(QWidget& control, const QFont& font, const QColor& color);
