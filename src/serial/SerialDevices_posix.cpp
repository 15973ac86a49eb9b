// Serial device discovery for the port map: /dev names, sysfs and the serial driver.

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/serial.h>
#endif

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <utility>

#include "serial/SerialDevices.h"

namespace fw {
namespace fs = std::filesystem;
namespace {

// Name prefixes in the order their devices get COM numbers. The on-board group is listed
// only where hardware stands behind the name.
struct Group {
  const char* prefix;
  bool onBoard;
};
constexpr Group kGroups[] = {
    {"ttyUSB", false},      {"ttyACM", false}, {"cu.usbserial", false},
    {"cu.usbmodem", false}, {"ttyS", true},
};

// The number at the end of a name (ttyUSB12 -> 12), -1 if there is none.
long TrailingNumber(const std::string& name) {
  size_t i = name.size();
  while (i > 0 && std::isdigit(static_cast<unsigned char>(name[i - 1])) != 0) {
    --i;
  }
  if (i == name.size() || name.size() - i > 9) {
    return -1;
  }
  return std::stol(name.substr(i));
}

std::string Canonical(const fs::path& p) {
  std::error_code ec;
  fs::path c = fs::canonical(p, ec);
  return ec ? std::string() : c.string();
}

// sysfs: the port's device is a real one (PNP, PCI, USB ...) rather than the platform
// placeholder that the 8250 driver registers for every possible ttyS. Newer kernels put
// port devices of the "serial-base" bus in between; the controller above them decides.
bool SysfsShowsHardware(const std::string& name, const std::string& sysfsRoot) {
  fs::path device = fs::path(sysfsRoot) / "class" / "tty" / name / "device";
  std::string real = Canonical(device);
  for (int depth = 0; depth < 4 && !real.empty(); ++depth) {
    std::string subsystem = fs::path(Canonical(fs::path(real) / "subsystem")).filename().string();
    if (subsystem != "serial-base") {
      return !subsystem.empty() && subsystem != "platform";
    }
    real = fs::path(real).parent_path().string();
  }
  return false;
}

// The serial driver: the port has a known UART type.
bool DriverShowsHardware(const std::string& path) {
#if defined(__linux__) && defined(TIOCGSERIAL)
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    return false;  // a port without hardware does not even open
  }
  struct serial_struct info = {};
  bool known = ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
  ::close(fd);
  return known;
#else
  (void)path;
  return true;
#endif
}

// On-board hardware does not come and go while the program runs: each port is checked once.
bool HasHardware(const std::string& path, const std::string& name, const std::string& sysfsRoot) {
  static std::mutex mutex;
  static std::map<std::pair<std::string, std::string>, bool> cache;
  std::lock_guard<std::mutex> lock(mutex);
  auto key = std::make_pair(path, sysfsRoot);
  auto it = cache.find(key);
  if (it != cache.end()) {
    return it->second;
  }
  bool real = SysfsShowsHardware(name, sysfsRoot) || DriverShowsHardware(path);
  cache.emplace(key, real);
  return real;
}

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

}  // namespace

std::vector<std::string> SystemSerialDevices(const std::string& deviceDir,
                                             const std::string& sysfsRoot) {
  struct Found {
    size_t group;
    long number;
    std::string name;
  };
  std::vector<Found> found;
  std::error_code ec;
  for (fs::directory_iterator it(deviceDir, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    for (size_t g = 0; g < std::size(kGroups); ++g) {
      std::string prefix = kGroups[g].prefix;
      if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) {
        continue;
      }
      long number = TrailingNumber(name);
      // ttyS names are ttyS<number> only; the USB groups may carry serial numbers.
      if (kGroups[g].onBoard && (number < 0 || name.size() - prefix.size() > 9 ||
                                 std::to_string(number) != name.substr(prefix.size()))) {
        break;
      }
      if (kGroups[g].onBoard && !HasHardware(it->path().string(), name, sysfsRoot)) {
        break;
      }
      found.push_back({g, number, name});
      break;
    }
  }
  std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
    if (a.group != b.group) {
      return a.group < b.group;
    }
    if (a.number != b.number) {
      return a.number < b.number;
    }
    return a.name < b.name;
  });
  std::vector<std::string> paths;
  for (const Found& f : found) {
    paths.push_back((fs::path(deviceDir) / f.name).string());
  }
  return paths;
}

std::string UsbProductName(const std::string& devicePath, const std::string& sysfsRoot) {
  std::string resolved = Canonical(devicePath);
  std::string name = fs::path(resolved.empty() ? devicePath : resolved).filename().string();
  if (name.empty()) {
    return std::string();
  }
  std::string root = Canonical(sysfsRoot);
  std::string dir = Canonical(fs::path(sysfsRoot) / "class" / "tty" / name / "device");
  if (root.empty() || dir.empty()) {
    return std::string();
  }
  // Up from the tty's device (a USB interface, or the adapter itself) to the USB device,
  // which carries the product name.
  fs::path p(dir);
  for (int depth = 0; depth < 6; ++depth) {
    std::string here = p.string();
    if (here.size() <= root.size() || here.compare(0, root.size(), root) != 0) {
      break;
    }
    std::string product = FirstLine(p / "product");
    if (!product.empty()) {
      return product;
    }
    p = p.parent_path();
  }
  return std::string();
}

std::string PortFriendlyName(int /*comNumber*/) {
  return std::string();
}

}  // namespace fw
