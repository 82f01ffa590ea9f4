// Measures the report window on real folder trees, shown on screen: how long
// a scan takes in the window, how often the window got to repaint while it
// ran, how soon Stop ends a scan, and how long Expand, Sort and Save take on a
// large report. Prints one "name value" line per figure.
//
//   report_bench --tree DIR [--big DIR] [--rounds N] [--toggle ITEM]...
//
// --toggle triggers a menu item by its object name before the first scan,
// e.g. --toggle LargestFirst1 (size order on), --toggle ShareBars1 (bars off).
#include <sys/resource.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QPrintDialog>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "dialogs/ModalHook.h"
#include "report/ReportModel.h"
#include "report/StatusText.h"
#include "report/UsageReport.h"
#include "scan/UsageDirectory.h"
#include "settings/MyIniFile.h"

namespace {
int Threads = 0;  // --threads: as the settings dialog's Threads field (0: automatic)

UsageOptions ScanOf(std::vector<std::string> folders, bool clearReport = true) {
  UsageOptions options;
  options.Folders = std::move(folders);
  options.Threads = Threads;
  options.ClearReport = clearReport;
  return options;
}

// Counts the status line's repaints and the longest time the window went
// without handling a timer, i.e. without a chance to repaint or take a click.
class TWatch : public QObject {
 public:
  explicit TWatch(QWidget* status) {
    status->installEventFilter(this);
    timer_.setInterval(10);
    connect(&timer_, &QTimer::timeout, this, [this] {
      const qint64 now = clock_.nsecsElapsed();
      if (last_ >= 0) maxGapNs = std::max(maxGapNs, now - last_);
      last_ = now;
    });
  }
  void Start() {
    paints = 0;
    maxGapNs = 0;
    last_ = -1;
    clock_.start();
    timer_.start();
  }
  void Stop() { timer_.stop(); }
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }

  int paints = 0;
  qint64 maxGapNs = 0;

 private:
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 last_ = -1;
};

