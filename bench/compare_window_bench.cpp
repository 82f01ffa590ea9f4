// Comparing the window's report with an earlier scan of the same tree: the
// time from asking to the Change column shown, the longest time the window
// went without handling a timer meanwhile, then the same for sorting the
// report by change, and the process's peak memory with both scans held.
// Prints one "name value" line per figure. Offscreen is fine.
//
//   compare_window_bench --tree DIR [--change 'SHELL COMMAND'] [--shots DIR]
//
// The earlier scan is walked first; --change runs between it and the
// window's scan (to make a tree grow, shrink, gain and lose folders);
// --shots saves pictures of the report and of the treemap coloured by change.
#include <sys/resource.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "dialogs/ModalHook.h"
#include "report/FilesPane.h"
#include "report/ReportComparison.h"
#include "report/ReportModel.h"
#include "report/ReportViews.h"
#include "report/ScanControl.h"
#include "report/TreemapView.h"
#include "report/UsageReport.h"
#include "scan/UsageDirectory.h"
#include "settings/MyIniFile.h"

namespace {
long PeakMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}

void Settle(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}
}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QString tree, change, shots;
  for (int i = 1; i + 1 < argc; i += 2) {
    const QString option = argv[i];
    if (option == "--tree") tree = argv[i + 1];
    if (option == "--change") change = argv[i + 1];
    if (option == "--shots") shots = argv[i + 1];
  }
  if (tree.isEmpty()) {
    std::fprintf(stderr, "usage: compare_window_bench --tree DIR [--change CMD] [--shots DIR]\n");
    return 2;
  }
  QTemporaryDir home;
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath("config")));
  qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath("data")));
  SetModalHook([](QDialog&) { return 0; });

  QElapsedTimer clock;
  clock.start();
  UsageOptions options;
  options.Folders = {tree.toStdString()};
  options.ClearReport = true;
  options.Record = ScanRecord::Files;
  std::shared_ptr<const TScanDocument> before;
  {
    TReportTree scratch;
    before = RunUsageScan(options, scratch, nullptr, nullptr).document;
  }
  std::printf("baseline_walk_ms %.0f\n", clock.nsecsElapsed() / 1e6);
  std::printf("peak_after_baseline_mib %ld\n", PeakMiB());
  if (!change.isEmpty() && std::system(change.toLocal8Bit().constData()) != 0) return 1;

  TUsageReport window(nullptr, kDefaultSettingsRoot);
  window.SetFrameWidth(1000);
  window.SetFrameHeight(700);
  window.show();
  clock.restart();
  window.RunScan(options);
  std::printf("window_scan_ms %.0f\n", clock.nsecsElapsed() / 1e6);
  std::printf("peak_after_window_scan_mib %ld\n", PeakMiB());
  Settle(300);

  qint64 last = -1, maxGap = 0;
  QTimer tick;
  tick.setInterval(5);
  QObject::connect(&tick, &QTimer::timeout, [&] {
    const qint64 now = clock.nsecsElapsed();
    if (last >= 0) maxGap = std::max(maxGap, now - last);
    last = now;
  });
  qint64 shown = -1;
  QObject::connect(&window.Comparison(), &TReportComparison::ChangesChanged, [&] {
    if (window.Comparison().Changes()) shown = clock.nsecsElapsed();
  });
  clock.restart();
  last = 0;
  tick.start();
  window.CompareWith(before, QString("an earlier walk of ") + tree);
  while (shown < 0) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
  const qint64 applied = clock.nsecsElapsed();
  Settle(200);  // the repaint that follows
  std::printf("compare_shown_ms %.1f\n", shown / 1e6);
  std::printf("compare_max_event_gap_ms %.1f\n", maxGap / 1e6);
  std::printf("compare_apply_ms %.1f\n", (applied - shown) / 1e6);
  std::printf("peak_comparing_mib %ld\n", PeakMiB());
  std::printf("comparison_heap_mib %.1f\n", window.Comparison().Changes()->HeapBytes() / 1048576.0);

  // Sorting by change, the top line open.
  window.resultField->expand(window.ViewIndexOf(window.Tree().TopLevel(0)));
  Settle(100);
  maxGap = 0;
  last = clock.nsecsElapsed();
  const qint64 sortStart = last;
  window.Views().SortBy(TReportModel::kChangeColumn, Qt::DescendingOrder);
  std::printf("sort_by_change_ms %.1f\n", (clock.nsecsElapsed() - sortStart) / 1e6);
  Settle(200);
  std::printf("sort_max_event_gap_ms %.1f\n", maxGap / 1e6);
  tick.stop();

  if (!shots.isEmpty()) {
    // A folder's files in the Files pane, each with its change.
    TTreeNode* top = window.Tree().TopLevel(0);
    TTreeNode* shown = top;
    for (std::size_t i = 0; i < top->ChildCount(); ++i) {
      if (top->Child(i)->Name() == "perl") shown = top->Child(i);
    }
    window.resultField->setCurrentIndex(window.ViewIndexOf(shown));
    Settle(300);
    if (!window.grab().save(shots + "/compare-tree.png")) return 1;
    window.resultField->setCurrentIndex(window.ViewIndexOf(top));
    window.FilesPane()->hide();
    window.FindAction("Treemap1")->trigger();
    window.FindAction("ColourByChange1")->trigger();
    window.Splitter1->setSizes({300, 420});
    Settle(600);
    window.Treemap1->Redraw();
    window.Treemap1->update();
    Settle(300);
    if (!window.grab().save(shots + "/compare-treemap.png")) return 1;
  }
  std::fflush(stdout);
  return 0;
}
