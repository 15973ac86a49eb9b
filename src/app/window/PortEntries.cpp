#include "app/window/PortEntries.h"

#include <cctype>
#include <limits>

#include "serial/PortMap.h"
#include "serial/SerialDevices.h"
#include "serial/UsbAdapter.h"

namespace fw {

std::vector<FoundPort> ScanPorts16(const OpenCheck& check) {
  std::vector<FoundPort> found;
  for (const PortMap::ScannedPort& p : GlobalPortMap().ScanPortList(check)) {
    if (p.number >= 1 && p.number <= PortMap::kMaxPort) {
      found.push_back({p.number, p.devicePath, p.access});
    }
  }
  return found;
}

std::string EntryText(const FoundPort& port) {
  std::string text = "COM" + std::to_string(port.number);
  const char* mark = PortListMark(port.access);
  if (mark[0] != '\0') {
    text += std::string(" (") + mark + ")";
  }
  return text;
}

int EntryToNumber(const std::string& entry) {
  int value = 0;
  for (size_t i = 3; i < entry.size(); ++i) {
    const char c = entry[i];
    if (c < '0' || c > '9') {
      break;
    }
    const int digit = c - '0';
    if (value > (std::numeric_limits<int>::max() - digit) / 10) {
      break;  // no port number is that long; keep what fits
    }
    value = value * 10 + digit;
  }
  return value;
}

std::string PortToolTip(int portNumber, const std::string& devicePath, PortAccess access) {
  std::string tip = devicePath;
  const std::string product = GlobalPortMap().ProductName(portNumber);
  if (!product.empty()) {
    tip += " (" + product + ")";
  }
  const std::string friendly = PortFriendlyName(portNumber);
  if (!friendly.empty()) {
    tip += "\n" + friendly;
  }
  const std::string adapter = AdapterSummary(DescribeAdapter(devicePath));
  if (!adapter.empty()) {
    tip += "\n" + adapter;
  }
  // A latency timer that stayed long during a job, with the rule that fixes it.
  const std::string latency = NotedLatencyAdvice(devicePath);
  if (!latency.empty()) {
    tip += "\n" + latency;
  }
  const std::string more = access == PortAccess::kNotPermitted
                               ? PermissionAdvice(devicePath, GroupOfDevice(devicePath))
                               : OtherProgramsOnPort(devicePath);
  if (!more.empty()) {
    tip += "\n" + more;
  }
  return tip;
}

int SavedPortIndex(const std::vector<std::string>& entries, int selected) {
  const std::string wanted = "COM" + std::to_string(selected);
  for (size_t i = 0; i < entries.size(); ++i) {
    std::string name = entries[i].substr(0, entries[i].find(' '));
    if (name.size() != wanted.size()) {
      continue;
    }
    bool same = true;
    for (size_t k = 0; k < name.size() && same; ++k) {
      same = std::toupper(static_cast<unsigned char>(name[k])) ==
             std::toupper(static_cast<unsigned char>(wanted[k]));
    }
    if (same) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

}  // namespace fw
