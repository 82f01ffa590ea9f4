#include "scan/ScanFileReader.h"

#include <sys/stat.h>

#include <rapidjson/error/en.h>
#include <rapidjson/reader.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <limits>
#include <new>
#include <unordered_set>
#include <vector>

#include "scan/CompressedInput.h"
#include "scan/Errors.h"
#include "scan/HostName.h"
#include "scan/InputFile.h"
#include "scan/ScanDocument.h"

namespace {

// Limits that no real scan reaches and that keep a hostile file's cost bounded.
constexpr std::size_t kMaxName = 4096;           // bytes of an entry's name
constexpr std::size_t kMaxTopName = 65536;       // of a starting folder's, a path
constexpr std::size_t kMaxDepth = 65536;         // levels of folders
constexpr std::size_t kMaxOtherDepth = 64;       // levels of anything else
constexpr std::size_t kMaxListed = 65536;        // starting folders and patterns listed
constexpr std::size_t kParserBytes = 64u << 20;  // the parser's own stack
constexpr std::size_t kKeptPending = 65536;      // files a level's buffer keeps room for
constexpr std::int64_t kMaxBytes = std::numeric_limits<std::int64_t>::max();

struct ParserMemoryFull {};

// The parser's stack, which holds a string until it is whole: capped, so a
// name of gigabytes ends the reading instead of the memory.
class CappedAllocator {
 public:
  static const bool kNeedFree = true;
  void* Malloc(std::size_t size) {
    if (size == 0) return nullptr;
    return Checked(std::malloc(Capped(size)));
  }
  void* Realloc(void* old, std::size_t, std::size_t size) {
    if (size == 0) {
      std::free(old);
      return nullptr;
    }
    return Checked(std::realloc(old, Capped(size)));
  }
  static void Free(void* p) { std::free(p); }

 private:
  static std::size_t Capped(std::size_t size) {
    if (size > kParserBytes) throw ParserMemoryFull{};
    return size;
  }
  static void* Checked(void* p) {
    if (!p) throw std::bad_alloc();
    return p;
  }
};

// The parser's input: the decompressed bytes piece by piece, with the count
// of lines before the current piece so an error can say where it is.
class JsonInput {
 public:
  typedef char Ch;
  explicit JsonInput(TCompressedInput& in) : in_(in) { Refill(); }

  Ch Peek() const { return cur_ != end_ ? *cur_ : '\0'; }
  Ch Take() {
    if (cur_ == end_) return '\0';
    const Ch c = *cur_++;
    if (cur_ == end_) Refill();
    return c;
  }
  std::size_t Tell() const { return base_ + static_cast<std::size_t>(cur_ - begin_); }
  // Writing is not for this stream.
  Ch* PutBegin() { return nullptr; }
  void Put(Ch) {}
  void Flush() {}
  std::size_t PutEnd(Ch*) { return 0; }

  bool Ended() const { return cur_ == end_; }
  const std::string& Error() const { return in_.Error(); }

  // "line 3, column 17" of a position in the current piece or before it.
  std::string Where(std::size_t offset) const {
    std::size_t lines = lines_, last = lastNewline_;
    if (offset >= base_) {
      const std::size_t upTo = std::min(offset - base_, static_cast<std::size_t>(end_ - begin_));
      for (const char* p = begin_; p < begin_ + upTo; ++p) {
        if (*p == '\n') {
          ++lines;
          last = base_ + static_cast<std::size_t>(p - begin_);
        }
      }
    }
    const std::size_t column = last == kNone ? offset + 1 : offset - last;
    return "line " + std::to_string(lines + 1) + ", column " + std::to_string(column);
  }

 private:
  static constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
  void Refill() {
    for (const char* p = begin_; p < end_;) {
      p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end_ - p)));
      if (!p) break;
      ++lines_;
      lastNewline_ = base_ + static_cast<std::size_t>(p - begin_);
      ++p;
    }
    base_ += static_cast<std::size_t>(end_ - begin_);
    const std::string_view piece = in_.Next();
    begin_ = cur_ = piece.data();
    end_ = begin_ + piece.size();
  }

  TCompressedInput& in_;
  const char* begin_ = nullptr;
  const char* cur_ = nullptr;
  const char* end_ = nullptr;
  std::size_t base_ = 0;  // offset of begin_
  std::size_t lines_ = 0;
  std::size_t lastNewline_ = kNone;
};

