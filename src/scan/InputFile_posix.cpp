#include "scan/InputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

TInputFile::~TInputFile() {
  if (owned_ && fd_ >= 0) ::close(fd_);
}

bool TInputFile::Open(const std::string& path) {
  if (path == "-") {
    fd_ = STDIN_FILENO;
    owned_ = false;
    return true;
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    errno = EISDIR;
    return false;
  }
  fd_ = fd;
  owned_ = true;
  // Read once, front to back: the system may read further ahead.
  (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return true;
}

long TInputFile::Read(char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd_, buffer, size);
    if (n >= 0) return static_cast<long>(n);
    if (errno != EINTR) return -1;
  }
}
