#include <dirent.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>

#include <atomic>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "FileSystemLimits.h"
#include "TempTree.h"
#include "scan/Errors.h"
#include "scan/ReplacingFile.h"
#include "scan/ReportTree.h"
#include "scan/UsageDirectory.h"

namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void Put(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// Every name in a folder, hidden ones too.
std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return names;
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

std::string ScanBinary() {
  const char* bin = std::getenv("VORNTOOLS_SCAN_BIN");
  return bin ? bin : VORNTOOLS_SCAN_PATH;
}

// Starts vorntools-scan with a file-size limit (0: none); its standard
// error goes to `errFile`.
pid_t StartScanTool(const std::vector<std::string>& args, rlim_t sizeLimit,
                    const std::string& errFile) {
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  if (sizeLimit > 0) {
    rlimit limit{sizeLimit, sizeLimit};
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ::dup2(err, 2);
  const int null = ::open("/dev/null", O_WRONLY);
  ::dup2(null, 1);
  std::vector<std::string> all{ScanBinary()};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  ::execv(argv[0], argv.data());
  ::_exit(127);
}

int Wait(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A tree whose report is a few kilobytes.
void ManyFolders(const TempTree& t) {
  for (int i = 0; i < 200; ++i)
    t.File("data/folder-with-a-long-name-" + std::to_string(i) + "/f", i);
}

// A small tmpfs of its own, as root where mount works.

}  // namespace

// A write that runs out of room, to a file-size limit or to a full file
// system, says so and leaves the previous report whole, with no temporary
// file beside it.
TEST(Faults, OutputOnAFullFileSystemIsReportedAndKeepsTheOldReport) {
  TempTree t;
  ManyFolders(t);
  ::mkdir(t.Path("small").c_str(), 0755);
  TmpfsMount tmpfs(t.Path("small"), "size=16k");
  struct Case {
    std::string folder;
    rlim_t limit;
    std::string reason;
  };
  std::vector<Case> cases{{t.Path("limited"), 1024, "File too large"}};
  if (tmpfs.Mounted()) cases.push_back({t.Path("small"), 0, "No space left on device"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    t.Folder(c.folder.substr(t.Root().size() + 1));
    const std::string target = c.folder + "/report.txt";
    Put(target, "....1K  old\r\n");
    if (c.limit == 0) Put(c.folder + "/filler", std::string(12 * 1024, 'f'));
    const int status =
        Wait(StartScanTool({"--output", target, t.Path("data")}, c.limit, t.Path("err")));
    EXPECT_EQ(status, 1);
    EXPECT_EQ(Slurp(t.Path("err")), "Cannot create file " + target + ": " + c.reason + ".\n");
    EXPECT_EQ(Slurp(target), "....1K  old\r\n");
    const std::vector<std::string> expected = c.limit == 0
                                                  ? std::vector<std::string>{"filler", "report.txt"}
                                                  : std::vector<std::string>{"report.txt"};
    EXPECT_EQ(Names(c.folder), expected);
  }
  if (!tmpfs.Mounted())
    GTEST_SKIP() << "SKIPPED LOUDLY: no small tmpfs here (needs root and mount); the file-size "
                    "limit case ran";
}

// The report tree's own file (the window's saved report, Save As, the
// print's temporary copy) meets a full disk the same way, in process.
TEST(Faults, SavingTheTreeOnAFullDiskRaisesAndKeepsTheOldFile) {
  TempTree t;
  const std::string target = t.Path("tree.txt");
  Put(target, "before\r\n");
  TReportTree tree;
  for (int i = 0; i < 300; ++i) tree.AddChild(nullptr, "folder " + std::to_string(i));
  std::string message;
  {
    FileSizeLimit limit(512);
    try {
      tree.Save(target);
    } catch (const EVorntoolsError& e) {
      message = e.what();
    }
  }
  EXPECT_EQ(message, "Cannot create file " + target + ": File too large");
  EXPECT_EQ(Slurp(target), "before\r\n");
  EXPECT_EQ(Names(t.Root()), std::vector<std::string>{"tree.txt"});
}

// Killed in the middle of a write, the writer leaves the file as it was and
// nothing of its own beside it, whether it replaces a file or makes one.
TEST(Faults, AWriterKilledMidWriteLeavesTheOldFileAndNoTemporaryFile) {
  TempTree t;
  t.Folder("out");
  Put(t.Path("out/kept.txt"), "old\n");
  for (const std::string name : {"kept.txt", "new.txt"}) {
    SCOPED_TRACE(name);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      TReplacingFile file;
      const std::string part(1 << 20, 'n');
      if (!file.Open(t.Path("out/" + name)) || !file.Write(part.data(), part.size())) ::_exit(1);
      (void)!::write(ready[1], "x", 1);
      ::pause();
      ::_exit(0);
    }
    ::close(ready[1]);
    char written = 0;
    const ssize_t got = ::read(ready[0], &written, 1);
    ::kill(pid, SIGKILL);
    Wait(pid);
    ::close(ready[0]);
    ASSERT_EQ(got, 1);
    EXPECT_EQ(Names(t.Path("out")), std::vector<std::string>{"kept.txt"});
    EXPECT_EQ(Slurp(t.Path("out/kept.txt")), "old\n");
  }
}

// A writable file in a folder that takes no new file (a log in a folder of
// root's) is written in place, as a shell's ">" writes it; one that is not
// writable either is refused with the reason. Nothing is left beside them.
TEST(Faults, AWritableFileInAFolderThatTakesNoNewFileIsWrittenInPlace) {
  TempTree t;
  t.File("data/a/f", 5000);
  t.Folder("locked");
  Put(t.Path("locked/report.txt"), "old\n");
  Put(t.Path("locked/problems.txt"), "old\n");
  Put(t.Path("locked/fixed.txt"), "fixed\n");
  const auto out = RunUnprivileged(
      [&] {
        ::chmod(t.Path("locked/fixed.txt").c_str(), 0444);
        ::chmod(t.Path("locked").c_str(), 0555);
        const int written =
            Wait(StartScanTool({"--output", t.Path("locked/report.txt"), "--problems",
                                t.Path("locked/problems.txt"), t.Path("data")},
                               0, t.Path("err")));
        std::string result = std::to_string(written) + "|" + Slurp(t.Path("err")) + "|" +
                             Slurp(t.Path("locked/report.txt")) + "|" +
                             Slurp(t.Path("locked/problems.txt")) + "|";
        const int refused = Wait(StartScanTool(
            {"--output", t.Path("locked/fixed.txt"), t.Path("data")}, 0, t.Path("err")));
        result += std::to_string(refused) + "|" + Slurp(t.Path("err")) + "|" +
                  Slurp(t.Path("locked/fixed.txt"));
        ::chmod(t.Path("locked").c_str(), 0755);
        return result;
      },
      {t.Root()});
  if (!out) GTEST_SKIP() << "SKIPPED LOUDLY: cannot run as an unprivileged user here";
  UsageOptions options;
  options.Folders = {t.Path("data")};
  TReportTree tree;
  RunUsageScan(options, tree, nullptr, nullptr);
  EXPECT_EQ(*out, "0||" + tree.TextForm() + "||1|Cannot create file " + t.Path("locked/fixed.txt") +
                      ": Permission denied.\n|fixed\n");
  EXPECT_EQ(Names(t.Path("locked")),
            (std::vector<std::string>{"fixed.txt", "problems.txt", "report.txt"}));
}

// Killed at any moment while it writes, the tool leaves the old report or
// the new one, never a mixture or a torn file.
TEST(Faults, KilledAtAnyMomentTheOutputIsTheOldReportOrTheNew) {
  TempTree t;
  for (int i = 0; i < 3000; ++i)
    t.File("data/d" + std::to_string(i % 300) + "/e" + std::to_string(i) + "/f", i);
  const std::string target = t.Path("out/report.txt");
  t.Folder("out");
  ASSERT_EQ(Wait(StartScanTool({"--output", target, t.Path("data")}, 0, t.Path("err"))), 0);
  const std::string fresh = Slurp(target);
  ASSERT_GT(fresh.size(), 50000u);
  const std::string old = "....1K  old\r\n";
  std::mt19937 random(std::random_device{}());
  int killedEarly = 0;
  for (int round = 0; round < 15; ++round) {
    Put(target, old);
    const pid_t pid = StartScanTool({"--output", target, t.Path("data")}, 0, t.Path("err"));
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 60000));
    ::kill(pid, SIGKILL);
    if (Wait(pid) == 128 + SIGKILL) ++killedEarly;
    const std::string now = Slurp(target);
    EXPECT_TRUE(now == old || now == fresh) << "round " << round << ": " << now.size() << " bytes";
  }
  RecordProperty("killed before the end", killedEarly);
}

