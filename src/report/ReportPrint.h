#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QPrinter;
class TReportTree;

// What the heading of every printed page says: the report's starting
// folders and the date of its scan on the left, "Page n of m" on the right.
struct TPrintHeading {
  QString folders;  // StartingFolders()
  QString date;     // "Scanned 10 Dec 2026 00:40", or when printed if unknown
};

// The report's starting folders (its top-level lines' names) for a title or
// a heading: "/usr, /opt", or "/usr, /opt, /var and 4 more" for many.
QString StartingFolders(const TReportTree& tree);
// The printed document's title: "Usage Vorntool - /usr" (the program's name
// alone for an empty report).
QString PrintTitle(const QString& folders);

// Prints plain text as one job named `jobName`: laid out page by page within
// the printer's margins, at least 15 mm on every side, below `heading` on
// every page when one is given. Leading TABs indent a line by half an inch
// each, up to two fifths of the area's width; a line deeper than that starts
// there too, its level ("12» ") standing in the indentation before it. A long line wraps at the
// area's width and goes on under the start of its text; other TABs advance to stops every half
// inch. An empty text gives one blank page. Raises "Cannot print to %s" when the printer refuses
// the job, and "Cannot create file %s" when a PDF file could not be written whole (the previous
// file then stays as it was).
void PrintPlainText(QPrinter& printer, const QString& text, const QFont& font, const QColor& color,
                    const QString& jobName, const TPrintHeading* heading = nullptr);
