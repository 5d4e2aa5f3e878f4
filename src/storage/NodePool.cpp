#include "storage/NodePool.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <new>

namespace parlane {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kLargestSlab = std::size_t{16} << 20;

}  // namespace

NodePool::~NodePool() {
  for (void* slab : slabs_) std::free(slab);
}

std::size_t NodePool::rounded(std::size_t bytes) {
  constexpr std::size_t align = alignof(std::max_align_t);
  return (bytes + align - 1) / align * align;
}

void* NodePool::allocate(std::size_t bytes) {
  const std::size_t size = rounded(bytes);
  if (blockSize_ == 0) blockSize_ = size;
  if (size != blockSize_) return ::operator new(bytes);
  if (free_ != nullptr) {
    void* block = free_;
    free_ = *static_cast<void**>(block);
    return block;
  }
  if (static_cast<std::size_t>(end_ - next_) < blockSize_) addSlab();
  void* block = next_;
  next_ += blockSize_;
  return block;
}

void NodePool::deallocate(void* block, std::size_t bytes) noexcept {
  if (rounded(bytes) != blockSize_) {
    ::operator delete(block);
    return;
  }
  *static_cast<void**>(block) = free_;
  free_ = block;
}

void NodePool::addSlab() {
  // Small folders take small slabs; a large one grows into huge pages.
  const std::size_t bytes = std::max(slabBytes_, blockSize_);
  const std::size_t alignment = bytes >= kHugePage ? kHugePage : 4096;
  void* slab = std::aligned_alloc(alignment, (bytes + alignment - 1) / alignment * alignment);
  if (slab == nullptr) throw std::bad_alloc();
  if (bytes >= kHugePage) ::madvise(slab, bytes, MADV_HUGEPAGE);
  slabs_.push_back(slab);
  next_ = static_cast<char*>(slab);
  end_ = next_ + bytes;
  slabBytes_ = std::min(slabBytes_ * 2, kLargestSlab);
}

}  // namespace parlane