// Lets the window handle its events for a while, without spinning.
void Settle(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

double Ms(qint64 ns) {
  return ns / 1e6;
}

long PeakRssKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QString tree, big;
  int rounds = 3;
  QStringList toggles;
  // Options come in pairs: a name, then its value.
  for (int i = 1; i + 1 < argc; i += 2) {
    const QString option = argv[i];
    const QString value = argv[i + 1];
    if (option == "--toggle") toggles << value;
    if (option == "--tree") tree = value;
    if (option == "--big") big = value;
    if (option == "--rounds") rounds = value.toInt();
    if (option == "--threads") Threads = value.toInt();
  }
  if (tree.isEmpty()) {
    std::fprintf(stderr,
                 "usage: report_bench --tree DIR [--big DIR] [--rounds N] [--threads N] [--toggle "
                 "ITEM]...\n");
    return 2;
  }
  // Never the real user's settings.
  QTemporaryDir home;
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath("config")));
  qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath("data")));
  SetModalHook([](QDialog&) { return 0; });

  TUsageReport window(nullptr, kDefaultSettingsRoot);
  window.show();
  Settle(300);
  TWatch watch(window.findChild<TStatusText*>());
  for (const QString& item : toggles) {
    if (QAction* action = window.FindAction(item)) {
      action->trigger();
    } else {
      std::fprintf(stderr, "no menu item %s\n", qPrintable(item));
      return 2;
    }
  }

  const std::vector<std::string> folders{tree.toStdString()};
  std::vector<double> scans;
  for (int r = 0; r < rounds; ++r) {
    watch.Start();
    QElapsedTimer t;
    t.start();
    window.RunScan(ScanOf(folders));
    const qint64 ns = t.nsecsElapsed();
    watch.Stop();
    scans.push_back(Ms(ns));
    std::printf("scan_ms %.1f\nscan_max_gap_ms %.1f\nscan_status_paints %d\nscan_nodes %zu\n",
                Ms(ns), Ms(watch.maxGapNs), watch.paints, window.Tree().Count());
    Settle(100);
  }
  std::sort(scans.begin(), scans.end());
  std::printf("scan_median_ms %.1f\n", scans[scans.size() / 2]);

  // Stop in the middle of a scan: how long until the command returns.
  {
    // Clicked once a third of the report is there.
    const std::size_t third = window.Tree().Count() / 3;
    QElapsedTimer sinceStop;
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, &window, [&] {
      if (window.Tree().Count() < third) return;
      poll.stop();
      sinceStop.start();
      window.FindAction("Stop1")->trigger();
    });
    poll.start();
    window.RunScan(ScanOf(folders));
    poll.stop();
    std::printf("stop_latency_ms %.1f\nstopped_nodes %zu\nstatus_after_stop %s\n",
                Ms(sinceStop.nsecsElapsed()), window.Tree().Count(),
                window.StatusText().toUtf8().constData());
  }

  if (!big.isEmpty()) {
    watch.Start();
    QElapsedTimer t;
    t.start();
    window.RunScan(ScanOf({big.toStdString()}));
    watch.Stop();
    std::printf("big_scan_ms %.1f\nbig_scan_max_gap_ms %.1f\nbig_nodes %zu\n", Ms(t.nsecsElapsed()),
                Ms(watch.maxGapNs), window.Tree().Count());
    Settle(200);

    TReportModel* model = window.Model();
    // Indexes of what the view shows, which may be the Largest First order.
    QAbstractItemModel* shown = window.resultField->model();
    window.resultField->setCurrentIndex(shown->index(0, 0));
    t.start();
    window.FindAction("Expand1")->trigger();
    QApplication::processEvents();
    std::printf("big_expand_ms %.1f\n", Ms(t.nsecsElapsed()));

    t.start();
    window.FindAction("Sort1")->trigger();
    QApplication::processEvents();
    std::printf("big_sort_ms %.1f\n", Ms(t.nsecsElapsed()));

    t.start();
    window.Tree().Save(home.filePath("report.txt").toStdString());
    std::printf("big_save_ms %.1f\n", Ms(t.nsecsElapsed()));

    // Print to a PDF file through the window's own command.
    const QString pdf = home.filePath("report.pdf");
    SetModalHook([&](QDialog& dialog) {
      auto* print = qobject_cast<QPrintDialog*>(&dialog);
      if (!print) return 0;
      print->printer()->setOutputFormat(QPrinter::PdfFormat);
      print->printer()->setOutputFileName(pdf);
      return int(QDialog::Accepted);
    });
    t.start();
    window.FindAction("Print1")->trigger();
    std::printf("big_print_ms %.1f\nbig_print_bytes %lld\n", Ms(t.nsecsElapsed()),
                static_cast<long long>(QFileInfo(pdf).size()));
    SetModalHook([](QDialog&) { return 0; });

    // Once sorted, the report stays sorted: a scan now sorts every folder in
    // as it is finished. The old report stays, its first node expanded.
    auto sortedRescan = [&](const char* name) {
      std::printf("%s_persistent_indexes %d\n", name, model->PersistentIndexCount());
      watch.Start();
      QElapsedTimer s;
      s.start();
      window.RunScan(ScanOf({big.toStdString()}, false));
      watch.Stop();
      std::printf("%s_ms %.1f\n%s_max_gap_ms %.1f\n", name, Ms(s.nsecsElapsed()), name,
                  Ms(watch.maxGapNs));
    };
    sortedRescan("big_sorted_rescan");

    // The worst case for the view: the largest first-level folder (sorted
    // last) with its whole subtree expanded, then scanned again in sorted mode.
    t.start();
    const QModelIndex top = shown->index(0, 0);
    window.resultField->expandRecursively(shown->index(shown->rowCount(top) - 1, 0, top));
    QApplication::processEvents();
    std::printf("big_expand_subtree_ms %.1f\n", Ms(t.nsecsElapsed()));
    t.start();
    window.resultField->scrollToBottom();
    QApplication::processEvents();
    std::printf("big_scroll_ms %.1f\n", Ms(t.nsecsElapsed()));
    window.Tree().Delete(window.Tree().TopLevel(1));
    sortedRescan("big_sorted_rescan_deep_expanded");
  }
  std::printf("peak_rss_kib %ld\n", PeakRssKiB());
  SetModalHook(nullptr);
  return 0;
}
