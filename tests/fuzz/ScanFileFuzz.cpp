#include <string>
#include <string_view>

#include "FuzzTargets.h"
#include "scan/Errors.h"
#include "scan/ReportTree.h"
#include "scan/ScanDocument.h"
#include "scan/ScanFileReader.h"
#include "scan/ScanFileWriter.h"
#include "scan/ScanReplay.h"

// Any bytes as a scan file: refused with where and why, or read into a
// document whose records hang together, which a report can be made from and
// which can be written again.
int FuzzScanFile(const std::uint8_t* data, std::size_t size) {
  std::shared_ptr<TScanDocument> doc;
  try {
    doc = ReadScanBytes(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const EVorntoolsError& e) {
    FUZZ_CHECK(std::string(e.what()).rfind("line ", 0) == 0);
    return 0;
  }
  FUZZ_CHECK(doc->FolderCount() > 0 || doc->FileCount() == 0);
  std::uint64_t files = 0;
  for (std::uint32_t i = 0; i < doc->FolderCount(); ++i) {
    const ScanFolder& f = doc->Folder(i);
    FUZZ_CHECK(std::uint64_t{i} + f.span < doc->FolderCount());
    FUZZ_CHECK(f.parent == TScanDocument::kNoFolder || f.parent < i);
    FUZZ_CHECK(f.bytesBelow >= 0 && f.allocatedBelow >= 0);
    const std::uint64_t end = doc->KeptFilesEnd(i);
    FUZZ_CHECK(f.firstFile <= end && end <= doc->FileCount());
    files += end - f.firstFile;
    for (std::uint64_t j = f.firstFile; j < end; ++j) FUZZ_CHECK(!doc->File(j).name.empty());
    const auto [first, last] = doc->KeptFilesBelow(i);
    FUZZ_CHECK(first <= f.firstFile && end <= last && last <= doc->FileCount());
  }
  FUZZ_CHECK(files == doc->FileCount());
  UsageOptions options;
  options.HardLinksOnce = true;
  options.Exclude = {"*.tmp", "a/b"};
  options.OneFileSystem = true;
  TReportTree tree;
  const ScanOutcome outcome = ReplayScan(*doc, options, tree, nullptr, nullptr);
  FUZZ_CHECK(!outcome.stopped);
  FUZZ_CHECK(WriteScanFile(*doc, "/dev/null"));
  return 0;
}
