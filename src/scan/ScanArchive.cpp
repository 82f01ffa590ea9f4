#include "scan/ScanArchive.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "scan/SafeFile.h"

namespace fs = std::filesystem;

namespace {

// A field of the index: folder names may hold any byte but the ones that
// part fields and lines.
std::string Escaped(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '%' || c == '\t' || c == '\n' || c == '\r') {
      static const char kDigits[] = "0123456789ABCDEF";
      out += '%';
      out += kDigits[static_cast<unsigned char>(c) >> 4];
      out += kDigits[static_cast<unsigned char>(c) & 0xF];
    } else {
      out += c;
    }
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool Unescaped(std::string_view text, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return false;
    const int high = HexValue(text[i + 1]), low = HexValue(text[i + 2]);
    if (high < 0 || low < 0) return false;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return true;
}

template <typename Number>
bool Parse(std::string_view text, Number& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab - start));
    if (tab == std::string_view::npos) return fields;
    start = tab + 1;
  }
}

// The index: one line a scan, oldest first; ended, folders, files, bytes,
// file size, file name, then each starting folder.
std::string Line(const ArchivedScan& scan) {
  std::string line = std::to_string(scan.ended) + '\t' + std::to_string(scan.folderCount) + '\t' +
                     std::to_string(scan.fileCount) + '\t' + std::to_string(scan.bytes) + '\t' +
                     std::to_string(scan.size) + '\t' +
                     Escaped(fs::path(scan.file).filename().string());
  for (const std::string& folder : scan.folders) line += '\t' + Escaped(folder);
  return line + '\n';
}

std::string FileNameFor(std::int64_t ended) {
  const std::time_t when = static_cast<std::time_t>(ended);
  std::tm parts{};
  gmtime_r(&when, &parts);
  char text[64];
  std::strftime(text, sizeof text, "scan-%Y%m%d-%H%M%S", &parts);
  return text;
}

}  // namespace

TScanArchive::TScanArchive(std::string folder, std::size_t perSet, std::uint64_t budget)
    : folder_(std::move(folder)), perSet_(std::max<std::size_t>(perSet, 1)), budget_(budget) {}

std::string TScanArchive::IndexPath() const {
  return (fs::path(folder_) / "index.tsv").string();
}

std::vector<ArchivedScan> TScanArchive::ReadIndex() const {
  std::vector<ArchivedScan> scans;
  std::string text;
  if (!ReadWholeFile(IndexPath(), text)) return scans;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::vector<std::string_view> fields =
        Fields(std::string_view(text).substr(start, end - start));
    start = end + 1;
    // A damaged line costs only its own scan.
    ArchivedScan scan;
    std::string name;
    if (fields.size() < 7 || !Parse(fields[0], scan.ended) || !Parse(fields[1], scan.folderCount) ||
        !Parse(fields[2], scan.fileCount) || !Parse(fields[3], scan.bytes) ||
        !Parse(fields[4], scan.size) || !Unescaped(fields[5], name) || name.empty() ||
        name.find('/') != std::string::npos || name == "." || name == "..") {
      continue;
    }
    scan.file = (fs::path(folder_) / name).string();
    bool whole = true;
    for (std::size_t i = 6; i < fields.size() && whole; ++i) {
      whole = Unescaped(fields[i], scan.folders.emplace_back());
    }
    if (whole) scans.push_back(std::move(scan));
  }
  return scans;
}

bool TScanArchive::WriteIndex(const std::vector<ArchivedScan>& scans) const {
  std::string text;
  for (const ArchivedScan& scan : scans) text += Line(scan);
  return WriteFileReplacing(IndexPath(), text);
}

std::vector<ArchivedScan> TScanArchive::List() const {
  std::vector<ArchivedScan> scans = ReadIndex();
  std::erase_if(scans, [](const ArchivedScan& scan) {
    std::error_code error;
    return !fs::is_regular_file(scan.file, error);
  });
  std::reverse(scans.begin(), scans.end());
  return scans;
}

std::optional<ArchivedScan> TScanArchive::Latest(const std::vector<std::string>& folders) const {
  for (ArchivedScan& scan : List()) {
    if (scan.folders == folders) return std::move(scan);
  }
  return std::nullopt;
}

bool TScanArchive::Keep(ArchivedScan facts, const Writer& write, std::string& error) {
  std::error_code fsError;
  fs::create_directories(folder_, fsError);
  if (fsError) {
    error = fsError.message();
    return false;
  }
  // A name no other scan has, whatever the clock says.
  const std::string stem = FileNameFor(facts.ended);
  std::string name = stem + ".json.zst";
  for (int n = 2; fs::exists(fs::path(folder_) / name, fsError); ++n) {
    name = stem + "-" + std::to_string(n) + ".json.zst";
  }
  facts.file = (fs::path(folder_) / name).string();
  if (!write(facts.file, error)) return false;
  facts.size = fs::file_size(facts.file, fsError);
  if (fsError) facts.size = 0;
  // One that could never fit drops nothing else to make room.
  if (facts.size > budget_) {
    fs::remove(facts.file, fsError);
    error = "it is larger than the room kept for earlier scans";
    return false;
  }

  std::vector<ArchivedScan> scans = List();  // newest first
  std::reverse(scans.begin(), scans.end());
  scans.push_back(std::move(facts));
  std::vector<bool> drop(scans.size(), false);
  // The last few of each set of starting folders...
  for (std::size_t i = scans.size(); i-- > 0;) {
    std::size_t newer = 0;
    for (std::size_t j = i + 1; j < scans.size(); ++j) {
      if (!drop[j] && scans[j].folders == scans[i].folders) ++newer;
    }
    if (newer >= perSet_) drop[i] = true;
  }
  // ...and within the budget, the oldest going first.
  std::uint64_t total = 0;
  for (std::size_t i = 0; i < scans.size(); ++i) {
    if (!drop[i]) total += scans[i].size;
  }
  for (std::size_t i = 0; i < scans.size() && total > budget_; ++i) {
    if (drop[i]) continue;
    drop[i] = true;
    total -= scans[i].size;
  }
  std::vector<ArchivedScan> kept;
  for (std::size_t i = 0; i < scans.size(); ++i) {
    if (!drop[i]) kept.push_back(scans[i]);
  }
  if (!WriteIndex(kept)) {
    error = std::strerror(errno);
    fs::remove(scans.back().file, fsError);
    return false;
  }
  for (std::size_t i = 0; i < scans.size(); ++i) {
    if (drop[i]) fs::remove(scans[i].file, fsError);
  }
  return true;
}

std::string ScanArchiveFolder() {
  // A relative XDG path is to be ignored, as the base directory rules say.
  const char* data = std::getenv("XDG_DATA_HOME");
  std::string base;
  if (data && data[0] == '/') {
    base = data;
  } else if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
    base = std::string(home) + "/.local/share";
  } else {
    return {};
  }
  return base + "/Zelvik Software/Vorntools/Scans";
}
