#pragma once
// The bench: one panel per chosen COM port in the main window, each running its own job at
// the same time as the others. Chosen by the settings file ("BenchMode", "BenchPorts"), by
// the window program's options (--bench, --bench-ports=1,2,5) or in the window's menu.
// No Qt here: the program's command line is checked before any window system is touched.

#include <optional>
#include <string>
#include <vector>

namespace fw {

inline constexpr const char* kBenchModeKey = "BenchMode";
inline constexpr const char* kBenchPortsKey = "BenchPorts";

// What the bench shows: whether it is on, and its ports (empty: every port the scan found).
struct BenchChoice {
  bool on = false;
  std::vector<int> ports;
  bool operator==(const BenchChoice&) const = default;
};

// "1,2,5" -> {1, 2, 5}: COM numbers 1..16, separated by commas (blanks around them
// allowed), each once. nullopt when the text is not such a list; an empty text is an empty
// list.
std::optional<std::vector<int>> ParseBenchPorts(const std::string& text);
// {1, 2, 5} -> "1,2,5".
std::string FormatBenchPorts(const std::vector<int>& ports);

// The window program's bench options: "--bench", "--bench-ports=LIST" or "--bench-ports
// LIST" (which also turns the bench on). Removes them from `args` and returns what they
// ask for: nullopt when none was given. A bad list sets `error`.
std::optional<BenchChoice> TakeBenchOptions(std::vector<std::string>& args, std::string& error);

// The bench as the settings file at `settingsPath` holds it: "BenchMode" (0 or 1) and
// "BenchPorts" (a list as above; a bad list counts as none: every port found).
BenchChoice LoadBenchChoice(const std::string& settingsPath);
// Writes "BenchMode" and "BenchPorts" back to the settings file, when it can be written and
// the bench is on or the file already holds "BenchMode" (a window that never used the bench
// leaves the file as it was). Returns true when they were written.
bool SaveBenchChoice(const std::string& settingsPath, const BenchChoice& choice);

}  // namespace fw
