#include "report/ReportPrint.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>
#include <QTextBlock>
#include <QTextBlockFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextOption>
#include <algorithm>
#include <functional>

#include "scan/Errors.h"
#include "scan/ReportTree.h"

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

// Indentation takes at most this share of the width, so that deep names
// do not wrap under their sizes.
constexpr qreal kMostIndentShare = 0.4;
// Starting folders named in a title or heading; more are counted.
constexpr qsizetype kFoldersNamed = 3;

// One block per line of lines[first, last); its leading TABs become the
// block's indent, so a line too long for the page goes on under the start
// of its own text. Below `deepest` levels a line is indented no further and
// its level stands before it, in the indentation where there is room, so
// the sizes of all deep lines stay in one column.
void FillIndented(QTextDocument& document, const QStringList& lines, qsizetype first,
                  qsizetype last, qreal indentStep, qsizetype deepest,
                  const QFontMetricsF& metrics) {
  QTextCursor cursor(&document);
  // One edit: otherwise the layout runs again after every line.
  cursor.beginEditBlock();
  for (qsizetype i = first; i < last; ++i) {
    const QString& line = lines[i];
    qsizetype depth = 0;
    while (depth < line.size() && line[depth] == QLatin1Char('\t')) ++depth;
    QTextBlockFormat format;
    const qreal indent = qreal(std::min(depth, deepest)) * indentStep;
    format.setLeftMargin(indent);
    QString level;
    if (depth > deepest) {
      level = QString::number(depth) + QStringLiteral("\u00bb ");
      const qreal hang = metrics.horizontalAdvance(level);
      if (hang <= indent) format.setTextIndent(-hang);
    }
    if (i == first)
      cursor.setBlockFormat(format);
    else
      cursor.insertBlock(format);
    cursor.insertText(level + line.mid(depth));
  }
  cursor.endEditBlock();
}

// Lays the lines out in pieces, as if in one document cut into pages of
// `pageSize`, and gives each laid-out line with the page it falls on and the
// point to draw it from on that page. Gives the number of pages.
int CutIntoPages(QPrinter& printer, const QStringList& lines, const QFont& font,
                 const QSizeF& pageSize, qreal indentStep, qsizetype deepest,
                 const std::function<void(const QTextLine&, int page, QPointF at)>& each) {
  int lastPage = 0;
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
                 indentStep, deepest, QFontMetricsF(font, &printer));
    // Laid out as one long page; the pages are cut here, so that lines
    // follow on from one document to the next as in a single one.
    document.setTextWidth(pageSize.width());
    const qreal height = document.documentLayout()->documentSize().height();  // lays out all

    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
      const QTextLayout* layout = block.layout();
      const QPointF origin = layout->position();
      for (int i = 0; i < layout->lineCount(); ++i) {
        const QTextLine line = layout->lineAt(i);
        qreal y = top + origin.y() + line.y() + pushed;
        int onPage = int(y / pageSize.height());
        // A line that would cross the page's foot begins the next page; one
        // taller than a whole page stays where it is, cut off.
        const qreal foot = (onPage + 1) * pageSize.height();
        if (y + line.height() > foot + kTolerance && y > onPage * pageSize.height() + kTolerance) {
          pushed += foot - y;
          y = foot;
          ++onPage;
        }
        lastPage = std::max(lastPage, onPage);
        if (each) {
          each(line, onPage, QPointF(origin.x(), y - line.y() - onPage * pageSize.height()));
        }
      }
    }
    top += height;
  }
  return lastPage + 1;
}

// The heading's height: two lines, a rule and a gap of half a line.
qreal HeadingHeight(const QFontMetricsF& metrics) {
  return metrics.lineSpacing() * 2.75;
}

