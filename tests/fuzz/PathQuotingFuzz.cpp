// Copy Path's text and a line's name for any bytes a folder name or path
// may hold: the quoted text is clean UTF-8 that a shell turns back into the
// very bytes, and a name's label keeps its length, on one line.

#include <string>
#include <string_view>

#include "FuzzTargets.h"
#include "scan/ReportTree.h"
#include "scan/ShellQuoted.h"

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// What bash makes of a $'...' word (the escapes it knows that matter
// here); false for a word it would not read as one.
bool BashUnquoted(std::string_view word, std::string& out) {
  if (word.size() < 3 || word.substr(0, 2) != "$'" || word.back() != '\'') return false;
  word = word.substr(2, word.size() - 3);
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (word[i] == '\'') return false;  // would end the word early
    if (word[i] != '\\') {
      out += word[i];
      continue;
    }
    if (++i == word.size()) return false;
    switch (word[i]) {
      case 'n':
        out += '\n';
        break;
      case 't':
        out += '\t';
        break;
      case '\\':
      case '\'':
        out += word[i];
        break;
      case 'x': {
        int value = 0, digits = 0;
        while (digits < 2 && i + 1 < word.size() && HexValue(word[i + 1]) >= 0) {
          value = value * 16 + HexValue(word[++i]);
          ++digits;
        }
        if (digits == 0) return false;
        out += static_cast<char>(value);
        break;
      }
      default:
        return false;  // an escape the quoting never writes
    }
  }
  return true;
}

}  // namespace

int FuzzPathQuoting(const std::uint8_t* data, std::size_t size) {
  std::string path(reinterpret_cast<const char*>(data), size);
  std::erase(path, '\0');  // no name or path holds one
  const std::string quoted = ShellQuoted(path);
  FUZZ_CHECK(IsValidUtf8(quoted));
  for (const char c : quoted) {
    FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7f);
  }
  if (quoted == path) {
    FUZZ_CHECK(IsValidUtf8(path));
  } else {
    std::string back;
    FUZZ_CHECK(BashUnquoted(quoted, back));
    FUZZ_CHECK(back == path);
  }
  // A name's label: the same length, one line, no leading blank.
  const std::string label = TReportTree::LabelName(path);
  FUZZ_CHECK(label.size() == path.size());
  FUZZ_CHECK(label.find_first_of("\r\n") == std::string::npos);
  FUZZ_CHECK(label.empty() || (label.front() != ' ' && label.front() != '\t'));
  return 0;
}
