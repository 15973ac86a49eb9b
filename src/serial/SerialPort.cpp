// The parts of SerialPort that are the same on every system: opening a port by its COM
// number. The system-specific operations are in SerialPort_posix.cpp and
// SerialPort_win32.cpp.

#include "serial/SerialPort.h"

#include <string>

#include "platform/Clock.h"
#include "serial/PortMap.h"
#include "serial/SelectedPort.h"

namespace fw {

int SerialPort::OpenPort(int portNumber, uint32_t baud, int dataBits, int parity, int stopBits,
                         uint32_t deadlineMs) {
  std::string path = GlobalPortMap().DevicePath(portNumber);
  if (path.empty()) {
    lastError_ = "COM" + std::to_string(portNumber) + " is not mapped to a serial device";
    return 0;
  }
  if (!Open(path)) {
    return 0;
  }
  Configure(baud, dataBits, parity, stopBits);  // a failure shows in the exchange that follows
  SetReadTimeout(deadlineMs);
  Sleep(50);
  return portNumber;
}

int SerialPort::OpenSelectedPort(uint32_t baud, int dataBits, int parity, int stopBits,
                                 int /*ignored*/) {
  int n = OpenPort(SelectedPortNumber(), baud, dataBits, parity, stopBits, 300);
  if (n <= 0) {
    return 0;
  }
  SetReadTimeout(900);
  return n;
}

}  // namespace fw
