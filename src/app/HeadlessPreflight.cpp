#include "app/HeadlessPreflight.h"

#include <algorithm>
#include <iterator>

namespace fw {
namespace {

// The window's own option, and the options that Qt takes from the command line of any
// program (those with a value take the next argument, or "=value").
constexpr const char* kWindowOptionsWithValue[] = {
    "--program-dir",    "-platform",     "-platformpluginpath", "-platformtheme", "-plugin",
    "-qwindowgeometry", "-qwindowicon",  "-qwindowtitle",       "-session",       "-style",
    "-stylesheet",      "-display",      "-geometry",           "-title",         "-name",
    "-dialogs",         "-qmljsdebugger"};
constexpr const char* kWindowFlags[] = {"-reverse", "-widgetcount", "-nograb", "-dograb", "-sync"};

[[maybe_unused]] bool Set(const std::function<const char*(const char*)>& environment,
                          const char* name) {
  const char* value = environment(name);
  return value != nullptr && value[0] != '\0';
}

// The name of an option given as "name=value", or the whole argument.
std::string OptionName(const std::string& arg) {
  const size_t equals = arg.find('=');
  return equals == std::string::npos ? arg : arg.substr(0, equals);
}

}  // namespace

Preflight CheckCommandLine(const std::vector<std::string>& args,
                           const std::function<const char*(const char*)>& environment) {
  for (const std::string& a : args) {
    if (a == "--version" || a == "-V") {
      return {PreflightAction::kVersion, {}};
    }
  }
  if (std::find(args.begin(), args.end(), "--headless") != args.end()) {
    return {};
  }
  bool platformGiven = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      return {PreflightAction::kHelp, {}};
    }
    const std::string name = OptionName(a);
    const bool hasValue =
        std::find_if(std::begin(kWindowOptionsWithValue), std::end(kWindowOptionsWithValue),
                     [&](const char* o) { return name == o; }) != std::end(kWindowOptionsWithValue);
    if (hasValue) {
      if (name == a) {  // the value is the next argument
        if (i + 1 >= args.size()) {
          return {PreflightAction::kUsageError, a + " needs a value"};
        }
        ++i;
      }
      platformGiven = platformGiven || name == "-platform";
      continue;
    }
    if (std::find_if(std::begin(kWindowFlags), std::end(kWindowFlags),
                     [&](const char* o) { return a == o; }) != std::end(kWindowFlags)) {
      continue;
    }
    if (!a.empty() && a[0] == '-') {
      return {PreflightAction::kUsageError, "unknown option " + a};
    }
    return {PreflightAction::kUsageError, "unexpected argument " + a};
  }
#if defined(__linux__) || defined(__FreeBSD__) || defined(__OpenBSD__) || defined(__NetBSD__)
  // X11 or Wayland; a platform chosen explicitly (offscreen, vnc, eglfs ...) needs neither.
  if (!platformGiven && !Set(environment, "DISPLAY") && !Set(environment, "WAYLAND_DISPLAY") &&
      !Set(environment, "QT_QPA_PLATFORM")) {
    return {PreflightAction::kNoDisplay,
            "there is no display to open the window on (neither DISPLAY nor WAYLAND_DISPLAY is "
            "set).\nTo upgrade on the terminal, run: Flashwright --headless [options]; "
            "Flashwright --headless --help lists them."};
  }
#else
  (void)platformGiven;
  (void)environment;
#endif
  return {};
}

}  // namespace fw
