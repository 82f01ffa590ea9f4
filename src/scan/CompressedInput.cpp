#include "scan/CompressedInput.h"

#include <zlib.h>
#include <zstd.h>

#include <cerrno>
#include <cstring>

namespace {
constexpr std::size_t kInBytes = std::size_t{1} << 18;
constexpr std::size_t kOutBytes = std::size_t{1} << 18;
}  // namespace

TCompressedInput::TCompressedInput(Source source) : source_(std::move(source)), in_(kInBytes) {}

TCompressedInput::~TCompressedInput() {
  if (gzip_) inflateEnd(gzip_.get());
  if (zstd_) ZSTD_freeDCtx(zstd_);
}

bool TCompressedInput::Fill() {
  if (sourceEnded_) return false;
  if (inPos_ > 0 && inPos_ < inEnd_) std::memmove(in_.data(), in_.data() + inPos_, inEnd_ - inPos_);
  inEnd_ -= inPos_;
  inPos_ = 0;
  const long n = source_(in_.data() + inEnd_, in_.size() - inEnd_);
  if (n < 0) {
    error_ = std::string("cannot read on: ") + std::strerror(errno);
    sourceEnded_ = true;
    return false;
  }
  if (n == 0) {
    sourceEnded_ = true;
    return false;
  }
  inEnd_ += static_cast<std::size_t>(n);
  return true;
}

std::string_view TCompressedInput::Next() {
  if (!error_.empty()) return {};
  if (kind_ == Kind::Unknown) {
    // Enough bytes to tell the kind, unless the whole input is shorter.
    while (inEnd_ < 4 && Fill()) {
    }
    if (!error_.empty()) return {};
    const auto* b = reinterpret_cast<const unsigned char*>(in_.data());
    if (inEnd_ >= 2 && b[0] == 0x1f && b[1] == 0x8b) {
      kind_ = Kind::Gzip;
      gzip_ = std::make_unique<z_stream_s>();
      if (inflateInit2(gzip_.get(), 15 + 16) != Z_OK) {
        gzip_.reset();
        error_ = "out of memory";
        return {};
      }
      out_.resize(kOutBytes);
    } else if (inEnd_ >= 4 && b[0] == 0x28 && b[1] == 0xb5 && b[2] == 0x2f && b[3] == 0xfd) {
      kind_ = Kind::Zstd;
      zstd_ = ZSTD_createDCtx();
      if (!zstd_) {
        error_ = "out of memory";
        return {};
      }
      out_.resize(kOutBytes);
    } else {
      kind_ = Kind::Plain;
    }
  }
  switch (kind_) {
    case Kind::Gzip:
      return Inflate();
    case Kind::Zstd:
      return Unzstd();
    default:
      break;
  }
  if (inPos_ == inEnd_ && !Fill()) return {};
  const std::string_view bytes(in_.data() + inPos_, inEnd_ - inPos_);
  inPos_ = inEnd_;
  return bytes;
}

std::string_view TCompressedInput::Inflate() {
  z_stream_s& z = *gzip_;
  for (;;) {
    if (inPos_ == inEnd_ && !Fill()) {
      if (error_.empty() && frameOpen_) error_ = "the compressed data ends too early";
      return {};
    }
    if (!frameOpen_) {
      // A new gzip member may follow the last one's end (as cat joins them).
      frameOpen_ = true;
      inflateReset(&z);
    }
    z.next_in = reinterpret_cast<Bytef*>(in_.data() + inPos_);
    z.avail_in = static_cast<uInt>(inEnd_ - inPos_);
    z.next_out = reinterpret_cast<Bytef*>(out_.data());
    z.avail_out = static_cast<uInt>(out_.size());
    const int result = inflate(&z, Z_NO_FLUSH);
    inPos_ = inEnd_ - z.avail_in;
    if (result == Z_STREAM_END) {
      frameOpen_ = false;
    } else if (result != Z_OK && result != Z_BUF_ERROR) {
      error_ = "the compressed data is damaged";
      return {};
    }
    const std::size_t made = out_.size() - z.avail_out;
    if (made > 0) return {out_.data(), made};
  }
}

std::string_view TCompressedInput::Unzstd() {
  for (;;) {
    if (inPos_ == inEnd_ && !Fill()) {
      if (error_.empty() && frameOpen_) error_ = "the compressed data ends too early";
      return {};
    }
    ZSTD_inBuffer in{in_.data(), inEnd_, inPos_};
    ZSTD_outBuffer out{out_.data(), out_.size(), 0};
    const std::size_t left = ZSTD_decompressStream(zstd_, &out, &in);
    inPos_ = in.pos;
    if (ZSTD_isError(left)) {
      error_ = "the compressed data is damaged";
      return {};
    }
    frameOpen_ = left != 0;
    if (out.pos > 0) return {out_.data(), out.pos};
  }
}
