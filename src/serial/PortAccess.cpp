// The texts and decisions of serial-port access; the system calls are in
// PortAccess_posix.cpp and PortAccess_win32.cpp.

#include "serial/PortAccess.h"

#include <cerrno>
#include <cstring>

namespace fw {
namespace {

constexpr const char* kModemManager = "ModemManager";

bool Has(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

PortAccess ClassifyOpenError(int error) {
  switch (error) {
    case 0:
      return PortAccess::kFree;
    case EACCES:
    case EPERM:
      return PortAccess::kNotPermitted;
    case EBUSY:
    case EWOULDBLOCK:
      return PortAccess::kInUse;
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return PortAccess::kGone;
    default:
      return PortAccess::kUnusable;
  }
}

bool ShownInPortList(PortAccess access) {
  return access == PortAccess::kFree || access == PortAccess::kNotPermitted;
}

const char* PortListMark(PortAccess access) {
  return access == PortAccess::kNotPermitted ? "no permission" : "";
}

std::string PermissionAdvice(const std::string& devicePath, const DeviceGroup& group) {
  const std::string device = devicePath.empty() ? "the serial device" : devicePath;
  const bool usual = group.name.empty() || group.name == "root";
  const std::string name = usual ? "dialout" : group.name;
  if (group.userIsMember && !usual) {
    return "Your user is in the group \"" + name + "\" that may open " + device +
           ", but this session began before it was added: log out and in again (or "
           "restart the computer).";
  }
  return "Your user may not open " + device + ". Add yourself to the group \"" + name +
         "\" that owns it:\n    sudo usermod -aG " + name +
         " $USER\nthen log out and in again (or restart the computer).";
}

std::string GoneAdvice(const std::string& devicePath) {
  return devicePath +
         " is not there (any more): the adapter was unplugged or got another "
         "name. Plug it in again and choose its port anew.";
}

std::string HoldersText(const std::string& devicePath, const std::vector<PortHolder>& holders) {
  if (holders.empty()) {
    return std::string();
  }
  std::string names;
  bool modemManager = false;
  for (const PortHolder& h : holders) {
    names += (names.empty() ? "" : ", ") + h.name + " (pid " + std::to_string(h.pid) + ")";
    modemManager = modemManager || h.name == kModemManager;
  }
  std::string text = devicePath + " is open in " +
                     (holders.size() == 1 ? "another program: " : "other programs: ") + names +
                     ". A program that reads the port takes the radio's replies; close it "
                     "before the upgrade.";
  if (modemManager) {
    text +=
        "\nModemManager probes every new USB serial device for a modem. Stop it while you "
        "upgrade:\n    sudo systemctl stop ModemManager\nor have it leave the adapter alone "
        "with a udev rule that sets ENV{ID_MM_DEVICE_IGNORE}=\"1\" for it.";
  }
  return text;
}

std::string OtherProgramsOnPort(const std::string& devicePath) {
  if (devicePath.empty()) {
    return std::string();
  }
  return HoldersText(devicePath, PortHolders(devicePath, "/proc", CurrentProcessId()));
}

std::string OpenFailureText(const std::string& devicePath, int error) {
  std::string text = std::strerror(error);
  switch (ClassifyOpenError(error)) {
    case PortAccess::kNotPermitted:
      return text + "\n" + PermissionAdvice(devicePath, GroupOfDevice(devicePath));
    case PortAccess::kGone:
      return text + "\n" + GoneAdvice(devicePath);
    default:
      return text;
  }
}

std::string WithPermissionAdvice(const std::string& reason, const std::string& devicePath) {
  if ((!Has(reason, "Permission denied") && !Has(reason, "Operation not permitted")) ||
      Has(reason, "usermod")) {
    return reason;
  }
  return reason + "\n\n" + PermissionAdvice(devicePath, GroupOfDevice(devicePath));
}

}  // namespace fw
