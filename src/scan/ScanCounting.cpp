#include "scan/ScanCounting.h"

#include <limits>

ScanCounting ScanCounting::Of(const UsageOptions& options) {
  ScanCounting c;
  if (options.CountLikeDu) {
    c.size = Size::Allocated;
    c.linksOnce = c.hidden = c.likeDu = true;
    return c;
  }
  if (options.CountAllocated) {
    c.size = Size::Allocated;
  } else if (options.AllowForSectorSize && options.SectorBytes > 0) {
    c.size = Size::Sectors;
    c.sectorBytes = options.SectorBytes;
  }
  c.linksOnce = options.HardLinksOnce;
  c.hidden = options.CountHidden;
  return c;
}

bool ScanCounting::Takes(const ScanFile& file) const {
  if (!Enters(file.name)) return false;
  return likeDu || file.type == FileFacts::Type::Regular || file.type == FileFacts::Type::Unknown;
}

std::int64_t ScanCounting::Bytes(const ScanFile& file) const {
  if (file.length < 0) return 0;
  switch (size) {
    case Size::Allocated:
      return file.allocated;
    case Size::Sectors: {
      // As the walk rounds: a whole unit more than the length fills.
      const std::int64_t units = file.length / sectorBytes + 1;
      if (units > std::numeric_limits<std::int64_t>::max() / sectorBytes) {
        return std::numeric_limits<std::int64_t>::max();
      }
      return sectorBytes * units;
    }
    case Size::Length:
      break;
  }
  return file.length;
}
