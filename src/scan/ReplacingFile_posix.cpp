#include "scan/ReplacingFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "scan/SafeFile.h"

TReplacingFile::~TReplacingFile() {
  if (owned_ && fd_ >= 0) ::close(fd_);
  if (!temp_.empty()) ::unlink(temp_.c_str());
}

bool TReplacingFile::Open(const std::string& path) {
  if (path == "-") {
    fd_ = STDOUT_FILENO;
    return true;
  }
  if (path.empty()) {
    errno = ENOENT;
    return false;
  }
  path_ = path;
  struct stat existing;
  const bool exists = ::stat(path.c_str(), &existing) == 0;
  if (exists && S_ISDIR(existing.st_mode)) {
    errno = EISDIR;
    return false;
  }
  if (exists && !S_ISREG(existing.st_mode)) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    owned_ = fd_ >= 0;
    return owned_;
  }
  // A short name in the same folder, so the rename stays on one file system.
  const std::size_t slash = path.rfind('/');
  std::string temp =
      (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + ".vtXXXXXX";
  std::vector<char> name(temp.begin(), temp.end());
  name.push_back('\0');
  fd_ = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd_ < 0) return false;
  owned_ = true;
  temp_.assign(name.data());
  mode_t mode = 0;
  if (exists) {
    mode = existing.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  (void)::fchmod(fd_, mode);  // a mode we cannot set is no reason to fail
  return true;
}

bool TReplacingFile::Write(const char* data, std::size_t size) {
  return WriteAllTo(fd_, data, size);
}

bool TReplacingFile::Commit() {
  if (temp_.empty()) {
    if (!owned_) return true;
    owned_ = false;
    return ::close(fd_) == 0;
  }
  bool ok = ::fsync(fd_) == 0;
  int saved = errno;
  owned_ = false;
  if (::close(fd_) != 0 && ok) {
    ok = false;
    saved = errno;
  }
  if (ok && ::rename(temp_.c_str(), path_.c_str()) != 0) {
    ok = false;
    saved = errno;
  }
  if (ok) temp_.clear();
  errno = saved;
  return ok;
}
