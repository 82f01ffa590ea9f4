#pragma once

#include <cstdint>
#include <memory>
#include <tuple>
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

  // Calls add(document, first, end) with each folder's own kept files, for
  // every folder of every scope.
  template <class Add>
  void ForEachFileRange(Add&& add) const {
    ForEachFolder([&add](const TScanDocument& document, std::uint32_t i) {
      add(document, document.Folder(i).firstFile, document.KeptFilesEnd(i));
    });
  }

  // The same for the kept files of one document's folder and all below it,
  // or of the whole document for kNoFolder.
  template <class Add>
  static void ForFilesBelow(const TScanDocument& document, std::uint32_t below, Add&& add) {
    std::uint64_t first = 0, end = document.FileCount();
    if (below != TScanDocument::kNoFolder && below < document.FolderCount()) {
      std::tie(first, end) = document.KeptFilesBelow(below);
    }
    add(document, first, end);
  }

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
