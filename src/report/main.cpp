#include <signal.h>

#include <QApplication>
#include <QFile>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "dialogs/About.h"
#include "dialogs/DialogCommon.h"
#include "report/CommandLine.h"
#include "report/UsageReport.h"
#include "scan/MyDirectory.h"
#include "settings/MyIniFile.h"

int main(int argc, char** argv) {
  // Answered before the application object exists, so they need no display,
  // and a mistyped option ends the program before any setting is made.
  const TStartRequest request =
      ReadCommandLine(std::vector<std::string>(argv, argv + argc), std::cout, std::cerr);
  if (request.exitStatus) return *request.exitStatus;

  StopRequested = false;
  // A file-size limit fails a save (EFBIG), which is reported like a full
  // disk, instead of killing the program with the report unsaved.
  signal(SIGXFSZ, SIG_IGN);
  QApplication application(argc, argv);
  QApplication::setApplicationName("Vorntools");
  // Ties the windows to the installed desktop entry (its icon and name on Wayland).
  QGuiApplication::setDesktopFileName(QStringLiteral("com.zelviksoftware.Vorntools"));
  InitDialogResources();
  QApplication::setWindowIcon(MainIcon());

  // An argument with no file-name part ("D:\Configs\") gives the default root.
  const QString root = MakeSettingsRoot(request.namePosition);

  // The report window restores everything as it is made, runs the program's
  // one loop while it is shown, and saves everything as it goes.
  auto report = std::make_unique<TUsageReport>(nullptr, root);
  if (!request.openFile.empty()) report->OpenAtStart(QFile::decodeName(request.openFile.c_str()));
  report->Exec();
  report.reset();
  return 0;
}
