// Windows numbers its COM ports itself: the port map needs no device list.

#include "serial/SerialDevices.h"

namespace fw {

std::vector<std::string> SystemSerialDevices(const std::string& /*deviceDir*/,
                                             const std::string& /*sysfsRoot*/) {
  return {};
}

std::string UsbProductName(const std::string& /*devicePath*/, const std::string& /*sysfsRoot*/) {
  return std::string();
}

std::string PortFriendlyName(int /*comNumber*/) {
  return std::string();
}

}  // namespace fw
