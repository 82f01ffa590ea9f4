#include "scan/FileTypeTally.h"

#include <algorithm>
#include <unordered_map>

#include "scan/FileType.h"

TFileTypeTally::TFileTypeTally(const TScanDocument& document, std::uint32_t below) {
  std::uint64_t first = 0, end = document.FileCount();
  if (below != TScanDocument::kNoFolder && below < document.FolderCount()) {
    // A folder's sub-tree is the records after it, and their files follow its own.
    first = document.Folder(below).firstFile;
    end = document.KeptFilesEnd(below + document.Folder(below).span);
  }
  std::unordered_map<std::string, std::size_t> index;
  for (std::uint64_t j = first; j < end; ++j) {
    const ScanFile file = document.File(j);
    auto [at, added] = index.try_emplace(FileTypeOf(file.name), types_.size());
    if (added) types_.push_back({at->first, 0, 0});
    Type& type = types_[at->second];
    ++type.files;
    if (file.counted > 0) {
      type.bytes =
          __builtin_add_overflow(type.bytes, file.counted, &type.bytes) ? INT64_MAX : type.bytes;
      total_ = __builtin_add_overflow(total_, file.counted, &total_) ? INT64_MAX : total_;
    }
  }
  std::sort(types_.begin(), types_.end(), [](const Type& a, const Type& b) {
    return a.bytes != b.bytes ? a.bytes > b.bytes : a.name < b.name;
  });
}
