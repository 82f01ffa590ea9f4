// Heap bytes the report tree takes per node: scans a folder (or loads a
// report file) and prints what the heap grew by, divided by the nodes.
//
//   tree_memory --scan FOLDER     the scan's own tree, exact numbers on each node
//   tree_memory --load REPORT     a saved report read back
#include <malloc.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "scan/ReportTree.h"
#include "scan/UsageDirectory.h"

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[1], "--scan") != 0 && std::strcmp(argv[1], "--load") != 0)) {
    std::fprintf(stderr, "usage: tree_memory --scan FOLDER | --load REPORT\n");
    return 2;
  }
  const std::string what = argv[1];
  const std::string path = argv[2];
  std::string text;
  if (what == "--load") {
    // Read first, so the file's own text is not counted.
    TReportTree reader;
    reader.Load(path);
    text = reader.TextForm();
  }
  malloc_trim(0);
  const std::size_t before = mallinfo2().uordblks;
  auto* tree = new TReportTree;
  if (what == "--scan") {
    UsageOptions options;
    options.Folders = {path};
    RunUsageScan(options, *tree, nullptr, nullptr);
  } else {
    tree->LoadText(text);
  }
  const std::size_t after = mallinfo2().uordblks;
  const double perNode = tree->Count() ? double(after - before) / double(tree->Count()) : 0.0;
  std::printf("nodes %zu\nheap_bytes %zu\nbytes_per_node %.1f\nsizeof_node %zu\n", tree->Count(),
              after - before, perNode, sizeof(TTreeNode));
  return 0;
}
