#include "scan/ComparisonText.h"

#include <algorithm>

namespace {

struct Line {
  std::uint64_t size;  // the change either way
  std::int64_t change, oldTotal, newTotal;
  std::string path;
};

std::uint64_t Magnitude(std::int64_t change) {
  return change < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(change)
                    : static_cast<std::uint64_t>(change);
}

}  // namespace

std::string ComparisonText(const TScanComparison& comparison, int depthLimit) {
  const TScanDocument& now = comparison.Now();
  const TScanDocument& before = comparison.Before();
  // Levels below a starting folder of the new scan; parents come first.
  std::vector<std::uint32_t> nowDepth(now.FolderCount()), beforeDepth(before.FolderCount());
  for (std::uint32_t i = 0; i < now.FolderCount(); ++i) {
    const std::uint32_t parent = now.Folder(i).parent;
    nowDepth[i] = parent == TScanDocument::kNoFolder ? 0 : nowDepth[parent] + 1;
  }
  for (std::uint32_t i = 0; i < before.FolderCount(); ++i) {
    const std::uint32_t other = comparison.NowOf(i);
    const std::uint32_t parent = before.Folder(i).parent;
    beforeDepth[i] = other < now.FolderCount()            ? nowDepth[other]
                     : parent == TScanDocument::kNoFolder ? 0
                                                          : beforeDepth[parent] + 1;
  }
  auto within = [depthLimit](std::uint32_t depth) {
    return depthLimit <= 0 || depth <= static_cast<std::uint32_t>(depthLimit);
  };

  std::vector<Line> lines;
  auto add = [&lines](const TScanComparison::FolderChange& c, std::string path) {
    lines.push_back({Magnitude(c.change), c.change, c.oldTotal, c.newTotal, std::move(path)});
  };
  for (std::uint32_t i = 0; i < now.FolderCount(); ++i) {
    if (comparison.BeforeOf(i) == TScanComparison::kNotCompared || !within(nowDepth[i])) continue;
    const TScanComparison::FolderChange c = comparison.OfNow(i);
    if (c.change != 0) add(c, now.FolderPath(i));
  }
  for (std::uint32_t i = 0; i < before.FolderCount(); ++i) {
    if (comparison.NowOf(i) != TScanComparison::kOnlyHere || !within(beforeDepth[i])) continue;
    const TScanComparison::FolderChange c = comparison.OfBefore(i);
    if (c.change != 0) add(c, before.FolderPath(i));
  }
  std::sort(lines.begin(), lines.end(), [](const Line& a, const Line& b) {
    return a.size != b.size ? a.size > b.size : a.path < b.path;
  });

  std::string text;
  auto total = [](std::int64_t bytes) {
    return bytes < 0 ? std::string("-") : std::to_string(bytes);
  };
  for (const Line& line : lines) {
    text += line.change > 0 ? "+" : "";
    text += std::to_string(line.change);
    text += '\t';
    text += total(line.oldTotal);
    text += '\t';
    text += total(line.newTotal);
    text += '\t';
    text += line.path;
    text += '\n';
  }
  return text;
}
