#include "scan/ScanTotals.h"

#include <limits>
#include <unordered_set>

namespace {

void AddSaturating(std::int64_t& to, std::int64_t bytes) {
  if (__builtin_add_overflow(to, bytes, &to)) to = std::numeric_limits<std::int64_t>::max();
}

struct LinkHash {
  std::size_t operator()(const std::pair<std::uint64_t, std::uint64_t>& id) const {
    return std::hash<std::uint64_t>()(id.second * 0x9E3779B97F4A7C15ull ^ id.first);
  }
};

}  // namespace

TScanTotals::TScanTotals(const TScanDocument& document) : document_(&document) {}

TScanTotals::TScanTotals(const TScanDocument& document, const ScanCounting& counting)
    : document_(&document), recounted_(true) {
  const std::uint32_t count = document.FolderCount();
  totals_.assign(count, 0);
  std::unordered_set<std::pair<std::uint64_t, std::uint64_t>, LinkHash> seen;
  // Parents stand before their sub-folders: one pass forward decides which
  // folders are walked and counts their own files in the walk's order ...
  for (std::uint32_t i = 0; i < count; ++i) {
    const ScanFolder& folder = document.Folder(i);
    const bool walked =
        !folder.Has(ScanFolder::LeftOut) &&
        (folder.parent == TScanDocument::kNoFolder ||
         (totals_[folder.parent] != kNotCounted && counting.Enters(document.FolderName(i))));
    if (!walked) {
      totals_[i] = kNotCounted;
      continue;
    }
    std::int64_t own = 0;
    const std::uint64_t end = document.KeptFilesEnd(i);
    for (std::uint64_t j = folder.firstFile; j < end; ++j) {
      const ScanFile file = document.File(j);
      if (!counting.Takes(file)) continue;
      const std::int64_t bytes = counting.Bytes(file);
      if (bytes > 0 && counting.linksOnce && file.linked) {
        const ScanLink* link = document.Link(j);
        if (link && !seen.emplace(link->device, link->inode).second) continue;
      }
      AddSaturating(own, bytes);
    }
    totals_[i] = own;
  }
  // ... and one backward carries each total to its parent.
  for (std::uint32_t i = count; i-- > 0;) {
    const std::uint32_t parent = document.Folder(i).parent;
    if (parent != TScanDocument::kNoFolder && totals_[i] != kNotCounted &&
        totals_[parent] != kNotCounted) {
      AddSaturating(totals_[parent], totals_[i]);
    }
  }
}

std::int64_t TScanTotals::ReportTotal(std::uint32_t folder) const {
  const ScanFolder& f = document_->Folder(folder);
  return f.Has(ScanFolder::LeftOut) ? kNotCounted : f.bytesBelow;
}
