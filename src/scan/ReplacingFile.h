#pragma once

#include <cstddef>
#include <string>

// A file written whole or not at all: the bytes go to a temporary file
// beside it, which Commit renames into place, so a failure at any moment
// keeps the previous file whole. "-" is standard output, and something that
// is not a plain file (a pipe, /dev/null) is written in place.
class TReplacingFile {
 public:
  TReplacingFile() = default;
  // Not committed: the temporary file goes again.
  ~TReplacingFile();
  TReplacingFile(const TReplacingFile&) = delete;
  TReplacingFile& operator=(const TReplacingFile&) = delete;

  // Each returns false with errno set when it failed.
  bool Open(const std::string& path);
  bool Write(const char* data, std::size_t size);
  bool Commit();

 private:
  int fd_ = -1;
  bool owned_ = false;
  std::string path_;
  std::string temp_;  // empty when written in place
};
