#include "settings/IniDocument.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
bool IsControl(unsigned char c) {
  return c < 0x20 || c == 0x7F;
}

// Drops the CRs and blanks that end a text: what a line break leaves behind.
std::string TrimTrailingBreaks(std::string s) {
  while (!s.empty() && (s.back() == '\r' || IsBlank(s.back()))) s.pop_back();
  return s;
}

std::string Trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    switch (ch) {
      case '\\':
        out += "\\\\";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (IsControl(c)) {
          char buffer[8];
          std::snprintf(buffer, sizeof buffer, "\\x%02X", c);
          out += buffer;
        } else {
          out += ch;
        }
    }
  }
  out += '"';
  return out;
}

// Reads a quoted text starting at s[at] == '"'. On success `at` is just past
// the closing quote.
bool Unquote(const std::string& s, std::size_t& at, std::string& out) {
  out.clear();
  for (++at; at < s.size(); ++at) {
    const char c = s[at];
    if (c == '"') {
      ++at;
      return true;
    }
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++at == s.size()) return false;
    switch (s[at]) {
      case '\\':
        out += '\\';
        break;
      case '"':
        out += '"';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      case 'x': {
        if (at + 2 >= s.size()) return false;
        const int hi = HexDigit(s[at + 1]), lo = HexDigit(s[at + 2]);
        if (hi < 0 || lo < 0) return false;
        out += static_cast<char>(hi * 16 + lo);
        at += 2;
        break;
      }
      default:
        return false;
    }
  }
  return false;
}

bool PlainName(const std::string& name) {
  if (name.empty() || IsBlank(name.front()) || IsBlank(name.back())) return false;
  if (name.front() == '"' || name.front() == '[' || name.front() == ';' || name.front() == '#')
    return false;
  for (const char c : name)
    if (c == '=' || IsControl(static_cast<unsigned char>(c))) return false;
  return true;
}

// Key names in section headers: "%", brackets, separators, control
// characters and blanks at either end are written as %XX.
std::string EncodeKeyName(const std::string& name) {
  std::string out;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    const bool edgeBlank = IsBlank(name[i]) && (i == 0 || i + 1 == name.size());
    if (c == '%' || c == '[' || c == ']' || c == '\\' || IsControl(c) || edgeBlank) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "%%%02X", c);
      out += buffer;
    } else {
      out += name[i];
    }
  }
  return out;
}

std::string DecodeKeyName(const std::string& name) {
  std::string out;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '%' && i + 2 < name.size() && HexDigit(name[i + 1]) >= 0 &&
        HexDigit(name[i + 2]) >= 0) {
      out += static_cast<char>(HexDigit(name[i + 1]) * 16 + HexDigit(name[i + 2]));
      i += 2;
    } else {
      out += name[i];
    }
  }
  return out;
}

std::string HeaderOf(const TKeyPath& path) {
  std::string out = "[";
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (i > 0) out += '\\';
    out += EncodeKeyName(path[i]);
  }
  return out + "]";
}

bool StartsWith(const TKeyPath& path, const TKeyPath& prefix) {
  return path.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), path.begin());
}

// Parses "name=value"; false for anything else.
bool ParseValueLine(const std::string& line, std::string& name, std::string& raw) {
  std::size_t at = 0;
  if (line[0] == '"') {
    if (!Unquote(line, at, name)) return false;
    while (at < line.size() && IsBlank(line[at])) ++at;
    if (at == line.size() || line[at] != '=') return false;
  } else {
    at = line.find('=');
    if (at == std::string::npos) return false;
    name = Trim(line.substr(0, at));
    if (name.empty()) return false;
  }
  raw = Trim(line.substr(at + 1));
  return true;
}

// The stored form of a line as it must be written to read back the same: a
// CR at the end of a line would be taken for part of its line break.
std::string WritableRaw(const TIniLine& line);

}  // namespace

TKeyPath SplitKeyPath(const std::string& text) {
  TKeyPath path;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find('\\', start);
    const std::string part = text.substr(start, end == std::string::npos ? end : end - start);
    if (!part.empty()) path.push_back(part);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return path;
}

std::string EncodeValue(const std::string& text) {
  bool plain = text.empty() || (!IsBlank(text.front()) && !IsBlank(text.back()) &&
                                text.front() != '"' && text.front() != '@');
  for (std::size_t i = 0; plain && i < text.size(); ++i)
    if (text[i] == ',' || IsControl(static_cast<unsigned char>(text[i]))) plain = false;
  return plain ? text : Quote(text);
}

TValueKind DecodeValue(const std::string& raw, std::string& text) {
  text.clear();
  if (!raw.empty() && raw.front() == '"') {
    std::size_t at = 0;
    if (!Unquote(raw, at, text)) return TValueKind::Malformed;
    // Stray CRs after the quote are left from a line break, as blanks are
    // from typing: neither is damage.
    while (at < raw.size() && (IsBlank(raw[at]) || raw[at] == '\r')) ++at;
    if (at < raw.size()) {
      // "a", "b" is a list of texts; anything else after the quote is damage.
      return raw[at] == ',' ? TValueKind::NotText : TValueKind::Malformed;
    }
  } else {
    // A list typed by hand, or a value of another type ("@Rect(1 2 3 4)").
    if (raw.find(',') != std::string::npos) return TValueKind::NotText;
    if (!raw.empty() && raw.front() == '@') {
      const std::size_t open = raw.find('(');
      if (open != std::string::npos && open > 1 && raw.back() == ')') return TValueKind::NotText;
    }
    text = raw;
  }
  // A stored text ends at its first NUL character.
  const std::size_t nul = text.find('\0');
  if (nul != std::string::npos) text.resize(nul);
  return TValueKind::Text;
}

