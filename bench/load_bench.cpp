// The report window on a very large tree, step by step: scan, save, load,
// sort, expand every folder, print to PDF. Prints for each step its time
// and the peak resident memory reached during it, and (before printing,
// the longest step) the report tree's heap bytes per node.
//
//   load_bench --tree DIR --out DIR
#include <malloc.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPrintDialog>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTreeView>
#include <cstdio>
#include <fstream>
#include <string>

#include "dialogs/ModalHook.h"
#include "report/UsageReport.h"
#include "scan/ReportTree.h"
#include "scan/UsageDirectory.h"
#include "settings/MyIniFile.h"

namespace {

// Peak resident memory so far, in KiB; ResetPeak starts it again from now.
long PeakKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}
void ResetPeak() {
  std::ofstream("/proc/self/clear_refs") << "5";
}

template <class Step>
void Measure(const char* name, Step step) {
  ResetPeak();
  QElapsedTimer t;
  t.start();
  step();
  QApplication::processEvents();
  std::printf("%-12s %9.1f ms  peak %8ld KiB\n", name, t.nsecsElapsed() / 1e6, PeakKiB());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QString tree, out;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (QString(argv[i]) == "--tree") tree = argv[i + 1];
    if (QString(argv[i]) == "--out") out = argv[i + 1];
  }
  if (tree.isEmpty() || out.isEmpty()) {
    std::fprintf(stderr, "usage: load_bench --tree DIR --out DIR\n");
    return 2;
  }
  // Never the real user's settings.
  QTemporaryDir home;
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath("config")));
  qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath("data")));
  SetModalHook([](QDialog&) { return 0; });
  const std::string report = (out + "/load-report.txt").toStdString();
  const QString pdf = out + "/load-report.pdf";

  TUsageReport window(nullptr, kDefaultSettingsRoot);
  window.show();
  QApplication::processEvents();
  UsageOptions options;
  options.Folders = {tree.toStdString()};
  options.ClearReport = true;
  Measure("scan", [&] { window.RunScan(options); });
  std::printf("nodes %zu\n", window.Tree().Count());
  Measure("save", [&] { window.Tree().Save(report); });
  Measure("load", [&] { window.Tree().Load(report); });
  Measure("sort", [&] { window.FindAction("Sort1")->trigger(); });
  Measure("expand_all", [&] { window.resultField->expandAll(); });
  // What the tree alone takes: the same report loaded into a fresh tree.
  std::string text;
  {
    TReportTree reader;
    reader.Load(report);
    text = reader.TextForm();
  }
  malloc_trim(0);
  const std::size_t before = mallinfo2().uordblks;
  auto* alone = new TReportTree;
  alone->LoadText(text);
  const std::size_t after = mallinfo2().uordblks;
  std::printf("tree_heap_bytes %zu\nbytes_per_node %.1f\n", after - before,
              double(after - before) / double(alone->Count()));
  delete alone;
  SetModalHook([&](QDialog& dialog) {
    auto* print = qobject_cast<QPrintDialog*>(&dialog);
    if (!print) return 0;
    print->printer()->setOutputFormat(QPrinter::PdfFormat);
    print->printer()->setOutputFileName(pdf);
    return int(QDialog::Accepted);
  });
  Measure("print_pdf", [&] { window.FindAction("Print1")->trigger(); });
  std::printf("pdf_bytes %lld\n", static_cast<long long>(QFileInfo(pdf).size()));
  SetModalHook([](QDialog&) { return 0; });

  SetModalHook(nullptr);
  return 0;
}
