#pragma once
// Whether the radio is being written right now: the main firmware's blocks (from the
// radio's "Waiting" answer, after which its old firmware is gone, to the closing block),
// the radio's data and font library, and the firmware chip's flash (from the erase to
// the leave command). A job stopped then leaves the radio half-written, so the front ends
// ask for a second interrupt before they stop it.
//
// RadioBeingWritten() reads a lock-free atomic and may be called from a signal handler.

#include <atomic>

namespace fw {

bool RadioBeingWritten();

// Marks the radio as being written for its lifetime (or until End()): for the whole process,
// and in `jobWriting` for the one job (several jobs may run at once, one per port).
class RadioWriteScope {
 public:
  RadioWriteScope();
  explicit RadioWriteScope(std::atomic<int>& jobWriting);
  ~RadioWriteScope();
  RadioWriteScope(const RadioWriteScope&) = delete;
  RadioWriteScope& operator=(const RadioWriteScope&) = delete;
  void End();

 private:
  bool active_ = true;
  std::atomic<int>* jobWriting_ = nullptr;
};

}  // namespace fw