// What one info object says.
struct Info {
  std::string name;
  bool hasName = false;
  std::int64_t asize = 0, dsize = 0, mtime = TScanDocument::kNoTime;  // ncdu -o without -e has none
  std::uint64_t dev = 0, ino = 0, nlink = 0, mode = 0;
  bool hasDev = false, hasIno = false, hasDsize = false, hasMode = false;
  bool hlnkc = false, readError = false, notreg = false, hidden = false;
  bool excluded = false;
  LeftOutReason why = LeftOutReason::Excluded;

  void Clear() {
    std::string kept = std::move(name);
    kept.clear();
    *this = Info();
    name = std::move(kept);  // its room serves the next name
  }
};

FileFacts::Type TypeOfMode(std::uint64_t mode) {
  switch (mode & S_IFMT) {
    case S_IFREG:
      return FileFacts::Type::Regular;
    case S_IFDIR:
      return FileFacts::Type::Folder;
    case S_IFLNK:
      return FileFacts::Type::Link;
    case S_IFIFO:
      return FileFacts::Type::Pipe;
    case S_IFSOCK:
      return FileFacts::Type::Socket;
    case S_IFCHR:
      return FileFacts::Type::Character;
    case S_IFBLK:
      return FileFacts::Type::Block;
    default:
      return FileFacts::Type::Unknown;
  }
}

const char* LeftOutText(LeftOutReason why) {
  switch (why) {
    case LeftOutReason::Hidden:
      return "Left out: hidden";
    case LeftOutReason::Excluded:
      return "Left out: excluded";
    case LeftOutReason::PseudoFileSystem:
      return "Left out: a pseudo file system";
    case LeftOutReason::OtherFileSystem:
      break;
  }
  return "Left out: another file system";
}

void AddSaturating(std::int64_t& to, std::int64_t bytes) {
  if (bytes > 0 && __builtin_add_overflow(to, bytes, &to)) to = kMaxBytes;
}

// The parser's events made into a document, in the file's order.
class Loader {
 public:
  explicit Loader(TScanDocument& doc) : doc_(doc) {}

  const std::string& Error() const { return error_; }
  bool Done() const { return state_ == State::Done; }
  void Finish() { doc_.Finish(std::move(problems_), stopped_); }

  // The parser's handler.
  bool Null() { return Scalar(Value::Other); }
  bool Bool(bool b) {
    bool_ = b;
    return Scalar(Value::Bool);
  }
  bool Int(int i) { return Signed(i); }
  bool Int64(std::int64_t i) { return Signed(i); }
  bool Uint(unsigned u) { return Unsigned(u); }
  bool Uint64(std::uint64_t u) { return Unsigned(u); }
  bool Double(double) { return Scalar(Value::Fraction); }
  bool RawNumber(const char*, rapidjson::SizeType, bool) { return Scalar(Value::Other); }
  bool String(const char* s, rapidjson::SizeType length, bool) {
    string_ = std::string_view(s, length);
    return Scalar(Value::String);
  }
  bool Key(const char* s, rapidjson::SizeType length, bool) {
    const std::string_view key(s, length);
    switch (state_) {
      case State::Skip:
        return true;
      case State::InfoKey:
        key_.assign(key);
        state_ = State::InfoValue;
        return true;
      case State::MetaKey:
      case State::CountingKey:
        key_.assign(key);
        state_ = state_ == State::MetaKey ? State::MetaValue : State::CountingValue;
        return true;
      default:
        return Fail("unexpected key");
    }
  }
  bool StartObject() {
    switch (state_) {
      case State::Skip:
        return Deeper();
      case State::Meta:
        state_ = State::MetaKey;
        return true;
      case State::DirInfo:
      case State::Items:
        infoIsFolder_ = state_ == State::DirInfo;
        info_.Clear();
        state_ = State::InfoKey;
        return true;
      case State::MetaValue:
        if (key_ == "counting") {
          state_ = State::CountingKey;
          return true;
        }
        return StartSkip(State::MetaKey);
      case State::CountingValue:
        return StartSkip(State::CountingKey);
      case State::InfoValue:
        if (InfoKeyKnown()) return Fail(Quoted(key_) + " cannot be an object");
        return StartSkip(State::InfoKey);
      default:
        return Unexpected("object");
    }
  }
  bool EndObject(rapidjson::SizeType) {
    switch (state_) {
      case State::Skip:
        return Shallower();
      case State::MetaKey:
        state_ = State::Root;
        return true;
      case State::CountingKey:
        state_ = State::MetaKey;
        return true;
      case State::InfoKey:
        if (infoIsFolder_) return OpenFolder();
        state_ = State::Items;
        return AddEntry();
      default:
        return Unexpected("end of an object");
    }
  }
  bool StartArray() {
    switch (state_) {
      case State::Skip:
        return Deeper();
      case State::Top:
        state_ = State::Major;
        return true;
      case State::Root:
      case State::Items:
        if (levels_ >= kMaxDepth) {
          return Fail("folders nest deeper than " + std::to_string(kMaxDepth) + " levels");
        }
        state_ = State::DirInfo;
        return true;
      case State::MetaValue:
        if (key_ == "folders") {
          state_ = State::MetaFolders;
          return true;
        }
        return StartSkip(State::MetaKey);
      case State::CountingValue:
        if (key_ == "exclude") {
          state_ = State::CountingExclude;
          return true;
        }
        return StartSkip(State::CountingKey);
      case State::InfoValue:
        if (InfoKeyKnown()) return Fail(Quoted(key_) + " cannot be a list");
        return StartSkip(State::InfoKey);
      default:
        return Unexpected("list");
    }
  }
  bool EndArray(rapidjson::SizeType) {
    switch (state_) {
      case State::Skip:
        return Shallower();
      case State::MetaFolders:
        state_ = State::MetaKey;
        return true;
      case State::CountingExclude:
        state_ = State::CountingKey;
        return true;
      case State::Items:
        return CloseFolder();
      case State::AfterRoot:
        state_ = State::Done;
        return true;
      default:
        return Unexpected("end of a list");
    }
  }

