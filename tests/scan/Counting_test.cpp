#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "FileSystemLimits.h"
#include "TempTree.h"
#include "scan/UsageDirectory.h"

namespace {

// Writes `bytes` bytes of data at `offset` of a file, leaving what lies
// before as a hole; the file's length is at least `length`.
void WriteAt(const std::string& path, off_t offset, std::size_t bytes, off_t length = 0) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0) << path;
  const std::string data(bytes, 'x');
  ASSERT_EQ(::pwrite(fd, data.data(), data.size(), offset), static_cast<ssize_t>(data.size()));
  if (length > 0) {
    ASSERT_EQ(::ftruncate(fd, length), 0);
  }
  ::close(fd);
}

void Link(const TempTree& t, const std::string& from, const std::string& to) {
  ASSERT_EQ(::link(t.Path(from).c_str(), t.Path(to).c_str()), 0) << to;
}

// The count the scan should give, made here with its own walk: readdir
// order, files before sub-folders, as the rules say.
class IndependentCount {
 public:
  explicit IndependentCount(const UsageOptions& o) : o_(o) {}

  std::map<std::string, std::int64_t> Totals() {
    for (const std::string& root : o_.Folders) {
      struct stat st {};
      ::stat(root.c_str(), &st);
      rootDevice_ = st.st_dev;
      Walk(root, root, "");
    }
    return totals_;
  }

 private:
  bool Excluded(const std::string& name, const std::string& below) const {
    for (const std::string& pattern : o_.Exclude) {
      const std::string& text = pattern.find('/') == std::string::npos ? name : below;
      if (::fnmatch(pattern.c_str(), text.c_str(), 0) == 0) return true;
    }
    return false;
  }

  std::int64_t Walk(const std::string& path, const std::string& key, const std::string& below) {
    std::vector<std::pair<std::string, struct stat>> entries;
    if (DIR* dir = ::opendir(path.c_str())) {
      while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        if (name[0] == '.' && !o_.CountHidden && !o_.CountLikeDu) continue;
        struct stat st {};
        if (::lstat((path + "/" + name).c_str(), &st) == 0) entries.emplace_back(name, st);
      }
      ::closedir(dir);
    }
    // As du counts: every entry's blocks, the folder's own too.
    const bool du = o_.CountLikeDu;
    std::int64_t total = 0;
    if (du) {
      struct stat self {};
      ::lstat(path.c_str(), &self);
      total += self.st_blocks * 512LL;
    }
    for (const auto& [name, st] : entries) {
      if (S_ISDIR(st.st_mode) || (!S_ISREG(st.st_mode) && !du)) continue;
      if (Excluded(name, below + name)) continue;
      std::int64_t bytes = o_.CountAllocated || du ? st.st_blocks * 512LL : st.st_size;
      if ((o_.HardLinksOnce || du) && st.st_nlink > 1 &&
          !seen_.insert({st.st_dev, st.st_ino}).second) {
        bytes = 0;
      }
      total += bytes;
    }
    totals_[key] = 0;
    for (const auto& [name, st] : entries) {
      if (!S_ISDIR(st.st_mode) || Excluded(name, below + name)) continue;
      if (o_.OneFileSystem && st.st_dev != rootDevice_) {
        totals_[key + "/" + name] = -2;  // a line without a size
        continue;
      }
      total += Walk(path + "/" + name, key + "/" + name, below + name + "/");
    }
    totals_[key] = total;
    return total;
  }

  const UsageOptions& o_;
  dev_t rootDevice_ = 0;
  std::set<std::pair<dev_t, ino_t>> seen_;
  std::map<std::string, std::int64_t> totals_;
};

