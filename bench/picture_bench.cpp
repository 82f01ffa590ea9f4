// The pictures of the report: how long the treemap takes to draw a large
// report, and what the share bars cost a scan in the window.
//
//   picture_bench --tree DIR [--scan-tree DIR] [--rounds N]
//
// --tree is scanned once by the core and drawn `rounds` times at 1200x800;
// --scan-tree's scan in the window is drawn with its files at 1000x700;
// --scan-tree (default: --tree) is scanned in the shown window, rounds
// alternating bars on and bars off. Prints one "name value" line per figure.
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "dialogs/ModalHook.h"
#include "report/TreemapView.h"
#include "report/UsageReport.h"
#include "scan/UsageDirectory.h"
#include "settings/MyIniFile.h"

namespace {
double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

UsageOptions ScanOf(const QString& folder) {
  UsageOptions options;
  options.Folders = {folder.toStdString()};
  options.ClearReport = true;
  return options;
}
}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QString tree, scanTree;
  int rounds = 5;
  for (int i = 1; i + 1 < argc; i += 2) {
    const QString option = argv[i];
    if (option == "--tree") tree = argv[i + 1];
    if (option == "--scan-tree") scanTree = argv[i + 1];
    if (option == "--rounds") rounds = std::max(1, QString(argv[i + 1]).toInt());
  }
  if (tree.isEmpty()) {
    std::fprintf(stderr, "usage: picture_bench --tree DIR [--scan-tree DIR] [--rounds N]\n");
    return 2;
  }
  if (scanTree.isEmpty()) scanTree = tree;
  QTemporaryDir home;  // never the real user's settings
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath("config")));
  qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath("data")));
  SetModalHook([](QDialog&) { return 0; });

  {
    TReportTree report;
    RunUsageScan(ScanOf(tree), report, nullptr, nullptr);
    std::printf("treemap_nodes %zu\n", report.Count());
    TTreemapView view(report);
    view.resize(1200, 800);
    std::vector<double> draws;
    for (int r = 0; r < rounds; ++r) {
      QElapsedTimer t;
      t.start();
      view.Redraw();
      draws.push_back(t.nsecsElapsed() / 1e6);
    }
    std::printf("treemap_draw_median_ms %.1f\ntreemap_draw_max_ms %.1f\n", Median(draws),
                *std::max_element(draws.begin(), draws.end()));
  }

  TUsageReport window(nullptr, kDefaultSettingsRoot);
  window.SetFrameWidth(900);
  window.SetFrameHeight(640);
  window.show();
  QApplication::processEvents();
  window.RunScan(ScanOf(scanTree));  // warm the cache
  {
    // The treemap with the files of the window's scan, as View > Treemap
    // draws it at 1000x700: folders and files laid out, then painted.
    TTreemapView view(window.Tree());
    view.ShowFiles(window.Scan(), window.TypeColours());
    view.resize(1000, 700);
    std::vector<double> draws;
    for (int r = 0; r < rounds; ++r) {
      QElapsedTimer t;
      t.start();
      view.Redraw();
      draws.push_back(t.nsecsElapsed() / 1e6);
    }
    std::printf("treemap_file_tiles %zu\n", view.Tiles().tiles.size());
    std::printf("treemap_files_draw_median_ms %.1f\ntreemap_files_draw_max_ms %.1f\n",
                Median(draws), *std::max_element(draws.begin(), draws.end()));
  }
  std::vector<double> on, off;
  QAction* bars = window.FindAction("ShareBars1");
  for (int r = 0; r < 2 * rounds; ++r) {
    const bool shown = r % 2 == 0;
    if (bars->isChecked() != shown) bars->trigger();
    QElapsedTimer t;
    t.start();
    window.RunScan(ScanOf(scanTree));
    (shown ? on : off).push_back(t.nsecsElapsed() / 1e6);
  }
  const double a = Median(on), b = Median(off);
  std::printf("scan_bars_on_median_ms %.1f\nscan_bars_off_median_ms %.1f\n", a, b);
  std::printf("scan_bars_on_to_off_ratio %.3f\n", a / b);
  SetModalHook(nullptr);
  return 0;
}
