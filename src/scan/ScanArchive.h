#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// One scan the archive holds.
struct ArchivedScan {
  std::string file;                  // the scan file's path
  std::vector<std::string> folders;  // its starting folders, as given
  std::int64_t ended = 0;            // seconds since 1970
  std::uint64_t folderCount = 0;
  std::uint64_t fileCount = 0;
  std::int64_t bytes = 0;  // the report's total
  std::uint64_t size = 0;  // bytes the file takes
};

// Finished scans kept in a folder of their own as the baselines of later
// ones: the last few of each set of starting folders, within a total size,
// the oldest dropped first. An index beside them holds what the progress
// of a scan needs without opening them.
class TScanArchive {
 public:
  static constexpr std::size_t kPerSet = 5;
  static constexpr std::uint64_t kBudget = std::uint64_t{1} << 30;

  explicit TScanArchive(std::string folder, std::size_t perSet = kPerSet,
                        std::uint64_t budget = kBudget);

  // Newest first; scans whose file has gone are left out.
  std::vector<ArchivedScan> List() const;
  // The newest scan of exactly these starting folders.
  std::optional<ArchivedScan> Latest(const std::vector<std::string>& folders) const;

  // Writes one more scan through `write`, which is given the path to write
  // and writes it whole or returns false with a reason; then records it and
  // drops what the bounds leave no room for. `facts.file` and `facts.size`
  // are filled in here. False, with a reason, when nothing was kept.
  using Writer = std::function<bool(const std::string& path, std::string& error)>;
  bool Keep(ArchivedScan facts, const Writer& write, std::string& error);

 private:
  std::string IndexPath() const;
  std::vector<ArchivedScan> ReadIndex() const;
  bool WriteIndex(const std::vector<ArchivedScan>& scans) const;

  std::string folder_;
  std::size_t perSet_;
  std::uint64_t budget_;
};

// Where the window keeps its scans: under the XDG data folder, beside its
// other data, so the command can find a baseline there too.
std::string ScanArchiveFolder();
