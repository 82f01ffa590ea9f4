#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "TempTree.h"
#include "scan/MyDirectory.h"

namespace {

// Writes down every hook call, in order.
class RecordingWalker : public TMyDirectory {
 public:
  using TMyDirectory::MeasureAhead;
  std::vector<std::string> calls;
  std::optional<std::string> stopAtEntryOf;  // sets the stop flag when this folder is entered

 protected:
  void TheFileProcedure(const std::string& d, const FileContext& where) override {
    calls.push_back("file " + where.PathIn(d));
  }
  void TheDirectoryProcedure(const std::string& d) override { calls.push_back("dir " + d); }
  void PreProcessProcedure() override { calls.push_back("begin"); }
  void PostProcessProcedure() override { calls.push_back("end"); }
  void PreProcessDirectoryProcedure(const std::string& d) override {
    calls.push_back("pre " + d);
    if (d == stopAtEntryOf) StopRequested = true;
  }
  void PostProcessDirectoryProcedure(const std::string& d) override {
    calls.push_back("post " + d);
  }
  void FolderUnreadable(const std::string& d, int) override { calls.push_back("unreadable " + d); }
  void FolderLeftOut(const std::string& d, const char* name, std::size_t length,
                     LeftOutReason why) override {
    static const char* const kWhy[] = {"hidden", "excluded", "pseudo", "other-fs"};
    calls.push_back(std::string("left out (") + kWhy[static_cast<int>(why)] + ") " +
                    JoinPath(d, std::string(name, length)));
  }
};

std::vector<std::string> Walk(RecordingWalker& walker, const std::vector<std::string>& paths,
                              bool recurse = true, std::vector<std::string> masks = {"*.*"}) {
  walker.SetState(nullptr, recurse);
  for (const auto& m : masks) walker.AddMask(m);
  for (const auto& p : paths) walker.AddPath(p);
  walker.DoProcedureToAllMatchingFiles();
  return walker.calls;
}

std::size_t IndexOf(const std::vector<std::string>& calls, const std::string& call) {
  return static_cast<std::size_t>(std::find(calls.begin(), calls.end(), call) - calls.begin());
}

}  // namespace

TEST(JoinPath, SeparatorOnlyWhereNeeded) {
  EXPECT_EQ(JoinPath("/data", "a"), "/data/a");
  EXPECT_EQ(JoinPath("/data/", "a"), "/data/a");
  EXPECT_EQ(JoinPath("/", "a"), "/a");
  EXPECT_EQ(JoinPath("", "a"), "a");
}

TEST(Walker, CallsHooksInOrderFilesBeforeSubFolders) {
  TempTree t;
  t.File("top/f1", 1);
  t.File("top/s1/g", 1);
  t.Folder("top/s2");
  RecordingWalker w;
  const std::string top = t.Path("top");
  const auto calls = Walk(w, {top});

  ASSERT_EQ(calls.size(), 13u);
  EXPECT_EQ(calls.front(), "begin");
  EXPECT_EQ(calls[1], "pre " + top);
  EXPECT_EQ(calls[2], "dir " + top);
  EXPECT_EQ(calls[3], "file " + top + "/f1");
  EXPECT_EQ(calls[11], "post " + top);
  EXPECT_EQ(calls.back(), "end");
  // Each sub-folder's whole sequence is nested inside the parent's.
  for (const std::string sub : {"s1", "s2"}) {
    const std::string path = top + "/" + sub;
    const auto pre = IndexOf(calls, "pre " + path);
    ASSERT_LT(pre, calls.size());
    EXPECT_EQ(calls[pre + 1], "dir " + path);
    EXPECT_LT(pre, IndexOf(calls, "post " + path));
  }
  EXPECT_EQ(IndexOf(calls, "file " + top + "/s1/g"), IndexOf(calls, "dir " + top + "/s1") + 1);
}

