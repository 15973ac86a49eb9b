// The names of serial ports, the part that is the same on every system.

#include "serial/SerialDevices.h"

#include <cctype>

namespace fw {

namespace {

// The largest COM number Windows gives.
constexpr int kLastComNumber = 256;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

int ComNumberOf(const std::string& name) {
  // The name ends with the number, or with the number in brackets (a friendly name).
  size_t end = name.size();
  if (end > 0 && name[end - 1] == ')') {
    --end;
  }
  size_t first = end;
  while (first > 0 && IsDigit(name[first - 1])) {
    --first;
  }
  if (first == end || first < 3 || end - first > 3) {
    return 0;
  }
  const std::string com = name.substr(first - 3, 3);
  for (size_t i = 0; i < 3; ++i) {
    if (std::toupper(static_cast<unsigned char>(com[i])) != "COM"[i]) {
      return 0;
    }
  }
  // What comes before "COM": nothing, a path's backslash, or the bracket of a friendly name
  // (matching the one at the end).
  const size_t before = first - 3;
  const bool bracketed = end < name.size();
  if (bracketed ? (before == 0 || name[before - 1] != '(')
                : (before != 0 && name[before - 1] != '\\')) {
    return 0;
  }
  if (name[first] == '0') {
    return 0;
  }
  const int number = std::stoi(name.substr(first, end - first));
  return number <= kLastComNumber ? number : 0;
}

std::string SerialCommName(const std::string& deviceName, int comNumber) {
  if (comNumber <= 0) {
    return std::string();
  }
  std::string device = deviceName;
  const std::string folder = "\\Device\\";
  if (device.size() >= folder.size()) {
    bool inFolder = true;
    for (size_t i = 0; i < folder.size(); ++i) {
      inFolder = inFolder && std::tolower(static_cast<unsigned char>(device[i])) ==
                                 std::tolower(static_cast<unsigned char>(folder[i]));
    }
    if (inFolder) {
      device = device.substr(folder.size());
    }
  }
  if (device.empty()) {
    return std::string();
  }
  return device + " (COM" + std::to_string(comNumber) + ")";
}

}  // namespace fw
