#include <sys/mman.h>
#include <unistd.h>

#include <new>
#include <utility>

#include "scan/LargeBlock.h"

namespace {

std::size_t PageSize() {
  static const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  return page;
}

std::size_t RoundUp(std::size_t bytes, std::size_t unit) {
  return (bytes + unit - 1) / unit * unit;
}

}  // namespace

TLargeBlock::TLargeBlock(std::size_t bytes, bool largePages) {
  if (bytes == 0) return;
  const std::size_t size = RoundUp(bytes, largePages ? kLargePage : PageSize());
  void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  // Only advice: where large pages are off or scarce, small ones serve.
  if (largePages) madvise(p, size, MADV_HUGEPAGE);
  data_ = static_cast<char*>(p);
  size_ = size;
}

TLargeBlock::TLargeBlock(TLargeBlock&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

TLargeBlock& TLargeBlock::operator=(TLargeBlock&& other) noexcept {
  if (this != &other) {
    if (data_) munmap(data_, size_);
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

TLargeBlock::~TLargeBlock() {
  if (data_) munmap(data_, size_);
}

void TLargeBlock::Shrink(std::size_t bytes) {
  const std::size_t keep = RoundUp(bytes, PageSize());
  if (!data_ || keep >= size_) return;
  if (keep == 0) {
    munmap(data_, size_);
    data_ = nullptr;
    size_ = 0;
    return;
  }
  if (munmap(data_ + keep, size_ - keep) == 0) size_ = keep;
}