// Folders removed, renamed and swapped for links while the walk runs: no
// crash, nothing outside the starting folder counted, and the part nobody
// touches adds up exactly.
TEST(Faults, ScanWhileTheTreeChangesUnderIt) {
  TempTree t;
  t.File("outside/huge", 1LL << 40);  // counted only if a link were followed
  for (int i = 0; i < 40; ++i) t.File("root/stable/s" + std::to_string(i) + "/f", 1000 + i);
  std::int64_t stable = 0;
  for (int i = 0; i < 40; ++i) stable += 1000 + i;
  t.Folder("root/churn");
  std::atomic<bool> done{false};
  std::thread changer([&] {
    std::mt19937 random(7);
    int n = 0;
    while (!done) {
      const std::string a = t.Path("root/churn/a" + std::to_string(n % 8));
      const std::string b = t.Path("root/churn/b" + std::to_string(n % 8));
      std::error_code ec;
      // Never make folders through a link (it may point at "/").
      if (std::filesystem::is_symlink(a + "/x", ec)) std::filesystem::remove(a + "/x", ec);
      std::filesystem::create_directories(a + "/x/y", ec);
      Put(a + "/x/y/f", std::string(100, 'c'));
      switch (random() % 4) {
        case 0:
          std::filesystem::rename(a, b, ec);
          break;
        case 1:
          std::filesystem::remove_all(a, ec);
          break;
        case 2:
          // A folder swapped for a link to outside, or to the root of everything.
          std::filesystem::remove_all(a + "/x", ec);
          (void)::symlink(random() % 2 ? t.Path("outside").c_str() : "/", (a + "/x").c_str());
          break;
        case 3:
          std::filesystem::remove_all(b, ec);
          (void)::symlink(t.Path("outside").c_str(), b.c_str());
          break;
      }
      ++n;
    }
  });
  for (int round = 0; round < 30; ++round) {
    UsageOptions options;
    options.Folders = {t.Path("root")};
    options.Threads = 1 + round % 3;
    TReportTree tree;
    RunUsageScan(options, tree, nullptr, nullptr);
    ASSERT_EQ(tree.TopLevelCount(), 1u);
    const TTreeNode* top = tree.TopLevel(0);
    const TTreeNode* stableNode = nullptr;
    for (std::size_t i = 0; i < top->ChildCount(); ++i)
      if (top->Child(i)->Label().ends_with(" stable")) stableNode = top->Child(i);
    ASSERT_NE(stableNode, nullptr);
    EXPECT_EQ(stableNode->Bytes(), stable);
    EXPECT_FALSE(stableNode->Failed());
    EXPECT_EQ(stableNode->ChildCount(), 40u);
    // The churn holds at most 16 folders of 100 bytes each.
    EXPECT_LE(top->Bytes(), stable + 16 * 100);
    EXPECT_GE(top->Bytes(), stable);
  }
  done = true;
  changer.join();
}
