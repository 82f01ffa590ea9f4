#include "scan/ScanProgress.h"

#include <algorithm>
#include <cmath>

TScanProgress::TScanProgress(const TScanDocument& baseline) {
  if (baseline.FolderCount() == 0) return;
  for (std::uint32_t s = 0; s != TScanDocument::kNoFolder; s = baseline.NextSibling(s)) {
    const ScanFolder& start = baseline.Folder(s);
    records_ += 1 + start.foldersBelow + start.filesBelow;
  }
}

TScanProgress::Estimate TScanProgress::At(std::uint64_t folders, std::uint64_t files,
                                          std::chrono::duration<double> elapsed, bool done) const {
  Estimate e;
  if (done) {
    e.share = 1;
    e.left = std::chrono::seconds(0);
    return e;
  }
  if (records_ == 0) return e;
  // The folders may have grown since: never done before the walk says so.
  e.share =
      std::clamp(static_cast<double>(folders + files) / static_cast<double>(records_), 0.0, 0.99);
  if (elapsed < std::chrono::seconds(1) || e.share < 0.01) return e;
  const double left = elapsed.count() * (1 - e.share) / e.share;
  e.left = std::chrono::seconds(std::llround(left));
  return e;
}

std::string TimeLeftText(std::chrono::seconds left) {
  const long long s = std::max<long long>(left.count(), 0);
  if (s < 60) return std::to_string(s) + " s left";
  // Rounded up: "0 min" would read as done.
  const long long minutes = (s + 59) / 60;
  if (minutes < 60) return std::to_string(minutes) + " min left";
  const long long rest = minutes % 60;
  return std::to_string(minutes / 60) + " h" + (rest ? " " + std::to_string(rest) + " min" : "") +
         " left";
}
