#include "report/ReportPrint.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QPrinter>
#include <QTextDocument>
#include <QTextOption>

#include "scan/Errors.h"

void PrintPlainText(QPrinter& printer, const QString& text, const QFont& font, const QColor& color,
                    const QString& jobName) {
  printer.setDocName(jobName);
  // The printable area is the layout area: the printer's own minimum
  // margins, nothing added.
  printer.setFullPage(false);
  printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Point);

  QTextDocument document;
  // Measured in the printer's own resolution, so what is laid out is what prints.
  document.documentLayout()->setPaintDevice(&printer);
  document.setDocumentMargin(0);
  document.setDefaultFont(font);
  QTextOption option = document.defaultTextOption();
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  // The layout takes tab distances in 96-per-inch units and scales them to
  // the printer itself: half an inch.
  option.setTabStopDistance(48.0);
  document.setDefaultTextOption(option);
  document.setPlainText(text);

  const QRectF area = printer.pageRect(QPrinter::DevicePixel);
  const QSizeF page(area.width(), area.height());
  document.setPageSize(page);

  QPainter painter;
  if (!painter.begin(&printer)) {
    const QString target =
        printer.outputFileName().isEmpty() ? printer.printerName() : printer.outputFileName();
    throw EVorntoolsError(FormatMessage("Cannot print to %s", target.toStdString()));
  }
  const int pages = document.pageCount();
  for (int p = 0; p < pages; ++p) {
    if (p > 0) printer.newPage();
    painter.save();
    const qreal top = p * page.height();
    painter.translate(0, -top);
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = QRectF(0, top, page.width(), page.height());
    context.palette.setColor(QPalette::Text, color);
    document.documentLayout()->draw(&painter, context);
    painter.restore();
  }
  painter.end();
}
