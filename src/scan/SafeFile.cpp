#include "scan/SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace {

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

mode_t NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

bool WriteFileReplacing(const std::string& path, const std::string& data) {
  if (path.empty()) {
    errno = ENOENT;
    return false;
  }
  // A name that is an existing folder cannot be replaced by a file.
  struct stat existing;
  const bool exists = ::stat(path.c_str(), &existing) == 0;
  if (exists && S_ISDIR(existing.st_mode)) {
    errno = EISDIR;
    return false;
  }
  // Something that is not a plain file (a terminal, a pipe, /dev/null) is
  // written in place: renaming over it would be wrong.
  if (exists && !S_ISREG(existing.st_mode)) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = WriteAll(fd, data.data(), data.size());
    const int saved = errno;
    ::close(fd);
    errno = saved;
    return ok;
  }

  // A short name in the same folder (rename stays on one file system), so a
  // target name near the system's length limit still has room.
  const std::size_t slash = path.rfind('/');
  std::string temp =
      (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + ".vtXXXXXX";
  std::vector<char> name(temp.begin(), temp.end());
  name.push_back('\0');
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return false;
  temp.assign(name.data());
  const mode_t mode = exists ? (existing.st_mode & 07777) : NewFileMode();
  (void)::fchmod(fd, mode);  // a mode we cannot set is no reason to fail
  bool ok = WriteAll(fd, data.data(), data.size()) && ::fsync(fd) == 0;
  int saved = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    saved = errno;
  }
  if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
    ok = false;
    saved = errno;
  }
  if (!ok) {
    ::unlink(temp.c_str());
    errno = saved;
  }
  return ok;
}

bool ReadWholeFile(const std::string& path, std::string& out) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  const bool statFailed = ::fstat(fd, &st) != 0;
  if (statFailed || S_ISDIR(st.st_mode)) {
    // st is not filled in when fstat fails.
    const int saved = statFailed ? errno : EISDIR;
    ::close(fd);
    errno = saved;
    return false;
  }
  std::string data;
  if (S_ISREG(st.st_mode) && st.st_size > 0) data.reserve(static_cast<std::size_t>(st.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int saved = errno;
      ::close(fd);
      errno = saved;
      return false;
    }
    if (n == 0) break;
    data.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  out.swap(data);
  return true;
}
