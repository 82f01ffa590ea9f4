#include "scan/ScanFileWriter.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <ctime>
#include <vector>

#include "scan/CompressedOutput.h"
#include "scan/ScanDocument.h"

namespace {

// What the format calls each reason an entry was left out. Hidden names
// are a pattern to ncdu; our own key says which they were.
const char* ExcludedName(LeftOutReason why) {
  switch (why) {
    case LeftOutReason::OtherFileSystem:
      return "otherfs";
    case LeftOutReason::PseudoFileSystem:
      return "kernfs";
    default:
      return "pattern";
  }
}

std::int64_t Seconds(std::chrono::system_clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::seconds>(t.time_since_epoch()).count();
}

// Text gathered in a buffer and handed on in large pieces.
class Out {
 public:
  explicit Out(TCompressedOutput& file) : file_(file) { text_.reserve(kFlushAt + 8192); }
  bool Failed() const { return failed_; }

  Out& Raw(std::string_view s) {
    text_.append(s);
    return Check();
  }
  Out& Number(std::int64_t n) {
    char digits[24];
    const auto r = std::to_chars(digits, digits + sizeof digits, n);
    text_.append(digits, r.ptr);
    return *this;
  }
  Out& UNumber(std::uint64_t n) {
    char digits[24];
    const auto r = std::to_chars(digits, digits + sizeof digits, n);
    text_.append(digits, r.ptr);
    return *this;
  }
  // A name's bytes as a JSON string, as ncdu writes them: quote, backslash
  // and control characters escaped, every other byte as it is (so a name
  // that is not UTF-8 reads back the same).
  Out& String(std::string_view s) {
    static const char hex[] = "0123456789abcdef";
    text_ += '"';
    for (const char ch : s) {
      const auto c = static_cast<unsigned char>(ch);
      if (c >= 0x20 && c != '"' && c != '\\' && c != 0x7f) {
        text_ += ch;
        continue;
      }
      text_ += '\\';
      switch (c) {
        case '"':
          text_ += '"';
          break;
        case '\\':
          text_ += '\\';
          break;
        case '\n':
          text_ += 'n';
          break;
        case '\r':
          text_ += 'r';
          break;
        case '\t':
          text_ += 't';
          break;
        case '\b':
          text_ += 'b';
          break;
        case '\f':
          text_ += 'f';
          break;
        default:
          text_ += "u00";
          text_ += hex[c >> 4];
          text_ += hex[c & 15];
      }
    }
    text_ += '"';
    return Check();
  }
  bool Finish() {
    Flush();
    return !failed_;
  }

