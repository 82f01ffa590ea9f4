#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "scan/ReportScopes.h"
#include "scan/ScanDocument.h"

// The files and folders of a whole report whose own name matches a
// pattern, in walk order. A pattern with "*" or "?" must match the whole
// name ("*" any run, "?" one byte); any other is looked for anywhere in
// the name. Neither minds ASCII case. Folders a scan left out (never
// entered) are not among them; a starting folder's name is the last part
// of its path.
class TNameSearch {
 public:
  enum class Kind : unsigned char { File, Folder };
  struct Hit {
    Kind kind = Kind::File;
    const TScanDocument* document = nullptr;
    // A file's index in the document, or the folder's.
    std::uint64_t index = 0;
    // The folder it is in (a file), or the folder itself.
    std::uint32_t folder = 0;
    // A file: what the report counted (-1 not measured); a folder: its total.
    std::int64_t bytes = 0;
    std::string path;
  };

  // At most `limit` hits; the search stops as soon as `cancel` (when
  // given) is set, with what it found so far.
  TNameSearch(const TReportScopes& scopes, std::string_view pattern, std::size_t limit,
              const std::atomic<bool>* cancel = nullptr);

  const std::vector<Hit>& Hits() const { return hits_; }
  // More names matched than the limit let in.
  bool More() const { return more_; }
  bool Cancelled() const { return cancelled_; }

  // Whether a pattern asks for a whole-name wildcard match.
  static bool IsWildcard(std::string_view pattern);

 private:
  bool Matches(std::string_view name);

  std::string pattern_;  // in lower case
  bool wildcard_ = false;
  std::string lowered_;  // scratch: a name in lower case, for wildcards
  std::vector<Hit> hits_;
  bool more_ = false;
  bool cancelled_ = false;
};
