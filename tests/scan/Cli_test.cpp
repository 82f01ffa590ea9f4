#include <dirent.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "TempTree.h"
#include "Unprivileged.h"
#include "cli/TerminalText.h"
#include "scan/UsageDirectory.h"

extern char** environ;

namespace {

struct Result {
  int status = -1;
  std::string out, err;
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Binary() {
  const char* bin = std::getenv("VORNTOOLS_SCAN_BIN");
  return bin ? bin : VORNTOOLS_SCAN_PATH;
}

// Runs vorntools-scan with the arguments; standard output and error go to
// files in `t`. `whileRunning` is called with the child's pid before waiting.
Result RunScanTool(const TempTree& t, const std::vector<std::string>& args,
                   const std::function<void(pid_t)>& whileRunning = {}) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, t.Path("stdout").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, t.Path("stderr").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<std::string> all = {Binary()};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  Result r;
  if (posix_spawn(&pid, all[0].c_str(), &actions, nullptr, argv.data(), environ) != 0) return r;
  posix_spawn_file_actions_destroy(&actions);
  if (whileRunning) whileRunning(pid);
  int status = 0;
  waitpid(pid, &status, 0);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.out = Slurp(t.Path("stdout"));
  r.err = Slurp(t.Path("stderr"));
  return r;
}

std::string InProcess(const UsageOptions& o, bool sort) {
  TReportTree tree;
  RunUsageScan(o, tree, nullptr, nullptr);
  if (sort) tree.SortByLabel();
  return tree.TextForm();
}

}  // namespace

