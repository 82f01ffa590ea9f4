#include "scan/ReplacingFile.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <vector>

#include "scan/SafeFile.h"

namespace {

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string Beside(const std::string& folder, const std::string& name) {
  return folder == "/" ? "/" + name : folder + "/" + name;
}

// What a new file gets from the umask. Read from /proc where it can be: the
// umask call that reads it also sets it, for every thread at once.
mode_t NewFileMode() {
  if (FILE* status = std::fopen("/proc/self/status", "re")) {
    char line[256];
    unsigned mask = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, status))
      found = std::sscanf(line, "Umask: %o", &mask) == 1;
    std::fclose(status);
    if (found) return 0666 & ~static_cast<mode_t>(mask);
  }
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

// Errors that a temporary name would meet as well.
bool FolderRefuses(int error) {
  return error == EACCES || error == EPERM || error == ENOENT || error == ENOTDIR ||
         error == EROFS || error == ENOSPC || error == EDQUOT || error == ENAMETOOLONG ||
         error == ELOOP;
}

// Six letters no other writer is likely to pick at the same moment.
std::string RandomSuffix() {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  unsigned char bytes[6] = {};
  if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != sizeof bytes) {
    const unsigned long seed = static_cast<unsigned long>(::getpid()) ^
                               reinterpret_cast<unsigned long>(&bytes) ^
                               static_cast<unsigned long>(::time(nullptr));
    for (std::size_t i = 0; i < sizeof bytes; ++i)
      bytes[i] = static_cast<unsigned char>(seed >> (i * 5));
  }
  std::string suffix;
  for (const unsigned char b : bytes) suffix += kLetters[b % (sizeof kLetters - 1)];
  return suffix;
}

// The new name must outlive a power cut: the folder holding it is synced
// too. A file system that cannot sync a folder says EINVAL; it has nothing
// to lose there.
bool SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::fsync(fd) == 0 || errno == EINVAL;
  const int saved = errno;
  ::close(fd);
  errno = saved;
  return ok;
}

}  // namespace

TReplacingFile::~TReplacingFile() {
  if (owned_ && fd_ >= 0) ::close(fd_);
  if (!temp_.empty()) ::unlink(temp_.c_str());
}

bool TReplacingFile::Open(const std::string& path) {
  if (path == "-") {
    fd_ = STDOUT_FILENO;
    mode_ = Mode::Stream;
    return true;
  }
  if (path.empty()) {
    errno = ENOENT;
    return false;
  }
  path_ = path;
  folder_ = FolderOf(path);
  struct stat existing;
  const bool exists = ::stat(path.c_str(), &existing) == 0;
  if (exists && S_ISDIR(existing.st_mode)) {
    errno = EISDIR;
    return false;
  }
  if (exists && !S_ISREG(existing.st_mode)) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    owned_ = fd_ >= 0;
    mode_ = Mode::Stream;
    return owned_;
  }
  if (OpenTemporary(folder_)) {
    // The file keeps its mode; a new one gets what the umask leaves, which
    // an unnamed file got at its making. A mode we cannot set is no reason
    // to fail.
    if (exists)
      (void)::fchmod(fd_, existing.st_mode & 07777);
    else if (mode_ == Mode::Named)
      (void)::fchmod(fd_, NewFileMode());
    return true;
  }
  const int refused = errno;
  if (exists && (refused == EACCES || refused == EPERM)) {
    // The folder takes no new name, but the file itself may be writable.
    fd_ = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd_ < 0) return false;
    owned_ = true;
    mode_ = Mode::InPlace;
    return true;
  }
  errno = refused;
  return false;
}

bool TReplacingFile::OpenTemporary(const std::string& folder) {
#ifdef O_TMPFILE
  // Linked in through its /proc name once whole; without /proc it would
  // have no way in, so a named file is used there.
  const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (fd >= 0) {
    if (::access("/proc/self/fd", X_OK) == 0) {
      fd_ = fd;
      owned_ = true;
      mode_ = Mode::Unnamed;
      return true;
    }
    ::close(fd);
  } else if (FolderRefuses(errno)) {
    return false;
  }
#endif
  // A file system without unnamed files: a short hidden name in the same
  // folder, so the rename stays on one file system.
  const std::string temp = Beside(folder, ".vtXXXXXX");
  std::vector<char> name(temp.begin(), temp.end());
  name.push_back('\0');
  fd_ = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd_ < 0) return false;
  owned_ = true;
  mode_ = Mode::Named;
  temp_.assign(name.data());
  return true;
}

bool TReplacingFile::Write(const char* data, std::size_t size) {
  return WriteAllTo(fd_, data, size);
}

bool TReplacingFile::LinkUnnamed() {
  char self[64];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd_);
  const auto link = [&](const std::string& name) {
    return ::linkat(AT_FDCWD, self, AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
  };
  // A new file takes its name at once; link never replaces a file, so one
  // that is there goes by a rename of a fresh name over it.
  if (link(path_)) return true;
  if (errno != EEXIST) return false;
  for (int attempt = 0; temp_.empty(); ++attempt) {
    const std::string temp = Beside(folder_, ".vt" + RandomSuffix());
    if (link(temp)) {
      temp_ = temp;
    } else if (errno != EEXIST || attempt == 100) {
      return false;
    }
  }
  if (::rename(temp_.c_str(), path_.c_str()) != 0) return false;
  temp_.clear();
  return true;
}

bool TReplacingFile::Commit() {
  if (mode_ == Mode::Stream) {
    if (!owned_) return true;
    owned_ = false;
    return ::close(fd_) == 0;
  }
  bool ok = ::fsync(fd_) == 0;
  int saved = errno;
  if (ok && mode_ == Mode::Unnamed && !LinkUnnamed()) {
    ok = false;
    saved = errno;
  }
  owned_ = false;
  if (::close(fd_) != 0 && ok) {
    ok = false;
    saved = errno;
  }
  if (ok && mode_ == Mode::Named) {
    if (::rename(temp_.c_str(), path_.c_str()) == 0) {
      temp_.clear();
    } else {
      ok = false;
      saved = errno;
    }
  }
  if (ok && mode_ != Mode::InPlace && !SyncFolder(folder_)) {
    ok = false;
    saved = errno;
  }
  errno = saved;
  return ok;
}
