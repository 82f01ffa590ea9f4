#include <signal.h>

#include <QApplication>
#include <iostream>
#include <memory>

#include "dialogs/About.h"
#include "dialogs/DialogCommon.h"
#include "report/CommandLine.h"
#include "report/UsageReport.h"
#include "scan/MyDirectory.h"
#include "settings/MyIniFile.h"

int main(int argc, char** argv) {
  // Answered before the application object exists, so they need no display.
  if (const auto status = AnswerInfoOption(argc, argv, std::cout)) return *status;

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

  // "--open FILE" first opens a scan file; a configuration's name may follow.
  const QStringList arguments = QCoreApplication::arguments();
  const bool open = arguments.size() > 1 && arguments[1] == QLatin1String("--open");
  if (open && arguments.size() < 3) {
    std::cerr << "vorntools: option '--open' needs a scan file\n";
    return 2;
  }
  // An argument with no file-name part ("D:\Configs\") gives the default root.
  const QString root = MakeSettingsRoot(open ? 3 : 1);

  // The report window restores everything as it is made, runs the program's
  // one loop while it is shown, and saves everything as it goes.
  auto report = std::make_unique<TUsageReport>(nullptr, root);
  if (open) report->OpenAtStart(arguments[2]);
  report->Exec();
  report.reset();
  return 0;
}
