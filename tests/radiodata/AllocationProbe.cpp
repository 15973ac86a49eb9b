#include "AllocationProbe.h"

#include <atomic>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define FW_PROBE_HOOKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define FW_PROBE_HOOKS 1
#endif
#endif

namespace {

std::atomic<bool> g_active{false};
std::atomic<size_t> g_largest{0};
std::atomic<size_t> g_limit{0};

void Record(size_t size) {
  if (!g_active.load(std::memory_order_relaxed))
    return;
  size_t seen = g_largest.load(std::memory_order_relaxed);
  while (size > seen && !g_largest.compare_exchange_weak(seen, size)) {
  }
}

}  // namespace

#ifdef FW_PROBE_HOOKS
// Sanitizer builds own operator new; their allocator reports every allocation here.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*,
                                                                             size_t),
                                                         void (*free_hook)(const volatile void*));

namespace {
void MallocHook(const volatile void*, size_t size) {
  Record(size);
}
void FreeHook(const volatile void*) {}
const int g_hooked = __sanitizer_install_malloc_and_free_hooks(MallocHook, FreeHook);
}  // namespace
#else
namespace {
void* Allocate(size_t size, bool nothrow) {
  Record(size);
  if (g_active.load(std::memory_order_relaxed) && size > g_limit.load()) {
    if (nothrow)
      return nullptr;
    throw std::bad_alloc();
  }
  void* p = std::malloc(size ? size : 1);
  if (!p && !nothrow)
    throw std::bad_alloc();
  return p;
}
}  // namespace

void* operator new(size_t size) {
  return Allocate(size, false);
}
void* operator new[](size_t size) {
  return Allocate(size, false);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  return Allocate(size, true);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
  return Allocate(size, true);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
  std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
#endif

namespace fw::test {

AllocationProbe::AllocationProbe(size_t limit) {
  g_largest = 0;
  g_limit = limit;
  g_active = true;
}

AllocationProbe::~AllocationProbe() {
  g_active = false;
}

size_t AllocationProbe::Largest() const {
  return g_largest.load();
}

}  // namespace fw::test
