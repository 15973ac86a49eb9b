#include "app/window/BenchOptions.h"

#include <algorithm>

#include "config/Installation.h"
#include "config/Settings.h"
#include "platform/Profile.h"

namespace fw {
namespace {

constexpr int kHighestPort = 16;

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) {
    return std::string();
  }
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

std::optional<std::vector<int>> ParseBenchPorts(const std::string& text) {
  std::vector<int> ports;
  if (Trimmed(text).empty()) {
    return ports;
  }
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    const std::string item =
        Trimmed(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (item.empty() || item.size() > 2 ||
        !std::all_of(item.begin(), item.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      return std::nullopt;
    }
    const int number = std::stoi(item);
    if (number < 1 || number > kHighestPort ||
        std::find(ports.begin(), ports.end(), number) != ports.end()) {
      return std::nullopt;
    }
    ports.push_back(number);
    if (comma == std::string::npos) {
      return ports;
    }
    start = comma + 1;
  }
}

std::string FormatBenchPorts(const std::vector<int>& ports) {
  std::string text;
  for (int port : ports) {
    if (!text.empty()) {
      text += ',';
    }
    text += std::to_string(port);
  }
  return text;
}

std::optional<BenchChoice> TakeBenchOptions(std::vector<std::string>& args, std::string& error) {
  std::optional<BenchChoice> choice;
  std::vector<std::string> rest;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--bench") {
      if (!choice) {
        choice.emplace();
      }
      choice->on = true;
      continue;
    }
    const bool joined = a.rfind("--bench-ports=", 0) == 0;
    if (a == "--bench-ports" || joined) {
      std::string list;
      if (joined) {
        list = a.substr(a.find('=') + 1);
      } else if (i + 1 < args.size()) {
        list = args[++i];
      } else {
        error = "--bench-ports needs a list of COM numbers (--bench-ports=1,2,5)";
        return std::nullopt;
      }
      std::optional<std::vector<int>> ports = ParseBenchPorts(list);
      if (!ports || ports->empty()) {
        error = "--bench-ports: \"" + list +
                "\" is not a list of COM numbers 1..16, each once (--bench-ports=1,2,5)";
        return std::nullopt;
      }
      if (!choice) {
        choice.emplace();
      }
      choice->on = true;
      choice->ports = *ports;
      continue;
    }
    rest.push_back(a);
  }
  args = std::move(rest);
  return choice;
}

BenchChoice LoadBenchChoice(const std::string& settingsPath) {
  BenchChoice choice;
  if (settingsPath.empty()) {
    return choice;
  }
  const Profile profile = Profile::Load(settingsPath);
  choice.on = profile.GetInt(kSettingsSection, kBenchModeKey, 0) == 1;
  choice.ports = ParseBenchPorts(profile.GetString(kSettingsSection, kBenchPortsKey, ""))
                     .value_or(std::vector<int>());
  return choice;
}

bool SaveBenchChoice(const std::string& settingsPath, const BenchChoice& choice) {
  if (settingsPath.empty() || !SettingsWritable(settingsPath)) {
    return false;
  }
  if (!choice.on &&
      Profile::Load(settingsPath).GetString(kSettingsSection, kBenchModeKey, "").empty()) {
    return false;
  }
  bool ok =
      ProfileWriteString(kSettingsSection, kBenchModeKey, choice.on ? "1" : "0", settingsPath);
  ok = ProfileWriteString(kSettingsSection, kBenchPortsKey, FormatBenchPorts(choice.ports),
                          settingsPath) &&
       ok;
  return ok;
}

}  // namespace fw
