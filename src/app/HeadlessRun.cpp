#include "app/HeadlessRun.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/HeadlessHistory.h"
#include "app/HeadlessOptions.h"
#include "app/HeadlessSignals.h"
#include "app/HeadlessStartup.h"
#include "app/HeadlessView.h"
#include "config/Installation.h"
#include "config/Settings.h"
#include "core/Progress.h"
#include "core/WritePhase.h"
#include "firmware/IdentifyReply.h"
#include "font/FontImages.h"
#include "journal/JournalRecorder.h"
#include "journal/ServerJournal.h"
#include "platform/Clock.h"
#include "platform/FileIo.h"
#include "serial/PortMap.h"
#include "serial/UsbAdapter.h"
#include "workflow/Job.h"

#ifndef FLASHWRIGHT_VERSION
#define FLASHWRIGHT_VERSION "0.0.0"
#endif

namespace fw {
namespace {

// How long the end of the program waits for the jobs still on their way to a journal server
// that answers; what is not sent by then stays queued in the local journal for the next run.
constexpr auto kServerWaitAtExit = std::chrono::seconds(5);

// A file name of the settings: a relative one is taken from the program folder.
std::string SettingsFile(const Installation& inst, const std::string& name) {
  if (name.empty() || IsServerJournal(name) || PathFromUtf8(name).is_absolute()) {
    return name;
  }
  return inst.programDir + name;
}

// The journal the jobs keep their records in: --journal, else the settings' "Journal", else
// the user's own. A journal server keeps them in the local journal first (--journal-local,
// "JournalLocal", else the user's own).
JournalHandle OpenJobJournal(const HeadlessOptions& options, const Installation& inst) {
  const std::string path =
      options.journalPath.empty() ? SettingsFile(inst, inst.journalPath) : options.journalPath;
  const std::string local = options.journalLocalPath.empty()
                                ? SettingsFile(inst, inst.journalLocalPath)
                                : options.journalLocalPath;
  if (IsServerJournal(path) && !ServerJournalBuilt()) {
    std::fprintf(stderr,
                 "Flashwright: notice: the journal server %s is not used: this build of "
                 "Flashwright has no PostgreSQL client; the jobs are kept in the local "
                 "journal only\n",
                 ServerLabel(path).c_str());
    return OpenJournal(local);
  }
  return OpenJournal(path, local, [](const std::string& notice) {
    std::fprintf(stderr, "Flashwright: notice: %s\n", notice.c_str());
  });
}

// At the end of a run: the jobs still queued for the journal server are given a few seconds,
// then left queued (and said so).
class ServerDrain {
 public:
  explicit ServerDrain(const JournalHandle& journal) : journal_(journal) {}
  ~ServerDrain() {
    if (!journal_.sender) {
      return;
    }
    // Only a server that answers is waited for; with one that is away or silent the jobs
    // stay queued at once.
    const bool answers = journal_.sender->Connected();
    const int left =
        journal_.sender->Finish(answers ? kServerWaitAtExit : std::chrono::milliseconds(0));
    if (left > 0) {
      std::string problem = journal_.sender->Problem();
      if (problem.empty() && !answers) {
        problem = "it has not answered since this run began";
      }
      std::fprintf(stderr,
                   "Flashwright: %d job record%s wait%s in the local journal %s for the journal "
                   "server %s%s%s; the next run that reaches the server sends them\n",
                   left, left == 1 ? "" : "s", left == 1 ? "s" : "", journal_.path.c_str(),
                   ServerLabel(journal_.server).c_str(), problem.empty() ? "" : ": ",
                   problem.c_str());
    }
  }
  ServerDrain(const ServerDrain&) = delete;
  ServerDrain& operator=(const ServerDrain&) = delete;

