// The adapter behind a serial device on POSIX systems, from sysfs (Linux): the tty's device
// is the port of a USB serial driver (ttyUSB: ftdi_sio, cp210x, ch341, pl2303 ...) or a USB
// interface (ttyACM: cdc_acm); the USB device above it carries idVendor, idProduct, serial
// and product; ftdi_sio's port has the latency timer.

#include <errno.h>
#include <sys/stat.h>

#include <cctype>
#include <filesystem>
#include <fstream>

#include "serial/UsbAdapter.h"

namespace fw {
namespace fs = std::filesystem;
namespace {

std::string FirstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  if (!in || !std::getline(in, line)) {
    return std::string();
  }
  while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())) != 0) {
    line.pop_back();
  }
  return line;
}

std::string Canonical(const fs::path& p) {
  std::error_code ec;
  fs::path c = fs::canonical(p, ec);
  return ec ? std::string() : c.string();
}

bool Under(const std::string& path, const std::string& root) {
  return path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
         path[root.size()] == '/';
}

bool IsHex4(const std::string& s) {
  if (s.size() != 4) {
    return false;
  }
  for (char c : s) {
    if (std::isxdigit(static_cast<unsigned char>(c)) == 0) {
      return false;
    }
  }
  return true;
}

std::string Lower(std::string s) {
  for (char& c : s) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return s;
}

}  // namespace

AdapterInfo DescribeAdapterIn(const std::string& devicePath, const std::string& sysfsRoot) {
  AdapterInfo info;
  info.devicePath = devicePath;
  const std::string resolved = Canonical(devicePath);
  const std::string name = fs::path(resolved.empty() ? devicePath : resolved).filename().string();
  const std::string root = Canonical(sysfsRoot);
  if (name.empty() || root.empty()) {
    return info;
  }
  const std::string port = Canonical(fs::path(sysfsRoot) / "class" / "tty" / name / "device");
  if (port.empty() || !Under(port, root)) {
    return info;
  }
  // ftdi_sio's port device holds the timer (it reads 1 while the port is in low latency).
  const std::string latency = FirstLine(fs::path(port) / "latency_timer");
  if (!latency.empty() && latency.size() < 6 &&
      latency.find_first_not_of("0123456789") == std::string::npos) {
    info.latencyMs = std::stoi(latency);
  }
  // Up from the port to the USB device: the first driver met is the port's.
  fs::path p(port);
  for (int depth = 0; depth < 6 && Under(p.string(), root); ++depth, p = p.parent_path()) {
    if (info.driver.empty()) {
      const std::string driver = Canonical(p / "driver");
      if (!driver.empty()) {
        info.driver = fs::path(driver).filename().string();
      }
    }
    const std::string vendor = FirstLine(p / "idVendor");
    const std::string product = FirstLine(p / "idProduct");
    if (IsHex4(vendor) && IsHex4(product)) {
      info.vendorProduct = Lower(vendor) + ":" + Lower(product);
      info.serial = FirstLine(p / "serial");
      info.product = FirstLine(p / "product");
      break;
    }
  }
  return info;
}

AdapterInfo DescribeAdapter(const std::string& devicePath) {
  return DescribeAdapterIn(devicePath, "/sys");
}

int LatencyLimitMs() {
  return 1;
}

std::string SlowLatencyAdvice(const AdapterInfo& info) {
  if (info.latencyMs <= LatencyLimitMs()) {
    return std::string();
  }
  const std::string driver = info.driver.empty() ? std::string("ftdi_sio") : info.driver;
  return "The adapter " + info.devicePath + " (" + AdapterSummary(info) +
         ") holds the radio's replies back up to " + std::to_string(info.latencyMs) +
         " ms: its driver did not take the request for low latency, so every exchange waits "
         "longer. To set its latency timer to 1 ms for good, add the udev rule\n"
         "    ACTION==\"add\", SUBSYSTEM==\"usb-serial\", DRIVER==\"" +
         driver +
         "\", ATTR{latency_timer}=\"1\"\n"
         "to /etc/udev/rules.d/99-usb-serial-latency.rules, then run\n"
         "    sudo udevadm control --reload\n"
         "and plug the adapter in again.";
}

bool DeviceGone(const std::string& devicePath) {
  struct stat st;
  return ::stat(devicePath.c_str(), &st) != 0 && (errno == ENOENT || errno == ENODEV);
}

}  // namespace fw
