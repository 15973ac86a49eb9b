// The adapter behind a COM port on Windows. Filled in from the system's device information.

#include "serial/UsbAdapter.h"

namespace fw {

AdapterInfo DescribeAdapter(const std::string& devicePath) {
  AdapterInfo info;
  info.devicePath = devicePath;
  return info;
}

int LatencyLimitMs() {
  return 2;
}

std::string SlowLatencyAdvice(const AdapterInfo& info) {
  (void)info;
  return std::string();
}

bool DeviceGone(const std::string& devicePath) {
  (void)devicePath;
  return false;
}

}  // namespace fw
