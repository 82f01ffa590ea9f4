#include "scan/LabelCollation.h"

#include <cstring>

std::int64_t RoundedKilobytes(std::int64_t bytes) {
  // Kilobytes rounded to nearest, halves to the even neighbour.
  std::int64_t quotient = bytes / 1024;
  std::int64_t remainder = bytes % 1024;
  if (remainder < 0) {
    remainder += 1024;
    --quotient;
  }
  if (remainder > 512 || (remainder == 512 && (quotient & 1) != 0)) ++quotient;
  return quotient;
}

std::string FolderLabel(std::int64_t bytes, bool failed, const std::string& name) {
  std::string field = std::to_string(RoundedKilobytes(bytes));
  if (field.size() < 7) field.insert(0, 7 - field.size(), '.');
  field += "K ";
  field += failed ? '*' : ' ';
  field += name;
  return field;
}

namespace {
constexpr std::int64_t kLargestKilobytes = std::int64_t{1} << 53;
}  // namespace

LabelFields ParseLabel(const std::string& label) {
  LabelFields out;
  std::size_t i = 0;
  const std::size_t n = label.size();
  while (i < n && label[i] == '.') ++i;
  bool negative = false;
  if (i < n && label[i] == '-') {
    negative = true;
    ++i;
  }
  const std::size_t digitsStart = i;
  std::int64_t value = 0;
  while (i < n && label[i] >= '0' && label[i] <= '9') {
    if (i - digitsStart >= 18) return out;  // not a size we could have written
    value = value * 10 + (label[i] - '0');
    ++i;
  }
  if (i == digitsStart) return out;
  // Past the largest size a label is written with (2^63 - 1 bytes shows as
  // 2^53 K), a node could not keep the size its label shows, and Sort would
  // order it by another size than CompareLabels does.
  if (value > kLargestKilobytes) return out;
  if (i + 3 > n || label[i] != 'K' || label[i + 1] != ' ') return out;
  const char mark = label[i + 2];
  if (mark != ' ' && mark != '*') return out;
  out.sized = true;
  out.kilobytes = negative ? -value : value;
  out.failed = mark == '*';
  out.nameOffset = i + 3;
  return out;
}

namespace {
int CollateText(const char* a, const char* b) {
  const int byLocale = std::strcoll(a, b);
  if (byLocale != 0) return byLocale < 0 ? -1 : 1;
  const int byBytes = std::strcmp(a, b);
  return byBytes < 0 ? -1 : (byBytes > 0 ? 1 : 0);
}

LabelKey KeyOf(const std::string& label) {
  const LabelFields f = ParseLabel(label);
  return {f.sized, f.kilobytes, f.failed, label.c_str() + (f.sized ? f.nameOffset : 0)};
}
}  // namespace

int CompareLabelKeys(const LabelKey& a, const LabelKey& b) {
  if (a.sized != b.sized) return a.sized ? -1 : 1;
  if (a.sized) {
    if (a.kilobytes != b.kilobytes) return a.kilobytes < b.kilobytes ? -1 : 1;
    if (a.failed != b.failed) return a.failed ? 1 : -1;
  }
  return CollateText(a.text, b.text);
}

int CompareLabels(const std::string& a, const std::string& b) {
  return CompareLabelKeys(KeyOf(a), KeyOf(b));
}
