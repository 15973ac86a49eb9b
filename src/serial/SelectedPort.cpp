#include "serial/SelectedPort.h"

#include <atomic>

namespace fw {
namespace {
std::atomic<int> g_selectedPort{0};
}

int SelectedPortNumber() {
  return g_selectedPort.load();
}
void SetSelectedPortNumber(int portNumber) {
  g_selectedPort.store(portNumber);
}

}  // namespace fw
