#include "core/WritePhase.h"

#include <atomic>

namespace fw {
namespace {

std::atomic<int> g_writers{0};
static_assert(std::atomic<int>::is_always_lock_free, "read from a signal handler");

}  // namespace

bool RadioBeingWritten() {
  return g_writers.load() > 0;
}

RadioWriteScope::RadioWriteScope() {
  ++g_writers;
}

RadioWriteScope::RadioWriteScope(std::atomic<int>& jobWriting) : jobWriting_(&jobWriting) {
  ++g_writers;
  ++jobWriting;
}

RadioWriteScope::~RadioWriteScope() {
  End();
}

void RadioWriteScope::End() {
  if (active_) {
    active_ = false;
    --g_writers;
    if (jobWriting_ != nullptr) {
      --*jobWriting_;
    }
  }
}

}  // namespace fw
