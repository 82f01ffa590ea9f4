#pragma once

#include <cstdint>
#include <string_view>

#include "scan/ScanDocument.h"
#include "scan/UsageOptions.h"

// What decides a scan's totals, out of its options: which size of a file
// counts, whether a file with several names counts once, whether hidden
// names count, and whether folders and every kind of entry count as du
// counts them. Two scans counted alike can be compared folder by folder.
struct ScanCounting {
  enum class Size : std::uint8_t { Length, Sectors, Allocated };

  Size size = Size::Length;
  std::int64_t sectorBytes = 0;  // for Sectors
  bool linksOnce = false;
  bool hidden = false;
  bool likeDu = false;  // implies Allocated, linksOnce and hidden

  static ScanCounting Of(const UsageOptions& options);
  bool operator==(const ScanCounting&) const = default;

  // Whether a sub-folder of this name is walked (a starting folder always is).
  bool Enters(std::string_view name) const { return hidden || name.empty() || name[0] != '.'; }
  // Whether a kept file takes part: its name, and its kind of entry (a scan
  // not counted as du counts measures regular files only).
  bool Takes(const ScanFile& file) const;
  // What a file counts, a second name of a linked file aside; 0 when it
  // could not be measured, as the walk adds nothing for it.
  std::int64_t Bytes(const ScanFile& file) const;
};