 private:
  const JournalHandle& journal_;
};

// Without a journal nothing can be backed up: said once, before any radio is touched.
void SayJournalProblem(const JournalHandle& journal, bool skipBackup) {
  if (journal.journal == nullptr) {
    std::fprintf(stderr, "Flashwright: %s; %s\n", journal.problem.c_str(),
                 skipBackup ? "no record is kept"
                            : "radios are not written without a backup "
                              "(--no-backup writes them all the same)");
  }
}

const char* ResultWord(bool ok, bool stopped) {
  return ok ? "success" : stopped ? "stopped" : "failed";
}

const char* KindWord(const UpgradeState& state) {
  if (state.writeBack != nullptr) {
    return "write-back";
  }
  return state.chipOnly != 0 ? "chip" : state.firmwareOnly != 0 ? "firmware" : "full";
}

std::string JsonStart(int port, const std::string& device) {
  return "{\"event\":\"start\",\"port\":" + std::to_string(port) +
         ",\"device\":" + JsonQuote(device) + "}";
}

std::string JsonResult(const UpgradeState& state, int port, bool ok, bool stopped,
                       const std::string& verdict) {
  const int64_t job = state.recorder != nullptr ? state.recorder->JobId() : 0;
  std::string line = "{\"event\":\"result\",\"port\":" + std::to_string(port) + ",\"kind\":\"" +
                     KindWord(state) + "\",\"result\":\"" + ResultWord(ok, stopped) +
                     "\",\"job\":" + std::to_string(job);
  if (!ok && state.backupJobId != 0) {
    line += ",\"savedAsJob\":" + std::to_string(state.backupJobId.load());
  }
  return line + ",\"text\":" + JsonQuote(verdict) + "}";
}

// After a failed write whose data is saved: how to write it back.
std::string AdviceAfter(const UpgradeState& state, bool ok) {
  if (ok || state.backupJobId == 0) {
    return std::string();
  }
  return WriteBackAdviceText(state.backupJobId, state.job.portNumber);
}

// --restore JOB or --restore-file FILE: the data to write back; false (said) when there is
// none to be had.
bool PrepareWriteBack(const HeadlessOptions& options, UpgradeState& state) {
  auto plan = std::make_shared<WriteBackPlan>();
  if (options.restoreJob) {
    std::string problem;
    // Another bench's job comes from the journal server; this bench's from its own journal.
    const auto* recorder = dynamic_cast<const JournalRecorder*>(state.recorder.get());
    const bool otherBench = !options.restoreBench.empty() && options.restoreBench != HostName();
    std::optional<WriteBackPlan> saved =
        otherBench && recorder != nullptr
            ? LoadServerWriteBack(recorder->Handle(), options.restoreBench, *options.restoreJob,
                                  problem)
        : state.recorder ? state.recorder->LoadWriteBack(*options.restoreJob, problem)
                         : std::nullopt;
    if (!saved) {
      std::fprintf(stderr, "Flashwright: --restore %s%lld: %s\n",
                   options.restoreBench.empty() ? "" : (options.restoreBench + "/").c_str(),
                   static_cast<long long>(*options.restoreJob), problem.c_str());
      return false;
    }
    *plan = std::move(*saved);
    plan->allowOtherRadio = options.restoreToOtherRadio;
  } else {
    const FileRead dump = ReadRegularFile(options.restoreFile, UpgradeState::kImageBufferSize);
    if (!dump.ok()) {
      std::fprintf(stderr, "Flashwright: --restore-file: %s\n", dump.problem.c_str());
      return false;
    }
    plan->sourceFile = options.restoreFile;
    plan->data.assign(dump.bytes.begin(), dump.bytes.end());
  }
  state.writeBack = std::move(plan);
  return true;
}

int PrintJournalHistory(const HeadlessOptions& options, const std::string& programDir) {
  UpgradeState settings;
  LoadSettingsForProgramDir(settings, programDir);
  const JournalHandle journal = OpenJobJournal(options, *settings.installation);
  if (journal.journal == nullptr) {
    std::fprintf(stderr, "Flashwright: %s\n", journal.problem.c_str());
    return 2;
  }
  HistoryFilter filter;
  filter.since = options.since;
  filter.radio = options.radio;
  if (!journal.server.empty()) {
    // What this bench still has queued goes first, so that the line's record has it.
    if (journal.sender) {
      journal.sender->Finish(std::chrono::seconds(2));
    }
    std::string problem;
    if (const auto jobs = ServerHistory(journal, filter, problem)) {
      PrintHistory(*jobs, options.historyFormat, stdout, true);
      std::fflush(stdout);
      return 0;
    }
    std::fprintf(stderr,
                 "Flashwright: only the local journal %s is shown (this bench's jobs, not the "
                 "line's): %s\n",
                 journal.path.c_str(), problem.c_str());
  }
  PrintHistory(journal.journal->History(filter), options.historyFormat, stdout);
  std::fflush(stdout);
  return 0;
}

// "adapter: /dev/ttyUSB0 (ftdi_sio, USB 0403:6001, serial A50285BI, latency 1 ms)" as the
// adapter was when the job opened it (one pulled out is still named), "" for a device that is
// not a known adapter.
std::string AdapterLine(const std::string& devicePath) {
  AdapterInfo info = RememberedAdapter(devicePath);
  if (!info.IsUsb() && info.driver.empty()) {
    info = DescribeAdapter(devicePath);
  }
  const std::string summary = AdapterSummary(info);
  return summary.empty() ? std::string() : "adapter: " + devicePath + " (" + summary + ")";
}

// Marks the end of the jobs when the run returns: a console that is being closed may then
// let the process go.
struct RunFinishedMark {
  RunFinishedMark() = default;
  RunFinishedMark(const RunFinishedMark&) = delete;
  RunFinishedMark& operator=(const RunFinishedMark&) = delete;
  ~RunFinishedMark() { MarkInterruptibleRunFinished(); }
};

// One job of a several-port run: its record, its view and what the summary reports.
struct PortJob {
  int port = 0;
  std::string prefix;  // "COM3: "
  std::unique_ptr<HeadlessView> view;
  std::unique_ptr<UpgradeState> state;
  JobInputs inputs;
  bool ok = false;
  bool started = false;
  bool stopped = false;  // stopped by the user
  // Writing its radio when the first interrupt came: goes on until a second one.
  bool spared = false;
  double seconds = 0;
  std::thread frontEnd;
};

std::string Cell(const std::string& text) {
  return text.empty() ? "-" : text;
}

// The table after a several-port run: a line per port, the columns as wide as their widest
// entry; the row at which the job ended comes last, as its text may be long.
std::vector<std::string> SummaryLines(const std::vector<std::vector<std::string>>& table) {
  std::vector<size_t> width(table.front().size(), 0);
  for (const auto& line : table) {
    for (size_t c = 0; c < line.size(); ++c) {
      width[c] = std::max(width[c], line[c].size());
    }
  }
  std::vector<std::string> lines;
  for (const auto& line : table) {
    std::string text;
    for (size_t c = 0; c < line.size(); ++c) {
      text += line[c];
      if (c + 1 < line.size()) {
        text += std::string(width[c] - line[c].size() + 2, ' ');
      }
    }
    lines.push_back(text);
  }
  return lines;
}

}  // namespace

std::string HeadlessVerdict(bool ok, InstallationUse use, bool updateChip, int portNumber,
                            const std::string& device, const std::string& whatFailed,
                            bool stoppedByUser) {
  std::string radio = "the radio on COM" + std::to_string(portNumber);
  if (!device.empty()) {
    radio += " (" + device + ")";
  }
  if (!ok && stoppedByUser) {
    return "result: stopped by the user: " + radio + " was not upgraded";
  }
  if (!ok) {
    return "result: failed: " + radio + " was not upgraded" +
           (whatFailed.empty() ? std::string() : ": \"" + whatFailed + "\"");
  }
  std::string what;
  switch (use) {
    case InstallationUse::kChipOnly:
      what = "firmware chip";
      break;
    case InstallationUse::kFirmwareOnly:
      what = "firmware";
      break;
    case InstallationUse::kFull:
      what = updateChip ? "firmware, radio data, font and firmware chip"
                        : "firmware, radio data and font";
      break;
  }
  return "result: success: " + radio + " is upgraded (" + what + ")";
}

void PrintHeadlessUsage(std::FILE* out) {
  std::fprintf(out,
               "usage: Flashwright --headless [--program-dir DIR]\n"
               "                   [--port N ... | --ports N,M,... | --all-ports]\n"
               "                   [--firmware-only | --chip-only] [--update-chip]\n"
               "                   [--vocoder AMBE|SELP] [--allow-unidentified]\n"
               "                   [--journal FILE|postgresql://...] [--journal-local FILE]\n"
               "                   [--no-backup] [--json]\n"
               "   or: Flashwright --headless --port N (--restore [BENCH/]JOB |\n"
               "                   --restore-file FILE)\n"
               "                   [--restore-to-other-radio]\n"
               "   or: Flashwright --headless --history [--format table|csv|json]\n"
               "                   [--since DATE] [--radio TEXT]\n"
               "Runs one upgrade job as the \"Upgrade\" button would, on the installation in DIR\n"
               "(--program-dir=DIR also; default: the program's folder). Options override the\n"
               "check boxes; without them the settings file decides. In run mode 5\n"
               "(\"READWRITELOG=5\") jobs repeat, each 40 seconds after the last completed one,\n"
               "until interrupted (Ctrl-C).\n"
               "A radio that does not identify itself ends the job; --allow-unidentified (or\n"
               "AllowUnidentified=1 in the settings file) sends it the image chosen without\n"
               "knowing it.\n"
               "The last line is the verdict: \"result: success: ...\", \"result: failed: ...\"\n"
               "or \"result: stopped by the user: ...\".\n"
               "Several ports (--port given more than once, --ports 1,2,5, or --all-ports: every\n"
               "COM number that stands for a device) run one job per port at the same time;\n"
               "each line starts with its port (\"COM3: \"), a summary table ends the report.\n"
               "Every job is recorded in the journal (--journal FILE, \"Journal\" in the settings\n"
               "file, or the user's ~/.local/share/flashwright/journal.db); before a radio is\n"
               "written, its data is saved there (--no-backup or Backup=0: not). After a write\n"
               "that broke off, --restore JOB writes the saved settings back; --history lists\n"
               "the jobs. --json prints one JSON object per line.\n"
               "A journal server (--journal postgresql://user@host/db, \"Journal\" in the\n"
               "settings file) takes every ended job from the local journal (--journal-local\n"
               "FILE, \"JournalLocal\", or the user's), sent in the background and kept queued\n"
               "while it cannot be reached; --history then lists every bench's jobs (BENCH/JOB),\n"
               "and --restore BENCH/JOB writes back a backup another bench saved.\n"
               "Exit status: 0 success (of every job), 1 failure (of any job), 2 usage or no\n"
               "installation in DIR.\n");
}

// Several ports: one job per port on one installation, each run as a job on its own would
// run, side by side. Each job's events are served by a thread of its own (the job's front
// end); lines go through one shared output, each after its port.
static int RunHeadlessPorts(const HeadlessOptions& options, const std::string& programDir,
                            Clock& clock) {
  const bool terminal = isatty(STDOUT_FILENO) == 1;
  // The installation, loaded once before any job runs, then read by all of them.
  HeadlessView loaderView(stdout, terminal);
  UpgradeState loader;
  loader.SetView(&loaderView);
  PrepareInstallation(loader, programDir, options.vocoder);
  const Installation& installation = *loader.installation;
  // In run mode 5 each port repeats on its own; "UpdateTimes" counts the jobs of all ports.
  const bool repeat = installation.readWriteLog == kRunModeRepeat;
  const auto jobCount = std::make_shared<CompletedJobCount>();
  std::vector<int> ports = options.ports;
  if (options.allPorts) {
    for (const auto& [number, device] : GlobalPortMap().MappedEntries()) {
      ports.push_back(number);
    }
    if (ports.empty()) {
      std::fprintf(stderr, "Flashwright: --all-ports: no COM number stands for a device\n");
      return 2;
    }
  }

  // What the dialog would copy from its controls, the same for every port.
  JobInputs common;
  common.chipOnly = options.chipOnly;
  common.firmwareOnly =
      options.firmwareOnly || (!options.chipOnly && installation.readWriteLog == 3);
  common.updateChip = options.updateChip || loader.updateChip != 0;
  common.hexFilePath = loader.hexFilePath;
  common.wavFilePath = loader.wavFilePath;
  const InstallationUse use = common.chipOnly       ? InstallationUse::kChipOnly
                              : common.firmwareOnly ? InstallationUse::kFirmwareOnly
                                                    : InstallationUse::kFull;
  const InstallationCheck check =
      CheckInstallation(loader, use, common.updateChip && use == InstallationUse::kFull);
  if (!check.Complete()) {
    std::fprintf(stderr, "Flashwright: %s\n", check.Message().c_str());
    return 2;
  }
  if (use == InstallationUse::kFull) {
    std::string fontError = BuildFontImages(LoadingInstallation(loader));
    if (!fontError.empty()) {
      loaderView.MessageBox(fontError, MessageIcon::Exclamation, MessageButtons::Ok, std::string());
    }
  }
  loaderView.Finish();

  const JournalHandle journal = OpenJobJournal(options, installation);
  const ServerDrain drain(journal);
  const bool skipBackup = options.noBackup || !installation.backup;
  SayJournalProblem(journal, skipBackup);

  std::vector<std::string> labels;
  for (int port : ports) {
    labels.push_back("COM" + std::to_string(port));
  }
  HeadlessOutput output(stdout, terminal, labels);
  std::vector<PortJob> jobs(ports.size());
  for (size_t i = 0; i < ports.size(); ++i) {
    PortJob& job = jobs[i];
    job.port = ports[i];
    job.prefix = labels[i] + ": ";
    job.view = std::make_unique<HeadlessView>(stdout, terminal && !options.json);
    job.view->ShareOutput(&output, i, job.prefix);
    if (options.json) {
      job.view->UseJson(job.port);
    }
    if (const auto* scaled = dynamic_cast<const ScaledClock*>(&clock)) {
      job.view->SetTimerScale(scaled->Factor());  // the 40-second pause between repeated jobs
    }
    job.state = std::make_unique<UpgradeState>();
    UpgradeState& state = *job.state;
    state.job.clock.Use(clock);
    state.installation = loader.installation.Shared();
    AttachJournal(state, journal, job.view.get(), FLASHWRIGHT_VERSION);
    state.skipBackup = skipBackup;
    ApplySettingsToJob(state);
    PrepareJob(state, options.vocoder);
    state.askTechnician = false;
    if (options.allowUnidentified) {
      state.allowUnidentified = true;
    }
    state.dataLogTag = labels[i];
    state.sharedJobCount = jobCount;
    job.inputs = common;
    job.inputs.portNumber = job.port;
  }

  InstallInterruptHandlers();
  const RunFinishedMark finished;
  for (PortJob& job : jobs) {
    job.frontEnd = std::thread([&job, &output, &options, use, repeat] {
      UpgradeState& state = *job.state;
      const auto begin = std::chrono::steady_clock::now();
      if (options.json) {
        output.PrintLine(JsonStart(job.port, GlobalPortMap().DevicePath(job.port)));
      }
      job.started = StartJob(state, job.inputs);
      if (job.started) {
        job.view->Run([&](const JobEvent& event) { HandleJobEvent(state, event); },
                      [&](Timer timer) {
                        if (Interrupts().interrupts == 0 && Interrupts().hungUp == 0) {
                          OnTimer(state, timer, job.inputs);
                        }
                      },
                      [&](bool timersArmed) {
                        // The two-step rule, job by job: a job writing its radio when the
                        // first interrupt came goes on (the handler has warned); every
                        // other job stops at once, and all of them at the second.
                        const int interrupts = Interrupts().interrupts;
                        if (!job.stopped && JobRunning(state) && interrupts > 0) {
                          if (Interrupts().stopAsked != 0 || interrupts >= 2) {
                            job.stopped = true;
                          } else if (!job.spared) {
                            job.spared = state.writingRadio > 0;
                            job.stopped = !job.spared;
                          }
                          if (job.stopped) {
                            StopJob(state);
                          }
                        }
                        return !JobRunning(state) && !(repeat && timersArmed &&
                                                       Interrupts().hungUp == 0 && interrupts == 0);
                      });
        JoinJob(state);
      }
      job.view->Finish();
      job.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
      job.ok = job.started && state.resultOk == 1;
      const bool stopped = job.stopped && !job.ok;
      job.stopped = stopped;
      if (repeat) {
        output.PrintLine(job.prefix + "completed jobs: " + std::to_string(state.completedJobs));
      }
      const std::string verdict =
          job.started ? HeadlessVerdict(job.ok, use, job.inputs.updateChip, job.port,
                                        GlobalPortMap().DevicePath(job.port),
                                        stopped ? std::string() : job.view->WhatFailed(), stopped)
                      : std::string("result: failed: the job could not start");
      const std::string adapter = AdapterLine(GlobalPortMap().DevicePath(job.port));
      if (!job.ok && !stopped && !adapter.empty() && !options.json) {
        output.PrintLine(job.prefix + adapter);
      }
      if (const std::string advice = AdviceAfter(state, job.ok); !advice.empty() && !options.json) {
        output.PrintLine(job.prefix + advice);
      }
      output.PrintLine(options.json ? JsonResult(state, job.port, job.ok, stopped, verdict)
                                    : job.prefix + verdict);
    });
  }
  for (PortJob& job : jobs) {
    job.frontEnd.join();
  }
  output.Finish();

  bool allOk = true;
  std::vector<std::vector<std::string>> table = {
      {"port", "device", "radio model", "result", "duration", "ended at row"}};
  for (PortJob& job : jobs) {
    allOk = allOk && job.ok;
    const auto [number, text] = job.view->LastRow();
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f s", job.seconds);
    table.push_back({"COM" + std::to_string(job.port), Cell(GlobalPortMap().DevicePath(job.port)),
                     // A radio that never identified itself has no model to show.
                     job.state->radioModel == UnknownIdentity().model ? std::string("-")
                                                                      : Cell(job.state->radioModel),
                     job.ok        ? "success"
                     : job.stopped ? "stopped"
                                   : "failed",
                     seconds, number == 0 ? "-" : std::to_string(number) + " " + text});
  }
  if (options.json) {
    std::printf("{\"event\":\"end\",\"ok\":%s}\n", allOk ? "true" : "false");
    std::fflush(stdout);
    return allOk ? 0 : 1;
  }
  if (repeat) {
    std::printf("completed jobs: %d\n", jobCount->total);
  }
  std::printf("summary:\n");
  for (const std::string& line : SummaryLines(table)) {
    std::printf("%s\n", line.c_str());
  }
  std::printf("result: %s\n", allOk ? "every job succeeded" : "not every job succeeded");
  std::fflush(stdout);
  return allOk ? 0 : 1;
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
  Clock& clock = ClockFromEnvironment();

  // Absolute and canonical before anything uses it: the converter libraries are loaded by
  // absolute path only, long after the firmware was sent.
  const std::string programDir = ResolveProgramDir(options.programDir);
  if (options.history) {
    return PrintJournalHistory(options, programDir);
  }
  if (options.allPorts || options.ports.size() > 1) {
    return RunHeadlessPorts(options, programDir, clock);
  }

  HeadlessView view(stdout, isatty(STDOUT_FILENO) == 1 && !options.json);
  if (const auto* scaled = dynamic_cast<const ScaledClock*>(&clock)) {
    view.SetTimerScale(scaled->Factor());  // the 40-second pause between repeated jobs
  }
  UpgradeState state;
  state.SetView(&view);
  state.job.clock.Use(clock);
  PrepareInstallation(state, programDir, options.vocoder);
  const JournalHandle journal = OpenJobJournal(options, *state.installation);
  const ServerDrain drain(journal);
  AttachJournal(state, journal, &view, FLASHWRIGHT_VERSION);
  state.skipBackup = options.noBackup || !state.installation->backup;
  const bool writeBack = options.restoreJob || !options.restoreFile.empty();
  SayJournalProblem(journal, state.skipBackup);
  if (writeBack && !PrepareWriteBack(options, state)) {
    return 2;
  }
  // Nobody is there to answer the question about a radio that does not identify itself.
  state.askTechnician = false;
  if (options.allowUnidentified) {
    state.allowUnidentified = true;
  }

  // What the dialog would copy from its controls: the settings' state, then the options.
  JobInputs inputs;
  inputs.chipOnly = options.chipOnly;
  inputs.firmwareOnly =
      options.firmwareOnly || (!options.chipOnly && state.installation->readWriteLog == 3);
  inputs.updateChip = options.updateChip || state.updateChip != 0;
  inputs.hexFilePath = state.hexFilePath;
  inputs.wavFilePath = state.wavFilePath;
  inputs.portNumber = options.port.value_or(state.selectedPort.load());
  if (writeBack) {
    // A write-back writes the saved data only: no firmware, no chip.
    inputs.chipOnly = inputs.firmwareOnly = inputs.updateChip = false;
  }
  // A folder without what this job reads is named at once, before the radio is touched.
  const InstallationUse use = inputs.chipOnly       ? InstallationUse::kChipOnly
                              : inputs.firmwareOnly ? InstallationUse::kFirmwareOnly
                                                    : InstallationUse::kFull;
  const InstallationCheck check =
      CheckInstallation(state, use, inputs.updateChip && use == InstallationUse::kFull);
  // A write-back needs no firmware image or template: the model table and fonts only.
  if (!check.Complete() && !writeBack) {
    std::fprintf(stderr, "Flashwright: %s\n", check.Message().c_str());
    return 2;
  }
  if (use == InstallationUse::kFull) {
    // The full sequence writes the font library: render it as the window's start-up does.
    std::string fontError = BuildFontImages(LoadingInstallation(state));
    if (!fontError.empty()) {
      view.MessageBox(fontError, MessageIcon::Exclamation, MessageButtons::Ok, std::string());
    }
  }

  // Ctrl-C ends the running job early (as closing the window does) and stops repeating;
  // SIGHUP stops repeating once the running job has finished.
  InstallInterruptHandlers();
  const RunFinishedMark finished;

  // The first job starts at once; in run mode 5 each completed job arms the auto-start
  // timer, whose firing starts the next one.
  const bool repeat = state.installation->readWriteLog == kRunModeRepeat && !writeBack;
  if (options.json) {
    view.UseJson(inputs.portNumber);
    std::printf(
        "%s\n",
        JsonStart(inputs.portNumber, GlobalPortMap().DevicePath(inputs.portNumber)).c_str());
    std::fflush(stdout);
  }
  if (!StartJob(state, inputs)) {
    std::fprintf(stderr, "Flashwright: the job could not start\n");
    return 1;
  }
  view.Run([&](const JobEvent& event) { HandleJobEvent(state, event); },
           [&](Timer timer) {
             if (Interrupts().stopAsked == 0 && Interrupts().hungUp == 0) {
               OnTimer(state, timer, inputs);
             }
           },
           [&](bool timersArmed) {
             if (Interrupts().stopAsked != 0) {
               StopJob(state);
               return !JobRunning(state);
             }
             return !JobRunning(state) && !(repeat && timersArmed && Interrupts().hungUp == 0);
           });
  JoinJob(state);
  view.Finish();
  const bool ok = state.resultOk == 1;
  if (repeat) {
    std::printf("completed jobs: %d\n", state.completedJobs);
  }
  const std::string adapter = AdapterLine(GlobalPortMap().DevicePath(inputs.portNumber));
  if (!ok && Interrupts().stopAsked == 0 && !adapter.empty() && !options.json) {
    std::printf("%s\n", adapter.c_str());
  }
  // The last line is the verdict, whatever the status text says.
  const bool stopped = Interrupts().stopAsked != 0;
  std::string verdict = HeadlessVerdict(ok, use, inputs.updateChip, inputs.portNumber,
                                        GlobalPortMap().DevicePath(inputs.portNumber),
                                        stopped ? std::string() : view.WhatFailed(), stopped);
  if (ok && writeBack) {
    verdict =
        "result: success: the radio on COM" + std::to_string(inputs.portNumber) +
        " has the saved settings written back (" +
        (options.restoreJob ? "job " + std::to_string(*options.restoreJob) : options.restoreFile) +
        ")";
  }
  if (options.json) {
    std::printf("%s\n", JsonResult(state, inputs.portNumber, ok, stopped, verdict).c_str());
    std::fflush(stdout);
    return ok ? 0 : 1;
  }
  if (const std::string advice = AdviceAfter(state, ok); !advice.empty()) {
    std::printf("%s\n", advice.c_str());
  }
  std::printf("%s\n", verdict.c_str());
  std::fflush(stdout);
  return ok ? 0 : 1;
}

}  // namespace fw