TEST(VorntoolsScan, WritesTheSameReportAsTheCore) {
  TempTree t;
  t.File("data/a/f", 5000);
  t.File("data/a/deep/er/g", 300000);
  t.File("data/b/h", 1);
  t.File("data/c/i", 70000);
  UsageOptions o;
  o.Folders = {t.Path("data"), t.Path("data/a")};
  o.MaxDepth = 1;
  o.MinSizeK = 1;
  o.AllowForSectorSize = true;
  o.SectorBytes = 4096;
  o.ClearReport = true;
  const std::string expected = InProcess(o, true);
  ASSERT_NE(expected.find("\t.....72K  c\r\n"), std::string::npos) << expected;

  const Result r = RunScanTool(t, {"--depth", "1", "--min-size=$1", "--sector-size", " 4096",
                                   "--sort", t.Path("data"), t.Path("data/a")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, expected);
  EXPECT_EQ(r.err, "") << "nothing on a standard error that is not a terminal";

  const Result toFile =
      RunScanTool(t, {"--output", t.Path("report.txt"), "--depth=1", "--min-size", "1",
                      "--sector-size=4096", "--sort", "--", t.Path("data"), t.Path("data/a")});
  EXPECT_EQ(toFile.status, 0);
  EXPECT_EQ(toFile.out, "");
  EXPECT_EQ(Slurp(t.Path("report.txt")), expected);

  // The sequential walk (one thread) and the read-ahead one write the same report.
  for (const char* threads : {"1", "3"}) {
    const Result r =
        RunScanTool(t, {"--threads", threads, "--depth", "1", "--min-size=$1", "--sector-size",
                        "4096", "--sort", t.Path("data"), t.Path("data/a")});
    EXPECT_EQ(r.out, expected) << "--threads " << threads;
  }
}

TEST(VorntoolsScan, WrongUsageExitsWithTwo) {
  TempTree t;
  const struct {
    std::vector<std::string> args;
    std::string err;  // expected part of standard error
  } cases[] = {
      {{"--depth", "abc", "/"}, "'abc' is not a valid integer value.\n"},
      {{"--min-size", "12 ", "/"}, "'12 ' is not a valid integer value.\n"},
      {{"--sector-size", "99999999999", "/"}, "'99999999999' is not a valid integer value.\n"},
      {{"--depth=", "/"}, "'' is not a valid integer value.\n"},
      {{"--frobnicate", "/"}, "unknown option '--frobnicate'"},
      {{"--depth"}, "needs a value"},
      {{"--sort"}, "no folder given"},
      {{"--sector-size", "0", "/"}, "'--sector-size' needs a number of 1 or more"},
      {{"--sector-size=-512", "/"}, "'--sector-size' needs a number of 1 or more"},
      {{"--du", "--sector-size", "512", "/"}, "--du and --sector-size cannot be used together"},
  };
  for (const auto& c : cases) {
    const Result r = RunScanTool(t, c.args);
    EXPECT_EQ(r.status, 2) << c.args[0];
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
  const Result help = RunScanTool(t, {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Usage: vorntools-scan"), std::string::npos);
  const Result version = RunScanTool(t, {"--version"});
  EXPECT_EQ(version.out, "vorntools-scan 1.01\n");
}

TEST(VorntoolsScan, CountingOptionsGiveTheCoresReport) {
  TempTree t;
  t.File("data/a/f", 5000);
  t.File("data/a/skip.tmp", 70000);
  t.File("data/cache/g", 300000);
  ASSERT_EQ(::link(t.Path("data/a/f").c_str(), t.Path("data/f2").c_str()), 0);
  UsageOptions o;
  o.Folders = {t.Path("data")};
  o.CountAllocated = true;
  o.HardLinksOnce = true;
  o.OneFileSystem = true;
  o.Exclude = {"*.tmp", "cache"};
  o.ClearReport = true;
  const std::string expected = InProcess(o, false);
  ASSERT_EQ(expected.find("cache"), std::string::npos) << expected;
  const Result r = RunScanTool(t, {"--allocated", "--hard-links-once", "-x", "--exclude", "*.tmp",
                                   "--exclude=cache", t.Path("data")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, expected);
  EXPECT_EQ(RunScanTool(t, {"--one-file-system", t.Path("data")}).out,
            RunScanTool(t, {"-x", t.Path("data")}).out);

  for (const auto& args : {std::vector<std::string>{"--allocated", "--sector-size", "512", "/"},
                           std::vector<std::string>{"--sector-size=512", "--allocated", "/"}}) {
    const Result refused = RunScanTool(t, args);
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.err.rfind(
                  "vorntools-scan: --allocated and --sector-size cannot be used together\n", 0),
              0u)
        << refused.err;
    EXPECT_EQ(refused.out, "");
  }
}

TEST(VorntoolsScan, UnwritableOutputExitsWithOne) {
  TempTree t;
  t.File("data/f", 1);
  const std::string target = t.Path("missing-folder/r.txt");
  const Result r = RunScanTool(t, {"--output", target, t.Path("data")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Cannot create file " + target + ": No such file or directory.\n");
  // A device is written directly, and a full one says so.
  const Result full = RunScanTool(t, {"--output", "/dev/full", t.Path("data")});
  EXPECT_EQ(full.status, 1);
  EXPECT_EQ(full.err, "Cannot create file /dev/full: No space left on device.\n");
  // A name of 250 bytes is valid: the temporary name beside it must fit too.
  const std::string longName = t.Path(std::string(250, 'n'));
  EXPECT_EQ(RunScanTool(t, {"--output", longName, t.Path("data")}).status, 0);
  EXPECT_EQ(Slurp(longName), "......0K  " + t.Path("data") + "\r\n");
}

// A reader that went away (`| head -1`) ends the tool quietly, by SIGPIPE, as
// it ends other command-line tools; a scan document on standard output too.
TEST(VorntoolsScan, AClosedPipeEndsTheToolQuietlyBySigpipe) {
  TempTree t;
  for (int i = 0; i < 300; ++i) t.File("data/folder-" + std::to_string(i) + "/f", i);
  const std::vector<std::vector<std::string>> runs{
      {t.Path("data")}, {"--export", "-", "--output", t.Path("r.txt"), t.Path("data")}};
  for (const std::vector<std::string>& args : runs) {
    SCOPED_TRACE(args[0]);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[0]);  // gone before the first byte
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, t.Path("stderr").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> all = {Binary()};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, all[0].c_str(), &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGPIPE) << status;
    EXPECT_EQ(Slurp(t.Path("stderr")), "");
  }
}

TEST(VorntoolsScan, ProblemsGoToTheirFileALineEach) {
  TempTree t;
  t.File("data/shut/f", 1);
  ::chmod(t.Path("data/shut").c_str(), 0);
  const auto out = RunUnprivileged(
      [&] {
        const Result r = RunScanTool(t, {"--problems", t.Path("problems.txt"), t.Path("data")});
        return std::to_string(r.status) + "|" + Slurp(t.Path("problems.txt"));
      },
      {t.Root()});
  if (!out) GTEST_SKIP() << "SKIPPED LOUDLY: cannot run as an unprivileged user here";
  EXPECT_EQ(*out, "0|" + t.Path("data/shut") + "\tPermission denied\n");
}

// What the rules leave out goes to the problems file with its reason, and a
// starting folder that cannot be read fails the command, as it fails du.
TEST(VorntoolsScan, LeftOutEntriesAndUnreadableStartsAreReported) {
  TempTree t;
  t.File("data/.hidden", 4000);
  t.File("data/x.tmp", 1);
  t.File("data/kept", 2048);
  const Result r =
      RunScanTool(t, {"--exclude", "*.tmp", "--problems", "-", t.Path("data"), t.Path("typo")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "......2K  " + t.Path("data") + "\r\n......0K *" + t.Path("typo") + "\r\n");
  EXPECT_NE(r.err.find(t.Path("data/.hidden") + "\tLeft out: hidden\n"), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find(t.Path("data/x.tmp") + "\tLeft out: excluded by *.tmp\n"),
            std::string::npos);
  EXPECT_NE(r.err.find("vorntools-scan: cannot read '" + t.Path("typo") +
                       "': No such file or directory\n"),
            std::string::npos);
  const Result hidden = RunScanTool(t, {"--hidden", t.Path("data")});
  EXPECT_EQ(hidden.status, 0);
  EXPECT_EQ(hidden.out, "......6K  " + t.Path("data") + "\r\n");
}

// The lists a script asks for instead of the report agree with find's view
// of the tree, hidden names only when they count.
TEST(VorntoolsScan, LargestFilesAndTypesAgreeWithFind) {
  TempTree t;
  t.File("d/a.TXT", 5000);
  t.File("d/b.txt", 300);
  t.File("d/.config/big.db", 90000);
  t.File("d/.bashrc", 4000);
  t.File("d/sub/image.iso", 70000);
  t.File("d/sub/noext", 100);
  t.File("d/sub/archive.tar.gz", 6000);
  t.File("d/sub/trailing.", 7);
  const auto find = [&](bool hidden) {
    FILE* f = ::popen(("find '" + t.Path("d") + "' -type f " +
                       (hidden ? "" : "-not -path '*/.*' ") + "-printf '%s\\t%p\\n' | sort -rn")
                          .c_str(),
                      "r");
    std::string text;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, f)) text += buffer;
    ::pclose(f);
    return text;
  };
  const std::string all = find(true), shown = find(false);
  ASSERT_EQ(std::count(all.begin(), all.end(), '\n'), 8) << all;
  EXPECT_EQ(RunScanTool(t, {"--hidden", "--largest", "100", t.Path("d")}).out, all);
  EXPECT_EQ(RunScanTool(t, {"--largest=3", t.Path("d")}).out,
            shown.substr(0, shown.find('\n', shown.find('\n', shown.find('\n') + 1) + 1) + 1));
  EXPECT_EQ(RunScanTool(t, {"--hidden", "--types", t.Path("d")}).out,
            "db\t1\t90000\niso\t1\t70000\ngz\t1\t6000\ntxt\t2\t5300\n\t3\t4107\n");
  EXPECT_EQ(RunScanTool(t, {"--types", t.Path("d")}).out,
            "iso\t1\t70000\ngz\t1\t6000\ntxt\t2\t5300\n\t2\t107\n");
}

// Folder names reach the terminal's progress line: none may steer it.
TEST(VorntoolsScan, ProgressShowsControlBytesEscaped) {
  EXPECT_EQ(TerminalSafe("e\x1b]2;TITLE\a"), "e\\x1B]2;TITLE\\x07");
  EXPECT_EQ(TerminalSafe("a\x7f\n\xc2\x9b[2J"), "a\\x7F\\x0A\\xC2\\x9B[2J");
  // Ordinary UTF-8, including other two-byte forms after 0xC2, passes as it is.
  EXPECT_EQ(TerminalSafe("Caf\xc3\xa9 \xc2\xa9 \xc2"), "Caf\xc3\xa9 \xc2\xa9 \xc2");
}

// Ctrl-C acts as Stop: the partial report is written and the status is 130.
TEST(VorntoolsScan, InterruptWritesThePartialReport) {
  TempTree t;
  // A deep chain keeps the scan busy with folders open for a while.
  int fd = ::open(t.Root().c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_EQ(::mkdirat(fd, "chain", 0755), 0);
  int level = ::openat(fd, "chain", O_RDONLY | O_DIRECTORY);
  ::close(fd);
  for (int i = 0; i < 6000; ++i) {
    for (int s = 0; s < 3; ++s) ::mkdirat(level, ("s" + std::to_string(s)).c_str(), 0755);
    ASSERT_EQ(::mkdirat(level, "d", 0755), 0);
    const int next = ::openat(level, "d", O_RDONLY | O_DIRECTORY);
    ::close(level);
    level = next;
  }
  ::close(level);

  bool caught = false;
  const Result r =
      RunScanTool(t, {"--output", t.Path("partial.txt"), t.Path("chain")}, [&](pid_t pid) {
        // Wait until the scan holds a folder deep in the chain open, then
        // interrupt. Folders are read ahead of the walk, so a shallow one can
        // be open before the walk has entered the chain at all.
        std::string deep = "/chain";
        for (int i = 0; i < 1500; ++i) deep += "/d";
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        const std::string fdDir = "/proc/" + std::to_string(pid) + "/fd";
        while (!caught && std::chrono::steady_clock::now() < deadline) {
          if (DIR* d = ::opendir(fdDir.c_str())) {
            while (dirent* e = ::readdir(d)) {
              char target[4096];
              const ssize_t n =
                  ::readlink((fdDir + "/" + e->d_name).c_str(), target, sizeof target - 1);
              if (n > 0 && std::string(target, static_cast<std::size_t>(n)).find(deep) !=
                               std::string::npos) {
                caught = true;
              }
            }
            ::closedir(d);
          }
          if (!caught) std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        ::kill(pid, SIGINT);
      });
  if (!caught) GTEST_SKIP() << "SKIPPED LOUDLY: the scan ended before it could be interrupted";
  EXPECT_EQ(r.status, 130) << r.err;
  const std::string report = Slurp(t.Path("partial.txt"));
  // The starting folder was still open: its line has what was measured so
  // far, marked as a lower bound.
  const std::string first = report.substr(0, report.find("\r\n"));
  const std::string tail = "K *" + t.Path("chain");
  ASSERT_GT(first.size(), tail.size());
  EXPECT_EQ(first.substr(first.size() - tail.size()), tail);
  EXPECT_GT(report.size(), 0u);
}

// A report made from a scan file is the walk's report byte for byte, under
// every option a walk takes: from our own export and from ncdu's.
TEST(VorntoolsScan, ReportFromAScanFileIsTheWalksReport) {
  TempTree t;
  t.File("data/top.bin", 70000);
  t.File("data/a/x.tmp", 9000);
  t.File("data/a/sub/deep/y", 123456);
  t.File("data/a/sub/z", 5);
  t.File("data/b/h1", 40000);
  // Two names of one file in different folders: which counts is the walk's order.
  ASSERT_EQ(::link(t.Path("data/b/h1").c_str(), t.Path("data/a/h2").c_str()), 0);
  t.File("data/.hidden/f", 30000);
  t.File("data/b/.h", 2000);
  t.File("data/b/odd\xff\nname", 777);
  ASSERT_EQ(::symlink("top.bin", t.Path("data/link").c_str()), 0);
  // With --du the export holds everything: hidden names, links, folders' blocks.
  const Result exported = RunScanTool(
      t, {"--du", "--export", t.Path("all.json.zst"), "--output", t.Path("r.txt"), t.Path("data")});
  ASSERT_EQ(exported.status, 0) << exported.err;
  std::vector<std::string> files = {t.Path("all.json.zst")};
  const bool ncdu = std::system("command -v ncdu >/dev/null 2>&1") == 0;
  if (ncdu) {
    ASSERT_EQ(
        std::system(
            ("ncdu -o '" + t.Path("ncdu.json") + "' '" + t.Path("data") + "' 2>/dev/null").c_str()),
        0);
    files.push_back(t.Path("ncdu.json"));
  }
  const std::vector<std::vector<std::string>> choices = {
      {},
      {"--hidden", "--hard-links-once"},
      {"--allocated", "--depth", "1"},
      {"--du"},
      {"--min-size", "40", "--sort"},
      {"--exclude", "*.tmp", "--exclude", "a/sub/deep", "--hidden"},
      {"--sector-size", "4096", "-x"},
  };
  for (const auto& choice : choices) {
    std::vector<std::string> walk = choice;
    walk.push_back(t.Path("data"));
    const Result walked = RunScanTool(t, walk);
    ASSERT_EQ(walked.status, 0);
    for (const std::string& file : files) {
      std::vector<std::string> from = choice;
      from.insert(from.end(), {"--from", file});
      const Result read = RunScanTool(t, from);
      EXPECT_EQ(read.status, 0) << read.err;
      EXPECT_EQ(read.out, walked.out) << file << " with " << ::testing::PrintToString(choice);
    }
  }
  if (!ncdu) GTEST_SKIP() << "SKIPPED LOUDLY: ncdu missing; only our own export was read";
}

// The scan file goes to standard output only when the report goes to a
// file; a scan file names its folders; a damaged one says where.
TEST(VorntoolsScan, ScanFileOptionsAreCheckedAndErrorsSayWhere) {
  TempTree t;
  t.File("data/f", 3000);
  EXPECT_EQ(RunScanTool(t, {"--export", "-", t.Path("data")}).status, 2);
  const Result out = RunScanTool(t, {"--export", "-", "--output", t.Path("r.txt"), t.Path("data")});
  EXPECT_EQ(out.status, 0);
  EXPECT_EQ(out.out.substr(0, 34), "[1,2,{\"progname\":\"vorntools-scan\",");
  EXPECT_EQ(Slurp(t.Path("r.txt")), "......3K  " + t.Path("data") + "\r\n");
  std::ofstream(t.Path("bad.json")) << "[1,2,{},\n[{\"name\":\"/r\"},\n{\"name\":5}]]";
  EXPECT_EQ(RunScanTool(t, {"--from", t.Path("bad.json"), t.Path("data")}).status, 2);
  const Result bad = RunScanTool(t, {"--from", t.Path("bad.json")});
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.err, "vorntools-scan: cannot read '" + t.Path("bad.json") +
                         "': line 3, column 9: \"name\" must be a string\n");
  // Exporting to where no file can go fails, after the report is written.
  const Result cannot = RunScanTool(t, {"--export", t.Path("none/s.json"), t.Path("data")});
  EXPECT_EQ(cannot.status, 1);
  EXPECT_NE(cannot.err.find("No such file or directory"), std::string::npos) << cannot.err;
}

// What grew, shrank, came and went since a scan file, largest change first;
// the new side may be a scan file too.
TEST(VorntoolsScan, CompareWritesEachChangedFolder) {
  TempTree t;
  t.File("data/grow/f", 10000);
  t.File("data/shrink/f", 50000);
  t.File("data/gone/f", 7000);
  t.File("data/same/f", 100);
  ASSERT_EQ(RunScanTool(t, {"--export", t.Path("before.json.gz"), "--output", t.Path("r.txt"),
                            t.Path("data")})
                .status,
            0);
  t.File("data/grow/g", 20000);
  t.File("data/shrink/f", 20000);
  std::filesystem::remove_all(t.Path("data/gone"));
  t.File("data/new/f", 3000);
  const std::string d = t.Path("data");
  const std::string expected = "-30000\t50000\t20000\t" + d + "/shrink\n" +
                               "+20000\t10000\t30000\t" + d + "/grow\n" + "-14000\t67100\t53100\t" +
                               d + "\n" + "-7000\t7000\t-\t" + d + "/gone\n" + "+3000\t-\t3000\t" +
                               d + "/new\n";
  const Result walked = RunScanTool(t, {"--compare", t.Path("before.json.gz"), d});
  EXPECT_EQ(walked.status, 0) << walked.err;
  EXPECT_EQ(walked.out, expected);
  ASSERT_EQ(
      RunScanTool(t, {"--export", t.Path("after.json"), "--output", t.Path("r.txt"), d}).status, 0);
  const Result files =
      RunScanTool(t, {"--from", t.Path("after.json"), "--compare", t.Path("before.json.gz")});
  EXPECT_EQ(files.out, expected);
  EXPECT_EQ(RunScanTool(t, {"--compare", t.Path("missing.json"), d}).status, 1);
  EXPECT_EQ(RunScanTool(t, {"--compare", t.Path("before.json.gz"), "--types", d}).status, 2);
}
