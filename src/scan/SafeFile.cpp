#include "scan/SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "scan/ReplacingFile.h"

bool WriteAllTo(int fd, const char* data, std::size_t size) {
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

bool WriteFileReplacing(const std::string& path, const std::string& data) {
  bool ok = false;
  int saved = 0;
  {
    // "-" names a file here, never standard output.
    TReplacingFile file;
    ok = file.Open(path == "-" ? "./-" : path) && file.Write(data.data(), data.size()) &&
         file.Commit();
    saved = errno;
  }  // an uncommitted temporary file goes here, which must not change errno
  errno = saved;
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
