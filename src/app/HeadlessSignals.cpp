#include "app/HeadlessSignals.h"

#include "core/WritePhase.h"

namespace fw {
namespace {

InterruptFlags g_flags;
std::atomic<int> g_runFinished{0};

}  // namespace

InterruptFlags& Interrupts() {
  return g_flags;
}

void ClearInterruptFlags() {
  g_flags.stopAsked = 0;
  g_flags.warned = 0;
  g_flags.hungUp = 0;
  g_flags.interrupts = 0;
  g_runFinished = 0;
}

void OnInterruptRequest(bool warn) {
  ++g_flags.interrupts;
  if (g_flags.stopAsked != 0) {
    return;
  }
  if (g_flags.warned == 0 && RadioBeingWritten()) {
    g_flags.warned = 1;
    if (warn) {
      WriteHalfWrittenWarning();
    }
    return;
  }
  g_flags.stopAsked = 1;
}

void OnHangUpRequest() {
  g_flags.hungUp = 1;
}

void MarkInterruptibleRunFinished() {
  g_runFinished = 1;
}

bool InterruptibleRunFinished() {
  return g_runFinished != 0;
}

}  // namespace fw
