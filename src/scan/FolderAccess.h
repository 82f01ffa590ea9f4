#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The operating system's folders, as the walker needs them. One file per
// platform implements this (FolderAccess_posix.cpp).

enum class EntryKind : unsigned char {
  File,    // an ordinary file
  Folder,  // a folder (never a link to one)
  Other,   // links, pipes, sockets, devices: never entered, measured only when
           // a walk counts every kind of entry
};

struct FolderEntry {
  const char* name;  // valid until the next call to Next()
  std::size_t nameLength;
  EntryKind kind;
};

struct FolderId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const FolderId&) const = default;
};

// What a file's status tells besides its length: the space the disk gives
// it, for counting a hard-linked file once its identity, and for a scan's
// record its age and kind.
struct FileFacts {
  // The kind the status gives (the file type bits of st_mode).
  enum class Type : unsigned char {
    Unknown,
    Regular,
    Folder,
    Link,
    Pipe,
    Socket,
    Character,
    Block
  };

  std::int64_t allocated = 0;  // st_blocks x 512 bytes
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t modified = 0;  // last modification, seconds since 1970 (UTC)
  // 32 bits, with the kind beside them: the read-ahead holds these for
  // every file in flight.
  std::uint32_t links = 1;
  Type type = Type::Unknown;
};

// An open folder. Move-only; closed on destruction.
class FolderHandle {
 public:
  FolderHandle() = default;
  ~FolderHandle() { Close(); }
  FolderHandle(FolderHandle&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  FolderHandle& operator=(FolderHandle&& other) noexcept;
  FolderHandle(const FolderHandle&) = delete;
  FolderHandle& operator=(const FolderHandle&) = delete;

  // A starting folder by its path text (an empty text is the current folder).
  // `error` receives the system's error number on failure.
  static FolderHandle OpenPath(const std::string& path, int& error);
  // A sub-folder by its own name; a link is never followed.
  FolderHandle OpenChild(const char* name, int& error) const;

  bool IsOpen() const { return fd_ >= 0; }
  void Close();
  bool Identify(FolderId& id) const;
  // The length in bytes of an ordinary file in this folder, or -1; `facts`,
  // when given, receives the rest of its status.
  std::int64_t FileLength(const char* name, FileFacts* facts = nullptr) const;
  // The same for an entry of any kind (a link never followed): its st_size.
  std::int64_t EntryLength(const char* name, FileFacts* facts) const;
  // This folder's own status; false when it cannot be read.
  bool Status(FileFacts& facts) const;
  int NativeHandle() const { return fd_; }

 private:
  explicit FolderHandle(int fd) : fd_(fd) {}
  int fd_ = -1;
};

// Reads the entries of an open folder from its start ("." and ".." left out).
class FolderReader {
 public:
  // `buffer` is scratch space the caller keeps between folders. A folder
  // just opened is at its start; `rewind` is for reading it again.
  FolderReader(const FolderHandle& folder, std::vector<char>& buffer, bool rewind);
  // False at the end of the listing or on a read error (see Error()).
  bool Next(FolderEntry& entry);
  int Error() const { return error_; }
  // Whether entries read from the system are still waiting in the buffer:
  // when not, a new reader on the same handle goes on where this one stopped.
  bool Buffered() const { return offset_ < used_; }
  // The folder's handle was moved into `moved`: read on from there.
  void Follow(const FolderHandle& moved) { folder_ = &moved; }

 private:
  bool Fill();
  const FolderHandle* folder_;
  std::vector<char>& buffer_;
  std::size_t used_ = 0;
  std::size_t offset_ = 0;
  int error_ = 0;
  bool done_ = false;
};

// True when the error number means the folder is simply not there (or is
// not a folder), as opposed to being there but unreadable.
bool IsMissingFolderError(int error);

// Whether a name matches a pattern: "*" any run of characters, "?" one
// character; "*.*" matches every name, with or without a dot.
bool NameMatches(const std::string& pattern, const char* name);

// The length of an ordinary file named by a path (a link is not followed), or -1.
std::int64_t FileLengthOfPath(const std::string& path, FileFacts* facts = nullptr);

// Whether a whole text matches a pattern: "*" any run of characters ("/"
// included), "?" any one character, everything else itself, case counting.
bool WildcardMatches(const char* pattern, const char* text, std::size_t textLength);

// Patterns of what a scan leaves out. A pattern without "/" is matched
// against each folder's and file's own name, one with "/" against its path
// below the starting folder ("build/*", "*/node_modules").
class TExclusions {
 public:
  TExclusions() = default;
  // `startBelow` is where the starting folder itself lies below the folder
  // the paths count from ("a/b"; empty when that is the starting folder).
  explicit TExclusions(const std::vector<std::string>& patterns,
                       const std::string& startBelow = {});
  bool Empty() const { return names_.empty() && paths_.empty(); }
  // Only patterns with "/" need the path below the starting folder.
  bool NeedsPaths() const { return !paths_.empty(); }
  // `below` is the path below the starting folder ("a/b" for its
  // grand-child b); its last part is the name.
  bool Excludes(const char* name, std::size_t nameLength, const std::string& below) const {
    return Excluding(name, nameLength, below) != nullptr;
  }
  // The first pattern that leaves it out, or null.
  const std::string* Excluding(const char* name, std::size_t nameLength,
                               const std::string& below) const;

 private:
  std::vector<std::string> names_;
  std::vector<std::string> paths_;
  std::string prefix_;  // startBelow and a "/", or empty
};

// How many more folder handles a walk may keep open at once, from the
// process's open-file limit less the files already open (at least 1).
std::size_t FolderHandleBudget();

// The opening of folders, as the read-ahead stage makes it. Replaceable so
// that a slow or stuck file system can be stood in for.
class TFolderSystem {
 public:
  virtual ~TFolderSystem() = default;
  virtual FolderHandle OpenPath(const std::string& path, int& error) {
    return FolderHandle::OpenPath(path, error);
  }
  virtual FolderHandle OpenChild(const FolderHandle& parent, const char* name, int& error) {
    return parent.OpenChild(name, error);
  }
};
