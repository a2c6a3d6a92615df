#include "allocation_count.h"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <new>

// glibc's own allocator under its exported internal names; the replacements
// below count and hand over to it, so memory from either side may be freed
// by the other.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* memory, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* memory);
}

namespace {

std::atomic<std::uint64_t> allocations{0};

void CountOne() { allocations.fetch_add(1, std::memory_order_relaxed); }

}  // namespace

namespace bench {

std::uint64_t AllocationCount() {
  return allocations.load(std::memory_order_relaxed);
}

}  // namespace bench

// glibc routes its own allocations (stdio buffers, FILE objects) through
// these too, so a stream that allocated per line would be caught.
extern "C" {

void* malloc(std::size_t size) noexcept {
  CountOne();
  return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size) noexcept {
  CountOne();
  return __libc_calloc(count, size);
}

void* realloc(void* memory, std::size_t size) noexcept {
  CountOne();
  return __libc_realloc(memory, size);
}

void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept {
  CountOne();
  return __libc_memalign(alignment, size);
}

void* memalign(std::size_t alignment, std::size_t size) noexcept {
  CountOne();
  return __libc_memalign(alignment, size);
}

int posix_memalign(void** memory, std::size_t alignment,
                   std::size_t size) noexcept {
  CountOne();
  void* allocated = __libc_memalign(alignment, size);
  if (allocated == nullptr) {
    return ENOMEM;
  }
  *memory = allocated;
  return 0;
}

void free(void* memory) noexcept { __libc_free(memory); }

}  // extern "C"

// libstdc++'s operator new would reach malloc anyway; replacing it as well
// keeps the count right should it ever take memory elsewhere.
void* operator new(std::size_t size) {
  void* memory = std::malloc(size == 0 ? 1 : size);
  if (memory == nullptr) {
    throw std::bad_alloc();
  }
  return memory;
}

void* operator new[](std::size_t size) { return operator new(size); }

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size == 0 ? 1 : size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size == 0 ? 1 : size);
}

void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept {
  std::free(memory);
}