TEST(Walker, SkipsHiddenLinksAndSpecialFilesButWalksDuplicates) {
  TempTree t;
  t.File("a/visible", 1);
  t.File("a/.hidden", 1);
  t.File("a/.hid/inner", 1);
  ASSERT_EQ(::mkfifo(t.Path("a/pipe").c_str(), 0644), 0);
  std::filesystem::create_symlink(t.Path("a/visible"), t.Path("a/link-to-file"));
  std::filesystem::create_symlink(t.Path("a"), t.Path("a/loop"));  // a cycle if followed
  RecordingWalker w;
  const std::string a = t.Path("a");
  const auto calls = Walk(w, {a, a});

  const std::vector<std::string> once = {"pre " + a, "dir " + a, "file " + a + "/visible",
                                         "left out (hidden) " + a + "/.hid", "post " + a};
  std::vector<std::string> expected = {"begin"};
  expected.insert(expected.end(), once.begin(), once.end());
  expected.insert(expected.end(), once.begin(), once.end());
  expected.push_back("end");
  EXPECT_EQ(calls, expected);
}

TEST(Walker, MissingStartingFolderGetsOnlyFolderHooks) {
  TempTree t;
  t.File("plainfile", 3);
  RecordingWalker w;
  const std::string missing = t.Path("nope"), file = t.Path("plainfile");
  const auto calls = Walk(w, {missing, file});
  EXPECT_EQ(calls, (std::vector<std::string>{"begin", "pre " + missing, "dir " + missing,
                                             "post " + missing, "pre " + file, "dir " + file,
                                             "post " + file, "end"}));
}

TEST(Walker, RecurseOffAndMasks) {
  TempTree t;
  t.File("m/a.txt", 1);
  t.File("m/b.log", 1);
  t.File("m/sub/c.txt", 1);
  const std::string m = t.Path("m");
  {
    RecordingWalker w;
    const auto calls = Walk(w, {m}, false, {"*.txt", "*.*"});
    // No sub-folder pass, no leaving hook; a file matching two masks is visited twice.
    std::vector<std::string> files;
    for (const auto& c : calls) {
      if (c.rfind("file ", 0) == 0) files.push_back(c);
    }
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0], "file " + m + "/a.txt");
    EXPECT_EQ(IndexOf(calls, "post " + m), calls.size());
    EXPECT_EQ(IndexOf(calls, "pre " + m + "/sub"), calls.size());
  }
  {
    RecordingWalker w;
    const auto calls = Walk(w, {m}, true, {});
    for (const auto& c : calls) EXPECT_NE(c.rfind("file ", 0), 0u) << c;
    EXPECT_LT(IndexOf(calls, "post " + m + "/sub"), calls.size());
  }
}

TEST(Walker, StopWhileEnteringAFolderStillLeavesEveryOpenFolder) {
  TempTree t;
  t.File("r/x/y/z/deep", 1);
  t.File("r/x/y/z/w/deeper", 1);
  // Left out around z: none may be told of once the walk has stopped.
  for (const char* level : {"r", "r/x", "r/x/y"}) {
    for (const char* hidden : {"/.a", "/.b", "/.c"}) t.Folder(std::string(level) + hidden);
  }
  RecordingWalker w;
  const std::string r = t.Path("r"), z = r + "/x/y/z";
  w.stopAtEntryOf = z;
  const auto calls = Walk(w, {r, r});
  // z's entry hooks ran; nothing inside z; every open folder left innermost
  // first; the second starting folder is not walked; the walk still ends.
  const auto pre = IndexOf(calls, "pre " + z);
  ASSERT_LT(pre, calls.size());
  const std::vector<std::string> tail(calls.begin() + static_cast<long>(pre), calls.end());
  EXPECT_EQ(tail,
            (std::vector<std::string>{"pre " + z, "dir " + z, "post " + z, "post " + r + "/x/y",
                                      "post " + r + "/x", "post " + r, "end"}));
}

TEST(Walker, EmptyStartingTextWalksTheCurrentFolderWithRelativeNames) {
  TempTree t;
  t.File("cwd/sub/f", 1);
  const auto saved = std::filesystem::current_path();
  std::filesystem::current_path(t.Path("cwd"));
  RecordingWalker w;
  const auto calls = Walk(w, {""});
  std::filesystem::current_path(saved);
  EXPECT_LT(IndexOf(calls, "pre sub"), calls.size());
  EXPECT_LT(IndexOf(calls, "file sub/f"), calls.size());
}

