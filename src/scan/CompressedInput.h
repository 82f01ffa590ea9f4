#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct z_stream_s;
struct ZSTD_DCtx_s;

// Bytes read from a source and given back decompressed on the fly, never
// whole: gzip and zstd data are known by their first bytes, anything else is
// given as it is.
class TCompressedInput {
 public:
  // Up to `size` bytes into `buffer`: how many, 0 at the end, -1 on failure.
  using Source = std::function<long(char* buffer, std::size_t size)>;

  explicit TCompressedInput(Source source);
  ~TCompressedInput();
  TCompressedInput(const TCompressedInput&) = delete;
  TCompressedInput& operator=(const TCompressedInput&) = delete;

  // The next bytes; empty at the end or after a failure (Error() says which).
  std::string_view Next();
  // Why the bytes ended early; empty when they did not.
  const std::string& Error() const { return error_; }

 private:
  enum class Kind { Unknown, Plain, Gzip, Zstd };
  bool Fill();  // more raw bytes into in_; false at their end
  std::string_view Inflate();
  std::string_view Unzstd();

  Source source_;
  Kind kind_ = Kind::Unknown;
  std::vector<char> in_, out_;
  std::size_t inPos_ = 0, inEnd_ = 0;
  bool sourceEnded_ = false;
  bool frameOpen_ = false;  // compressed data begun and not yet ended
  std::unique_ptr<z_stream_s> gzip_;
  ZSTD_DCtx_s* zstd_ = nullptr;
  std::string error_;
};