// Every folder of the report by its path (starting folder, then names), with
// its exact total; a marked folder shows as -1.
std::map<std::string, std::int64_t> ReportTotals(const TReportTree& tree) {
  std::map<std::string, std::int64_t> totals;
  for (std::size_t i = 0; i < tree.Count(); ++i) {
    const TTreeNode* node = tree.NodeAt(static_cast<std::int64_t>(i));
    std::string key;
    for (const TTreeNode* n = node; n; n = n->Parent()) {
      const std::string name = n->Name();
      key = key.empty() ? name : name + "/" + key;
    }
    // A line without a size (a mount point left out) reads as -2.
    totals[key] = !node->HasSize() ? -2 : node->Failed() ? -1 : node->Bytes();
  }
  return totals;
}

// Sparse files and hard links in one folder, across folders and across the
// two starting folders `data` and `other`.
void MakeCountingTree(const TempTree& t) {
  t.Folder("data/a");
  t.Folder("data/b/deep");
  t.Folder("data/b/node_modules");
  t.Folder("data/build");
  t.Folder("other");
  WriteAt(t.Path("data/sparse.img"), 1 << 20, 8192, 4 << 20);
  WriteAt(t.Path("data/a/big"), 0, 20000);
  Link(t, "data/a/big", "data/a/big-same-folder");
  Link(t, "data/a/big", "data/b/big-other-folder");
  Link(t, "data/a/big", "other/big-other-start");
  t.File("data/a/small.txt", 100);
  t.File("data/b/deep/hole", 1 << 20);
  WriteAt(t.Path("data/b/node_modules/x.js"), 0, 3000);
  WriteAt(t.Path("data/build/out.o"), 0, 7000);
  WriteAt(t.Path("other/c.log"), 0, 5000);
  // What only counting hidden names, or counting as du does, sees.
  WriteAt(t.Path("data/a/.hidden"), 0, 600);
  t.Folder("data/b/.cache");
  WriteAt(t.Path("data/b/.cache/blob"), 0, 9000);
  Link(t, "data/b/.cache/blob", "data/b/.cache/blob-again");
  ASSERT_EQ(::symlink(std::string(200, 'x').c_str(), t.Path("data/a/long-link").c_str()), 0);
  ASSERT_EQ(::symlink("small.txt", t.Path("data/a/short-link").c_str()), 0);
  ASSERT_EQ(::mkfifo(t.Path("data/build/pipe").c_str(), 0644), 0);
}

// Each option alone and all together, with 1 and 8 workers, against the
// independent count; both worker counts give the same report bytes.
void ExpectEveryOptionAgrees(const TempTree& t) {
  UsageOptions base;
  base.Folders = {t.Path("data"), t.Path("other")};
  base.ClearReport = true;
  const std::vector<std::string> exclude = {"*.log", "b/node_modules", "bu?ld", "sm*.txt"};
  std::vector<std::pair<std::string, UsageOptions>> cases;
  cases.emplace_back("all off", base);
  cases.emplace_back("allocated", base);
  cases.back().second.CountAllocated = true;
  cases.emplace_back("hard links once", base);
  cases.back().second.HardLinksOnce = true;
  cases.emplace_back("one file system", base);
  cases.back().second.OneFileSystem = true;
  cases.emplace_back("exclude", base);
  cases.back().second.Exclude = exclude;
  cases.emplace_back("hidden", base);
  cases.back().second.CountHidden = true;
  cases.emplace_back("as du", base);
  cases.back().second.CountLikeDu = true;
  cases.emplace_back("as du, one file system, exclude", base);
  cases.back().second.CountLikeDu = true;
  cases.back().second.OneFileSystem = true;
  cases.back().second.Exclude = exclude;
  cases.emplace_back("all on", base);
  cases.back().second.CountAllocated = true;
  cases.back().second.HardLinksOnce = true;
  cases.back().second.OneFileSystem = true;
  cases.back().second.Exclude = exclude;

  for (auto& [name, options] : cases) {
    const auto expected = IndependentCount(options).Totals();
    std::string firstText;
    for (const std::int32_t threads : {1, 8}) {
      options.Threads = threads;
      TReportTree tree;
      RunUsageScan(options, tree, nullptr, nullptr);
      EXPECT_EQ(ReportTotals(tree), expected) << name << ", " << threads << " threads";
      if (threads == 1) firstText = tree.TextForm();
      EXPECT_EQ(tree.TextForm(), firstText) << name;
    }
  }
}

}  // namespace

