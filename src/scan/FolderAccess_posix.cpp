#include "scan/FolderAccess.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// A name listed as a file that is something else by the time it is measured:
// -1, with an error number that tells why.
std::int64_t NotAFile(const struct stat& st) {
  errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  return -1;
}

// The kernel's record; glibc 2.36 has no getdents64 wrapper in every build.
struct LinuxDirent64 {
  ino64_t d_ino;
  off64_t d_off;
  unsigned short d_reclen;
  unsigned char d_type;
  char d_name[];
};

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY;

// Copies what a status tells besides the length.
void TakeFacts(const struct stat& st, FileFacts* facts) {
  if (!facts) return;
  facts->allocated = static_cast<std::int64_t>(st.st_blocks) * 512;
  facts->device = st.st_dev;
  facts->inode = st.st_ino;
  facts->links = static_cast<std::uint32_t>(std::min<std::uint64_t>(st.st_nlink, UINT32_MAX));
  facts->modified = static_cast<std::int64_t>(st.st_mtim.tv_sec);
  using Type = FileFacts::Type;
  const mode_t kind = st.st_mode & S_IFMT;
  facts->type = kind == S_IFREG    ? Type::Regular
                : kind == S_IFDIR  ? Type::Folder
                : kind == S_IFLNK  ? Type::Link
                : kind == S_IFIFO  ? Type::Pipe
                : kind == S_IFSOCK ? Type::Socket
                : kind == S_IFCHR  ? Type::Character
                : kind == S_IFBLK  ? Type::Block
                                   : Type::Unknown;
}

// A path longer than the system takes at once (PATH_MAX), opened one name
// at a time; links on the way are followed as open() would follow them.
int OpenLongPath(const std::string& path) {
  int at = path.front() == '/' ? ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC) : AT_FDCWD;
  if (path.front() == '/' && at < 0) return -1;
  std::size_t from = 0;
  for (;;) {
    const std::size_t slash = path.find('/', from);
    const std::string name =
        path.substr(from, slash == std::string::npos ? std::string::npos : slash - from);
    const bool last =
        path.find_first_not_of('/', slash == std::string::npos ? path.size() : slash) ==
        std::string::npos;
    if (!name.empty() || last) {
      const int fd = ::openat(at, name.empty() ? "." : name.c_str(),
                              last ? kFolderFlags : O_PATH | O_DIRECTORY | O_CLOEXEC);
      const int error = errno;
      if (at != AT_FDCWD) ::close(at);
      errno = error;
      if (fd < 0 || last) return fd;
      at = fd;
    }
    from = slash + 1;
  }
}

EntryKind KindOfMode(mode_t mode) {
  if (S_ISREG(mode)) return EntryKind::File;
  if (S_ISDIR(mode)) return EntryKind::Folder;
  return EntryKind::Other;
}

}  // namespace

