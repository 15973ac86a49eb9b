#pragma once
// Whether the radio is being written right now: the main firmware's blocks (from the
// radio's "Waiting" answer, after which its old firmware is gone, to the closing block),
// the radio's data and font library, and the firmware chip's flash (from the erase to
// the leave command). A job stopped then leaves the radio half-written, so the front ends
// ask for a second interrupt before they stop it.
//
// RadioBeingWritten() reads a lock-free atomic and may be called from a signal handler.

namespace fw {

bool RadioBeingWritten();

// Marks the radio as being written for its lifetime (or until End()).
class RadioWriteScope {
 public:
  RadioWriteScope();
  ~RadioWriteScope();
  RadioWriteScope(const RadioWriteScope&) = delete;
  RadioWriteScope& operator=(const RadioWriteScope&) = delete;
  void End();

 private:
  bool active_ = true;
};

}  // namespace fw
