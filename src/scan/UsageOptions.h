#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What a scan keeps of what it read, beside the report: nothing (the
// command), its folders, or its folders and every file.
enum class ScanRecord : unsigned char { None, Folders, Files };

// The values that shape one scan.
struct UsageOptions {
  std::vector<std::string> Folders;  // starting folders, scanned in this order
  std::int32_t MaxDepth = 0;         // deepest level that gets a node; <= 0: no limit
  std::int32_t MinSizeK = 0;         // folders below this many K lose their node
  bool AllowForSectorSize = false;   // count every file in whole allocation units
  std::int32_t SectorBytes = 0;      // the allocation unit, in bytes
  bool ClearReport = false;          // empty the report before the scan
  std::int32_t Threads = 0;          // threads reading folders ahead; <= 0: automatic
  // Count what the disk holds (st_blocks x 512) instead of the length; it
  // takes the place of AllowForSectorSize, which it overrides.
  bool CountAllocated = false;
  // A file with several names counts at the first one the walk reaches;
  // all the starting folders share one memory of them.
  bool HardLinksOnce = false;
  // Folders on another device than their starting folder are not entered.
  bool OneFileSystem = false;
  // Names beginning with "." are walked and counted like any other.
  bool CountHidden = false;
  // Count what du counts: the allocated blocks of every file, folder,
  // symbolic link and other entry, each inode once, hidden names included.
  // Takes the place of CountAllocated, HardLinksOnce and CountHidden, and
  // of AllowForSectorSize, which it overrides.
  bool CountLikeDu = false;
  // Names or paths below a starting folder that are left out (see TExclusions).
  std::vector<std::string> Exclude;
  // Levels the starting folders stand below a top-level line, for MaxDepth:
  // 0 for a whole scan, more for a folder scanned again within its report.
  std::int32_t StartDepth = 0;
  // Where the starting folders lie below their top-level folder ("a/b"), for
  // exclusion patterns with "/"; empty for a whole scan.
  std::string StartBelow;
  // What the scan's document keeps (see TScanDocument).
  ScanRecord Record = ScanRecord::None;
};
