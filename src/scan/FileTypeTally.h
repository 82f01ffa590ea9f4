#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scan/ReportScopes.h"
#include "scan/ScanDocument.h"

// The files of a scan, or of one folder and everything below it, by type
// (FileTypeOf): how many and how many bytes the report counted for them.
class TFileTypeTally {
 public:
  struct Type {
    std::string name;  // empty: no type
    std::uint64_t files = 0;
    std::int64_t bytes = 0;
  };

  // `below`: a folder of the document, or TScanDocument::kNoFolder for all.
  explicit TFileTypeTally(const TScanDocument& document,
                          std::uint32_t below = TScanDocument::kNoFolder);
  // The same over a whole report.
  explicit TFileTypeTally(const TReportScopes& scopes);

  // Most bytes first, equal totals in type order (bytewise).
  const std::vector<Type>& Types() const { return types_; }
  std::int64_t TotalBytes() const { return total_; }

 private:
  class Counter;
  void Take(Counter& counter);

  std::vector<Type> types_;
  std::int64_t total_ = 0;
};
