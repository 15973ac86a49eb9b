// The adapter texts, the notices and the remembered identities; what the system says of an
// adapter is in UsbAdapter_posix.cpp and UsbAdapter_win32.cpp.

#include "serial/UsbAdapter.h"

#include <cctype>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>

#include "serial/PortAccess.h"

namespace fw {
namespace {

// Process-wide and belonging to the process: what the adapters said when they were opened,
// and which devices' notices were given. Guarded by one mutex: jobs open ports on their own
// threads.
struct AdapterMemory {
  std::mutex mutex;
  std::map<std::string, AdapterInfo> opened;
  std::map<std::string, std::string> latencyAdvice;
  std::vector<std::string> pending;
};

AdapterMemory& Memory() {
  static AdapterMemory memory;
  return memory;
}

constexpr int kGoneGraceSteps = 15;
constexpr int kGoneGraceStepMs = 50;

bool LooksUsb(const std::string& path) {
  return path.find("ttyUSB") != std::string::npos || path.find("ttyACM") != std::string::npos ||
         path.find("/serial/by-id/") != std::string::npos ||
         path.find("cu.usb") != std::string::npos;
}

std::string Upper(std::string s) {
  for (char& c : s) {
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return s;
}

std::string Lower(std::string s) {
  for (char& c : s) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return s;
}

// The four hex digits after `tag` ("VID_", "PID_") in a hardware or instance id.
std::string IdPart(const std::string& id, const char* tag) {
  const size_t at = Upper(id).find(tag);
  if (at == std::string::npos || at + 8 > id.size()) {
    return std::string();
  }
  const std::string digits = id.substr(at + 4, 4);
  for (char c : digits) {
    if (std::isxdigit(static_cast<unsigned char>(c)) == 0) {
      return std::string();
    }
  }
  return Lower(digits);
}

// FTDIBUS\VID_0403+PID_6001+A50285BIA\0000: the serial number with the port letter the driver
// adds; USB\VID_10C4&PID_EA60\0001: the last part, unless the system made it up (it holds '&').
std::string SerialFromInstance(const std::string& instance) {
  const size_t plus = instance.rfind('+');
  if (plus != std::string::npos) {
    const size_t end = instance.find('\\', plus);
    std::string serial = instance.substr(plus + 1, end == std::string::npos ? end : end - plus - 1);
    if (serial.size() > 1 && serial.back() == 'A') {
      serial.pop_back();
    }
    return serial;
  }
  const size_t slash = instance.rfind('\\');
  if (slash == std::string::npos || Upper(instance).rfind("USB\\", 0) != 0) {
    return std::string();
  }
  const std::string last = instance.substr(slash + 1);
  return last.find('&') == std::string::npos ? last : std::string();
}

}  // namespace

void AdapterIdsFromWindows(const std::string& hardwareId, const std::string& instanceId,
                           AdapterInfo& info) {
  const std::string vendor = IdPart(hardwareId, "VID_");
  const std::string product = IdPart(hardwareId, "PID_");
  if (!vendor.empty() && !product.empty()) {
    info.vendorProduct = vendor + ":" + product;
  }
  info.serial = SerialFromInstance(instanceId);
}

std::string AdapterSummary(const AdapterInfo& info) {
  std::string text = info.driver;
  auto add = [&text](const std::string& part) { text += (text.empty() ? "" : ", ") + part; };
  if (info.IsUsb()) {
    add("USB " + info.vendorProduct);
  }
  if (!info.serial.empty()) {
    add("serial " + info.serial);
  }
  if (info.latencyMs >= 0) {
    add("latency " + std::to_string(info.latencyMs) + " ms");
  }
  return text;
}

void NoteSlowLatency(const AdapterInfo& info) {
  const std::string advice = SlowLatencyAdvice(info);
  if (advice.empty() || info.devicePath.empty()) {
    return;
  }
  AdapterMemory& m = Memory();
  std::lock_guard<std::mutex> lock(m.mutex);
  if (m.latencyAdvice.emplace(info.devicePath, advice).second) {
    m.pending.push_back(advice);
  }
}

std::vector<std::string> TakeAdapterNotices() {
  AdapterMemory& m = Memory();
  std::lock_guard<std::mutex> lock(m.mutex);
  std::vector<std::string> taken;
  taken.swap(m.pending);
  return taken;
}

std::string NotedLatencyAdvice(const std::string& devicePath) {
  AdapterMemory& m = Memory();
  std::lock_guard<std::mutex> lock(m.mutex);
  auto it = m.latencyAdvice.find(devicePath);
  return it == m.latencyAdvice.end() ? std::string() : it->second;
}

void RememberAdapter(const AdapterInfo& info) {
  if (info.devicePath.empty()) {
    return;
  }
  AdapterMemory& m = Memory();
  std::lock_guard<std::mutex> lock(m.mutex);
  m.opened[info.devicePath] = info;
}

AdapterInfo RememberedAdapter(const std::string& devicePath) {
  AdapterMemory& m = Memory();
  std::lock_guard<std::mutex> lock(m.mutex);
  auto it = m.opened.find(devicePath);
  if (it == m.opened.end()) {
    AdapterInfo none;
    none.devicePath = devicePath;
    return none;
  }
  return it->second;
}

std::string DisconnectedText(const std::string& devicePath, const AdapterInfo& info) {
  const bool usb = info.IsUsb() || !info.driver.empty() || LooksUsb(devicePath);
  std::string text =
      std::string(usb ? "The USB serial adapter " : "The serial device ") + devicePath;
  const std::string summary = AdapterSummary(info);
  if (!summary.empty()) {
    text += " (" + summary + ")";
  }
  return text +
         " was disconnected. Check its plug and cable, plug it in again and start the job "
         "anew; the radio may need to be put into download mode again.";
}

std::string LineTroubleText(const std::string& devicePath) {
  if (devicePath.empty()) {
    return std::string();
  }
  std::string text;
  const AdapterInfo adapter = RememberedAdapter(devicePath);
  bool gone = DeviceGone(devicePath);
  // An adapter being pulled out fails the exchange a moment before the system removes its
  // device node: give a USB adapter that moment before deciding it is still there.
  for (int i = 0; !gone && adapter.IsUsb() && i < kGoneGraceSteps; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(kGoneGraceStepMs));
    gone = DeviceGone(devicePath);
  }
  if (gone) {
    text = DisconnectedText(devicePath, adapter);
  } else if (adapter.IsUsb()) {
    text = "The port's adapter: " + devicePath + " (" + AdapterSummary(adapter) + ").";
  }
  const std::string holders = OtherProgramsOnPort(devicePath);
  if (!holders.empty()) {
    text += (text.empty() ? "" : "\n") + holders;
  }
  return text;
}

}  // namespace fw
