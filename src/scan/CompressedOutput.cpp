#include "scan/CompressedOutput.h"

#include <zlib.h>
#include <zstd.h>

#include <cerrno>

namespace {

constexpr std::size_t kOutBytes = std::size_t{1} << 18;

bool EndsWith(const std::string& text, const char* end) {
  const std::string tail(end);
  return text.size() > tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

TCompressedOutput::TCompressedOutput() = default;

TCompressedOutput::~TCompressedOutput() {
  if (gzip_) deflateEnd(gzip_.get());
  if (zstd_) ZSTD_freeCCtx(zstd_);
}

bool TCompressedOutput::Open(const std::string& path) {
  if (!file_.Open(path)) return false;
  if (EndsWith(path, ".gz")) {
    kind_ = Kind::Gzip;
    gzip_ = std::make_unique<z_stream_s>();
    // 15 bits of window, and 16 more for the gzip wrapping; level 6 as gzip's own.
    if (deflateInit2(gzip_.get(), 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
      gzip_.reset();
      errno = ENOMEM;
      return false;
    }
  } else if (EndsWith(path, ".zst")) {
    kind_ = Kind::Zstd;
    zstd_ = ZSTD_createCCtx();
    if (!zstd_) {
      errno = ENOMEM;
      return false;
    }
    ZSTD_CCtx_setParameter(zstd_, ZSTD_c_compressionLevel, 3);
    ZSTD_CCtx_setParameter(zstd_, ZSTD_c_checksumFlag, 1);
  }
  if (kind_ != Kind::Plain) out_.resize(kOutBytes);
  return true;
}

bool TCompressedOutput::Write(const char* data, std::size_t size) {
  if (failed_) return false;
  const bool ok = kind_ == Kind::Plain ? file_.Write(data, size) : Compress(data, size, false);
  failed_ = !ok;
  return ok;
}

bool TCompressedOutput::Compress(const char* data, std::size_t size, bool end) {
  if (kind_ == Kind::Gzip) {
    z_stream_s& z = *gzip_;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    z.avail_in = static_cast<uInt>(size);
    for (;;) {
      z.next_out = reinterpret_cast<Bytef*>(out_.data());
      z.avail_out = static_cast<uInt>(out_.size());
      const int result = deflate(&z, end ? Z_FINISH : Z_NO_FLUSH);
      if (result == Z_STREAM_ERROR) {
        errno = EIO;
        return false;
      }
      const std::size_t made = out_.size() - z.avail_out;
      if (made > 0 && !file_.Write(out_.data(), made)) return false;
      if (end ? result == Z_STREAM_END : (z.avail_in == 0 && z.avail_out != 0)) return true;
    }
  }
  ZSTD_inBuffer in{data, size, 0};
  for (;;) {
    ZSTD_outBuffer out{out_.data(), out_.size(), 0};
    const std::size_t left =
        ZSTD_compressStream2(zstd_, &out, &in, end ? ZSTD_e_end : ZSTD_e_continue);
    if (ZSTD_isError(left)) {
      errno = EIO;
      return false;
    }
    if (out.pos > 0 && !file_.Write(out_.data(), out.pos)) return false;
    if (end ? left == 0 : in.pos == in.size) return true;
  }
}

bool TCompressedOutput::Commit() {
  if (failed_) return false;
  if (kind_ != Kind::Plain && !Compress(nullptr, 0, true)) {
    failed_ = true;
    return false;
  }
  return file_.Commit();
}
