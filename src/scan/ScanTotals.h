#pragma once

#include <cstdint>
#include <vector>

#include "scan/ScanCounting.h"
#include "scan/ScanDocument.h"

// Each folder's total of a scan: the report's own, or counted again from
// the kept files as another counting would have counted them, so that two
// scans made with different options can still be compared.
class TScanTotals {
 public:
  static constexpr std::int64_t kNotCounted = -1;

  // The report's totals, as the scan counted them.
  explicit TScanTotals(const TScanDocument& document);
  // Counted again from the files under `counting`, in walk order as the
  // walk counts (a linked file at its first name). The document must keep
  // its files; `counting` may leave out what the scan counted, never add
  // to it: a scan that left hidden names out cannot count them now, and
  // one not counted as du counts has no blocks of its folders.
  TScanTotals(const TScanDocument& document, const ScanCounting& counting);

  // A folder's total; kNotCounted for a folder the walk did not enter (see
  // ScanFolder::LeftOut), or that the counting leaves out (a hidden one)
  // with all below it.
  std::int64_t Total(std::uint32_t folder) const {
    return recounted_ ? totals_[folder] : ReportTotal(folder);
  }
  bool Recounted() const { return recounted_; }
  std::size_t HeapBytes() const { return totals_.capacity() * sizeof(std::int64_t); }

 private:
  std::int64_t ReportTotal(std::uint32_t folder) const;

  const TScanDocument* document_;
  bool recounted_ = false;
  std::vector<std::int64_t> totals_;  // when recounted, one per folder
};
