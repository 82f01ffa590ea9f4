#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "scan/ReportTree.h"
#include "scan/ScanComparison.h"
#include "scan/ScanDocument.h"

// What changed in the report since an earlier scan: each of the report's
// documents (a scan and its rescans) compared with the same earlier one,
// and what that means for a report line, for a file, and which folders are
// gone. Made off the interface thread, as pairing the folders goes over all
// of them; then read on the interface thread only. The answers for lines
// are kept as they are asked for, so a view pays for the lines it shows and
// a line's sub-folders are found by name once for all of them.
class TReportChanges {
 public:
  using Documents = std::vector<std::shared_ptr<const TScanDocument>>;

  // A report line's change.
  struct Line {
    bool compared = false;  // false: outside what both scans looked at
    bool isNew = false;
    std::int64_t change = 0;  // bytes, new total less the earlier one
  };
  // A folder of the earlier scan that is gone, shown after its parent's lines.
  struct Gone {
    const TTreeNode* parent = nullptr;
    std::uint32_t index = 0;  // among the parent's gone folders
    std::int64_t oldTotal = 0;
    std::string name;  // raw bytes
  };
  // A file's change, as the comparison counts its size.
  struct File {
    bool compared = false;
    TScanComparison::FileState state = TScanComparison::FileState::Unchanged;
    std::int64_t change = 0;
  };

  // Compares each of `documents` (oldest first) with `before`. Seconds for
  // millions of folders: runs on any thread.
  TReportChanges(Documents documents, std::shared_ptr<const TScanDocument> before);

  const TScanDocument& Before() const { return *before_; }
  const Documents& Now() const { return documents_; }
  // The comparison of one of the documents; null for any other.
  const TScanComparison* ComparisonOf(const TScanDocument* document) const;
  // The notes of every comparison, each once.
  std::vector<ComparisonNote> Notes() const;

  // Interface thread only, for the lines of a tree that does not change
  // meanwhile (the comparison ends when the report changes).
  Line OfLine(const TTreeNode* node) const;
  std::size_t GoneCount(const TTreeNode* node) const;
  const Gone& GoneAt(const TTreeNode* node, std::size_t index) const;
  // The report's total change: its top-level lines' that were compared,
  // or else the earlier scan's starting folders' as the report has them.
  std::int64_t TotalChange(const TReportTree& tree) const;
  // The own files of `folder` of a document of the report, paired.
  std::vector<TScanComparison::FileChange> FileChanges(const TScanDocument* document,
                                                       std::uint32_t folder) const;
  // One file of a folder given by its path, as the report has it.
  File FileAt(const std::string& folderPath, std::string_view rawName) const;

  std::size_t HeapBytes() const;

 private:
  struct Place {
    const TScanDocument* document = nullptr;
    std::size_t which = 0;  // in documents_
    std::uint32_t folder = TScanDocument::kNoFolder;
  };
  struct Memo {
    Place place;
    bool goneKnown = false;
    std::uint32_t goneFirst = 0;  // in gone_
    std::uint32_t goneCount = 0;
  };
  Memo& MemoOf(const TTreeNode* node) const;
  Place FindPlace(const TTreeNode* node) const;
  // The sub-folders of a document's folder by name.
  const std::unordered_map<std::string_view, std::uint32_t>& ChildrenOf(std::size_t which,
                                                                        std::uint32_t folder) const;

  Documents documents_;
  std::shared_ptr<const TScanDocument> before_;
  std::vector<std::unique_ptr<TScanComparison>> comparisons_;  // one a document
  mutable std::unordered_map<const TTreeNode*, Memo> memo_;
  mutable std::deque<Gone> gone_;  // addresses stay while more are added
  mutable std::unordered_map<std::uint64_t, std::unordered_map<std::string_view, std::uint32_t>>
      children_;  // by document and folder
};
