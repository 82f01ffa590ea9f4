#include "report/ReportOutput.h"

#include <cerrno>
#include <cstring>

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QTextEdit>
#include <string>

#include "dialogs/ErrorBox.h"
#include "dialogs/ModalHook.h"
#include "report/FontDialog.h"
#include "report/MyReport.h"
#include "report/ReportPrint.h"
#include "scan/Errors.h"
#include "scan/ReportTree.h"
#include "scan/SafeFile.h"

TReportOutput::TReportOutput(TMyReport& window, TReportTree& tree)
    : QObject(&window), window_(window), tree_(tree) {
  printText_ = new QTextEdit(&window_);
  printText_->setObjectName("RichEdit1");
  printText_->setPlainText("RichEdit1");
  printText_->hide();
}

void TReportOutput::SetFont(const QFont& font) {
  printText_->setFont(font);
}

void TReportOutput::ApplyFont(const QFont& font, const QColor& color) {
  fontColor_ = color;
  ApplyFontAndColor(*printText_, font, color);
}

QString TReportOutput::DefaultSaveName() const {
  // The section names the file; its key separators would make folders of it.
  QString name = window_.Section;
  name.replace(QLatin1Char('\\'), QLatin1Char(' ')).replace(QLatin1Char('/'), QLatin1Char(' '));
  return name + ".txt";
}

QFileDialog& TReportOutput::SaveDialog1() {
  if (!saveDialog_) {
    saveDialog_ = new QFileDialog(&window_, "Save As");
    saveDialog_->setObjectName("SaveDialog1");
    saveDialog_->setAcceptMode(QFileDialog::AcceptSave);
    saveDialog_->setFileMode(QFileDialog::AnyFile);
    saveDialog_->setOption(QFileDialog::DontConfirmOverwrite);
    saveDialog_->setOption(QFileDialog::DontUseNativeDialog);
    saveDialog_->setDefaultSuffix("txt");
    saveDialog_->setNameFilter("Text Files (*.txt)");
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty() || !QDir(documents).exists()) documents = QDir::homePath();
    saveDialog_->setDirectory(documents);
  }
  return *saveDialog_;
}

bool TReportOutput::ConfirmReplace(const QString& file) {
  QMessageBox box(QMessageBox::Question, ApplicationTitle(),
                  QString("\"%1\" already exists. Replace it?").arg(file),
                  QMessageBox::Yes | QMessageBox::No, &window_);
  box.setObjectName("ReplaceQuestion");
  box.button(QMessageBox::Yes)->setText("&Replace");
  box.button(QMessageBox::No)->setText("Cancel");
  box.setDefaultButton(QMessageBox::No);
  box.setEscapeButton(QMessageBox::No);
  return ExecModal(box) == QMessageBox::Yes;
}

void TReportOutput::SaveAs() {
  window_.Command([this] {
    QFileDialog& dialog = SaveDialog1();
    dialog.selectFile(DefaultSaveName());
    QString file;
    // One mistyped name must not cost a file: an existing one is replaced
    // only when the user says so; otherwise the dialog comes back with the
    // name. The question is ours alone (the dialog's own is off), and comes
    // after the default extension is added, so it names the real file.
    for (;;) {
      if (ExecModal(dialog) != QDialog::Accepted) return;
      const QStringList chosen = dialog.selectedFiles();
      if (chosen.isEmpty()) return;
      file = chosen.first();
      if (!QFileInfo::exists(file) || ConfirmReplace(file)) break;
      dialog.selectFile(file);
    }
    tree_.Save(QFile::encodeName(file).toStdString());
  });
}

QPrintDialog& TReportOutput::PrintDialog1() {
  if (!printDialog_) {
    printDialog_ = new QPrintDialog(&printer_, &window_);
    printDialog_->setObjectName("PrintDialog1");
    // No page range or selection; printing to a PDF file stays, so a
    // machine without a printer can still print.
    printDialog_->setOptions(QAbstractPrintDialog::PrintToFile |
                             QAbstractPrintDialog::PrintShowPageSize);
  }
  return *printDialog_;
}

QPageSetupDialog& TReportOutput::PrinterSetupDialog1() {
  if (!setupDialog_) {
    setupDialog_ = new QPageSetupDialog(&printer_, &window_);
    setupDialog_->setObjectName("PrinterSetupDialog1");
  }
  return *setupDialog_;
}

void TReportOutput::SetupPrinter() {
  // The dialog works on the window's printer, which keeps the settings for the run.
  window_.Command([this] {
    if (printer_.outputFormat() == QPrinter::NativeFormat) {
      ExecModal(PrinterSetupDialog1());
      return;
    }
    // Qt's page set-up works on system printers only; with none installed
    // the printer is chosen and set up in the print dialog's own form.
    QPrintDialog setup(&printer_, &window_);
    setup.setWindowTitle("Setup Printer");
    setup.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize);
    ExecModal(setup);
  });
}

void TReportOutput::Print() {
  window_.Command([this] {
    if (ExecModal(PrintDialog1()) != QDialog::Accepted) return;
    // Removed when the command ends, however it ends.
    QTemporaryFile temporary(QDir(QDir::tempPath()).filePath("xxxXXXXXX"));
    if (!temporary.open()) {
      throw EVorntoolsError(
          FormatMessage("Cannot create file %s", temporary.fileTemplate().toStdString()) + ": " +
          temporary.errorString().toStdString());
    }
    const std::string fileName = temporary.fileName().toStdString();
    temporary.close();
    tree_.Save(fileName);
    std::string text;
    if (!ReadWholeFile(fileName, text)) {
      throw EVorntoolsError(FormatMessage("Cannot open file %s", fileName) + ": " +
                            std::strerror(errno));
    }
    QString plain = QString::fromStdString(text);
    plain.replace("\r\n", "\n");
    if (plain.endsWith('\n')) plain.chop(1);  // a line end ends a line, it does not add one
    printText_->setPlainText(plain);
    TPrintHeading heading;
    heading.folders = StartingFolders(tree_);
    const QDateTime scanned = scanTime_ ? scanTime_() : QDateTime();
    heading.date =
        scanned.isValid()
            ? "Scanned " + QLocale().toString(scanned, QLocale::ShortFormat)
            : "Printed " + QLocale().toString(QDateTime::currentDateTime(), QLocale::ShortFormat);
    PrintPlainText(printer_, printText_->toPlainText(), printText_->font(), fontColor_,
                   PrintTitle(heading.folders), &heading);
  });
}
