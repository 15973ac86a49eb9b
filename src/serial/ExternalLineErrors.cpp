#include "serial/ExternalLineErrors.h"

#include <map>
#include <mutex>
#include <utility>

namespace fw {
namespace {

struct Registry {
  std::mutex mutex;
  std::map<std::string, std::function<uint64_t()>> counters;
};

Registry& TheRegistry() {
  static Registry* registry = new Registry;  // never destroyed: ports may close late
  return *registry;
}

}  // namespace

void SetExternalLineErrorCounter(const std::string& devicePath, std::function<uint64_t()> counter) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  if (counter) {
    r.counters[devicePath] = std::move(counter);
  } else {
    r.counters.erase(devicePath);
  }
}

bool ExternalLineErrorCount(const std::string& devicePath, uint64_t& total) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.counters.find(devicePath);
  if (it == r.counters.end()) {
    return false;
  }
  total = it->second();
  return true;
}

}  // namespace fw
