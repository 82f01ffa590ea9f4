#include "scan/FileAges.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "TempTree.h"
#include "scan/UsageDirectory.h"

namespace {

// Local time, worked out apart from the code under test.
std::int64_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  t.tm_isdst = -1;
  return std::mktime(&t);
}

void SetModified(const std::string& path, std::int64_t seconds) {
  const timespec times[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

// (year, files, bytes), as the years come.
using Table = std::vector<std::tuple<int, std::uint64_t, std::int64_t>>;

Table Rows(const TFileAges& ages) {
  Table rows;
  for (const TFileAges::Year& y : ages.Years()) rows.emplace_back(y.year, y.files, y.bytes);
  return rows;
}

}  // namespace

// Years by local time, split at the very second a year starts, newest
// first; a sub-tree counts only its own files, and a report counts a
// rescanned folder as the rescan found it.
TEST(FileAges, CountsFilesAndBytesByLocalYearOfModification) {
  TempTree t;
  const std::vector<std::tuple<std::string, int, std::int64_t>> files = {
      {"r/a/new-year.bin", 100, LocalTime(2021, 1, 1, 0, 0, 0)},
      {"r/a/old-year.bin", 200, LocalTime(2020, 12, 31, 23, 59, 59)},
      {"r/a/deep/summer.bin", 400, LocalTime(2020, 7, 1, 12, 0, 0)},
      {"r/b/ancient.bin", 800, LocalTime(1999, 3, 3, 3, 3, 3)},
      {"r/top.bin", 1600, LocalTime(2021, 6, 6, 6, 6, 6)},
  };
  for (const auto& [path, size, when] : files) {
    t.File(path, size);
    SetModified(t.Path(path), when);
  }
  UsageOptions o;
  o.Folders = {t.Path("r")};
  o.Record = ScanRecord::Files;
  TReportTree tree;
  const std::shared_ptr<const TScanDocument> doc = RunUsageScan(o, tree, nullptr, nullptr).document;
  ASSERT_TRUE(doc);

  EXPECT_EQ(Rows(TFileAges(*doc)), (Table{{2021, 2, 1700}, {2020, 2, 600}, {1999, 1, 800}}));
  std::uint32_t a = TScanDocument::kNoFolder;
  for (std::uint32_t i = 0; i < doc->FolderCount(); ++i) {
    if (doc->FolderPath(i) == t.Path("r/a")) a = i;
  }
  ASSERT_NE(a, TScanDocument::kNoFolder);
  EXPECT_EQ(Rows(TFileAges(*doc, a)), (Table{{2021, 1, 100}, {2020, 2, 600}}));

  // The rescan of r/b finds its file grown and a year newer.
  t.File("r/b/ancient.bin", 3200);
  SetModified(t.Path("r/b/ancient.bin"), LocalTime(2000, 1, 1, 0, 0, 0));
  o.Folders = {t.Path("r/b")};
  const std::shared_ptr<const TScanDocument> rescan =
      RunUsageScan(o, tree, nullptr, nullptr).document;
  ASSERT_TRUE(rescan);
  EXPECT_EQ(Rows(TFileAges(TReportScopes({doc, rescan}))),
            (Table{{2021, 2, 1700}, {2020, 2, 600}, {2000, 1, 3200}}));
}
