#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The label of a finished folder: its size in K (halves to even), padded
// with "." to 7 characters, "K ", "*" or a blank, then its name.
std::string FolderLabel(std::int64_t bytes, bool failed, const std::string& name);

// Bytes rounded to whole K the way FolderLabel shows them.
std::int64_t RoundedKilobytes(std::int64_t bytes);

// What a label says of its folder when it has the finished form: dots, an
// optional minus and digits, "K", a blank, then " " or "*" and the name.
struct LabelFields {
  bool sized = false;
  std::int64_t kilobytes = 0;
  bool failed = false;         // the mark is "*"
  std::size_t nameOffset = 0;  // where the name starts in the label
};
LabelFields ParseLabel(const std::string& label);

// Orders report labels. Finished folder labels ("....121K *Docs") compare by
// their size in K, then unmarked before marked, then by name; everything else
// compares as whole text. Names use the user's locale, case-sensitively. The
// size comes first under every locale (some locales ignore "." when
// collating) and for sizes too large for the 7-character field.
int CompareLabels(const std::string& a, const std::string& b);

// The same order on labels whose fields are already known.
struct LabelKey {
  bool sized = false;
  std::int64_t kilobytes = 0;
  bool failed = false;
  const char* text = nullptr;  // the whole label when unsized, else the name
};
int CompareLabelKeys(const LabelKey& a, const LabelKey& b);
