#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "FuzzTargets.h"
#include "scan/ReportTree.h"
#include "scan/UsageDirectory.h"

namespace {

// A folder of the described tree, with what it must add up to.
struct Folder {
  std::string path;
  int level = 0;
  std::int64_t ownBytes = 0;
  std::vector<std::size_t> children;
  bool hidden = false;  // its name or an ancestor's begins with "." and is not walked
};

std::int64_t Total(const std::vector<Folder>& folders, std::size_t i) {
  if (folders[i].hidden) return 0;
  std::int64_t sum = folders[i].ownBytes;
  for (const std::size_t c : folders[i].children) sum += Total(folders, c);
  return sum;
}

// Names from a few letters and the characters that trouble paths and lines.
std::string Name(std::uint8_t byte, std::size_t serial) {
  static const char* const kinds[] = {"a", " lead", "line\nbreak", "tab\t",
                                      "*", "..x",   "\xff\xfe",    "trail "};
  return kinds[byte % 8] + std::to_string(serial);
}

}  // namespace

// Two bytes a step build a tree in a fresh folder: a folder (entered), up a
// level, a file of some length, or a link, pipe or link to a folder (never
// counted, never entered). The scan's report must hold every folder once,
// each with the sum of its files' lengths below it, whatever the threads.
int FuzzWalker(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  char pattern[] = "/tmp/vorn-walk-XXXXXX";
  const std::string root = ::mkdtemp(pattern) ? pattern : "";
  FUZZ_CHECK(!root.empty());
  // The first byte also chooses whether hidden names count.
  const bool countHidden = (data[0] & 4) != 0;
  std::vector<Folder> folders{{root, 0, 0, {}}};
  std::vector<std::size_t> stack{0};
  std::size_t serial = 0;
  for (std::size_t i = 1; i + 1 < size && folders.size() < 200; i += 2) {
    const std::uint8_t op = data[i], arg = data[i + 1];
    Folder& here = folders[stack.back()];
    const std::string leaf = Name(arg, ++serial);
    const std::string name = here.path + "/" + leaf;
    // Hidden names are left out unless they count.
    const bool hidden = here.hidden || (leaf[0] == '.' && !countHidden);
    switch (op % 6) {
      case 0:
      case 1: {
        FUZZ_CHECK(::mkdir(name.c_str(), 0755) == 0);
        folders.push_back({name, here.level + 1, 0, {}, hidden});
        folders[stack.back()].children.push_back(folders.size() - 1);
        stack.push_back(folders.size() - 1);
        break;
      }
      case 2:
        if (stack.size() > 1) stack.pop_back();
        break;
      case 3: {
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        FUZZ_CHECK(fd >= 0);
        const std::int64_t length = static_cast<std::int64_t>(op / 6) * 4099 + arg;
        FUZZ_CHECK(::ftruncate(fd, length) == 0);
        ::close(fd);
        if (!hidden) here.ownBytes += length;
        break;
      }
      case 4:
        // A link to the starting folder: following it would count everything twice.
        FUZZ_CHECK(::symlink(root.c_str(), name.c_str()) == 0);
        break;
      case 5:
        FUZZ_CHECK(::mkfifo(name.c_str(), 0644) == 0);
        break;
    }
  }

  UsageOptions options;
  options.Folders = {root};
  options.Threads = 1 + data[0] % 3;
  options.CountHidden = countHidden;
  TReportTree tree;
  const ScanOutcome outcome = RunUsageScan(options, tree, nullptr, nullptr);
  FUZZ_CHECK(!outcome.stopped);
  FUZZ_CHECK(outcome.ReadProblems() == 0);
  if (countHidden) FUZZ_CHECK(outcome.problems.empty());
  const auto shown =
      std::count_if(folders.begin(), folders.end(), [](const Folder& f) { return !f.hidden; });
  FUZZ_CHECK(tree.Count() == static_cast<std::size_t>(shown));
  FUZZ_CHECK(tree.TopLevelCount() == 1);

  // Every folder's level and total, as a sorted list on both sides.
  std::vector<std::pair<int, std::int64_t>> expected, reported;
  for (std::size_t i = 0; i < folders.size(); ++i)
    if (!folders[i].hidden) expected.emplace_back(folders[i].level, Total(folders, i));
  for (const TTreeNode* node = tree.First(); node; node = TReportTree::NextInTreeOrder(node)) {
    FUZZ_CHECK(node->HasSize() && !node->Failed());
    reported.emplace_back(node->Level(), node->Bytes());
  }
  std::sort(expected.begin(), expected.end());
  std::sort(reported.begin(), reported.end());
  FUZZ_CHECK(expected == reported);
  FUZZ_CHECK(tree.First()->Bytes() == Total(folders, 0));

  std::error_code ec;
  std::filesystem::remove_all(root, ec);
  return 0;
}