 private:
  static constexpr std::size_t kFlushAt = std::size_t{1} << 18;
  Out& Check() {
    if (text_.size() >= kFlushAt) Flush();
    return *this;
  }
  void Flush() {
    if (!failed_ && !text_.empty() && !file_.Write(text_.data(), text_.size())) failed_ = true;
    text_.clear();
  }
  TCompressedOutput& file_;
  std::string text_;
  bool failed_ = false;
};

void WriteMetadata(Out& out, const TScanDocument& doc, const std::string& program, bool joined) {
  const UsageOptions& o = doc.Options();
  out.Raw("{\"progname\":").String(program).Raw(",\"progver\":").String(VORNTOOLS_VERSION);
  out.Raw(",\"timestamp\":").Number(Seconds(std::chrono::system_clock::now()));
  out.Raw(",\"host\":").String(doc.Host());
  out.Raw(",\"started\":").Number(Seconds(doc.Started()));
  out.Raw(",\"ended\":").Number(Seconds(doc.Ended()));
  if (doc.Stopped()) out.Raw(",\"stopped\":true");
  out.Raw(",\"folders\":[");
  for (std::size_t i = 0; i < o.Folders.size(); ++i) out.Raw(i ? "," : "").String(o.Folders[i]);
  out.Raw("]");
  if (joined) out.Raw(",\"joined\":true");
  // How the scan counted, so a reader's totals mean what ours did.
  out.Raw(",\"counting\":{\"allocated\":").Raw(o.CountAllocated ? "true" : "false");
  out.Raw(",\"sectorSize\":").Number(o.AllowForSectorSize ? o.SectorBytes : 0);
  out.Raw(",\"hardLinksOnce\":").Raw(o.HardLinksOnce ? "true" : "false");
  out.Raw(",\"hidden\":").Raw(o.CountHidden ? "true" : "false");
  out.Raw(",\"du\":").Raw(o.CountLikeDu ? "true" : "false");
  out.Raw(",\"oneFileSystem\":").Raw(o.OneFileSystem ? "true" : "false");
  out.Raw(",\"exclude\":[");
  for (std::size_t i = 0; i < o.Exclude.size(); ++i) out.Raw(i ? "," : "").String(o.Exclude[i]);
  out.Raw("]}}");
}

void WriteFolderInfo(Out& out, const TScanDocument& doc, std::uint32_t i, std::string_view name,
                     bool writeDevice) {
  const ScanFolder& f = doc.Folder(i);
  out.Raw("[{\"name\":").String(name);
  if (f.Has(ScanFolder::Identified)) {
    out.Raw(",\"dsize\":").Number(f.ownAllocated);
    if (writeDevice) out.Raw(",\"dev\":").UNumber(doc.FolderDevice(i));
    out.Raw(",\"ino\":").UNumber(f.inode);
  }
  if (f.Has(ScanFolder::Unlisted)) out.Raw(",\"read_error\":true");
  out.Raw("}");
}

void WriteLeftOut(Out& out, std::string_view name, LeftOutReason why) {
  out.Raw("{\"name\":").String(name).Raw(",\"excluded\":\"").Raw(ExcludedName(why)).Raw("\"");
  if (why == LeftOutReason::Hidden) out.Raw(",\"hidden\":true");
  out.Raw("}");
}

void WriteFile(Out& out, const TScanDocument& doc, std::uint64_t j) {
  const ScanFile file = doc.File(j);
  out.Raw(",\n{\"name\":").String(file.name);
  if (file.length < 0) {
    out.Raw(",\"read_error\":true}");
    return;
  }
  out.Raw(",\"asize\":").Number(file.length).Raw(",\"dsize\":").Number(file.allocated);
  if (file.type != FileFacts::Type::Regular && file.type != FileFacts::Type::Unknown) {
    out.Raw(",\"notreg\":true");
  }
  if (const ScanLink* link = doc.Link(j)) {
    out.Raw(",\"ino\":")
        .UNumber(link->inode)
        .Raw(",\"hlnkc\":true,\"nlink\":")
        .UNumber(link->links);
  }
  if (file.modified != TScanDocument::kNoTime) out.Raw(",\"mtime\":").Number(file.modified);
  out.Raw("}");
}

// A starting folder and everything below it, depth first with a stack of
// its own: a chain of many thousands of folders must not exhaust the call stack.
void WriteTree(Out& out, const TScanDocument& doc, std::uint32_t start, std::string_view name,
               bool writeDevice) {
  struct Level {
    std::uint32_t folder;
    std::uint32_t next;  // the next record below it, kNoFolder when done
  };
  std::vector<Level> stack;
  auto enter = [&](std::uint32_t i, std::string_view folderName, bool device) {
    WriteFolderInfo(out, doc, i, folderName, device);
    for (std::uint64_t j = doc.Folder(i).firstFile, end = doc.KeptFilesEnd(i); j < end; ++j) {
      WriteFile(out, doc, j);
    }
    const auto [first, last] = doc.LeftOutFiles(i);
    for (std::size_t k = first; k < last; ++k) {
      const ScanLeftOutFile leftOut = doc.LeftOutFile(k);
      out.Raw(",\n");
      WriteLeftOut(out, leftOut.name, leftOut.why);
    }
    stack.push_back({i, doc.FirstChild(i)});
  };
  enter(start, name, writeDevice);
  while (!stack.empty() && !out.Failed()) {
    Level& top = stack.back();
    if (top.next == TScanDocument::kNoFolder) {
      out.Raw("]");
      stack.pop_back();
      continue;
    }
    const std::uint32_t child = top.next;
    const std::uint32_t parent = top.folder;
    top.next = doc.NextSibling(child);
    const ScanFolder& f = doc.Folder(child);
    out.Raw(",\n");
    if (f.Has(ScanFolder::LeftOut)) {
      // A folder, though ncdu writes left-out folders as it writes files.
      out.Raw("[");
      WriteLeftOut(out, doc.FolderName(child), f.leftOut);
      out.Raw("]");
      continue;
    }
    // ncdu gives a folder's device only where it differs from its parent's.
    const bool device =
        f.Has(ScanFolder::Identified) && (!doc.Folder(parent).Has(ScanFolder::Identified) ||
                                          doc.FolderDevice(parent) != doc.FolderDevice(child));
    enter(child, doc.FolderName(child), device);
  }
}

}  // namespace

bool WriteScanFile(const TScanDocument& doc, const std::string& path, const std::string& program) {
  TCompressedOutput file;
  if (!file.Open(path)) return false;
  Out out(file);
  std::vector<std::uint32_t> starts;
  for (std::uint32_t i = 0; i < doc.FolderCount() && i != TScanDocument::kNoFolder;
       i = doc.NextSibling(i)) {
    starts.push_back(i);
  }
  const bool joined = starts.size() != 1;
  out.Raw("[1,2,");
  WriteMetadata(out, doc, program, joined);
  out.Raw(",\n");
  if (!joined) {
    WriteTree(out, doc, 0, doc.FolderName(0), true);
  } else {
    bool relative = false;
    for (const std::uint32_t i : starts) relative |= !doc.FolderName(i).starts_with('/');
    out.Raw("[{\"name\":").String(relative ? "." : "/").Raw("}");
    for (const std::uint32_t i : starts) {
      out.Raw(",\n");
      WriteTree(out, doc, i, doc.FolderName(i), true);
    }
    out.Raw("]");
  }
  out.Raw("]\n");
  if (!out.Finish()) return false;
  return file.Commit();
}
