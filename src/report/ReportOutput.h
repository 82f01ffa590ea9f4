#pragma once

#include <QColor>
#include <QDateTime>
#include <QObject>
#include <QPrinter>
#include <QString>
#include <functional>

class QFileDialog;
class QFont;
class QPageSetupDialog;
class QPrintDialog;
class QTextEdit;
class TMyReport;
class TReportTree;

// The report's way out of the window: Save As, Setup Printer and Print, the
// standard dialogs they show and the printer they keep for the run. What is
// saved and printed is always the report tree's text form.
class TReportOutput : public QObject {
  Q_OBJECT

 public:
  // Makes the hidden text control printing goes through.
  TReportOutput(TMyReport& window, TReportTree& tree);

  QTextEdit* PrintText() const { return printText_; }
  QPrinter& Printer() { return printer_; }
  // The name Save As offers.
  QString DefaultSaveName() const;
  // The report's font: the font alone, or with its colour.
  void SetFont(const QFont& font);
  void ApplyFont(const QFont& font, const QColor& color);

  // When the scan behind the report began, for the printed heading (an
  // invalid time when it is not known).
  void SetScanTime(std::function<QDateTime()> scanTime) { scanTime_ = std::move(scanTime); }

  void SaveAs();
  void SetupPrinter();
  void Print();

 private:
  QFileDialog& SaveDialog1();
  // Asks before an existing file is replaced; true to replace it.
  bool ConfirmReplace(const QString& file);
  QPrintDialog& PrintDialog1();
  QPageSetupDialog& PrinterSetupDialog1();

  TMyReport& window_;
  TReportTree& tree_;
  QTextEdit* printText_ = nullptr;
  QColor fontColor_ = Qt::black;
  QFileDialog* saveDialog_ = nullptr;
  QPrintDialog* printDialog_ = nullptr;
  QPageSetupDialog* setupDialog_ = nullptr;
  QPrinter printer_{QPrinter::HighResolution};
  std::function<QDateTime()> scanTime_;
};
