#include "scan/LargestFiles.h"

#include <algorithm>
#include <queue>

namespace {

std::string JoinName(const std::string& folder, std::string_view name) {
  std::string path = folder;
  if (!path.empty() && path.back() != '/') path += '/';
  path.append(name);
  return path;
}

}  // namespace

TLargestFiles::TLargestFiles(const TScanDocument& document, std::size_t count, std::uint32_t below,
                             const Filter& keep) {
  if (document.FolderCount() == 0) return;
  std::uint32_t first = 0, last = document.FolderCount() - 1;
  if (below != TScanDocument::kNoFolder && below < document.FolderCount()) {
    first = below;
    last = below + document.Folder(below).span;
  }
  Collect(
      [&](auto&& visit) {
        for (std::uint32_t i = first; i <= last; ++i) visit(document, i);
      },
      count, keep);
}

TLargestFiles::TLargestFiles(const TReportScopes& scopes, std::size_t count, const Filter& keep) {
  Collect([&](auto&& visit) { scopes.ForEachFolder(visit); }, count, keep);
}

template <class EachFolder>
void TLargestFiles::Collect(EachFolder&& eachFolder, std::size_t count, const Filter& keep) {
  if (count == 0) return;
  const auto eachFile = [&](auto&& visit) {
    eachFolder([&](const TScanDocument& document, std::uint32_t i) {
      const std::uint64_t end = document.KeptFilesEnd(i);
      for (std::uint64_t j = document.Folder(i).firstFile; j < end; ++j) {
        const ScanFile file = document.File(j);
        if (file.counted < 0 || (keep && !keep(file))) continue;
        visit(document, i, j, file.counted);
      }
    });
  };
  // The smallest size that still makes it, found first by size alone; the
  // paths are made only for the files that make it or tie with it.
  std::priority_queue<std::int64_t, std::vector<std::int64_t>, std::greater<>> sizes;
  eachFile([&](const TScanDocument&, std::uint32_t, std::uint64_t, std::int64_t bytes) {
    if (sizes.size() < count) {
      sizes.push(bytes);
    } else if (bytes > sizes.top()) {
      sizes.pop();
      sizes.push(bytes);
    }
  });
  if (sizes.empty()) return;
  const std::int64_t threshold = sizes.top();
  const TScanDocument* pathDocument = nullptr;
  std::uint32_t pathOf = TScanDocument::kNoFolder;
  std::string folderPath;
  eachFile(
      [&](const TScanDocument& document, std::uint32_t i, std::uint64_t j, std::int64_t bytes) {
        if (bytes < threshold) return;
        if (i != pathOf || &document != pathDocument) {
          pathOf = i;
          pathDocument = &document;
          folderPath = document.FolderPath(i);
        }
        files_.push_back({&document, j, i, bytes, JoinName(folderPath, document.FileName(j))});
      });
  const auto order = [](const File& a, const File& b) {
    return a.bytes != b.bytes ? a.bytes > b.bytes : a.path < b.path;
  };
  if (files_.size() > count) {
    std::partial_sort(files_.begin(), files_.begin() + static_cast<std::ptrdiff_t>(count),
                      files_.end(), order);
    files_.resize(count);
  } else {
    std::sort(files_.begin(), files_.end(), order);
  }
}
