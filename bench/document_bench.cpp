// What a scan's document costs: scans a folder keeping every file, prints the
// memory the document holds per file and per folder, then times the same scan
// without a document and with one, alternately in the same run.
//
//   document_bench FOLDER [RUNS]      (RUNS of each kind, 3 unless given)
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "scan/ReportTree.h"
#include "scan/ScanDocument.h"
#include "scan/UsageDirectory.h"

namespace {

// The process's anonymous memory in use: the heap's and the blocks the
// document maps itself, which the heap's own figures would miss.
std::size_t MemoryInUse() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.starts_with("RssAnon:")) return std::stoull(line.substr(8)) * 1024;
  }
  return 0;
}

double SecondsOf(ScanRecord record, const std::string& folder) {
  UsageOptions options;
  options.Folders = {folder};
  options.Record = record;
  TReportTree tree;
  const auto start = std::chrono::steady_clock::now();
  ScanOutcome outcome = RunUsageScan(options, tree, nullptr, nullptr);
  const auto end = std::chrono::steady_clock::now();
  outcome.document.reset();
  return std::chrono::duration<double>(end - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The memory a scan's document holds: what goes back when it goes.
struct Measured {
  std::size_t heap = 0;
  std::size_t accounted = 0;  // the document's own count
  std::uint64_t files = 0;
  std::uint32_t folders = 0;
  std::uint64_t nameBytes = 0;
};

Measured MeasureDocument(ScanRecord record, const std::string& folder) {
  UsageOptions options;
  options.Folders = {folder};
  options.Record = record;
  TReportTree tree;
  ScanOutcome outcome = RunUsageScan(options, tree, nullptr, nullptr);
  std::shared_ptr<TScanDocument> document = std::move(outcome.document);
  outcome = ScanOutcome();
  Measured m;
  malloc_trim(0);
  const std::size_t with = MemoryInUse();
  m.accounted = document->HeapBytes();
  m.files = document->FileCount();
  m.folders = document->FolderCount();
  for (std::uint64_t j = 0; j < m.files; ++j) m.nameBytes += document->FileName(j).size();
  document.reset();
  malloc_trim(0);
  m.heap = with - MemoryInUse();
  return m;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: document_bench FOLDER [RUNS]\n");
    return 2;
  }
  const std::string folder = argv[1];
  const int runs = argc == 3 ? std::max(1, std::atoi(argv[2])) : 3;

  // Folders alone first: what a file adds is the difference.
  const Measured folders = MeasureDocument(ScanRecord::Folders, folder);
  const Measured all = MeasureDocument(ScanRecord::Files, folder);
  const double perFolder = all.folders ? double(folders.heap) / all.folders : 0.0;
  const double perFile = all.files ? double(all.heap - folders.heap) / double(all.files) : 0.0;
  const double perFileAccounted =
      all.files ? double(all.accounted - folders.accounted) / double(all.files) : 0.0;
  std::printf("folder %s\n", folder.c_str());
  std::printf("files %llu\nfolders %u\n", static_cast<unsigned long long>(all.files), all.folders);
  std::printf("document_heap_bytes %zu\ndocument_accounted_bytes %zu\n", all.heap, all.accounted);
  std::printf("folders_only_heap_bytes %zu\n", folders.heap);
  std::printf("bytes_per_file %.1f (accounted %.1f; name %.1f of it on average)\n", perFile,
              perFileAccounted, all.files ? double(all.nameBytes) / double(all.files) : 0.0);
  std::printf("bytes_per_folder %.1f (record %zu)\n", perFolder, sizeof(ScanFolder));

  // Alternately, so both kinds see the same cache and the same neighbours.
  std::vector<double> none, files;
  for (int i = 0; i < runs; ++i) {
    none.push_back(SecondsOf(ScanRecord::None, folder));
    files.push_back(SecondsOf(ScanRecord::Files, folder));
  }
  const double n = Median(none), f = Median(files);
  std::printf(
      "scan_seconds_record_none %.3f\nscan_seconds_record_files %.3f\nratio_files_to_none %.2f\n",
      n, f, n > 0 ? f / n : 0.0);
  return 0;
}
