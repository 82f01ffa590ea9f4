#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "scan/ReplacingFile.h"

struct z_stream_s;
struct ZSTD_CCtx_s;

// A file written whole or not at all (TReplacingFile), compressed by its
// name: ".gz" with gzip, ".zst" with zstd, anything else as it is.
class TCompressedOutput {
 public:
  TCompressedOutput();
  ~TCompressedOutput();
  TCompressedOutput(const TCompressedOutput&) = delete;
  TCompressedOutput& operator=(const TCompressedOutput&) = delete;

  // Each returns false with errno set when it failed; after a failure the
  // file is never put in place.
  bool Open(const std::string& path);
  bool Write(const char* data, std::size_t size);
  bool Commit();

 private:
  enum class Kind { Plain, Gzip, Zstd };
  // Compresses `size` bytes (none with `end`, to finish) into the file.
  bool Compress(const char* data, std::size_t size, bool end);

  Kind kind_ = Kind::Plain;
  TReplacingFile file_;
  std::vector<char> out_;
  std::unique_ptr<z_stream_s> gzip_;
  ZSTD_CCtx_s* zstd_ = nullptr;
  bool failed_ = false;
};
