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

// Lines laid out in one document at a time. The layout keeps positions in
// 1/64 pixel in an int, which at 1200 dpi overflows after some 200,000 lines
// (and then never finishes); each document starts again at 0, so this many
// lines keep far below that.
constexpr qsizetype kLinesPerDocument = 4096;
// Positions are whole 1/64 pixels; less than that is rounding, not overlap.
constexpr qreal kTolerance = 1.0 / 64;

// One block per line of lines[first, last); its leading TABs become the
// block's indent, so a line too long for the page goes on under the start
// of its own text.
void FillIndented(QTextDocument& document, const QStringList& lines, qsizetype first,
                  qsizetype last, qreal indentStep) {
  QTextCursor cursor(&document);
  // One edit: otherwise the layout runs again after every line.
  cursor.beginEditBlock();
  for (qsizetype i = first; i < last; ++i) {
    const QString& line = lines[i];
    qsizetype depth = 0;
    while (depth < line.size() && line[depth] == QLatin1Char('\t')) ++depth;
    QTextBlockFormat format;
    format.setLeftMargin(qreal(depth) * indentStep);
    if (i == first)
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
  const QRectF area = printer.pageRect(QPrinter::DevicePixel);
  const QSizeF page(area.width(), area.height());
  // Block margins, unlike tab stops, are taken in the printer's own pixels.
  const qreal indentStep = kTabStop * printer.logicalDpiX() / 96.0;
  const QStringList lines = text.split(QLatin1Char('\n'));

  TPdfReplacement replacement(printer);
  QPainter painter;
  if (!painter.begin(&printer)) {
    const QString target =
        printer.outputFileName().isEmpty() ? printer.printerName() : replacement.Target();
    throw EVorntoolsError(FormatMessage("Cannot print to %s", target.toStdString()));
  }
  painter.setPen(color);
  int pageShown = 0;
  qreal top = 0;     // where the current document begins, on one long page
  qreal pushed = 0;  // how far lines moved down so far to begin a new page
  for (qsizetype first = 0; first < lines.size(); first += kLinesPerDocument) {
    QTextDocument document;
    // Measured in the printer's own resolution, so what is laid out is what prints.
    document.documentLayout()->setPaintDevice(&printer);
    document.setDocumentMargin(0);
    document.setDefaultFont(font);
    QTextOption option = document.defaultTextOption();
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    option.setTabStopDistance(kTabStop);
    document.setDefaultTextOption(option);
    FillIndented(document, lines, first, std::min(lines.size(), first + kLinesPerDocument),
                 indentStep);
    // Laid out as one long page; the pages are cut here, so that lines
    // follow on from one document to the next as in a single one.
    document.setTextWidth(page.width());
    const qreal height = document.documentLayout()->documentSize().height();  // lays out all

    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
      const QTextLayout* layout = block.layout();
      const QPointF origin = layout->position();
      for (int i = 0; i < layout->lineCount(); ++i) {
        const QTextLine line = layout->lineAt(i);
        qreal y = top + origin.y() + line.y() + pushed;
        int onPage = int(y / page.height());
        // A line that would cross the page's foot begins the next page; one
        // taller than a whole page stays where it is, cut off.
        const qreal foot = (onPage + 1) * page.height();
        if (y + line.height() > foot + kTolerance && y > onPage * page.height() + kTolerance) {
          pushed += foot - y;
          y = foot;
          ++onPage;
        }
        for (; pageShown < onPage; ++pageShown) printer.newPage();
        line.draw(&painter, QPointF(origin.x(), y - line.y() - onPage * page.height()));
      }
    }
    top += height;
  }
  painter.end();
  replacement.Finish();
}