 private:
  enum class State {
    Top,
    Major,
    Minor,
    Meta,
    MetaKey,
    MetaValue,
    MetaFolders,
    CountingKey,
    CountingValue,
    CountingExclude,
    Root,
    DirInfo,
    InfoKey,
    InfoValue,
    Items,
    AfterRoot,
    Done,
    Skip,
  };
  // Huge: a whole number beyond any count, which only an identity may be.
  enum class Value { Bool, Unsigned, Negative, Huge, Fraction, String, Other };

  // A file waiting for its folder's end: a folder's files stand together
  // in the document, and the format may list them among its sub-folders.
  struct Pending {
    std::int64_t length;
    std::int64_t counted;
    FileFacts facts;
    std::size_t nameOffset;
    std::size_t nameLength;
  };
  struct Level {
    bool inDocument = false;  // not for the top folder added above several
    bool leftOut = false;     // a left-out folder, written as a list
    bool deviceKnown = false;
    std::uint64_t device = 0;
    std::int64_t bytes = 0;  // counted, its own and, once closed, below
    bool failed = false, failedHere = false;
    std::size_t startingFolders = 0;   // below the added top folder
    std::size_t parentPathLength = 0;  // the path of the folder it is in
    std::vector<Pending> files;
    std::string names;
  };

  bool Fail(std::string message) {
    if (error_.empty()) error_ = std::move(message);
    return false;
  }
  bool Unexpected(const std::string& what) {
    if (state_ == State::Top || state_ == State::Major) {
      return Fail("not a scan file: it must begin with [1,");
    }
    if (state_ == State::DirInfo) return Fail("a folder's list must begin with its details {...}");
    if (state_ == State::AfterRoot) return Fail("more than one folder at the top");
    return Fail("unexpected " + what);
  }
  static std::string Quoted(std::string_view key) {
    return "\"" + std::string(key.substr(0, 64)) + "\"";
  }

  bool StartSkip(State back) {
    skipBack_ = back;
    skipDepth_ = 1;
    state_ = State::Skip;
    return true;
  }
  bool Deeper() {
    if (++skipDepth_ > kMaxOtherDepth) return Fail("values nest too deeply");
    return true;
  }
  bool Shallower() {
    if (--skipDepth_ == 0) state_ = skipBack_;
    return true;
  }

  bool Signed(std::int64_t i) {
    number_ = i;
    unsignedNumber_ = static_cast<std::uint64_t>(i);
    return Scalar(i < 0 ? Value::Negative : Value::Unsigned);
  }
  bool Unsigned(std::uint64_t u) {
    unsignedNumber_ = u;
    if (u > static_cast<std::uint64_t>(kMaxBytes)) return Scalar(Value::Huge);
    number_ = static_cast<std::int64_t>(u);
    return Scalar(Value::Unsigned);
  }

