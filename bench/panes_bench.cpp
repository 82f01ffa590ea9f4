// How soon the Largest Files, File Types and File Ages panes show their
// counts after a scan in the window, and the longest time the window went
// without handling a timer meanwhile (it must stay responsive). Offscreen
// is fine. Prints one "name value" line per figure, in milliseconds.
//
//   panes_bench --tree DIR | --open SCANFILE [--rounds N] [--shot FILE.png]
//               [--shot-during FILE.png]
//
// --open reads a scan file in the window instead of scanning a tree.
//
// --shot saves a picture of the window, treemap shown, after the last round;
// --shot-during one a second into the first scan.
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "dialogs/ModalHook.h"
#include "report/FileAgesPane.h"
#include "report/FileTypesPane.h"
#include "report/FilesPane.h"
#include "report/LargestFilesPane.h"
#include "report/ScanControl.h"
#include "report/ScanFiles.h"
#include "report/UsageReport.h"
#include "scan/ReportTree.h"
#include "settings/MyIniFile.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QString tree, shot, shotDuring, open;
  int rounds = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    const QString option = argv[i];
    if (option == "--tree") tree = argv[i + 1];
    if (option == "--open") open = argv[i + 1];
    if (option == "--rounds") rounds = QString(argv[i + 1]).toInt();
    if (option == "--shot") shot = argv[i + 1];
    if (option == "--shot-during") shotDuring = argv[i + 1];
  }
  if (tree.isEmpty() && open.isEmpty()) {
    std::fprintf(stderr,
                 "usage: panes_bench --tree DIR | --open SCANFILE [--rounds N] [--shot FILE.png] "
                 "[--shot-during FILE.png]\n");
    return 2;
  }
  // Never the real user's settings.
  QTemporaryDir home;
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath("config")));
  qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath("data")));
  SetModalHook([](QDialog&) { return 0; });

  TUsageReport window(nullptr, kDefaultSettingsRoot);
  window.resize(1200, 800);
  window.show();
  auto* largest = window.findChild<TLargestFilesPane*>();
  auto* types = window.findChild<TFileTypesPane*>();
  auto* ages = window.findChild<TFileAgesPane*>();
  largest->show();
  types->show();
  ages->show();

  QElapsedTimer clock;
  qint64 scanned = -1, filled = -1, tallied = -1, counted = -1, last = -1, maxGap = 0;
  QTimer tick;
  tick.setInterval(5);
  QObject::connect(&tick, &QTimer::timeout, [&] {
    const qint64 now = clock.nsecsElapsed();
    if (last >= 0) maxGap = std::max(maxGap, now - last);
    last = now;
  });
  QObject::connect(&window.Scan(), &TScanControl::DocumentsChanged, [&] {
    scanned = clock.nsecsElapsed();
    last = scanned;
    maxGap = 0;
    tick.start();
  });
  QObject::connect(largest, &TLargestFilesPane::Filled, [&] { filled = clock.nsecsElapsed(); });
  QObject::connect(types, &TFileTypesPane::Tallied, [&] { tallied = clock.nsecsElapsed(); });
  QObject::connect(ages, &TFileAgesPane::Counted, [&] { counted = clock.nsecsElapsed(); });

  for (int round = 0; round < rounds; ++round) {
    UsageOptions options;
    options.Folders = {tree.toStdString()};
    options.ClearReport = true;
    options.Record = ScanRecord::Files;
    scanned = filled = tallied = counted = -1;
    clock.start();
    if (round == 0 && !shotDuring.isEmpty()) {
      QTimer::singleShot(1000, &window, [&] { window.grab().save(shotDuring); });
    }
    if (open.isEmpty()) {
      window.RunScan(options);
    } else {
      window.ScanFiles().Open(open);
    }
    const qint64 scanEnd = clock.nsecsElapsed();
    // What the window itself does after the scan, before RunScan returns,
    // is not the panes' doing: their pauses are counted from here.
    const qint64 windowGap = maxGap;
    maxGap = 0;
    last = scanEnd;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (filled > scanned && tallied > scanned && counted > scanned && !largest->Counting() &&
          !types->Counting() && !ages->Counting()) {
        loop.quit();
      }
    });
    poll.start(1);
    loop.exec();
    tick.stop();
    const auto ms = [&](qint64 at) { return (at - scanned) / 1e6; };
    std::printf("scan_ms %.0f\n", scanEnd / 1e6);
    std::printf("largest_files_ms %.1f\n", ms(filled));
    std::printf("file_types_ms %.1f\n", ms(tallied));
    std::printf("file_ages_ms %.1f\n", ms(counted));
    std::printf("window_after_scan_ms %.1f\n", ms(scanEnd));
    std::printf("window_max_gap_before_return_ms %.1f\n", windowGap / 1e6);
    std::printf("max_event_gap_after_return_ms %.1f\n", maxGap / 1e6);
    std::fflush(stdout);
  }
  // The Files pane on the folder of the most files: how long choosing it takes.
  if (TFilesPane* files = window.FilesPane()) {
    const TReportTree& report = window.Tree();
    TTreeNode* widest = nullptr;
    std::int64_t most = -1;
    for (std::size_t i = 0; i < report.TopLevelCount(); ++i) {
      for (TTreeNode* n = report.TopLevel(i); n; n = TReportTree::NextInTreeOrder(n)) {
        std::int64_t own = n->Files();
        for (std::size_t c = 0; c < n->ChildCount(); ++c) own -= n->Child(c)->Files();
        if (own > most) {
          most = own;
          widest = n;
        }
      }
    }
    if (widest) {
      files->show();
      QElapsedTimer shown;
      shown.start();
      files->ShowFolder(widest);
      QCoreApplication::processEvents();
      std::printf("files_pane_folder %s\nfiles_pane_ms %.1f\n", TReportTree::PathOf(widest).c_str(),
                  shown.nsecsElapsed() / 1e6);
    }
  }
  if (!shot.isEmpty()) {
    if (QAction* treemap = window.FindAction("Treemap1"); treemap && !treemap->isChecked()) {
      treemap->trigger();
    }
    window.resize(1400, 900);
    largest->raise();
    window.resizeDocks({types}, {480}, Qt::Horizontal);
    window.resizeDocks({largest}, {300}, Qt::Vertical);
    QEventLoop settle;
    QTimer::singleShot(500, &settle, &QEventLoop::quit);
    settle.exec();
    if (!window.grab().save(shot)) return 1;
  }
  return 0;
}
