#include "scan/ReportScopes.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "scan/DocumentLookup.h"

TReportScopes::TReportScopes(const std::vector<std::shared_ptr<const TScanDocument>>& documents) {
  // Newest first: a walk's starting folder is left out where a newer walk's
  // holds it, and holds out the newer ones below it.
  std::vector<std::string> taken;  // paths of the starting folders kept so far
  for (auto d = documents.rbegin(); d != documents.rend(); ++d) {
    const TScanDocument& document = **d;
    if (document.FolderCount() == 0) continue;
    std::vector<std::uint32_t> starts;
    for (std::uint32_t s = 0; s != TScanDocument::kNoFolder; s = document.NextSibling(s)) {
      starts.push_back(s);
    }
    for (auto s = starts.rbegin(); s != starts.rend(); ++s) {
      const std::string path(document.FolderName(*s));
      std::string_view rest;
      const bool covered = std::any_of(taken.begin(), taken.end(), [&](const std::string& newer) {
        return TDocumentLookup::Below(newer, path, rest);
      });
      if (covered) continue;
      Scope scope{*d, *s, {}};
      for (const std::string& newer : taken) {
        if (!TDocumentLookup::Below(path, newer, rest)) continue;
        const std::uint32_t below = TDocumentLookup::Descend(document, *s, rest);
        if (below != TScanDocument::kNoFolder && below != *s) scope.skip.push_back(below);
      }
      std::sort(scope.skip.begin(), scope.skip.end());
      // A skipped folder inside another skipped one is skipped with it.
      std::vector<std::uint32_t> outer;
      for (const std::uint32_t k : scope.skip) {
        if (outer.empty() || k > outer.back() + document.Folder(outer.back()).span) {
          outer.push_back(k);
        }
      }
      scope.skip = std::move(outer);
      scopes_.push_back(std::move(scope));
      taken.push_back(path);
    }
  }
  // Oldest first again, in the order the report shows the starting folders.
  std::reverse(scopes_.begin(), scopes_.end());
}
