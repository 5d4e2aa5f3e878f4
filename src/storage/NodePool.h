#pragma once

#include <cstddef>
#include <utility>
#include <vector>

namespace parlane {

// Blocks of one size for a folder's index entries, carved from large slabs: a million entries
// cost a few hundred page faults (on huge pages where the system offers them on request) instead
// of a million small allocations and a fault every forty of them. A block of another size goes
// to the ordinary allocator. Not thread-safe: its owner's lock guards it.
class NodePool {
 public:
  NodePool() = default;
  ~NodePool();
  NodePool(const NodePool&) = delete;
  NodePool& operator=(const NodePool&) = delete;

  void* allocate(std::size_t bytes);
  void deallocate(void* block, std::size_t bytes) noexcept;

 private:
  static std::size_t rounded(std::size_t bytes);
  void addSlab();

  std::size_t blockSize_ = 0;  // set by the first allocation
  void* free_ = nullptr;       // blocks given back, each holding the next one's address
  char* next_ = nullptr;
  char* end_ = nullptr;
  std::size_t slabBytes_ = std::size_t{64} << 10;
  std::vector<void*> slabs_;
};

// The standard allocator interface over a NodePool, for the nodes of a map.
template <typename T>
class PoolAllocator {
 public:
  using value_type = T;

  explicit PoolAllocator(NodePool& pool) noexcept : pool_(&pool) {}
  template <typename U>
  PoolAllocator(const PoolAllocator<U>& other) noexcept : pool_(other.pool()) {}

  T* allocate(std::size_t n) { return static_cast<T*>(pool_->allocate(n * sizeof(T))); }
  void deallocate(T* block, std::size_t n) noexcept { pool_->deallocate(block, n * sizeof(T)); }

  NodePool* pool() const noexcept { return pool_; }
  template <typename U>
  bool operator==(const PoolAllocator<U>& other) const noexcept {
    return pool_ == other.pool();
  }

 private:
  NodePool* pool_;
};

}  // namespace parlane