void DrawHeading(QPainter& painter, const TPrintHeading& heading, const QFont& font,
                 const QFontMetricsF& metrics, qreal width, int page, int pages) {
  const qreal line = metrics.lineSpacing();
  const QString number = QStringLiteral("Page %1 of %2").arg(page).arg(pages);
  const qreal numberWidth = metrics.horizontalAdvance(number);
  QFont bold = font;
  bold.setBold(true);
  painter.setFont(bold);
  const QFontMetricsF boldMetrics(bold, painter.device());
  const QString folders = boldMetrics.elidedText(heading.folders, Qt::ElideMiddle,
                                                 std::max(0.0, width - numberWidth - 2 * line));
  painter.drawText(QRectF(0, 0, width, line), Qt::AlignLeft | Qt::AlignVCenter, folders);
  painter.setFont(font);
  painter.drawText(QRectF(0, 0, width, line), Qt::AlignRight | Qt::AlignVCenter, number);
  painter.drawText(QRectF(0, line, width, line), Qt::AlignLeft | Qt::AlignVCenter,
                   metrics.elidedText(heading.date, Qt::ElideRight, width));
  const qreal rule = line * 2.2;
  const QPen pen = painter.pen();
  painter.setPen(QPen(pen.color(), std::max(1.0, painter.device()->logicalDpiY() / 144.0)));
  painter.drawLine(QPointF(0, rule), QPointF(width, rule));
  painter.setPen(pen);
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

QString StartingFolders(const TReportTree& tree) {
  QStringList names;
  const qsizetype count = static_cast<qsizetype>(tree.TopLevelCount());
  for (qsizetype i = 0; i < std::min(count, kFoldersNamed); ++i) {
    names << QString::fromStdString(tree.TopLevel(static_cast<std::size_t>(i))->Name());
  }
  QString text = names.join(QStringLiteral(", "));
  if (count > kFoldersNamed) text += QStringLiteral(" and %1 more").arg(count - kFoldersNamed);
  return text;
}

QString PrintTitle(const QString& folders) {
  return folders.isEmpty() ? QStringLiteral("Usage Vorntool")
                           : QStringLiteral("Usage Vorntool - ") + folders;
}

void PrintPlainText(QPrinter& printer, const QString& text, const QFont& font, const QColor& color,
                    const QString& jobName, const TPrintHeading* heading) {
  printer.setDocName(jobName);
  // The layout area is the page within its margins.
  printer.setFullPage(false);
  KeepLeastMargins(printer);
  const QRectF area = printer.pageRect(QPrinter::DevicePixel);
  const QFontMetricsF metrics(font, &printer);
  const qreal headingHeight = heading ? std::min(HeadingHeight(metrics), area.height() / 2) : 0;
  const QSizeF page(area.width(), area.height() - headingHeight);
  // Block margins, unlike tab stops, are taken in the printer's own pixels.
  const qreal indentStep = kTabStop * printer.logicalDpiX() / 96.0;
  const qsizetype deepest = qsizetype(page.width() * kMostIndentShare / indentStep);
  const QStringList lines = text.split(QLatin1Char('\n'));
  // The count of pages comes first, for the headings.
  const int pages =
      heading ? CutIntoPages(printer, lines, font, page, indentStep, deepest, nullptr) : 0;

  TPdfReplacement replacement(printer);
  QPainter painter;
  if (!painter.begin(&printer)) {
    const QString target =
        printer.outputFileName().isEmpty() ? printer.printerName() : replacement.Target();
    throw EVorntoolsError(FormatMessage("Cannot print to %s", target.toStdString()));
  }
  painter.setPen(color);
  const auto headed = [&](int number) {
    if (!heading) return;
    painter.save();
    DrawHeading(painter, *heading, font, metrics, page.width(), number, pages);
    painter.restore();
  };
  headed(1);
  int pageShown = 0;
  CutIntoPages(printer, lines, font, page, indentStep, deepest,
               [&](const QTextLine& line, int onPage, QPointF at) {
                 for (; pageShown < onPage; ++pageShown) {
                   printer.newPage();
                   headed(pageShown + 2);
                 }
                 line.draw(&painter, at + QPointF(0, headingHeight));
               });
  painter.end();
  replacement.Finish();
}