TIniDocument TIniDocument::Parse(const std::string& text) {
  TIniDocument doc;
  doc.sections_.push_back(TIniSection{});
  std::map<TKeyPath, std::size_t> index{{TKeyPath{}, 0}};
  std::size_t current = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string trimmed = Trim(line);
    if (trimmed.empty()) continue;
    // CRs and blanks after a header's "]" are dropped on saving, so they
    // must not keep it from being a header now.
    const std::string header = TrimTrailingBreaks(trimmed);
    if (header.size() >= 2 && header.front() == '[' && header.back() == ']') {
      TKeyPath path;
      for (const std::string& part : SplitKeyPath(header.substr(1, header.size() - 2)))
        path.push_back(DecodeKeyName(part));
      // A section that appears twice is one key.
      const auto [it, added] = index.try_emplace(path, doc.sections_.size());
      if (added) doc.sections_.push_back(TIniSection{path, {}});
      current = it->second;
      continue;
    }
    TIniLine entry;
    if (trimmed.front() != ';' && trimmed.front() != '#' &&
        ParseValueLine(trimmed, entry.name, entry.raw)) {
      entry.isValue = true;
    } else {
      entry.raw = trimmed;  // a comment, or a line we do not understand: kept as it is
    }
    doc.sections_[current].lines.push_back(std::move(entry));
  }
  return doc;
}

std::string TIniDocument::Serialise() const {
  std::string out;
  for (const TIniSection& section : sections_) {
    const bool root = section.path.empty();
    if (root && section.lines.empty()) continue;
    if (!out.empty()) out += '\n';
    if (!root) out += HeaderOf(section.path) + '\n';
    for (const TIniLine& line : section.lines) {
      if (line.isValue) {
        out +=
            (PlainName(line.name) ? line.name : Quote(line.name)) + '=' + WritableRaw(line) + '\n';
      } else {
        // A line of nothing but CRs would come back blank, and a blank line
        // reads as nothing: leave it out now, so a second save is the same.
        const std::string raw = WritableRaw(line);
        if (!raw.empty()) out += raw + '\n';
      }
    }
  }
  return out;
}

namespace {

std::string WritableRaw(const TIniLine& line) {
  if (line.raw.empty() || line.raw.back() != '\r') return line.raw;
  std::string text;
  if (line.isValue && DecodeValue(line.raw, text) == TValueKind::Text) return EncodeValue(text);
  // A comment or a value of another type: its trailing CRs carry nothing,
  // nor do the blanks before them, which reading would trim once the CRs
  // are gone.
  return TrimTrailingBreaks(line.raw);
}

}  // namespace

const TIniSection* TIniDocument::Find(const TKeyPath& path) const {
  for (const TIniSection& section : sections_)
    if (section.path == path) return &section;
  return nullptr;
}

TIniSection& TIniDocument::Ensure(const TKeyPath& path) {
  for (TIniSection& section : sections_)
    if (section.path == path) return section;
  // Keep related keys together: after the last section that shares the
  // longest leading part of the path.
  std::size_t best = sections_.size(), bestShared = 0;
  for (std::size_t i = 1; i < sections_.size(); ++i) {
    const TKeyPath& other = sections_[i].path;
    std::size_t shared = 0;
    while (shared < other.size() && shared < path.size() && other[shared] == path[shared]) ++shared;
    if (shared > 0 && shared >= bestShared) {
      bestShared = shared;
      best = i + 1;
    }
  }
  return *sections_.insert(sections_.begin() + static_cast<std::ptrdiff_t>(best),
                           TIniSection{path, {}});
}

bool TIniDocument::KeyExists(const TKeyPath& path) const {
  if (path.empty()) return true;
  for (const TIniSection& section : sections_)
    if (StartsWith(section.path, path)) return true;
  return false;
}

bool TIniDocument::RemoveKey(const TKeyPath& path) {
  if (path.empty()) return false;  // the root holds everything
  const auto below = [&path](const TIniSection& section) { return StartsWith(section.path, path); };
  const auto gone = std::remove_if(sections_.begin(), sections_.end(), below);
  const bool removed = gone != sections_.end();
  sections_.erase(gone, sections_.end());
  return removed;
}

std::vector<std::string> TIniDocument::ChildNames(const TKeyPath& path) const {
  std::vector<std::string> names;
  for (const TIniSection& section : sections_) {
    if (section.path.size() <= path.size() || !StartsWith(section.path, path)) continue;
    const std::string& child = section.path[path.size()];
    if (std::find(names.begin(), names.end(), child) == names.end()) names.push_back(child);
  }
  return names;
}

std::optional<std::string> TIniDocument::RawValue(const TKeyPath& path,
                                                  const std::string& name) const {
  const TIniSection* section = Find(path);
  if (!section) return std::nullopt;
  // A name typed twice by hand: the later line counts.
  for (auto it = section->lines.rbegin(); it != section->lines.rend(); ++it)
    if (it->isValue && it->name == name) return it->raw;
  return std::nullopt;
}

bool TIniDocument::SetText(const TKeyPath& path, const std::string& name, const std::string& text) {
  const bool created = !KeyExists(path);
  TIniSection& section = Ensure(path);
  for (auto it = section.lines.rbegin(); it != section.lines.rend(); ++it) {
    if (it->isValue && it->name == name) {
      it->raw = EncodeValue(text);
      return created;
    }
  }
  section.lines.push_back(TIniLine{true, name, EncodeValue(text)});
  return created;
}
