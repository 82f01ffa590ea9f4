#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <limits>
#include <map>
#include <random>
#include <string>

#include "TempTree.h"
#include "scan/Errors.h"
#include "scan/UsageDirectory.h"

namespace {

std::string Scan(const UsageOptions& options, TReportTree& tree, TMessagePump* pump = nullptr,
                 TStatusLine* status = nullptr) {
  RunUsageScan(options, tree, pump, status);
  return tree.TextForm();
}

std::string Scan(std::vector<std::string> folders, std::int32_t maxDepth = 0,
                 std::int32_t minSizeK = 0) {
  TReportTree tree;
  UsageOptions o;
  o.Folders = std::move(folders);
  o.MaxDepth = maxDepth;
  o.MinSizeK = minSizeK;
  o.ClearReport = true;
  return Scan(o, tree);
}

class Recorder : public TStatusLine {
 public:
  std::string last;
  void ShowText(const std::string& text) override { last = text; }
};

}  // namespace

TEST(FolderLabel, SizesRoundHalvesToEvenAndPadToSeven) {
  const struct {
    std::int64_t size;
    bool failed;
    const char* name;
    const char* label;
  } rows[] = {
      {0, false, "Temp", "......0K  Temp"},
      {512, false, "Notes", "......0K  Notes"},
      {513, false, "Notes", "......1K  Notes"},
      {1536, false, "Music", "......2K  Music"},
      {2560, false, "Fonts", "......2K  Fonts"},
      {123456, false, "Docs", "....121K  Docs"},
      {123456, true, "Docs", "....121K *Docs"},
      {1500000000, false, "Big", "1464844K  Big"},
      {4095, true, "Locked", "......4K *Locked"},
      // Past 32 bits the field grows instead of wrapping.
      {10737418240LL, false, "Huge", "10485760K  Huge"},
      {-1, true, "Gone", "......0K *Gone"},
      {-1536, true, "Neg", ".....-2K *Neg"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(FolderLabel(row.size, row.failed, row.name), row.label) << row.size;
  }
}

TEST(MeasureFile, SectorRoundingAndFailures) {
  TempTree t;
  t.File("empty", 0);
  t.File("k", 1024);
  t.File("s", 32000);
  t.File("big", 5LL * 1024 * 1024 * 1024);
  TUsageDirectory w;
  w.SetState(nullptr, nullptr, nullptr, UsageOptions{});
  EXPECT_EQ(w.MeasureFile(t.Path("big")), 5LL * 1024 * 1024 * 1024);
  EXPECT_EQ(w.MeasureFile(t.Path("missing")), -1);
  EXPECT_EQ(w.MeasureFile(t.Root()), -1);  // a folder is no file

  w.Options.AllowForSectorSize = true;
  w.Options.SectorBytes = 512;
  EXPECT_EQ(w.MeasureFile(t.Path("empty")), 512);
  EXPECT_EQ(w.MeasureFile(t.Path("k")), 1536);
  w.Options.SectorBytes = 32000;
  EXPECT_EQ(w.MeasureFile(t.Path("empty")), 32000);
  EXPECT_EQ(w.MeasureFile(t.Path("s")), 64000);
  for (std::int32_t bad : {0, -512}) {
    w.Options.SectorBytes = bad;
    EXPECT_EQ(w.MeasureFile(t.Path("k")), -1) << bad;
  }
}

TEST(MeasureFile, LeavesReadOnlyFilesUntouched) {
  TempTree t;
  t.File("ro", 700);
  ::chmod(t.Path("ro").c_str(), 0444);
  struct stat before {};
  ::stat(t.Path("ro").c_str(), &before);
  EXPECT_EQ(Scan({t.Root() + "/"}), "......1K  " + t.Root() + "/\r\n");
  struct stat after {};
  ::stat(t.Path("ro").c_str(), &after);
  EXPECT_EQ(after.st_mode, before.st_mode);
  EXPECT_EQ(after.st_ctim.tv_sec, before.st_ctim.tv_sec);
  EXPECT_EQ(after.st_ctim.tv_nsec, before.st_ctim.tv_nsec);
}

// The worked example: Old has 40960 bytes, New 25600 and something that
// cannot be measured (here: a file in a folder that may be listed but not
// searched), which adds nothing but marks it, New and their parent.
TEST(UsageScan, MarksReachAncestorsAndUnmeasurableFilesAddNothing) {
  TempTree t;
  t.File("Data/Old/a", 40960);
  t.File("Data/New/b", 25600);
  for (int i = 0; i < 50; ++i) t.File("Data/New/locked/c" + std::to_string(i), 0);
  ::chmod(t.Path("Data/New/locked").c_str(), 0444);
  t.File("Data/New/.hidden", 99999);
  const std::string data = t.Path("Data");
  const auto out = RunUnprivileged([&] { return Scan({data}, 0, 0); });
  if (!out) GTEST_SKIP() << "SKIPPED LOUDLY: cannot run as an unprivileged user here";
  // Order of Old and New is the file system's; check each line.
  EXPECT_EQ(out->substr(0, out->find("\r\n")), ".....65K *" + data);
  EXPECT_NE(out->find("\r\n\t.....40K  Old\r\n"), std::string::npos) << *out;
  EXPECT_NE(out->find("\r\n\t.....25K *New\r\n"), std::string::npos) << *out;
  EXPECT_NE(out->find("\r\n\t\t......0K *locked\r\n"), std::string::npos) << *out;
}

// Sparse files near 2^63 bytes: sums stop at the largest count and say they
// are incomplete, instead of wrapping negative and losing the whole report.
TEST(UsageScan, TotalsPastTheLargestCountSaturateAndAreMarked) {
  if (!std::filesystem::is_directory("/dev/shm")) GTEST_SKIP() << "SKIPPED LOUDLY: no /dev/shm";
  TempTree t("/dev/shm");
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  t.Folder("r");
  for (const char* name : {"r/a", "r/b"}) {
    const int fd = ::open(t.Path(name).c_str(), O_WRONLY | O_CREAT, 0644);
    const bool made = fd >= 0 && ::ftruncate(fd, kMax) == 0;
    if (fd >= 0) ::close(fd);
    if (!made) GTEST_SKIP() << "SKIPPED LOUDLY: no 2^63-1 byte sparse file here";
  }
  const std::string top = "9007199254740992K *" + t.Path("r") + "\r\n";
  EXPECT_EQ(Scan({t.Path("r")}), top);
  TReportTree tree;
  UsageOptions o;
  o.Folders = {t.Path("r")};
  o.AllowForSectorSize = true;
  o.SectorBytes = 4096;
  EXPECT_EQ(Scan(o, tree), top);
}

TEST(UsageScan, UnlistableFolderIsMarkedNotEmpty) {
  TempTree t;
  t.File("p/shut/f", 5000);
  t.File("p/f", 2048);
  ::chmod(t.Path("p/shut").c_str(), 0);
  const auto out = RunUnprivileged([&] { return Scan({t.Path("p")}); });
  if (!out) GTEST_SKIP() << "SKIPPED LOUDLY: cannot run as an unprivileged user here";
  EXPECT_EQ(*out, "......2K *" + t.Path("p") + "\r\n\t......0K *shut\r\n");
}

// Each folder that cannot be listed and each file that cannot be measured
// is named once, with the system's reason, in the order the walk met them.
TEST(UsageScan, ProblemsNameWhatCouldNotBeReadAndWhy) {
  TempTree t;
  t.File("p/shut/f", 5000);
  t.File("p/locked/c", 10);
  t.File("p/fine/g", 10);
  ::chmod(t.Path("p/shut").c_str(), 0);
  ::chmod(t.Path("p/locked").c_str(), 0444);
  const auto out = RunUnprivileged([&] {
    TReportTree tree;
    UsageOptions o;
    o.Folders = {t.Path("p")};
    const ScanOutcome outcome = RunUsageScan(o, tree, nullptr, nullptr);
    std::string text = tree.TextForm() + "--\n";
    for (const ScanProblem& p : outcome.problems) text += p.path + "\t" + p.reason + "\n";
    return text;
  });
  if (!out) GTEST_SKIP() << "SKIPPED LOUDLY: cannot run as an unprivileged user here";
  std::string shut = t.Path("p/shut") + "\tPermission denied\n";
  std::string locked = t.Path("p/locked/c") + "\tPermission denied\n";
  if (out->find("shut") > out->find("locked")) std::swap(shut, locked);
  EXPECT_EQ(out->substr(out->find("--\n") + 3), shut + locked) << *out;
}

// A typo in a starting folder is a failure, never an empty folder: the line
// stays, marked, with the system's reason among the problems, on either walk.
TEST(UsageScan, MissingFolderOrFileAsStartIsMarkedAndReported) {
  TempTree t;
  t.File("file", 5000);
  t.File("real/f", 2048);
  t.File("real/.hidden", 1);
  t.File("real/skip.tmp", 1);
  for (const std::int32_t threads : {1, 4}) {
    UsageOptions o;
    o.Folders = {t.Path("none"), t.Path("real"), t.Path("file")};
    o.Exclude = {"*.tmp"};
    o.Threads = threads;
    TReportTree tree;
    ScanOutcome outcome = RunUsageScan(o, tree, nullptr, nullptr);
    EXPECT_EQ(tree.TextForm(), "......0K *" + t.Path("none") + "\r\n......2K  " + t.Path("real") +
                                   "\r\n......0K *" + t.Path("file") + "\r\n");
    ASSERT_EQ(outcome.problems.size(), 4u);
    EXPECT_EQ(outcome.problems[0].reason, "No such file or directory");
    EXPECT_EQ(outcome.problems[3].reason, "Not a directory");
    EXPECT_EQ(outcome.unreadableStarts, 2u);
    EXPECT_EQ(DoneText(outcome),
              "Done, but 2 starting folders could not be read (2 items not counted)");
    outcome.leftOut[static_cast<std::size_t>(LeftOutReason::Excluded)] = 0;
    EXPECT_EQ(LeftOutText(outcome), "1 hidden item not counted");
  }
}

TEST(UsageScan, DepthLimitStillCountsDeeperFolders) {
  TempTree t;
  t.File("r/a/b/c/f", 10 * 1024);
  t.File("r/a/g", 1024);
  EXPECT_EQ(Scan({t.Path("r")}, 1), ".....11K  " + t.Path("r") + "\r\n\t.....11K  a\r\n");
  // Minimum size 100K: the 10K folder three levels down has no node anyway;
  // its level-1 ancestor goes because its own total is below 100K.
  EXPECT_EQ(Scan({t.Path("r")}, 1, 100), "");
  EXPECT_EQ(Scan({t.Path("r")}, 1, 11), ".....11K  " + t.Path("r") + "\r\n\t.....11K  a\r\n");
}

TEST(UsageScan, MinimumSizeRemovesNodeWithDescendantsButKeepsBytes) {
  TempTree t;
  t.File("r/small/f", 102399);
  t.File("r/small/inner/g", 0);
  t.File("r/big/h", 102400);
  EXPECT_EQ(Scan({t.Path("r")}, 0, 100), "....200K  " + t.Path("r") + "\r\n\t....100K  big\r\n");
}

TEST(UsageScan, TrailingSlashAndClearReportOff) {
  TempTree t;
  t.File("r/sub/f", 2048);
  TReportTree tree;
  tree.AddChild(nullptr, "old report");
  UsageOptions o;
  o.Folders = {t.Root() + "/r/", t.Root() + "/r"};
  Recorder status;
  const std::string text = Scan(o, tree, nullptr, &status);
  EXPECT_EQ(text, "old report\r\n......2K  " + t.Root() + "/r/\r\n\t......2K  sub\r\n" +
                      "......2K  " + t.Root() + "/r\r\n\t......2K  sub\r\n");
  EXPECT_EQ(status.last, "All Done");
}

TEST(UsageScan, StopKeepsWhatTheOpenFoldersMeasuredMarkedIncomplete) {
  TempTree t;
  t.File("q/done/f", 3072);
  t.File("r/x/g", 2048);
  t.File("r/x/y/z/f", 1);
  // Stops at the message processing of the folder entered after y.
  class StopAfterY : public TMessagePump, public TStatusLine {
   public:
    std::string y, last;
    bool armed = false;
    void ShowText(const std::string& text) override {
      last = text;
      armed = text == y + "...";
    }
    void ProcessMessages() override {
      if (armed) StopRequested = true;
    }
  } ui;
  ui.y = t.Path("r/x/y");
  TReportTree tree;
  UsageOptions o;
  o.Folders = {t.Path("q"), t.Path("r"), t.Path("q")};
  // A size limit does not take away a folder whose real size is unknown.
  o.MinSizeK = 1;
  const std::string text = Scan(o, tree, &ui, &ui);
  // The open folders carry what was measured so far, up to the top, marked.
  EXPECT_EQ(text, "......3K  " + t.Path("q") + "\r\n\t......3K  done\r\n......2K *" + t.Path("r") +
                      "\r\n\t......2K *x\r\n\t\t......0K *y\r\n");
  EXPECT_EQ(ui.last, "Stopped: the report is incomplete");
  ASSERT_EQ(tree.Count(), 5u);
  EXPECT_FALSE(tree.NodeAt(1)->Incomplete());
  for (int i = 2; i < 5; ++i) EXPECT_TRUE(tree.NodeAt(i)->Incomplete()) << i;
  EXPECT_EQ(tree.NodeAt(3)->Bytes(), 2048);
  EXPECT_EQ(tree.NodeAt(2)->Files(), 1);
  EXPECT_TRUE(tree.HasIncomplete());

  // A rescan of one open folder makes it whole, but not the report: its
  // ancestors still lack what was never walked beside it.
  Recorder status;
  o.MinSizeK = 0;
  StopRequested = false;
  const ScanOutcome again = RescanUsageFolder(tree.NodeAt(4), o, tree, nullptr, &status);
  EXPECT_FALSE(again.stopped);
  EXPECT_EQ(status.last, "Done, but the report is still incomplete");
  EXPECT_FALSE(tree.NodeAt(4)->Incomplete());
  EXPECT_TRUE(tree.NodeAt(3)->Incomplete());
  EXPECT_EQ(tree.NodeAt(3)->Bytes(), 2049);
  // The starting folder scanned again makes the report whole.
  RescanUsageFolder(tree.NodeAt(2), o, tree, nullptr, &status);
  EXPECT_EQ(status.last, "All Done");
  EXPECT_FALSE(tree.HasIncomplete());
}

TEST(UsageScan, TreeFullEndsTheScanWithTheInsertError) {
  TempTree t;
  t.File("r/a/f", 1);
  t.File("r/b/f", 1);
  TReportTree tree;
  tree.SetCapacity(2);
  UsageOptions o;
  o.Folders = {t.Path("r")};
  Recorder status;
  try {
    RunUsageScan(o, tree, nullptr, &status);
    FAIL() << "no error";
  } catch (const EVorntoolsError& e) {
    EXPECT_STREQ(e.what(), "Unable to insert an item");
  }
  EXPECT_EQ(tree.Count(), 2u);
  EXPECT_NE(status.last, "All Done");
}

TEST(UsageScan, TenThousandNestedFolders) {
  TempTree t;
  int fd = ::open(t.Root().c_str(), O_RDONLY | O_DIRECTORY);
  for (int i = 0; i < 10000; ++i) {
    ASSERT_EQ(::mkdirat(fd, "d", 0755), 0);
    const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
    ASSERT_GE(next, 0);
    ::close(fd);
    fd = next;
  }
  const int file = ::openat(fd, "f", O_WRONLY | O_CREAT, 0644);
  ASSERT_EQ(::ftruncate(file, 4096), 0);
  ::close(file);
  ::close(fd);
  TReportTree tree;
  UsageOptions o;
  o.Folders = {t.Root()};
  RunUsageScan(o, tree, nullptr, nullptr);
  ASSERT_EQ(tree.Count(), 10001u);
  EXPECT_EQ(tree.NodeAt(10000)->Label(), "......4K  d");
  EXPECT_EQ(tree.NodeAt(10000)->Level(), 10000);
  EXPECT_EQ(tree.NodeAt(0)->Label(), "......4K  " + t.Root());
}

// Totals against an independent count of the same random tree.
TEST(UsageScan, AgreesWithAnIndependentCountOnARandomTree) {
  TempTree t;
  std::mt19937 rng(7);
  std::vector<std::string> folders = {""};
  std::map<std::string, std::int64_t> expected;  // own bytes per folder
  for (int i = 0; i < 300; ++i) {
    const std::string parent = folders[rng() % folders.size()];
    const std::string name = parent + (parent.empty() ? "" : "/") + "d" + std::to_string(i);
    t.Folder("root/" + name);
    folders.push_back(name);
  }
  for (int i = 0; i < 1500; ++i) {
    const std::string folder = folders[rng() % folders.size()];
    const std::int64_t size = static_cast<std::int64_t>(rng() % 200000);
    const bool hidden = rng() % 20 == 0;
    const std::string name = (hidden ? ".f" : "f") + std::to_string(i);
    t.File("root/" + folder + (folder.empty() ? "" : "/") + name, size);
    if (!hidden) expected[folder] += size;
  }
  TReportTree tree;
  UsageOptions o;
  o.Folders = {t.Path("root")};
  RunUsageScan(o, tree, nullptr, nullptr);
  ASSERT_EQ(tree.Count(), folders.size());
  for (std::size_t i = 0; i < tree.Count(); ++i) {
    const TTreeNode* node = tree.NodeAt(static_cast<std::int64_t>(i));
    std::string relative;
    for (const TTreeNode* n = node; n->Parent(); n = n->Parent()) {
      const std::string name = n->Label().substr(10);
      relative = relative.empty() ? name : name + "/" + relative;
    }
    std::int64_t total = 0;
    for (const auto& [folder, bytes] : expected) {
      if (relative.empty() || folder == relative || folder.rfind(relative + "/", 0) == 0) {
        total += bytes;
      }
    }
    EXPECT_EQ(node->Label().substr(0, 10), FolderLabel(total, false, "")) << relative;
  }
}

// A folder scanned again is measured as the whole scan measured it: the
// exclusion paths count from its top-level folder.
TEST(Rescan, ExclusionPathsCountFromTheTopLevelFolder) {
  TempTree t;
  t.File("r/a/keep/k.bin", 4000);
  t.File("r/a/skip/s.bin", 9000);
  t.File("r/a/x.bin", 1000);
  UsageOptions o;
  o.Folders = {t.Path("r")};
  o.Exclude = {"a/skip"};
  TReportTree tree;
  RunUsageScan(o, tree, nullptr, nullptr);
  const std::string full = tree.TextForm();
  ASSERT_EQ(tree.Count(), 3u);
  t.File("r/a/skip/more.bin", 50000);
  TTreeNode* a = tree.NodeAt(1);
  ASSERT_EQ(a->Name(), "a");
  const ScanOutcome outcome = RescanUsageFolder(a, o, tree, nullptr, nullptr);
  EXPECT_FALSE(outcome.stopped);
  EXPECT_EQ(tree.TextForm(), full);
}
