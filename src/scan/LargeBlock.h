#pragma once

#include <cstddef>

// A block of memory for a document's big arrays, straight from the system
// rather than the heap: a large block can be backed by large pages, so
// filling a scan of millions of files takes a fault every 2 MiB instead of
// every 4 KiB. One file per platform implements this (LargeBlock_linux.cpp).
class TLargeBlock {
 public:
  // Its granule: sizes are rounded up to whole multiples of it.
  static constexpr std::size_t kLargePage = std::size_t{2} << 20;

  TLargeBlock() = default;
  // Room for `bytes`, not yet touched; `largePages` asks for large pages.
  // Throws std::bad_alloc when the system has no room.
  TLargeBlock(std::size_t bytes, bool largePages);
  TLargeBlock(TLargeBlock&& other) noexcept;
  TLargeBlock& operator=(TLargeBlock&& other) noexcept;
  TLargeBlock(const TLargeBlock&) = delete;
  TLargeBlock& operator=(const TLargeBlock&) = delete;
  ~TLargeBlock();

  char* get() const { return data_; }
  std::size_t size() const { return size_; }
  // Gives the room past the first `bytes` back to the system.
  void Shrink(std::size_t bytes);

 private:
  char* data_ = nullptr;
  std::size_t size_ = 0;
};