TEST(CountingOptions, EachAloneAndAllTogetherAgreeWithAnIndependentCount) {
  TempTree t;
  MakeCountingTree(t);
  // The tree must really have what the options are about.
  struct stat sparse {};
  ASSERT_EQ(::stat(t.Path("data/sparse.img").c_str(), &sparse), 0);
  if (sparse.st_blocks * 512LL >= sparse.st_size) {
    GTEST_SKIP() << "SKIPPED LOUDLY: this file system stores no sparse files";
  }
  ExpectEveryOptionAgrees(t);

  // The figures the rules give on this tree, for a reader of this test.
  UsageOptions o;
  o.Folders = {t.Path("data"), t.Path("other")};
  o.HardLinksOnce = true;
  TReportTree tree;
  RunUsageScan(o, tree, nullptr, nullptr);
  const auto totals = ReportTotals(tree);
  // One of the four names of "big" counts, and it is in the first starting folder.
  EXPECT_EQ(totals.at(t.Path("other")), 5000);
  EXPECT_EQ(totals.at(t.Path("data")), (4 << 20) + 20000 + 100 + (1 << 20) + 3000 + 7000);
}

TEST(CountingOptions, OneFileSystemLeavesASecondFileSystemOut) {
  TempTree t;
  MakeCountingTree(t);
  t.Folder("data/b/mnt");
  TmpfsMount mount(t.Path("data/b/mnt"), "size=4m");
  if (!mount.Mounted()) GTEST_SKIP() << "SKIPPED LOUDLY: cannot mount a tmpfs here (not root?)";
  t.File("data/b/mnt/m", 30000);
  t.File("data/b/mnt/sub/n", 100);
  ExpectEveryOptionAgrees(t);

  UsageOptions o;
  o.Folders = {t.Path("data")};
  o.OneFileSystem = true;
  TReportTree tree;
  RunUsageScan(o, tree, nullptr, nullptr);
  const auto totals = ReportTotals(tree);
  EXPECT_EQ(totals.at(t.Path("data/b/mnt")), -2) << "not entered: a line without a size";
  EXPECT_EQ(totals.at(t.Path("data/b")), 20000 + (1 << 20) + 3000);
  // Started on the mount itself, its own file system is the one to stay on.
  o.Folders = {t.Path("data/b/mnt")};
  TReportTree inside;
  RunUsageScan(o, inside, nullptr, nullptr);
  EXPECT_EQ(ReportTotals(inside).at(t.Path("data/b/mnt")), 30100);
}

TEST(CountingOptions, ExclusionsByNameAndByPath) {
  TempTree t;
  t.File("root/keep/a.txt", 1);
  t.File("root/keep/b.txt", 10);
  t.File("root/keep/ab.txt", 100);
  t.File("root/keep/[x].txt", 1000);
  t.File("root/node_modules/m", 10000);       // a starting folder's child, by name
  t.File("root/src/node_modules/m", 100000);  // a deeper one, by name too
  t.File("root/src/lib/build/o", 1000000);    // by path: "*/build"
  t.File("root/build/o", 10000000);           // "*/build" needs a parent, "build/*" takes it
  t.File("root/build/cache/o", 100000000);    // by path: "build/*"
  UsageOptions o;
  o.Folders = {t.Path("root")};
  o.Exclude = {"?.txt", "node_modules", "*/build", "build/*", "[x].txt"};
  for (const std::int32_t threads : {1, 8}) {
    o.Threads = threads;
    TReportTree tree;
    RunUsageScan(o, tree, nullptr, nullptr);
    const std::string r = t.Root() + "/root";
    const std::map<std::string, std::int64_t> expected = {
        {r, 100}, {r + "/keep", 100}, {r + "/src", 0}, {r + "/src/lib", 0}, {r + "/build", 0},
    };
    EXPECT_EQ(ReportTotals(tree), expected) << threads << " threads";
  }
  // Only "*" and "?" are special; everything else, "[" too, stands for itself.
  EXPECT_TRUE(WildcardMatches("[x].txt", "[x].txt", 7));
  EXPECT_FALSE(WildcardMatches("[x].txt", "x.txt", 5));
  EXPECT_TRUE(WildcardMatches("a*b*c", "a/xb/yc", 7));
  EXPECT_FALSE(WildcardMatches("a*b*c", "a/xb/yd", 7));
  EXPECT_FALSE(WildcardMatches("Build", "build", 5)) << "case counts";
}

