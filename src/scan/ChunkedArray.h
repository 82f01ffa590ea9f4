#pragma once

#include <bit>
#include <cstddef>
#include <new>
#include <type_traits>
#include <vector>

#include "scan/LargeBlock.h"

// A growing array in fixed chunks that never move: appending never copies
// what is there, as a vector's growth would (a scan's hundreds of thousands
// of folder records, copied at each doubling, cost more than recording them).
// A chunk holds a power of two of records in a few large pages.
template <class T, unsigned ChunkBits = std::bit_width(2 * TLargeBlock::kLargePage / sizeof(T)) - 1>
class TChunkedArray {
  static_assert(std::is_trivially_destructible_v<T>, "chunks are given back without destructors");

 public:
  static constexpr std::size_t kChunk = std::size_t{1} << ChunkBits;

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T& operator[](std::size_t i) { return At(i); }
  const T& operator[](std::size_t i) const { return At(i); }

  void push_back(const T& value) {
    // The first chunk in small pages, so a small array stays small.
    if ((size_ & (kChunk - 1)) == 0) chunks_.emplace_back(kChunk * sizeof(T), !chunks_.empty());
    new (chunks_.back().get() + (size_ & (kChunk - 1)) * sizeof(T)) T(value);
    ++size_;
  }
  std::size_t HeapBytes() const {
    return chunks_.size() * kChunk * sizeof(T) + chunks_.capacity() * sizeof(chunks_[0]);
  }

 private:
  T& At(std::size_t i) const {
    return std::launder(reinterpret_cast<T*>(chunks_[i >> ChunkBits].get()))[i & (kChunk - 1)];
  }

  std::vector<TLargeBlock> chunks_;
  std::size_t size_ = 0;
};
