#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "FuzzTargets.h"

namespace {

namespace fs = std::filesystem;

// Feeds every stored input of a target (its seeds, and each input a fuzz
// run found failing) through the same entry point the fuzzer drives; a
// broken property aborts, which fails the test. Returns how many it fed.
std::size_t Replay(const std::string& target, int (*entry)(const std::uint8_t*, std::size_t)) {
  std::size_t fed = 0;
  for (const char* kind : {"corpus", "regressions"}) {
    const fs::path folder = fs::path(VORN_FUZZ_DATA) / kind / target;
    if (!fs::is_directory(folder)) continue;
    for (const auto& entry_ : fs::directory_iterator(folder)) {
      if (!entry_.is_regular_file()) continue;
      std::ifstream in(entry_.path(), std::ios::binary);
      const std::string bytes((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
      SCOPED_TRACE(entry_.path().string());
      entry(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
      ++fed;
    }
  }
  return fed;
}

}  // namespace

TEST(FuzzInputs, ReportText) {
  EXPECT_GT(Replay("report_text", FuzzReportText), 0u);
}

TEST(FuzzInputs, Settings) {
  FuzzSettingsInit();
  EXPECT_GT(Replay("settings", FuzzSettings), 0u);
}

TEST(FuzzInputs, Integer) {
  EXPECT_GT(Replay("integer", FuzzInteger), 0u);
}

TEST(FuzzInputs, LabelOrder) {
  FuzzLabelOrderInit();
  EXPECT_GT(Replay("label_order", FuzzLabelOrder), 0u);
}

TEST(FuzzInputs, Walker) {
  EXPECT_GT(Replay("walker", FuzzWalker), 0u);
}

TEST(FuzzInputs, PathQuoting) {
  EXPECT_GT(Replay("path_quoting", FuzzPathQuoting), 0u);
}

TEST(FuzzInputs, ScanFile) {
  EXPECT_GT(Replay("scan_file", FuzzScanFile), 0u);
}
