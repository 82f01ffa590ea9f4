#pragma once

#include <cstddef>
#include <string>

// A file read once from start to end; "-" is standard input.
class TInputFile {
 public:
  TInputFile() = default;
  ~TInputFile();
  TInputFile(const TInputFile&) = delete;
  TInputFile& operator=(const TInputFile&) = delete;

  // False (errno set) when it cannot be opened, or is a folder.
  bool Open(const std::string& path);
  // Up to `size` bytes into `buffer`: how many, 0 at the end, -1 (errno set)
  // when reading failed.
  long Read(char* buffer, std::size_t size);

 private:
  int fd_ = -1;
  bool owned_ = false;
};
