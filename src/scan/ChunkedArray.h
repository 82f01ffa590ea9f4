#pragma once

#include <cstddef>
#include <memory>
#include <vector>

// A growing array in fixed chunks that never move: appending never copies
// what is there, as a vector's growth would (a scan's hundreds of thousands
// of folder records, copied at each doubling, cost more than recording them).
template <class T, unsigned ChunkBits = 10>
class TChunkedArray {
 public:
  static constexpr std::size_t kChunk = std::size_t{1} << ChunkBits;

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T& operator[](std::size_t i) { return chunks_[i >> ChunkBits][i & (kChunk - 1)]; }
  const T& operator[](std::size_t i) const { return chunks_[i >> ChunkBits][i & (kChunk - 1)]; }

  void push_back(const T& value) {
    if ((size_ & (kChunk - 1)) == 0) chunks_.push_back(std::make_unique<T[]>(kChunk));
    chunks_.back()[size_ & (kChunk - 1)] = value;
    ++size_;
  }
  std::size_t HeapBytes() const {
    return chunks_.size() * kChunk * sizeof(T) + chunks_.capacity() * sizeof(chunks_[0]);
  }

 private:
  std::vector<std::unique_ptr<T[]>> chunks_;
  std::size_t size_ = 0;
};
