#include "scan/DocumentLookup.h"

TDocumentLookup::Place TDocumentLookup::Find(
    const std::vector<std::shared_ptr<const TScanDocument>>& documents, std::string_view path) {
  if (path.empty()) return {};
  for (auto d = documents.rbegin(); d != documents.rend(); ++d) {
    const TScanDocument& document = **d;
    if (document.FolderCount() == 0) continue;
    // Starting folders may nest (a scan of "/r" and "/r/a" at once): the
    // last one walked that holds the folder wins, as between documents.
    std::uint32_t found = TScanDocument::kNoFolder;
    for (std::uint32_t s = 0; s != TScanDocument::kNoFolder; s = document.NextSibling(s)) {
      std::string_view rest;
      if (!Below(document.FolderName(s), path, rest)) continue;
      const std::uint32_t folder = Descend(document, s, rest);
      if (folder != TScanDocument::kNoFolder) found = folder;
    }
    if (found != TScanDocument::kNoFolder) return {*d, found};
  }
  return {};
}

bool TDocumentLookup::Below(std::string_view start, std::string_view path, std::string_view& rest) {
  // "/r/" as given stands for "/r".
  while (start.size() > 1 && start.back() == '/') start.remove_suffix(1);
  if (start.empty() || path.substr(0, start.size()) != start) return false;
  rest = path.substr(start.size());
  if (rest.empty()) return true;
  if (start.back() != '/') {
    if (rest.front() != '/') return false;  // "/r" is no ancestor of "/rx"
    rest.remove_prefix(1);
  }
  return true;
}

std::uint32_t TDocumentLookup::Descend(const TScanDocument& document, std::uint32_t start,
                                       std::string_view rest) {
  std::uint32_t folder = start;
  while (!rest.empty()) {
    const std::size_t slash = rest.find('/');
    const std::string_view name = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (name.empty()) continue;  // a doubled or trailing slash
    std::uint32_t child = document.FirstChild(folder);
    while (child != TScanDocument::kNoFolder && document.FolderName(child) != name) {
      child = document.NextSibling(child);
    }
    if (child == TScanDocument::kNoFolder) return TScanDocument::kNoFolder;
    folder = child;
  }
  return folder;
}
