#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "scan/ScanDocument.h"

// How far a scan has come, judged by an earlier scan of the same folders:
// the folders and files seen so far against those the earlier one walked.
class TScanProgress {
 public:
  struct Estimate {
    double share = 0;  // done, 0 to 0.99 until the scan ends, then 1
    // Time left, from the time so far; none while there is too little to
    // judge by (the first second, or less than 1% done).
    std::optional<std::chrono::seconds> left;
  };

  explicit TScanProgress(const TScanDocument& baseline);
  // From an earlier scan's counts alone: the folders it walked and its files.
  TScanProgress(std::uint64_t folders, std::uint64_t files) : records_(folders + files) {}

  Estimate At(std::uint64_t folders, std::uint64_t files, std::chrono::duration<double> elapsed,
              bool done = false) const;

 private:
  std::uint64_t records_ = 0;  // folders walked and files of the earlier scan
};

// "45 s left", "3 min left", "2 h 5 min left".
std::string TimeLeftText(std::chrono::seconds left);
