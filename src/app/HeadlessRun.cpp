#include "app/HeadlessRun.h"

#include <unistd.h>

#include <string>
#include <vector>

#include "app/HeadlessOptions.h"
#include "app/HeadlessStartup.h"
#include "app/HeadlessView.h"
#include "core/Progress.h"
#include "font/FontImages.h"
#include "platform/Clock.h"
#include "serial/SelectedPort.h"
#include "workflow/Job.h"

namespace fw {

void PrintHeadlessUsage(std::FILE* out) {
  std::fprintf(out,
               "usage: Flashwright --headless [--program-dir DIR] [--port N]\n"
               "                   [--firmware-only | --chip-only] [--update-chip]\n"
               "                   [--vocoder AMBE|SELP]\n"
               "Runs one upgrade job as the \"Upgrade\" button would, on the installation in DIR\n"
               "(default: the program's folder). Options override the check boxes; without\n"
               "them the settings file decides. Exit status: 0 success, 1 failure, 2 usage.\n");
}

int RunHeadless(int argc, char** argv) {
  HeadlessOptions options;
  std::string error;
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!ParseHeadlessOptions(args, options, error)) {
    std::fprintf(stderr, "Flashwright: %s\n", error.c_str());
    PrintHeadlessUsage(stderr);
    return 2;
  }
  if (options.help) {
    PrintHeadlessUsage(stdout);
    return 0;
  }
  InstallClockFromEnvironment();

  std::string programDir = options.programDir.empty() ? ExecutableFolder() : options.programDir;
  if (programDir.back() != '/') {
    programDir += '/';
  }

  HeadlessView view(stdout, isatty(STDOUT_FILENO) == 1);
  UpgradeState state;
  state.SetView(&view);
  PrepareInstallation(state, programDir, options.vocoder);

  // What the dialog would copy from its controls: the settings' state, then the options.
  JobInputs inputs;
  inputs.chipOnly = options.chipOnly;
  inputs.firmwareOnly = options.firmwareOnly || (!options.chipOnly && state.readWriteLog == 3);
  inputs.updateChip = options.updateChip || state.updateChip != 0;
  inputs.hexFilePath = state.hexFilePath;
  inputs.wavFilePath = state.wavFilePath;
  inputs.portNumber = options.port.value_or(SelectedPortNumber());
  if (!inputs.chipOnly && !inputs.firmwareOnly) {
    // The full sequence writes the font library: render it as the window's start-up does.
    std::string fontError = BuildFontImages(state);
    if (!fontError.empty()) {
      view.MessageBox(fontError, MessageIcon::Exclamation, MessageButtons::Ok, std::string());
    }
  }

  if (!StartJob(state, inputs)) {
    std::fprintf(stderr, "Flashwright: the job could not start\n");
    return 1;
  }
  view.Run([&](uint32_t msg, uintptr_t w, intptr_t l) { HandleJobMessage(state, msg, w, l); },
           [&](int id) { OnTimer(state, id, inputs); }, [&] { return !JobRunning(state); });
  JoinJob(state);
  view.Finish();
  const bool ok = state.resultOk == 1;
  std::printf("result: %s\n", ok ? "success" : "failed");
  std::fflush(stdout);
  return ok ? 0 : 1;
}

}  // namespace fw
