#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "scan/ScanDocument.h"

// The parts of a window's scan documents that make up its whole report, each
// folder in one of them only: a folder scanned again, or a starting folder
// that lies within another, counts as the newest walk found it.
class TReportScopes {
 public:
  struct Scope {
    std::shared_ptr<const TScanDocument> document;
    std::uint32_t folder = 0;  // one of its starting folders
    // Folders below it that a newer walk holds, each left out with its sub-tree.
    std::vector<std::uint32_t> skip;
  };

  // `documents` oldest first.
  explicit TReportScopes(const std::vector<std::shared_ptr<const TScanDocument>>& documents);

  const std::vector<Scope>& Scopes() const { return scopes_; }

  // Calls visit(document, folder) for every folder of every scope.
  template <class Visit>
  void ForEachFolder(Visit&& visit) const {
    for (const Scope& scope : scopes_) {
      const TScanDocument& document = *scope.document;
      const std::uint32_t last = scope.folder + document.Folder(scope.folder).span;
      std::size_t next = 0;  // scope.skip is in walk order
      for (std::uint32_t i = scope.folder; i <= last; ++i) {
        if (next < scope.skip.size() && scope.skip[next] == i) {
          i += document.Folder(i).span;
          ++next;
          continue;
        }
        visit(document, i);
      }
    }
  }

 private:
  std::vector<Scope> scopes_;
};
