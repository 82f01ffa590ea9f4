#include "scan/DocumentLookup.h"

#include <algorithm>

#include "scan/ReportTree.h"

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

namespace {

std::string_view WithoutTrailingSlash(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  return path;
}

// Whether a raw name shows as `label` in a report line.
bool ShowsAs(std::string_view raw, std::string_view label) {
  // Every character the label replaces stands in the same place.
  return raw.size() == label.size() && (raw == label || TReportTree::LabelName(raw) == label);
}

// The sub-folder of `folder` whose line `node` is: the one name that shows
// as the line's. Several such (" a" and "?a" both show as "?a") are told
// apart by their size, and where that fails none is taken: a command must
// never act on a sibling.
std::uint32_t ChildShownAs(const TScanDocument& document, std::uint32_t folder,
                           const TTreeNode& node) {
  const std::string label = node.Name();
  std::uint32_t found = TScanDocument::kNoFolder, bySize = TScanDocument::kNoFolder;
  int matches = 0, sized = 0;
  for (std::uint32_t c = document.FirstChild(folder); c != TScanDocument::kNoFolder;
       c = document.NextSibling(c)) {
    if (!ShowsAs(document.FolderName(c), label)) continue;
    found = c;
    ++matches;
    if (node.HasSize() && document.Folder(c).bytesBelow == node.Bytes()) {
      bySize = c;
      ++sized;
    }
  }
  if (matches == 1) return found;
  return sized == 1 ? bySize : TScanDocument::kNoFolder;
}

std::string Joined(const std::string& folder, std::string_view name) {
  std::string path = folder;
  if (path.empty() || path.back() != '/') path += '/';
  path += name;
  return path;
}

}  // namespace

TDocumentLookup::NodePlace TDocumentLookup::FindNode(
    const std::vector<std::shared_ptr<const TScanDocument>>& documents, const TTreeNode* node) {
  std::vector<const TTreeNode*> chain;
  for (const TTreeNode* n = node; n; n = n->Parent()) chain.push_back(n);
  std::reverse(chain.begin(), chain.end());
  NodePlace out;
  std::size_t which = documents.size();  // the document of out.place
  // A starting folder of the newest document that started there.
  const auto startedAt = [&](std::size_t after, const auto& matches) {
    for (std::size_t d = documents.size(); d-- > after;) {
      const TScanDocument& document = *documents[d];
      if (document.FolderCount() == 0) continue;
      for (std::uint32_t s = 0; s != TScanDocument::kNoFolder; s = document.NextSibling(s)) {
        if (matches(WithoutTrailingSlash(document.FolderName(s)))) {
          out.place = {documents[d], s};
          which = d;
          return true;
        }
      }
    }
    return false;
  };
  const std::string top = chain.front()->Name();
  if (!startedAt(
          0, [&](std::string_view start) { return ShowsAs(start, WithoutTrailingSlash(top)); })) {
    return {};
  }
  out.path = std::string(out.place.document->FolderName(out.place.folder));
  out.startLength = out.path.size();
  for (std::size_t k = 1; k < chain.size(); ++k) {
    const TScanDocument& document = *out.place.document;
    const std::uint32_t child = ChildShownAs(document, out.place.folder, *chain[k]);
    if (child != TScanDocument::kNoFolder) {
      const std::string path = Joined(out.path, document.FolderName(child));
      out.place.folder = child;
      // A later scan of this very folder (a rescan) wins.
      startedAt(which + 1, [&](std::string_view start) { return start == path; });
      out.path = path;
      continue;
    }
    // Not in this scan: a later one of the folder alone may have it.
    const std::string label = chain[k]->Name();
    const std::string above = out.path;
    std::string found;
    if (!startedAt(which + 1, [&](std::string_view start) {
          std::string_view rest;
          if (!Below(above, start, rest) || rest.empty() || rest.find('/') != rest.npos) {
            return false;
          }
          if (!ShowsAs(rest, label)) return false;
          found = std::string(start);
          return true;
        })) {
      return {};
    }
    out.path = found;
  }
  return out;
}