// A chain far deeper than PATH_MAX and than the open-file limit, with a side
// folder at every level so that folders must be reopened after their handles
// were given up.
TEST(Walker, DeepChainNeedsNeitherLongPathsNorManyHandles) {
  TempTree t;
  constexpr int kLevels = 300;
  {
    int fd = ::open(t.Root().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    for (int i = 0; i < kLevels; ++i) {
      ASSERT_EQ(::mkdirat(fd, "side", 0755), 0);
      const int side = ::openat(fd, "side", O_RDONLY | O_DIRECTORY);
      const int file = ::openat(side, "f", O_WRONLY | O_CREAT, 0644);
      ASSERT_EQ(::ftruncate(file, 10), 0);
      ::close(file);
      ::close(side);
      ASSERT_EQ(::mkdirat(fd, "level-with-a-longish-name", 0755), 0);
      const int next = ::openat(fd, "level-with-a-longish-name", O_RDONLY | O_DIRECTORY);
      ASSERT_GE(next, 0);
      ::close(fd);
      fd = next;
    }
    ::close(fd);
  }
  rlimit saved{};
  ::getrlimit(RLIMIT_NOFILE, &saved);
  rlimit low = saved;
  low.rlim_cur = 200;
  ::setrlimit(RLIMIT_NOFILE, &low);

  class CountingWalker : public TMyDirectory {
   public:
    long folders = 0, files = 0, unreadable = 0, open = 0, maxOpen = 0;
    std::size_t longestPath = 0;

   protected:
    void PreProcessDirectoryProcedure(const std::string& d) override {
      ++folders;
      maxOpen = std::max(maxOpen, ++open);
      longestPath = std::max(longestPath, d.size());
    }
    void PostProcessDirectoryProcedure(const std::string&) override { --open; }
    void TheFileProcedure(const std::string&, const FileContext&) override { ++files; }
    void FolderUnreadable(const std::string&, int) override { ++unreadable; }
  } w;
  w.SetState(nullptr, true);
  w.AddMask("*.*");
  w.AddPath(t.Root());
  w.DoProcedureToAllMatchingFiles();
  ::setrlimit(RLIMIT_NOFILE, &saved);

  EXPECT_EQ(w.folders, 1 + 2 * kLevels);
  EXPECT_EQ(w.files, kLevels);
  EXPECT_EQ(w.unreadable, 0);
  EXPECT_EQ(w.open, 0);
  EXPECT_EQ(w.maxOpen, kLevels + 1);
  EXPECT_GT(w.longestPath, 4096u);
}

TEST(Walker, UnreadableFolderIsReportedNotTakenForEmpty) {
  TempTree t;
  t.File("p/locked/secret", 100);
  t.File("p/open/f", 1);
  ::chmod(t.Path("p/locked").c_str(), 0);
  const std::string p = t.Path("p");
  const auto out = RunUnprivileged([&] {
    RecordingWalker w;
    std::string joined;
    for (const auto& c : Walk(w, {p})) joined += c + "\n";
    return joined;
  });
  if (!out) GTEST_SKIP() << "SKIPPED LOUDLY: cannot run as an unprivileged user here";
  EXPECT_NE(out->find("unreadable " + p + "/locked\n"), std::string::npos) << *out;
  EXPECT_EQ(out->find("secret"), std::string::npos);
  EXPECT_NE(out->find("file " + p + "/open/f\n"), std::string::npos);
}

namespace {

std::vector<std::string> WalkWith(std::size_t workers, const std::string& root,
                                  std::vector<std::string> masks = {"*.*"},
                                  std::vector<std::string> exclude = {},
                                  bool oneFileSystem = false) {
  RecordingWalker w;
  w.Workers = workers;
  w.MeasureAhead = true;  // as a scan has it: measuring is what the walker waits for
  w.Exclude = std::move(exclude);
  w.OneFileSystem = oneFileSystem;
  return Walk(w, {root}, true, masks);
}

// A file system mounted for the length of a test (as root only).
struct TestMount {
  TestMount(const std::string& at, const char* type) : at(at) {
    done = ::mount("vorn-test", at.c_str(), type, 0, nullptr) == 0;
  }
  ~TestMount() {
    if (done) ::umount2(at.c_str(), MNT_DETACH);
  }
  std::string at;
  bool done = false;
};

std::size_t CountStarting(const std::vector<std::string>& calls, const std::string& start) {
  return static_cast<std::size_t>(
      std::count_if(calls.begin(), calls.end(),
                    [&start](const std::string& c) { return c.rfind(start, 0) == 0; }));
}

}  // namespace

// The same hooks in the same order whatever the number of workers, on a
// random tree with a folder big enough to have its measuring shared out, and
// with sub-folders left out among the entered ones for every reason there is.
TEST(ReadAhead, SameHookSequenceForAnyNumberOfWorkers) {
  TempTree t;
  unsigned seed = 7;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) % 1000; };
  std::vector<std::string> folders = {"r"};
  std::size_t hidden = 0, excluded = 0;
  for (int i = 0; i < 400; ++i) {
    const std::string parent = folders[next() % folders.size()];
    const std::string path = parent + "/d" + std::to_string(i);
    t.Folder(path);
    folders.push_back(path);
    for (unsigned f = next() % 6; f > 0; --f) t.File(path + "/f" + std::to_string(f) + ".txt", 1);
    // Never entered, so nothing is made below them.
    if (i % 4 == 0) ++hidden, t.File(path + "/.h" + std::to_string(i) + "/f.txt", 1);
    if (i % 7 == 0) ++excluded, t.File(parent + "/skip" + std::to_string(i) + "/f.txt", 1);
    if (i % 9 == 0) ++excluded, t.File(path + "/cache/f.txt", 1);  // by its path
  }
  // Big enough to be handed over in parts, and for its listing to pause.
  for (int f = 0; f < 20000; ++f) t.File("r/big/x" + std::to_string(f), 1);
  t.Folder("r/d5/other-fs");
  t.Folder("r/d5/sys-here");
  const TestMount otherFs(t.Path("r/d5/other-fs"), "tmpfs");
  const TestMount pseudo(t.Path("r/d5/sys-here"), "sysfs");
  const std::string root = t.Path("r");
  const std::vector<std::string> exclude = {"skip*", "d*/cache"};
  const auto sequential = WalkWith(0, root, {"*.txt", "*.*"}, exclude, true);
  EXPECT_GT(sequential.size(), 20000u + 4 * 400);
  EXPECT_EQ(CountStarting(sequential, "left out (hidden) "), hidden);
  EXPECT_EQ(CountStarting(sequential, "left out (excluded) "), excluded);
  EXPECT_EQ(CountStarting(sequential, "left out (other-fs) " + root + "/d5/other-fs"),
            otherFs.done ? 1u : 0u);
  EXPECT_EQ(CountStarting(sequential, "left out (pseudo) " + root + "/d5/sys-here"),
            pseudo.done ? 1u : 0u);
  const auto threads = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                         std::filesystem::directory_iterator());
  };
  const auto before = threads();
  for (std::size_t workers : {1u, 2u, 8u}) {
    EXPECT_EQ(WalkWith(workers, root, {"*.txt", "*.*"}, exclude, true), sequential)
        << workers << " workers";
    // No worker outlives its walk.
    EXPECT_EQ(threads(), before) << workers << " workers";
  }
  if (!otherFs.done || !pseudo.done) {
    GTEST_SKIP() << "SKIPPED LOUDLY: cannot mount here; folders left out by name were checked";
  }
}

