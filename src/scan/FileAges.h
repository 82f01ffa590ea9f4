#pragma once

#include <cstdint>
#include <vector>

#include "scan/ReportScopes.h"
#include "scan/ScanDocument.h"

// The files of a scan, or of one folder and everything below it, by the
// year (local time) they were last modified: how many and how many bytes
// the report counted for them. Files that could not be measured have no
// time and take no part.
class TFileAges {
 public:
  struct Year {
    int year = 0;
    std::uint64_t files = 0;
    std::int64_t bytes = 0;
  };

  // `below`: a folder of the document, or TScanDocument::kNoFolder for all.
  explicit TFileAges(const TScanDocument& document, std::uint32_t below = TScanDocument::kNoFolder);
  // The same over a whole report.
  explicit TFileAges(const TReportScopes& scopes);

  // Newest first; only years with files.
  const std::vector<Year>& Years() const { return years_; }

  // The local-time year of a time in seconds since 1970.
  static int YearOf(std::int64_t seconds);
  // The seconds since 1970 at which a local-time year starts.
  static std::int64_t YearStart(int year);

 private:
  class Counter;
  void Take(Counter& counter);

  std::vector<Year> years_;
};