  bool Scalar(Value v) {
    switch (state_) {
      case State::Skip:
        return true;
      case State::Major:
        if (v != Value::Unsigned) return Unexpected("value");
        if (number_ != 1) {
          return Fail("format version " + std::to_string(number_) +
                      " is not one this program reads (1)");
        }
        state_ = State::Minor;
        return true;
      case State::Minor:
        if (v != Value::Unsigned || number_ > 10000) return Fail("not a scan file's minor version");
        state_ = State::Meta;
        return true;
      case State::MetaValue:
        MetaValue(v);
        state_ = State::MetaKey;
        return true;
      case State::MetaFolders:
        if (v == Value::String && folders_.size() < kMaxListed) folders_.emplace_back(string_);
        return true;
      case State::CountingValue:
        CountingValue(v);
        state_ = State::CountingKey;
        return true;
      case State::CountingExclude:
        if (v == Value::String && exclude_.size() < kMaxListed) exclude_.emplace_back(string_);
        return true;
      case State::InfoValue:
        state_ = State::InfoKey;
        return InfoValue(v);
      default:
        return Unexpected("value");
    }
  }

  void MetaValue(Value v) {
    if (v == Value::String && key_ == "host") host_ = string_.substr(0, kMaxName);
    if (v == Value::String && key_ == "progname") {
      ours_ = string_ == "vorntools-scan" || string_.starts_with("Usage Vorntool");
      gdu_ = string_ == "gdu";
    }
    if (v == Value::Bool && key_ == "joined") joined_ = bool_;
    if (v == Value::Bool && key_ == "stopped") stopped_ = bool_;
    if (v == Value::Unsigned || v == Value::Negative) {
      if (key_ == "timestamp") timestamp_ = number_;
      if (key_ == "started") started_ = number_;
      if (key_ == "ended") ended_ = number_;
    }
  }

  void CountingValue(Value v) {
    counting_ = true;
    if (v == Value::Bool) {
      if (key_ == "allocated") options_.CountAllocated = bool_;
      if (key_ == "hardLinksOnce") options_.HardLinksOnce = bool_;
      if (key_ == "hidden") options_.CountHidden = bool_;
      if (key_ == "du") options_.CountLikeDu = bool_;
      if (key_ == "oneFileSystem") options_.OneFileSystem = bool_;
    } else if (v == Value::Unsigned && key_ == "sectorSize" && number_ > 0 &&
               number_ <= std::numeric_limits<std::int32_t>::max()) {
      options_.AllowForSectorSize = true;
      options_.SectorBytes = static_cast<std::int32_t>(number_);
    }
  }

  bool InfoKeyKnown() const {
    return key_ == "name" || key_ == "asize" || key_ == "dsize" || key_ == "dev" || key_ == "ino" ||
           key_ == "nlink" || key_ == "mtime" || key_ == "hlnkc" || key_ == "read_error" ||
           key_ == "notreg" || key_ == "excluded" || key_ == "mode" || key_ == "hidden";
  }

