#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QPrinter;

// Prints plain text as one job named `jobName`: laid out page by page over the
// whole printable area of each page, with no margins, heading or page number
// of its own; long lines wrap at the area's width and TABs advance to stops
// every half inch. An empty text gives one blank page. Raises
// "Cannot print to %s" when the printer refuses the job.
void PrintPlainText(QPrinter& printer, const QString& text, const QFont& font, const QColor& color,
                    const QString& jobName);
