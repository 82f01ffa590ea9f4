#include "scan/ScanArchive.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "TempTree.h"
#include "scan/SafeFile.h"

namespace {

// A writer that writes `size` bytes, as a scan file of that size would.
TScanArchive::Writer Writing(std::size_t size) {
  return [size](const std::string& path, std::string&) {
    return WriteFileReplacing(path, std::string(size, 'x'));
  };
}

ArchivedScan Facts(std::vector<std::string> folders, std::int64_t ended) {
  ArchivedScan facts;
  facts.folders = std::move(folders);
  facts.ended = ended;
  facts.folderCount = 3;
  facts.fileCount = 7;
  facts.bytes = 12345;
  return facts;
}

std::size_t FilesIn(const std::string& folder) {
  std::size_t n = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().filename() != "index.tsv") ++n;
  }
  return n;
}

TEST(ScanArchive, KeepsTheLastOfEachSetWithinItsBudgetAndSurvivesDamage) {
  TempTree tree;
  const std::string folder = tree.Root() + "/scans";
  // Odd bytes in a folder's name must come back as they went in.
  const std::string odd = "/data/a\tb\nc%41";
  TScanArchive archive(folder, 2, 1000);
  std::string error;
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(archive.Keep(Facts({"/home"}, 100 + i), Writing(100), error)) << error;
  }
  ASSERT_TRUE(archive.Keep(Facts({odd, "/srv"}, 200), Writing(100), error)) << error;
  // Two of /home (the oldest dropped), one of the other set.
  std::vector<ArchivedScan> scans = archive.List();
  ASSERT_EQ(scans.size(), 3u);
  EXPECT_EQ(scans[0].folders, (std::vector<std::string>{odd, "/srv"}));
  EXPECT_EQ(scans[1].ended, 102);
  EXPECT_EQ(scans[2].ended, 101);
  EXPECT_EQ(scans[1].fileCount, 7u);
  EXPECT_EQ(scans[1].size, 100u);
  EXPECT_EQ(FilesIn(folder), 3u);
  ASSERT_TRUE(archive.Latest({"/home"}));
  EXPECT_EQ(archive.Latest({"/home"})->ended, 102);
  EXPECT_FALSE(archive.Latest({"/srv"}));

  // Over the budget, the oldest go first, whatever their set.
  ASSERT_TRUE(archive.Keep(Facts({"/srv"}, 300), Writing(800), error)) << error;
  scans = archive.List();
  ASSERT_EQ(scans.size(), 3u);
  EXPECT_EQ(scans[0].ended, 300);
  EXPECT_EQ(scans[1].ended, 200);
  EXPECT_EQ(scans[2].ended, 102);
  EXPECT_EQ(FilesIn(folder), 3u);

  // A scan larger than the whole budget is not kept, and takes nothing with it.
  EXPECT_FALSE(archive.Keep(Facts({"/srv"}, 400), Writing(2000), error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(archive.List().size(), 3u);
  EXPECT_EQ(FilesIn(folder), 3u);

  // A failed write records nothing.
  const auto failing = [](const std::string&, std::string& why) {
    why = "disk full";
    return false;
  };
  EXPECT_FALSE(archive.Keep(Facts({"/srv"}, 500), failing, error));
  EXPECT_EQ(error, "disk full");
  EXPECT_EQ(archive.List().size(), 3u);

  // Damaged lines and lines that point out of the folder are passed over;
  // a file gone by hand is no longer listed.
  {
    std::ofstream index(folder + "/index.tsv", std::ios::app);
    index << "garbage\n1\t2\t3\t4\t5\t../escape\t/x\n9\t1\t1\t1\t1\tbad%4\t/y\n";
  }
  std::filesystem::remove(scans[1].file);
  scans = archive.List();
  ASSERT_EQ(scans.size(), 2u);
  EXPECT_EQ(scans[0].ended, 300);
  EXPECT_EQ(scans[1].ended, 102);
}

}  // namespace
