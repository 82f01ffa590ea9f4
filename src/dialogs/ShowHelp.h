#pragma once

#include <QString>
#include <QStringList>

class QTextBrowser;

// The help file's name; the same everywhere the program is installed.
inline const QString kHelpFileName = QStringLiteral("Vorntools.hlp");

// The places the help file is looked for, in order: beside the program, one
// folder up, then in share/vorntools/ one folder up (where an installed copy
// keeps it). For a program in "/" the last two are relative to the current
// folder.
QStringList HelpFileCandidates(const QString& programPath);

// The help file for a program at `programPath`, or empty when no place has it.
QString FindHelpFile(const QString& programPath);

// The help file last looked for (the last candidate when none was found).
QString ApplicationHelpFile();

// Opens the user guide at its first page in the help window, or shows
// "Can't find the help file". The caller goes on either way.
void ShowHelp();
// The same, for a program at `programPath`.
void ShowHelp(const QString& programPath);

// The help window, when it has been opened (for tests and for closing it).
QTextBrowser* HelpWindow();
