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