// Exclusions and staying on one file system leave the same folders and files
// out of the hooks whether the walker reads folders itself or ahead.
TEST(ReadAhead, LeftOutFoldersAndFilesAreTheSameForAnyNumberOfWorkers) {
  TempTree t;
  t.File("r/keep/a.txt", 1);
  t.File("r/keep/a.tmp", 1);
  t.File("r/node_modules/m", 1);
  t.File("r/src/build/o", 1);
  t.File("r/src/ok/build", 1);  // a file: "*/build" takes it too
  t.Folder("r/mnt");
  const TestMount mount(t.Path("r/mnt"), "tmpfs");
  if (mount.done) t.File("r/mnt/inside", 1);
  const auto walk = [&](std::size_t workers) {
    RecordingWalker w;
    w.Workers = workers;
    w.OneFileSystem = true;
    w.Exclude = {"*.tmp", "node_modules", "*/build"};
    return Walk(w, {t.Path("r")});
  };
  const auto sequential = walk(0);
  std::vector<std::string> told, leftOut;
  for (const std::string& call : sequential) {
    if (call.rfind("left out ", 0) == 0) {
      leftOut.push_back(call);
      continue;
    }
    for (const char* gone : {"a.tmp", "node_modules", "build", "mnt"}) {
      if (call.find(gone) != std::string::npos && (mount.done || gone[0] != 'm')) {
        told.push_back(call);
      }
    }
  }
  EXPECT_EQ(told, std::vector<std::string>{}) << "left out, so never entered";
  // Folders only, each told once with its reason; files left out silently.
  std::vector<std::string> expected = {"left out (excluded) " + t.Path("r/node_modules"),
                                       "left out (excluded) " + t.Path("r/src/build")};
  if (mount.done) expected.push_back("left out (other-fs) " + t.Path("r/mnt"));
  std::sort(leftOut.begin(), leftOut.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(leftOut, expected);
  EXPECT_NE(IndexOf(sequential, "file " + t.Path("r/keep/a.txt")), sequential.size());
  EXPECT_NE(IndexOf(sequential, "pre " + t.Path("r/src/ok")), sequential.size());
  for (std::size_t workers : {1u, 2u, 8u}) {
    EXPECT_EQ(walk(workers), sequential) << workers << " workers";
  }
  if (!mount.done) GTEST_SKIP() << "SKIPPED LOUDLY: no tmpfs mount here; exclusions were checked";
}

// Under a low open-file limit, in a child so the limit does not outlast it.
TEST(ReadAhead, DeepChainUnderALowOpenFileLimit) {
  TempTree t;
  constexpr int kLevels = 1500;
  {
    int fd = ::open(t.Root().c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < kLevels; ++i) {
      ::mkdirat(fd, "side", 0755);
      ::mkdirat(fd, "level-with-a-longish-name", 0755);
      const int next = ::openat(fd, "level-with-a-longish-name", O_RDONLY | O_DIRECTORY);
      ASSERT_GE(next, 0);
      ::close(fd);
      fd = next;
    }
    ::close(fd);
  }
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    rlimit low{20, 20};
    if (::setrlimit(RLIMIT_NOFILE, &low) != 0) ::_exit(3);
    RecordingWalker w;
    const auto calls = WalkWith(8, t.Root());
    long pre = 0, unreadable = 0;
    for (const auto& c : calls) {
      pre += c.rfind("pre ", 0) == 0;
      unreadable += c.rfind("unreadable ", 0) == 0;
    }
    ::_exit(pre == 1 + 2 * kLevels && unreadable == 0 ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

namespace {

// Blocks on one folder until released; tells when the last worker let go of it.
class StuckFolders : public TFolderSystem {
 public:
  std::mutex mutex;
  std::condition_variable released;
  bool release = false;
  std::promise<void> gone;
  ~StuckFolders() override { gone.set_value(); }
  FolderHandle OpenChild(const FolderHandle& parent, const char* name, int& error) override {
    if (std::string(name) == "stuck") {
      std::unique_lock lock(mutex);
      released.wait(lock, [this] { return release; });
    }
    return TFolderSystem::OpenChild(parent, name, error);
  }
};

class StopAfterPumps : public TMessagePump {
 public:
  int calls = 0;
  void ProcessMessages() override {
    if (++calls == 5) StopRequested = true;
  }
};

}  // namespace

TEST(ReadAhead, StopEndsAWalkStuckInASystemCall) {
  TempTree t;
  t.File("s/a/f", 1);
  t.File("s/stuck/g", 1);
  t.File("s/z/h", 1);
  auto system = std::make_shared<StuckFolders>();
  auto gone = system->gone.get_future();
  StopAfterPumps pump;
  const std::string s = t.Path("s");
  {
    RecordingWalker w;
    w.Workers = 4;
    w.SetFolderSystem(system);
    w.SetState(&pump, true);
    w.AddMask("*.*");
    w.AddPath(s);
    w.DoProcedureToAllMatchingFiles();
    EXPECT_GE(pump.calls, 5);  // the interface was served while waiting
    EXPECT_EQ(w.calls.back(), "end");
    EXPECT_EQ(IndexOf(w.calls, "pre " + s + "/stuck"), w.calls.size());
    EXPECT_EQ(IndexOf(w.calls, "post " + s), w.calls.size() - 2);
  }
  StuckFolders* raw = system.get();
  system.reset();
  {
    // Notified under the lock: once released, the worker may free `raw`.
    std::lock_guard lock(raw->mutex);
    raw->release = true;
    raw->released.notify_all();
  }
  gone.wait();  // the stuck worker finished and let go of everything
  StopRequested = false;
}

namespace {

// Opens each sub-folder after a short sleep, as a disk with a cold cache
// answers, or after as much work on the processor, as a warm cache costs;
// keeps the most opens under way at once.
class SlowFolders : public TFolderSystem {
 public:
  explicit SlowFolders(bool sleep) : sleep_(sleep) {}
  std::atomic<int> underWay{0}, most{0};
  FolderHandle OpenChild(const FolderHandle& parent, const char* name, int& error) override {
    const int now = ++underWay;
    for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {
    }
    if (sleep_) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    } else {
      // Longer than the system's time slices, so that more workers running
      // at once than allowed would be seen under way at once.
      const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(8);
      while (std::chrono::steady_clock::now() < until) {
      }
    }
    --underWay;
    return TFolderSystem::OpenChild(parent, name, error);
  }

 private:
  const bool sleep_;
};

}  // namespace

// Adapting workers start at two per processor: storage that makes them
// sleep lets them all read at once, work on the processors alone never more
// than two per processor; the walk is the same as without read-ahead.
TEST(ReadAhead, AdaptingWorkersReadAtOnceOnlyWhileTheStorageIsSlow) {
  TempTree t;
  for (int i = 0; i < 60; ++i) t.File("s/d" + std::to_string(i) + "/e/f", 1);
  const int processors = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  const int workers = std::min(8 * processors, 64);  // the read-ahead's most
  const int fewest = std::min(processors, workers);
  RecordingWalker alone;
  alone.SetState(nullptr, true);
  alone.AddMask("*.*");
  alone.AddPath(t.Path("s"));
  alone.DoProcedureToAllMatchingFiles();
  for (const bool sleep : {true, false}) {
    auto system = std::make_shared<SlowFolders>(sleep);
    RecordingWalker w;
    w.Workers = static_cast<std::size_t>(workers);
    w.AdaptWorkers = true;
    w.SetFolderSystem(system);
    w.SetState(nullptr, true);
    w.AddMask("*.*");
    w.AddPath(t.Path("s"));
    w.DoProcedureToAllMatchingFiles();
    if (sleep) {
      if (workers > fewest) {
        EXPECT_GT(system->most, fewest);
      }
      EXPECT_LE(system->most, workers);
    } else {
      EXPECT_LE(system->most, fewest);
    }
    EXPECT_EQ(w.calls, alone.calls) << sleep;
  }
}

// Folders renamed and removed while being walked: no crash, the parts left
// alone are counted in full, and a folder that was listed but had gone when
// its turn came marks its parent.
TEST(ReadAhead, FoldersChangingDuringTheWalk) {
  TempTree t;
  for (int i = 0; i < 200; ++i) t.File("w/churn/d" + std::to_string(i) + "/f", 1);
  for (int i = 0; i < 50; ++i) t.File("w/still/e" + std::to_string(i) + "/f", 1);
  const std::string w = t.Path("w");
  std::atomic<bool> done{false};
  std::thread changer([&] {
    for (int round = 0; !done; ++round) {
      for (int i = 0; i < 200; ++i) {
        const std::string a = t.Path("w/churn/d" + std::to_string(i));
        std::error_code ec;
        std::filesystem::rename(a, a + "x", ec);
        std::filesystem::rename(a + "x", a, ec);
      }
    }
  });
  for (std::size_t workers : {0u, 8u}) {
    const auto calls = WalkWith(workers, w);
    long still = 0;
    for (const auto& c : calls) still += c.rfind("file " + w + "/still/", 0) == 0;
    EXPECT_EQ(still, 50);
    for (const auto& c : calls) {
      if (c.rfind("unreadable ", 0) == 0) {
        EXPECT_EQ(c, "unreadable " + w + "/churn");
      }
    }
  }
  done = true;
  changer.join();
}