FolderHandle& FolderHandle::operator=(FolderHandle&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

FolderHandle FolderHandle::OpenPath(const std::string& path, int& error) {
  // The user named this folder, so a link given as the starting folder is
  // followed; nothing below it ever is.
  int fd = ::open(path.empty() ? "." : path.c_str(), kFolderFlags);
  if (fd < 0 && errno == ENAMETOOLONG) fd = OpenLongPath(path);
  error = fd < 0 ? errno : 0;
  return FolderHandle(fd);
}

FolderHandle FolderHandle::OpenChild(const char* name, int& error) const {
  const int fd = ::openat(fd_, name, kFolderFlags | O_NOFOLLOW);
  error = fd < 0 ? errno : 0;
  return FolderHandle(fd);
}

void FolderHandle::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool FolderHandle::Identify(FolderId& id) const {
  struct stat st;
  if (::fstat(fd_, &st) != 0) return false;
  id.device = st.st_dev;
  id.inode = st.st_ino;
  return true;
}

bool FolderHandle::Status(FileFacts& facts) const {
  struct stat st;
  if (::fstat(fd_, &st) != 0) return false;
  TakeFacts(st, &facts);
  return true;
}

std::int64_t FolderHandle::EntryLength(const char* name, FileFacts* facts) const {
  struct stat st;
  if (::fstatat(fd_, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return -1;
  TakeFacts(st, facts);
  return static_cast<std::int64_t>(st.st_size);
}

std::int64_t FolderHandle::FileLength(const char* name, FileFacts* facts) const {
  struct stat st;
  if (::fstatat(fd_, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return -1;
  if (!S_ISREG(st.st_mode)) return NotAFile(st);
  TakeFacts(st, facts);
  return static_cast<std::int64_t>(st.st_size);
}

FolderReader::FolderReader(const FolderHandle& folder, std::vector<char>& buffer, bool rewind)
    : folder_(&folder), buffer_(buffer) {
  // Some thousand entries a call: more saves little, and each thread
  // that lists keeps a buffer of its own.
  if (buffer_.size() < 32 * 1024) buffer_.resize(32 * 1024);
  if (rewind && ::lseek(folder_->NativeHandle(), 0, SEEK_SET) < 0) {
    error_ = errno;
    done_ = true;
  }
}

bool FolderReader::Fill() {
  for (;;) {
    const long n =
        ::syscall(SYS_getdents64, folder_->NativeHandle(), buffer_.data(), buffer_.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      error_ = errno;
      done_ = true;
      return false;
    }
    if (n == 0) {
      done_ = true;
      return false;
    }
    used_ = static_cast<std::size_t>(n);
    offset_ = 0;
    return true;
  }
}

bool FolderReader::Next(FolderEntry& entry) {
  for (;;) {
    if (offset_ >= used_) {
      if (done_ || !Fill()) return false;
    }
    auto* record = reinterpret_cast<LinuxDirent64*>(buffer_.data() + offset_);
    offset_ += record->d_reclen;
    const char* name = record->d_name;
    if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
    switch (record->d_type) {
      case DT_REG:
        entry.kind = EntryKind::File;
        break;
      case DT_DIR:
        entry.kind = EntryKind::Folder;
        break;
      case DT_UNKNOWN: {
        // Some file systems do not say; ask, without following a link.
        struct stat st;
        if (::fstatat(folder_->NativeHandle(), name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
          entry.kind = EntryKind::File;  // measuring it will then record the failure
        } else {
          entry.kind = KindOfMode(st.st_mode);
        }
        break;
      }
      default:
        entry.kind = EntryKind::Other;
        break;
    }
    entry.name = name;
    entry.nameLength = std::strlen(name);
    return true;
  }
}

bool IsMissingFolderError(int error) {
  return error == ENOENT || error == ENOTDIR;
}

bool NameMatches(const std::string& pattern, const char* name) {
  if (pattern == "*.*" || pattern == "*") return true;
  return ::fnmatch(pattern.c_str(), name, 0) == 0;
}

std::int64_t FileLengthOfPath(const std::string& path, FileFacts* facts) {
  struct stat st;
  if (::fstatat(AT_FDCWD, path.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return -1;
  if (!S_ISREG(st.st_mode)) return NotAFile(st);
  TakeFacts(st, facts);
  return static_cast<std::int64_t>(st.st_size);
}

bool WildcardMatches(const char* pattern, const char* text, std::size_t textLength) {
  // Greedy with one step back to the last "*": linear for ordinary patterns,
  // never exponential.
  const char* star = nullptr;
  std::size_t starText = 0;
  std::size_t t = 0;
  const char* p = pattern;
  while (t < textLength) {
    if (*p == '*') {
      star = p++;
      starText = t;
    } else if (*p != '\0' && (*p == '?' || *p == text[t])) {
      ++p;
      ++t;
    } else if (star) {
      p = star + 1;
      t = ++starText;
    } else {
      return false;
    }
  }
  while (*p == '*') ++p;
  return *p == '\0';
}

TExclusions::TExclusions(const std::vector<std::string>& patterns, const std::string& startBelow)
    : prefix_(startBelow.empty() ? std::string() : startBelow + '/') {
  for (const std::string& pattern : patterns) {
    if (pattern.empty()) continue;
    (pattern.find('/') == std::string::npos ? names_ : paths_).push_back(pattern);
  }
}

const std::string* TExclusions::Excluding(const char* name, std::size_t nameLength,
                                          const std::string& below) const {
  for (const std::string& pattern : names_) {
    if (WildcardMatches(pattern.c_str(), name, nameLength)) return &pattern;
  }
  if (paths_.empty()) return nullptr;
  const std::string whole = prefix_.empty() ? std::string() : prefix_ + below;
  const std::string& path = prefix_.empty() ? below : whole;
  for (const std::string& pattern : paths_) {
    if (WildcardMatches(pattern.c_str(), path.data(), path.size())) return &pattern;
  }
  return nullptr;
}

std::size_t FolderHandleBudget() {
  // Room for what the program opens besides the walk's folders (the
  // report file, the help, the window system's own).
  constexpr rlim_t kReserve = 8;
  constexpr rlim_t kMost = 4096;
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 16;
  rlim_t inUse = 16;
  if (DIR* fds = ::opendir("/proc/self/fd")) {
    inUse = 0;
    while (::readdir(fds)) ++inUse;
    inUse = inUse > 3 ? inUse - 3 : 0;  // ".", ".." and this listing's own
    ::closedir(fds);
  }
  const rlim_t cur = limit.rlim_cur == RLIM_INFINITY ? kMost * 2 : limit.rlim_cur;
  if (cur <= inUse + kReserve) return 1;
  return static_cast<std::size_t>(std::min(cur - inUse - kReserve, kMost));
}