namespace {

// du -x -B1's total of every folder below `root`, by path.
std::map<std::string, std::int64_t> DuTotals(const std::string& root) {
  std::map<std::string, std::int64_t> totals;
  FILE* du = ::popen(("du -x -B1 '" + root + "' 2>/dev/null").c_str(), "r");
  if (!du) return totals;
  char line[8192];
  while (std::fgets(line, sizeof line, du)) {
    char* tab = std::strchr(line, '\t');
    if (!tab) continue;
    std::string path(tab + 1);
    if (!path.empty() && path.back() == '\n') path.pop_back();
    totals[path] = std::strtoll(line, nullptr, 10);
  }
  ::pclose(du);
  return totals;
}

}  // namespace

// The check a user makes: as du counts, every folder's total is du's, on a
// tree of what makes counting hard. Folders that share a hard-linked file
// may differ (the walk order decides where it counts), so they share none.
TEST(CountingOptions, AsDuEqualsDuFolderByFolder) {
  TempTree t;
  t.Folder("r/.hidden-folder/inner");
  WriteAt(t.Path("r/.hidden-folder/inner/f"), 0, 70000);
  WriteAt(t.Path("r/.dotfile"), 0, 333);
  t.Folder("r/sparse");
  t.Folder("r/links");
  WriteAt(t.Path("r/sparse/image"), 8 << 20, 4096, 64 << 20);
  WriteAt(t.Path("r/links/a"), 0, 50000);
  ASSERT_EQ(::link(t.Path("r/links/a").c_str(), t.Path("r/links/b").c_str()), 0);
  ASSERT_EQ(::symlink(std::string(3000, 'y').c_str(), t.Path("r/links/long").c_str()), 0);
  ASSERT_EQ(::symlink("a", t.Path("r/links/short").c_str()), 0);
  t.Folder("r/many");
  for (int i = 0; i < 3000; ++i) {
    const int fd = ::open(t.Path("r/many/entry-with-a-longer-name-" + std::to_string(i)).c_str(),
                          O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    if (i % 7 == 0) {
      ASSERT_EQ(::write(fd, "x", 1), 1);
    }
    ::close(fd);
  }
  const auto expected = DuTotals(t.Path("r"));
  if (expected.empty()) GTEST_SKIP() << "SKIPPED LOUDLY: du is not there to compare with";

  for (const std::int32_t threads : {1, 8}) {
    UsageOptions o;
    o.Folders = {t.Path("r")};
    o.CountLikeDu = true;
    o.OneFileSystem = true;
    o.Threads = threads;
    TReportTree tree;
    const ScanOutcome outcome = RunUsageScan(o, tree, nullptr, nullptr);
    EXPECT_EQ(outcome.problems.size(), 0u);
    std::map<std::string, std::int64_t> totals;
    for (const auto& [path, bytes] : ReportTotals(tree)) totals[path] = bytes;
    EXPECT_EQ(totals, expected) << threads << " threads";
  }
}