  bool InfoValue(Value v) {
    const std::string_view k = key_;
    const auto count = [&](std::int64_t& to) {
      if (v == Value::Huge) return Fail(Quoted(k) + " is out of range");
      if (v != Value::Unsigned) return Fail(Quoted(k) + " must be a whole number of 0 or more");
      to = number_;
      return true;
    };
    const auto id = [&](std::uint64_t& to) {
      if (v != Value::Unsigned && v != Value::Huge) {
        return Fail(Quoted(k) + " must be a whole number of 0 or more");
      }
      to = unsignedNumber_;
      return true;
    };
    const auto flag = [&](bool& to) {
      if (v != Value::Bool) return Fail(Quoted(k) + " must be true or false");
      to = bool_;
      return true;
    };
    if (k == "name") {
      if (v != Value::String) return Fail("\"name\" must be a string");
      const std::size_t limit = levels_ == 0 || (levels_ == 1 && joined_) ? kMaxTopName : kMaxName;
      if (string_.size() > limit) {
        return Fail("a name is longer than " + std::to_string(limit) + " bytes");
      }
      if (string_.empty()) return Fail("an entry has an empty name");
      info_.name.assign(string_);
      info_.hasName = true;
      return true;
    }
    if (k == "asize") return count(info_.asize);
    if (k == "dsize") {
      info_.hasDsize = true;
      return count(info_.dsize);
    }
    if (k == "dev") {
      info_.hasDev = true;
      return id(info_.dev);
    }
    if (k == "ino") {
      info_.hasIno = true;
      return id(info_.ino);
    }
    if (k == "nlink") return id(info_.nlink);
    if (k == "mode") {
      info_.hasMode = true;
      return id(info_.mode);
    }
    if (k == "mtime") {
      if (v != Value::Unsigned && v != Value::Negative) {
        return Fail("\"mtime\" must be a whole number");
      }
      info_.mtime = number_;
      return true;
    }
    if (k == "hlnkc") return flag(info_.hlnkc);
    if (k == "read_error") return flag(info_.readError);
    if (k == "notreg") return flag(info_.notreg);
    if (k == "hidden") return flag(info_.hidden);
    if (k == "excluded") {
      if (v != Value::String) return Fail("\"excluded\" must be a string");
      info_.excluded = true;
      // "othfs" is how ncdu 1.18 writes "otherfs".
      if (string_ == "otherfs" || string_ == "othfs" || string_ == "frmlnk") {
        info_.why = LeftOutReason::OtherFileSystem;
      } else if (string_ == "kernfs") {
        info_.why = LeftOutReason::PseudoFileSystem;
      } else {
        info_.why = LeftOutReason::Excluded;
      }
      return true;
    }
    return true;  // uid, gid and whatever else: not needed
  }

  // The parent level of a new one; null for the top folder.
  Level* Top() { return levels_ ? &stack_[levels_ - 1] : nullptr; }

  Level& PushLevel() {
    if (stack_.size() <= levels_) stack_.emplace_back();
    Level& level = stack_[levels_++];
    level.inDocument = level.leftOut = level.deviceKnown = false;
    level.device = 0;
    level.bytes = 0;
    level.failed = level.failedHere = false;
    level.startingFolders = 0;
    level.files.clear();
    level.names.clear();
    return level;
  }

  std::string PathOf(std::string_view name) const {
    std::string path = path_;
    if (!path.empty() && path.back() != '/') path += '/';
    return path.append(name);
  }

  void Begin() {
    UsageOptions options;
    if (ours_ && counting_) {
      options = options_;
      options.Exclude = exclude_;
    } else {
      // As ncdu and gdu count: every name, a file with several names once.
      options.CountHidden = true;
      options.HardLinksOnce = true;
    }
    options.Folders = joined_ ? folders_ : std::vector<std::string>{info_.name};
    options.Record = ScanRecord::Files;
    doc_.Begin(options, host_);
    if (gdu_) doc_.SetLinksAreRepeats();
    const auto at = [](std::int64_t s) {
      // Within what the clock's nanoseconds hold: some 290 years either side of 1970.
      constexpr std::int64_t kLimit = 9'000'000'000;
      return std::chrono::system_clock::time_point(
          std::chrono::seconds(std::clamp(s, -kLimit, kLimit)));
    };
    doc_.SetTimes(at(started_ ? started_ : timestamp_), at(ended_ ? ended_ : timestamp_));
  }

  bool OpenFolder() {
    if (!info_.hasName) return Fail("an entry has no name");
    Level* parent = Top();
    if (!parent) Begin();
    if (parent && !parent->inDocument && !parent->leftOut) {
      // A starting folder below the added top folder: named as the list says.
      const std::size_t n = parent->startingFolders++;
      if (n < folders_.size()) info_.name = folders_[n];
    }
    if (parent && parent->leftOut) return Fail("a left-out folder lists entries");
    if (info_.excluded) {
      doc_.AddLeftOut(info_.name.data(), info_.name.size(), Why());
      LeftOutProblem();
      PushLevel().leftOut = true;
      state_ = State::Items;
      return true;
    }
    const bool added = !parent && joined_;
    // Taken before the push, which may move the levels.
    const bool parentKnown = parent && parent->deviceKnown;
    const std::uint64_t parentDevice = parent ? parent->device : 0;
    Level& level = PushLevel();
    state_ = State::Items;
    if (added) return true;
    level.inDocument = true;
    doc_.OpenFolder(info_.name.data(), info_.name.size());
    currentFolder_ = doc_.FolderCount() - 1;
    level.parentPathLength = path_.size();
    path_ = PathOf(info_.name);
    if (info_.hasDev) {
      level.device = info_.dev;
      level.deviceKnown = true;
    } else if (parentKnown) {
      level.device = parentDevice;
      level.deviceKnown = true;
    }
    if (info_.hasDsize || info_.hasDev || info_.hasIno) {
      FileFacts facts;
      facts.allocated = info_.dsize;
      facts.device = level.device;
      facts.inode = info_.ino;
      doc_.SetFolderFacts(facts);
      if (doc_.Options().CountLikeDu) {
        doc_.AddFolderOwn(info_.dsize, info_.dsize);
        AddSaturating(level.bytes, info_.dsize);
      }
    }
    if (info_.readError) {
      doc_.MarkUnlisted();
      level.failed = level.failedHere = true;
      problems_.push_back({path_, "Could not be read"});
    }
    return true;
  }

