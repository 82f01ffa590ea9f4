#include "scan/FileAges.h"

#include <algorithm>
#include <ctime>
#include <map>

namespace {

// The years most files fall in, whose starts are looked up once: the local
// time of every file, one by one, costs more than the rest of the count.
constexpr int kFirstTabled = 1900;
constexpr int kLastTabled = 2200;

const std::vector<std::int64_t>& YearStarts() {
  static const std::vector<std::int64_t> starts = [] {
    std::vector<std::int64_t> table;
    table.reserve(kLastTabled - kFirstTabled + 2);
    for (int year = kFirstTabled; year <= kLastTabled + 1; ++year) {
      table.push_back(TFileAges::YearStart(year));
    }
    return table;
  }();
  return starts;
}

std::int64_t StartOf(int year) {
  if (year < kFirstTabled || year > kLastTabled + 1) return TFileAges::YearStart(year);
  return YearStarts()[static_cast<std::size_t>(year - kFirstTabled)];
}

}  // namespace

int TFileAges::YearOf(std::int64_t seconds) {
  const std::vector<std::int64_t>& starts = YearStarts();
  if (seconds >= starts.front() && seconds < starts.back()) {
    const auto after = std::upper_bound(starts.begin(), starts.end(), seconds);
    return kFirstTabled + static_cast<int>(after - starts.begin()) - 1;
  }
  const std::time_t when = static_cast<std::time_t>(seconds);
  std::tm local{};
  if (!localtime_r(&when, &local)) return seconds < 0 ? kFirstTabled - 1 : kLastTabled + 1;
  return local.tm_year + 1900;
}

std::int64_t TFileAges::YearStart(int year) {
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mday = 1;
  local.tm_isdst = -1;  // whatever applies on that day
  return static_cast<std::int64_t>(std::mktime(&local));
}

class TFileAges::Counter {
 public:
  void Add(const TScanDocument& document, std::uint64_t first, std::uint64_t end) {
    for (std::uint64_t j = first; j < end; ++j) {
      const ScanFile file = document.File(j);
      // A scan file made without times has no age to give.
      if (file.length < 0 || file.modified == TScanDocument::kNoTime) continue;
      // Files of one folder tend to share a year: no search for them.
      if (!current_ || file.modified < from_ || file.modified >= to_) Find(file.modified);
      ++current_->files;
      if (file.counted > 0 &&
          __builtin_add_overflow(current_->bytes, file.counted, &current_->bytes)) {
        current_->bytes = INT64_MAX;
      }
    }
  }

  std::map<int, Year> years_;

 private:
  void Find(std::int64_t seconds) {
    const int year = YearOf(seconds);
    current_ = &years_[year];
    current_->year = year;
    from_ = StartOf(year);
    to_ = StartOf(year + 1);
  }

  Year* current_ = nullptr;
  std::int64_t from_ = 0, to_ = 0;
};

TFileAges::TFileAges(const TScanDocument& document, std::uint32_t below) {
  Counter counter;
  TReportScopes::ForFilesBelow(document, below,
                               [&counter](auto&&... range) { counter.Add(range...); });
  Take(counter);
}

TFileAges::TFileAges(const TReportScopes& scopes) {
  Counter counter;
  scopes.ForEachFileRange([&counter](auto&&... range) { counter.Add(range...); });
  Take(counter);
}

void TFileAges::Take(Counter& counter) {
  years_.reserve(counter.years_.size());
  for (auto at = counter.years_.rbegin(); at != counter.years_.rend(); ++at) {
    years_.push_back(at->second);
  }
}
