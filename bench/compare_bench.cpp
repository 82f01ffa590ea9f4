// What comparing two scans costs on a large tree: scans FOLDER keeping every
// file, compares the scan with itself (every folder paired), with a second
// scan of it made with other options (its totals counted again), pairs every
// folder's files, and, when OTHER is given, compares with a scan of OTHER
// (nothing in common: every folder new or gone). Prints times and the heap
// the comparison holds.
//
//   compare_bench FOLDER [OTHER]
#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "scan/ComparisonText.h"
#include "scan/ReportTree.h"
#include "scan/ScanComparison.h"
#include "scan/UsageDirectory.h"

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::size_t HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

std::shared_ptr<TScanDocument> Scan(const std::string& folder, UsageOptions options) {
  options.Folders = {folder};
  options.Record = ScanRecord::Files;
  TReportTree tree;
  const auto start = Clock::now();
  std::shared_ptr<TScanDocument> document = RunUsageScan(options, tree, nullptr, nullptr).document;
  std::printf("scan %s: %.1f s, %u folders, %llu files\n", folder.c_str(), Since(start),
              document->FolderCount(), static_cast<unsigned long long>(document->FileCount()));
  return document;
}

void Compare(const char* what, const TScanDocument& now, const TScanDocument& before) {
  malloc_trim(0);
  const std::size_t heapBefore = HeapInUse();
  auto start = Clock::now();
  const TScanComparison comparison(now, before);
  const double seconds = Since(start);
  const std::size_t held = HeapInUse() - heapBefore;
  const std::size_t pairing =
      (std::size_t{now.FolderCount()} + before.FolderCount()) * sizeof(std::uint32_t);
  start = Clock::now();
  const std::string text = ComparisonText(comparison, 0);
  const double textSeconds = Since(start);
  std::size_t lines = 0;
  for (const char c : text) lines += c == '\n';
  std::printf(
      "%s: compared in %.3f s; pairing arrays %.2f MB, comparison holds %.2f MB (heap grew "
      "%.2f MB); text %.3f s, %zu lines%s\n",
      what, seconds, pairing / 1e6, comparison.HeapBytes() / 1e6, held / 1e6, textSeconds, lines,
      comparison.Notes().empty() ? "" : " (with a note)");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: compare_bench FOLDER [OTHER]\n");
    return 2;
  }
  const auto doc = Scan(argv[1], {});
  Compare("with itself", *doc, *doc);
  {
    // Files paired in every folder, as a window asking for each would.
    const TScanComparison comparison(*doc, *doc);
    const auto start = Clock::now();
    std::size_t files = 0;
    for (std::uint32_t i = 0; i < doc->FolderCount(); ++i) {
      files += comparison.FileChanges(i).size();
    }
    std::printf("files of every folder paired: %.3f s, %zu files\n", Since(start), files);
  }
  {
    UsageOptions other;
    other.HardLinksOnce = true;
    other.CountHidden = true;
    const auto again = Scan(argv[1], other);
    Compare("with a scan of other options (counted again)", *doc, *again);
  }
  if (argc == 3) {
    const auto other = Scan(argv[2], {});
    Compare("with another tree", *doc, *other);
  }
  return 0;
}
