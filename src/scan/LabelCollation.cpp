#include "scan/LabelCollation.h"

#include <cstdint>
#include <cstring>

namespace {

// The parts of a finished folder label: dots, an optional minus and digits,
// "K", a blank, then " " or "*" and the name.
struct SizedLabel {
  bool sized = false;
  std::int64_t kilobytes = 0;
  char mark = ' ';
  const char* name = nullptr;
};

SizedLabel Parse(const std::string& label) {
  SizedLabel out;
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
  if (i + 3 > n || label[i] != 'K' || label[i + 1] != ' ') return out;
  const char mark = label[i + 2];
  if (mark != ' ' && mark != '*') return out;
  out.sized = true;
  out.kilobytes = negative ? -value : value;
  out.mark = mark;
  out.name = label.c_str() + i + 3;
  return out;
}

int CollateText(const char* a, const char* b) {
  const int byLocale = std::strcoll(a, b);
  if (byLocale != 0) return byLocale < 0 ? -1 : 1;
  const int byBytes = std::strcmp(a, b);
  return byBytes < 0 ? -1 : (byBytes > 0 ? 1 : 0);
}

}  // namespace

int CompareLabels(const std::string& a, const std::string& b) {
  const SizedLabel pa = Parse(a);
  const SizedLabel pb = Parse(b);
  if (pa.sized != pb.sized) return pa.sized ? -1 : 1;
  if (!pa.sized) return CollateText(a.c_str(), b.c_str());
  if (pa.kilobytes != pb.kilobytes) return pa.kilobytes < pb.kilobytes ? -1 : 1;
  if (pa.mark != pb.mark) return pa.mark == ' ' ? -1 : 1;
  return CollateText(pa.name, pb.name);
}
