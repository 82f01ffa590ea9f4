#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QPrinter;

// Prints plain text as one job named `jobName`: laid out page by page within
// the printer's margins, at least 15 mm on every side, with no heading or page
// number of its own. Leading TABs indent a line by half an inch each; a long
// line wraps at the area's width and goes on under the start of its text;
// other TABs advance to stops every half inch. An empty text gives one blank
// page. Raises "Cannot print to %s" when the printer refuses the job, and
// "Cannot create file %s" when a PDF file could not be written whole (the
// previous file then stays as it was).
void PrintPlainText(QPrinter& printer, const QString& text, const QFont& font, const QColor& color,
                    const QString& jobName);