  LeftOutReason Why() const { return info_.hidden ? LeftOutReason::Hidden : info_.why; }

  void LeftOutProblem() {
    ScanProblem problem{PathOf(info_.name), LeftOutText(Why()), true};
    problems_.push_back(std::move(problem));
  }

  bool AddEntry() {
    if (!info_.hasName) return Fail("an entry has no name");
    Level& level = *Top();
    if (level.leftOut) return Fail("a left-out folder lists entries");
    if (!level.inDocument) return true;  // beside the starting folders: not ours
    if (info_.excluded) {
      // Mount points are folders; a pattern may have left out either.
      if (info_.why == LeftOutReason::OtherFileSystem ||
          info_.why == LeftOutReason::PseudoFileSystem) {
        doc_.AddLeftOut(info_.name.data(), info_.name.size(), info_.why);
      } else {
        doc_.AddLeftOutFile(info_.name.data(), info_.name.size(), Why());
      }
      LeftOutProblem();
      return true;
    }
    Pending p;
    p.length = info_.readError ? -1 : info_.asize;
    p.facts.allocated = info_.dsize;
    p.facts.device = level.device;
    p.facts.inode = info_.ino;
    p.facts.modified = info_.mtime;
    p.facts.links =
        info_.hlnkc
            ? static_cast<std::uint32_t>(std::clamp<std::uint64_t>(info_.nlink, 2, 1u << 30))
            : 1;
    p.facts.type = info_.hasMode  ? TypeOfMode(info_.mode)
                   : info_.notreg ? FileFacts::Type::Link
                                  : FileFacts::Type::Regular;
    // Counted in the file's order: a file with several names counts at the
    // first the file lists, as a walk in that order would count it.
    p.counted = Counted(p);
    if (p.counted < 0) {
      level.failed = level.failedHere = true;
    } else {
      AddSaturating(level.bytes, p.counted);
    }
    p.nameOffset = level.names.size();
    p.nameLength = info_.name.size();
    level.names += info_.name;
    level.files.push_back(p);
    return true;
  }

  // What the document's options count for a file.
  std::int64_t Counted(const Pending& p) {
    const UsageOptions& o = doc_.Options();
    if (p.length < 0) return -1;
    const bool regular =
        p.facts.type == FileFacts::Type::Regular || p.facts.type == FileFacts::Type::Unknown;
    if (!regular && !o.CountLikeDu) return 0;
    std::int64_t counted = p.length;
    if (o.CountAllocated || o.CountLikeDu) {
      counted = p.facts.allocated;
    } else if (o.AllowForSectorSize && o.SectorBytes > 0) {
      const std::int64_t units = p.length / o.SectorBytes + 1;
      counted = units > kMaxBytes / o.SectorBytes ? kMaxBytes : units * o.SectorBytes;
    }
    if (counted > 0 && (o.HardLinksOnce || o.CountLikeDu) && p.facts.links > 1 &&
        (gdu_ || !linked_.insert({p.facts.device, p.facts.inode}).second)) {
      counted = 0;
    }
    return counted;
  }

