#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "scan/ReportScopes.h"
#include "scan/ScanDocument.h"

// The largest files of a scan, or of one folder and everything below it, by
// what the report counted for them: largest first, equal sizes in path
// order. Files that could not be measured are not among them.
class TLargestFiles {
 public:
  struct File {
    const TScanDocument* document = nullptr;
    std::uint64_t file = 0;    // the document's index
    std::uint32_t folder = 0;  // the folder it is in
    std::int64_t bytes = 0;
    std::string path;
  };
  using Filter = std::function<bool(const ScanFile&)>;

  // At most `count` of them; `keep`, when given, chooses which files take part.
  TLargestFiles(const TScanDocument& document, std::size_t count,
                std::uint32_t below = TScanDocument::kNoFolder, const Filter& keep = {});
  // The same over a whole report.
  TLargestFiles(const TReportScopes& scopes, std::size_t count, const Filter& keep = {});

  const std::vector<File>& Files() const { return files_; }

 private:
  // `eachFolder(visit)` calls visit(document, folder) for every folder taking part.
  template <class EachFolder>
  void Collect(EachFolder&& eachFolder, std::size_t count, const Filter& keep);

  std::vector<File> files_;
};
