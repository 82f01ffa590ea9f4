#include "scan/FileTypeTally.h"

#include <algorithm>
#include <unordered_map>

#include "scan/FileType.h"

class TFileTypeTally::Counter {
 public:
  void Add(const TScanDocument& document, std::uint64_t first, std::uint64_t end) {
    for (std::uint64_t j = first; j < end; ++j) {
      const ScanFile file = document.File(j);
      auto [at, added] = index_.try_emplace(FileTypeOf(file.name), types_.size());
      if (added) types_.push_back({at->first, 0, 0});
      Type& type = types_[at->second];
      ++type.files;
      if (file.counted > 0) {
        AddSaturating(type.bytes, file.counted);
        AddSaturating(total_, file.counted);
      }
    }
  }

  std::vector<Type> types_;
  std::int64_t total_ = 0;

 private:
  static void AddSaturating(std::int64_t& to, std::int64_t bytes) {
    if (__builtin_add_overflow(to, bytes, &to)) to = INT64_MAX;
  }
  std::unordered_map<std::string, std::size_t> index_;
};

TFileTypeTally::TFileTypeTally(const TScanDocument& document, std::uint32_t below) {
  Counter counter;
  TReportScopes::ForFilesBelow(document, below,
                               [&counter](auto&&... range) { counter.Add(range...); });
  Take(counter);
}

TFileTypeTally::TFileTypeTally(const TReportScopes& scopes) {
  Counter counter;
  scopes.ForEachFileRange([&counter](auto&&... range) { counter.Add(range...); });
  Take(counter);
}

void TFileTypeTally::Take(Counter& counter) {
  types_ = std::move(counter.types_);
  total_ = counter.total_;
  std::sort(types_.begin(), types_.end(), [](const Type& a, const Type& b) {
    return a.bytes != b.bytes ? a.bytes > b.bytes : a.name < b.name;
  });
}