  bool CloseFolder() {
    Level& level = stack_[--levels_];
    if (level.inDocument) {
      doc_.StartOwnFiles();
      for (const Pending& p : level.files) {
        doc_.AddFile(level.names.data() + p.nameOffset, p.nameLength, p.length, p.counted, p.facts);
      }
      doc_.CloseFolder(level.bytes, level.failed, level.failedHere);
      path_.resize(level.parentPathLength);
      // The folder's buffers are kept for the next one at this depth,
      // unless they grew large.
      if (level.files.capacity() > kKeptPending) std::vector<Pending>().swap(level.files);
      if (level.names.capacity() > kKeptPending * 16) std::string().swap(level.names);
      if (levels_ > 0) {
        Level& parent = stack_[levels_ - 1];
        AddSaturating(parent.bytes, level.bytes);
        parent.failed |= level.failed;
        if (parent.inDocument) currentFolder_ = doc_.Folder(currentFolder_).parent;
      }
    }
    state_ = levels_ == 0 ? State::AfterRoot : State::Items;
    return true;
  }

  TScanDocument& doc_;
  State state_ = State::Top;
  State skipBack_ = State::Top;
  std::size_t skipDepth_ = 0;
  std::string error_;
  // The last value.
  std::string key_;  // a copy: the parser reuses its room for the value
  std::string_view string_;
  std::int64_t number_ = 0;
  std::uint64_t unsignedNumber_ = 0;
  bool bool_ = false;
  // The metadata.
  bool ours_ = false, gdu_ = false, counting_ = false, joined_ = false, stopped_ = false;
  std::string host_;
  std::int64_t timestamp_ = 0, started_ = 0, ended_ = 0;
  std::vector<std::string> folders_, exclude_;
  UsageOptions options_;
  // The folders open, innermost last; their buffers are kept for reuse.
  Info info_;
  bool infoIsFolder_ = false;
  std::vector<Level> stack_;
  std::size_t levels_ = 0;
  std::uint32_t currentFolder_ = 0;  // the document's innermost open folder
  std::string path_;                 // its path
  std::vector<ScanProblem> problems_;
  struct IdHash {
    std::size_t operator()(const std::pair<std::uint64_t, std::uint64_t>& id) const {
      return std::hash<std::uint64_t>()(id.second * 0x9E3779B97F4A7C15ull ^ id.first);
    }
  };
  std::unordered_set<std::pair<std::uint64_t, std::uint64_t>, IdHash> linked_;
};

std::shared_ptr<TScanDocument> Read(TCompressedInput::Source source) {
  TCompressedInput in(std::move(source));
  auto doc = std::make_shared<TScanDocument>();
  Loader loader(*doc);
  JsonInput stream(in);
  rapidjson::GenericReader<rapidjson::UTF8<>, rapidjson::UTF8<>, CappedAllocator> reader;
  rapidjson::ParseResult result;
  try {
    result = reader.Parse<rapidjson::kParseIterativeFlag>(stream, loader);
  } catch (const ParserMemoryFull&) {
    throw EVorntoolsError(stream.Where(stream.Tell()) + ": a name or value is too long");
  }
  if (!result) {
    const std::string where = stream.Where(result.Offset());
    std::string what;
    if (!stream.Error().empty()) {
      what = stream.Error();
    } else if (!loader.Error().empty()) {
      what = loader.Error();
    } else if (stream.Ended() && result.Offset() >= stream.Tell()) {
      what = "the file ends before the scan does";
    } else {
      what = rapidjson::GetParseError_En(result.Code());
      // The parser's texts end with a full stop; ours do not.
      if (!what.empty() && what.back() == '.') what.pop_back();
    }
    throw EVorntoolsError(where + ": " + what);
  }
  if (!loader.Done()) throw EVorntoolsError(stream.Where(stream.Tell()) + ": no scan in the file");
  // The parser stops at the text's end; compressed data has its check after it.
  while (!in.Next().empty()) {
  }
  if (!stream.Error().empty())
    throw EVorntoolsError(stream.Where(stream.Tell()) + ": " + stream.Error());
  loader.Finish();
  return doc;
}

}  // namespace

std::shared_ptr<TScanDocument> ReadScanFile(const std::string& path) {
  TInputFile file;
  if (!file.Open(path)) {
    throw EVorntoolsError(FormatMessage("Cannot open file %s", path) + ": " + std::strerror(errno));
  }
  return Read([&file](char* buffer, std::size_t size) { return file.Read(buffer, size); });
}

std::shared_ptr<TScanDocument> ReadScanBytes(std::string_view bytes) {
  return Read([bytes](char* buffer, std::size_t size) mutable {
    const std::size_t n = std::min(size, bytes.size());
    std::memcpy(buffer, bytes.data(), n);
    bytes.remove_prefix(n);
    return static_cast<long>(n);
  });
}
