#include "scan/NameSearch.h"

#include "scan/FolderAccess.h"

namespace {

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether `name` holds `lowered` (already in lower case), ASCII case aside.
bool Contains(std::string_view name, std::string_view lowered) {
  if (lowered.size() > name.size()) return false;
  const std::size_t last = name.size() - lowered.size();
  for (std::size_t i = 0; i <= last; ++i) {
    std::size_t k = 0;
    while (k < lowered.size() && Lower(name[i + k]) == lowered[k]) ++k;
    if (k == lowered.size()) return true;
  }
  return false;
}

// A starting folder is named by its path: its own name is the last part.
std::string_view OwnName(std::string_view name) {
  while (name.size() > 1 && name.back() == '/') name.remove_suffix(1);
  const std::size_t slash = name.rfind('/');
  if (slash == std::string_view::npos || name.size() == 1) return name;
  return name.substr(slash + 1);
}

std::string JoinName(const std::string& folder, std::string_view name) {
  std::string path = folder;
  if (!path.empty() && path.back() != '/') path += '/';
  path.append(name);
  return path;
}

}  // namespace

bool TNameSearch::IsWildcard(std::string_view pattern) {
  return pattern.find_first_of("*?") != std::string_view::npos;
}

TNameSearch::TNameSearch(const TReportScopes& scopes, std::string_view pattern, std::size_t limit,
                         const std::atomic<bool>* cancel)
    : wildcard_(IsWildcard(pattern)) {
  pattern_.reserve(pattern.size());
  for (char c : pattern) pattern_ += Lower(c);
  if (pattern_.empty()) return;
  // Once past the limit one more match is all it takes to know there are more.
  bool done = false;
  const auto add = [&](Hit hit) {
    if (hits_.size() == limit) {
      more_ = true;
      done = true;
      return;
    }
    hits_.push_back(std::move(hit));
  };
  scopes.ForEachFolder([&](const TScanDocument& document, std::uint32_t i) {
    if (done) return;
    if (cancel && cancel->load(std::memory_order_relaxed)) {
      cancelled_ = done = true;
      return;
    }
    const ScanFolder& folder = document.Folder(i);
    if (folder.Has(ScanFolder::LeftOut)) return;
    std::string folderPath;  // made only when something in it matches
    const std::string_view folderName = folder.parent == TScanDocument::kNoFolder
                                            ? OwnName(document.FolderName(i))
                                            : document.FolderName(i);
    if (Matches(folderName)) {
      folderPath = document.FolderPath(i);
      add({Kind::Folder, &document, i, i, folder.bytesBelow, folderPath});
    }
    const std::uint64_t end = document.KeptFilesEnd(i);
    for (std::uint64_t j = folder.firstFile; j < end && !done; ++j) {
      const std::string_view name = document.FileName(j);
      if (!Matches(name)) continue;
      if (folderPath.empty()) folderPath = document.FolderPath(i);
      add({Kind::File, &document, j, i, document.File(j).counted, JoinName(folderPath, name)});
    }
  });
}

bool TNameSearch::Matches(std::string_view name) {
  if (!wildcard_) return Contains(name, pattern_);
  lowered_.assign(name);
  for (char& c : lowered_) c = Lower(c);
  return WildcardMatches(pattern_.c_str(), lowered_.data(), lowered_.size());
}
