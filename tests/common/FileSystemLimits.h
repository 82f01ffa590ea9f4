#pragma once

#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>

#include <string>

// A file-size limit fails writes the way a full disk does, for root too;
// SIGXFSZ is ignored, as both programs do, so the write fails instead of
// killing the test.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    signal_ = ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    ::signal(SIGXFSZ, signal_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  sighandler_t signal_;
};

// A tmpfs mounted on an existing folder for the test's length; only root
// can mount one, so callers skip when Mounted() is false.
class TmpfsMount {
 public:
  TmpfsMount(const std::string& at, const char* options, unsigned long flags = 0) : at_(at) {
    mounted_ = ::mount("vorn-test", at.c_str(), "tmpfs", flags, options) == 0;
  }
  ~TmpfsMount() {
    if (mounted_) ::umount2(at_.c_str(), MNT_DETACH);
  }
  TmpfsMount(const TmpfsMount&) = delete;
  TmpfsMount& operator=(const TmpfsMount&) = delete;
  bool Mounted() const { return mounted_; }

 private:
  std::string at_;
  bool mounted_ = false;
};
