#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The values that shape one scan.
struct UsageOptions {
  std::vector<std::string> Folders;  // starting folders, scanned in this order
  std::int32_t MaxDepth = 0;         // deepest level that gets a node; <= 0: no limit
  std::int32_t MinSizeK = 0;         // folders below this many K lose their node
  bool AllowForSectorSize = false;   // count every file in whole allocation units
  std::int32_t SectorBytes = 0;      // the allocation unit, in bytes
  bool ClearReport = false;          // empty the report before the scan
  std::int32_t Threads = 0;          // threads reading folders ahead; <= 0: automatic
  // Levels the starting folders stand below a top-level line, for MaxDepth:
  // 0 for a whole scan, more for a folder scanned again within its report.
  std::int32_t StartDepth = 0;
};
