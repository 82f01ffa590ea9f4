#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "scan/ScanDocument.h"

class TTreeNode;

// Which scan document holds the folder a report line stands for, and where
// in it. The newest document that walked the folder wins, so a folder
// scanned again is seen as the last scan found it.
class TDocumentLookup {
 public:
  struct Place {
    std::shared_ptr<const TScanDocument> document;  // null: no document holds it
    std::uint32_t folder = TScanDocument::kNoFolder;
    explicit operator bool() const { return document != nullptr; }
  };

  // A report line's folder found by its lines' names, and its path in the
  // bytes the walk found: a label shows "?" for a leading blank or a line
  // break (TReportTree::LabelName), which no path may be made of.
  struct NodePlace {
    Place place;
    std::string path;             // empty: no document holds it
    std::size_t startLength = 0;  // its first bytes: the starting folder as given
  };
  static NodePlace FindNode(const std::vector<std::shared_ptr<const TScanDocument>>& documents,
                            const TTreeNode* node);

  // `documents` oldest first; `path` a folder's full path, as
  // TReportTree::PathOf gives it (empty finds nothing).
  static Place Find(const std::vector<std::shared_ptr<const TScanDocument>>& documents,
                    std::string_view path);

  // The folder below starting folder `start` that `rest` names ("a/b", or
  // empty for the starting folder itself); kNoFolder when there is none.
  static std::uint32_t Descend(const TScanDocument& document, std::uint32_t start,
                               std::string_view rest);
  // What of `path` lies below starting folder path `start`: false when
  // `start` is not `path` or one of its ancestors.
  static bool Below(std::string_view start, std::string_view path, std::string_view& rest);
};
