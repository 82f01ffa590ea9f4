#include "report/ReportPrint.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QPrinter>
#include <QTextBlock>
#include <QTextBlockFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextOption>
#include <algorithm>

#include "scan/Errors.h"

namespace {

// The layout takes tab distances in 96-per-inch units and scales them to
// the printer itself: half an inch.
constexpr qreal kTabStop = 48.0;
// No nearer the paper's edge than this, whatever the printer would allow:
// a PDF allows none at all.
constexpr qreal kLeastMarginMm = 15.0;

void KeepLeastMargins(QPrinter& printer) {
  const QMarginsF now = printer.pageLayout().margins(QPageLayout::Millimeter);
  const QMarginsF wanted(std::max(now.left(), kLeastMarginMm), std::max(now.top(), kLeastMarginMm),
                         std::max(now.right(), kLeastMarginMm),
                         std::max(now.bottom(), kLeastMarginMm));
  // Refused only where the paper is too small for them; then the printer's stay.
  printer.setPageMargins(wanted, QPageLayout::Millimeter);
}

// One block per line; its leading TABs become the block's indent, so a line
// too long for the page goes on under the start of its own text.
void FillIndented(QTextDocument& document, const QString& text, qreal indentStep) {
  QTextCursor cursor(&document);
  // One edit: otherwise the layout runs again after every line, and printing
  // a report of 270,000 folders had not finished after a quarter of an hour.
  cursor.beginEditBlock();
  const QStringList lines = text.split(QLatin1Char('\n'));
  for (qsizetype i = 0; i < lines.size(); ++i) {
    const QString& line = lines[i];
    qsizetype depth = 0;
    while (depth < line.size() && line[depth] == QLatin1Char('\t')) ++depth;
    QTextBlockFormat format;
    format.setLeftMargin(qreal(depth) * indentStep);
    if (i == 0)
      cursor.setBlockFormat(format);
    else
      cursor.insertBlock(format);
    cursor.insertText(line.mid(depth));
  }
  cursor.endEditBlock();
}

// Printing to a PDF file goes to a temporary file beside it, renamed into
// place only once it is whole: Qt's PDF writer neither keeps the previous
// file nor tells of a write that failed (a full disk), so a finished PDF
// is known by its closing "%%EOF" line.
class TPdfReplacement {
 public:
  explicit TPdfReplacement(QPrinter& printer) : printer_(printer) {
    if (printer.outputFormat() != QPrinter::PdfFormat || printer.outputFileName().isEmpty()) return;
    target_ = printer.outputFileName();
    QByteArray name = QFile::encodeName(QFileInfo(target_).absolutePath() + "/.vtXXXXXX.pdf");
    const int fd = ::mkstemps(name.data(), 4);
    if (fd < 0) return;  // then the printer itself fails, with its own message
    struct stat existing;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    const mode_t mode = ::stat(QFile::encodeName(target_).constData(), &existing) == 0
                            ? (existing.st_mode & 07777)
                            : (0666 & ~mask);
    (void)::fchmod(fd, mode);
    ::close(fd);
    temporary_ = QFile::decodeName(name);
    printer.setOutputFileName(temporary_);
  }
  ~TPdfReplacement() {
    if (temporary_.isEmpty()) return;
    printer_.setOutputFileName(target_);
    if (!done_) QFile::remove(temporary_);
  }
  // The file the user chose (the printer's own name while none is made).
  QString Target() const { return temporary_.isEmpty() ? printer_.outputFileName() : target_; }
  // Puts the finished file in place; raises "Cannot create file %s".
  void Finish() {
    if (temporary_.isEmpty()) return;
    QFile pdf(temporary_);
    bool whole = pdf.open(QIODevice::ReadOnly) && pdf.size() >= 6 && pdf.seek(pdf.size() - 6) &&
                 pdf.read(6) == "%%EOF\n";
    pdf.close();
    whole = whole && ::rename(QFile::encodeName(temporary_).constData(),
                              QFile::encodeName(target_).constData()) == 0;
    if (!whole)
      throw EVorntoolsError(FormatMessage("Cannot create file %s", target_.toStdString()));
    done_ = true;
  }

 private:
  QPrinter& printer_;
  QString target_, temporary_;
  bool done_ = false;
};

}  // namespace

void PrintPlainText(QPrinter& printer, const QString& text, const QFont& font, const QColor& color,
                    const QString& jobName) {
  printer.setDocName(jobName);
  // The layout area is the page within its margins.
  printer.setFullPage(false);
  KeepLeastMargins(printer);

  QTextDocument document;
  // Measured in the printer's own resolution, so what is laid out is what prints.
  document.documentLayout()->setPaintDevice(&printer);
  document.setDocumentMargin(0);
  document.setDefaultFont(font);
  QTextOption option = document.defaultTextOption();
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  option.setTabStopDistance(kTabStop);
  document.setDefaultTextOption(option);
  // Block margins, unlike tab stops, are taken in the printer's own pixels.
  FillIndented(document, text, kTabStop * printer.logicalDpiX() / 96.0);

  const QRectF area = printer.pageRect(QPrinter::DevicePixel);
  const QSizeF page(area.width(), area.height());
  document.setPageSize(page);

  TPdfReplacement replacement(printer);
  QPainter painter;
  if (!painter.begin(&printer)) {
    const QString target =
        printer.outputFileName().isEmpty() ? printer.printerName() : replacement.Target();
    throw EVorntoolsError(FormatMessage("Cannot print to %s", target.toStdString()));
  }
  // Line by line: a line that would cross a page's foot is laid out at the
  // top of the next page, yet its block still begins on this one, so drawing
  // whole blocks page by page would print it twice, once in the margin.
  painter.setPen(color);
  document.documentLayout()->documentSize();  // lays out all of it: left alone it goes lazily
  int pageShown = 0;
  for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
    const QTextLayout* layout = block.layout();
    const QPointF origin = layout->position();
    for (int i = 0; i < layout->lineCount(); ++i) {
      const QTextLine line = layout->lineAt(i);
      // Judged by its middle, which no rounding puts on the wrong page.
      const int onPage = int((origin.y() + line.y() + line.height() / 2) / page.height());
      for (; pageShown < onPage; ++pageShown) printer.newPage();
      line.draw(&painter, origin - QPointF(0, onPage * page.height()));
    }
  }
  painter.end();
  replacement.Finish();
}
