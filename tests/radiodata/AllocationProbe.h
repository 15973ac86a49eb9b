#pragma once
// Watches the heap while a test runs a piece of code: records the largest single
// allocation, and (outside sanitizer builds) refuses any allocation above a limit with
// std::bad_alloc, so that a faulty loader cannot take the machine's memory down.

#include <cstddef>

namespace fw::test {

class AllocationProbe {
 public:
  explicit AllocationProbe(size_t limit);
  ~AllocationProbe();
  AllocationProbe(const AllocationProbe&) = delete;
  AllocationProbe& operator=(const AllocationProbe&) = delete;
  size_t Largest() const;
};

}  // namespace fw::test
