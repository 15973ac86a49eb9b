// The fault matrix: a full upgrade with chip update against the simulated radio, once for
// every exchange of every step crossed with every way a reply can go wrong (no reply, short,
// corrupt, echo, line error, hang-up mid-reply, radio not ready for three requests, one bit
// of one reply inverted).
//
// Two radios play it: the firmware step's exchanges meet a radio with the large processor,
// which must get its own image and never the small processor's (the installation holds
// both); the later steps meet a radio with the small processor below version 400, so that
// the reader asks for the firmware version too. A radio that does not identify itself is
// refused by the technician when the window asks.
//
// Each cell runs in a child process of its own (this program, re-run with one cell named in
// FLASHWRIGHT_FAULT_CELL), several at a time. A cell passes when the job ends, and either
// succeeded and the radio really holds the firmware, the converted data, the font and the
// chip image, or failed with the row of the step where the fault was and resultOk 0; in both
// cases the ports are closed, the controls are back, the data logs hold exactly what they
// should and the settings file is untouched. The first run, without a fault, lists the
// exchanges the radio saw; the matrix is built from that list, so a new exchange joins it
// by itself. The fixed waits cost nothing (fake clock) and the read deadlines pass five
// times faster than real time.

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ExchangeFaults.h"
#include "RadioSim.h"
#include "config/Installation.h"
#include "core/Status.h"
#include "journal/JournalRecorder.h"
#include "platform/ExecutablePath.h"
#include "serial/PortMap.h"
#include "serial/SerialPort.h"
#include "support/FastClock.h"
#include "support/FullUpgradeSetup.h"
#include "support/RadioOnPort.h"
#include "support/RecordingView.h"
#include "workflow/Job.h"

namespace fw {
namespace {

using sim::ExchangeFaultPlan;
using sim::ExchangeFaults;
using sim::FramedLinkResponder;
using sim::ReplyFault;
using Memory = FramedLinkResponder::Memory;

constexpr int kPort = 9;
constexpr uint32_t kDeadlineFactor = 5;
constexpr int kJobLimitSeconds = 100;  // a cell's job that runs longer has hung
constexpr int kParallelCells = 6;
// The most a full upgrade may take on its own clock: the fixed waits of the sequence (25 s
// restart, 20 read attempts 2 s apart, 10 s before the write, 20 s restart, 40 s and 15 chip
// attempts 3 s apart: 180 s) and the reads of every exchange's retries, with room to spare.
constexpr uint32_t kJobClockLimitMs = 600000;
constexpr const char* kCellVariable = "FLASHWRIGHT_FAULT_CELL";
constexpr const char* kSuccess = "All upgrade completed successfully!";
constexpr const char* kUsual =
    "Make the radio into download mode, click \"Upgrade\" button to start ...";
constexpr const char* kDownloadModeHint =
    "Please make the radio enter downloading mode, check all connections and port settings!";
constexpr const char* kSettings =
    "[Setting]\r\nPort=9\r\nReadWriteLog=1\r\nUpdateChip=1\r\nAutoTest=1\r\n";

const ReplyFault kFaults[] = {ReplyFault::kNoReply,  ReplyFault::kShort,     ReplyFault::kCorrupt,
                              ReplyFault::kEcho,     ReplyFault::kLineError, ReplyFault::kHangUp,
                              ReplyFault::kNotReady, ReplyFault::kBitFlip};
constexpr int kNotReadyRequests = 3;
// A cell whose job ended before its fault's exchange came: a run that says nothing of the
// fault's handling. The matrix runs such a cell a second time, alone.
constexpr const char* kNeverInjected = "the fault was never injected";
// A noisy line inverts one bit of one reply; the request after it is answered cleanly.
constexpr int kBitFlipRequests = 1;

// The job's phases, told by the rows it adds: each phase's failure row.
struct Phase {
  const char* name;
  const char* startRow;
  std::vector<std::string> failureRows;
};
const std::vector<Phase>& Phases() {
  static const std::vector<Phase> phases = {
      {"firmware", "Connecting the radio...", {"Update the radio software failed!"}},
      {"read",
       "Reading the radio, please wait...",
       {"Read the radio failed!",
        "Unknown firmware version. Please make the radio enter downloading mode and then "
        "click 'Upgrade'. Do not close Flashwright."}},
      {"write", "Writing the radio, please wait...", {"Write the radio failed!"}},
      {"chip", "Updating the firmware chip, please wait...", {"Update the firmware chip failed!"}},
  };
  return phases;
}

// A recording view that moves the simulated radio's fault plan to the phase whose row the
// job has just shown.
class PhaseView : public test::RecordingView {
 public:
  explicit PhaseView(ExchangeFaults& faults) : faults_(faults) {}
  void InsertRow(int index, const std::string& mark, const std::string& text) override {
    RecordingView::InsertRow(index, mark, text);
    Follow(text);
  }
  void SetRowText(int index, Column column, const std::string& text) override {
    RecordingView::SetRowText(index, column, text);
    Follow(text);
  }

 private:
  void Follow(const std::string& text) {
    for (const Phase& p : Phases()) {
      if (text == p.startRow) {
        faults_.SetPhase(p.name);
      }
    }
  }
  ExchangeFaults& faults_;
};

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  std::stringstream in(s);
  std::string part;
  while (std::getline(in, part, sep)) {
    parts.push_back(part);
  }
  return parts;
}

// ---- one cell, in the child -------------------------------------------------------------

struct CellOutcome {
  bool ended = false;
  bool succeeded = false;
  std::string lastRow;
  std::vector<std::string> problems;
  uint32_t fakeMs = 0;
  int64_t realMs = 0;
};

class Cell {
 public:
  Cell(const ExchangeFaultPlan& plan, bool largeProcessor)
      : plan_(plan), largeProcessor_(largeProcessor), view_(faults_) {}

  CellOutcome Run() {
    CellOutcome out;
    state_.SetView(&view_);
    view_.SetBoxAnswer(MessageResult::Cancel);  // no image for a radio that said nothing
    setup_.Build(state_);
    // Unattended mode, so that the automatic-download request is sent too.
    LoadingInstallation(state_).autoTest = 1;
    // The small processor's image lies beside the large one's, as in a real installation:
    // a large-processor radio that is sent it shows in the radio's record.
    LoadingInstallation(state_).smallImageName = "SmallMain.bin";
    setup_.dir.Write(LoadingInstallation(state_).smallImageName,
                     test::FullUpgradeSetup::Pattern(6000, 37));
    if (largeProcessor_) {
      // "MCU-0401", variant "A": the large processor's image, Main.bin.
      ownImageName_ = LoadingInstallation(state_).mainImageName;
    } else {
      // A radio of the small-MCU family below version 400, so that the reader asks for the
      // firmware version: then a full upgrade has every exchange there is.
      setup_.config.download.info = "MCU-0399";
      LoadingInstallation(state_).mainImageName = "KW680Main.bin";  // the image this family takes
      setup_.dir.Write(LoadingInstallation(state_).mainImageName, setup_.image);
      const std::string rcdb = setup_.dir.Path() + "rcdb/";
      std::filesystem::create_directories(rcdb + "smallMCU");
      std::filesystem::copy_file(rcdb + setup_.modelId + ".rcd",
                                 rcdb + "smallMCU/" + setup_.modelId + ".rcd");
      ownImageName_ = LoadingInstallation(state_).mainImageName;
    }
    setup_.dir.Write("Flashwright.ini", std::string(kSettings));
    // Every job keeps its record and, before it writes, the radio's data.
    journal_ = OpenJournal(setup_.dir.Path() + "journal.db");
    recorder_ = AttachJournal(state_, journal_, &view_, "test");
    faults_.SetPlan(plan_);
    faults_.SetPhase("idle");
    sim_ = std::make_unique<sim::RadioSim>(setup_.config);
    setup_.SeedRadio(*sim_);
    sim_->Pty().SetFaultHook(faults_.Hook());
    if (const ::testing::AssertionResult on = test::PutRadioOnPort(*sim_, state_, kPort); !on) {
      out.problems.push_back(std::string("the simulated radio did not start: ") + on.message());
      return out;
    }

    JobInputs in;
    in.updateChip = true;
    in.portNumber = kPort;
    in.hexFilePath = state_.hexFilePath;
    const uint32_t t0 = state_.job.clock.TickCount();
    const auto r0 = std::chrono::steady_clock::now();
    if (!StartJob(state_, in)) {
      out.problems.push_back("the job did not start");
      return out;
    }
    const auto limit = r0 + std::chrono::seconds(kJobLimitSeconds);
    while (JobRunning(state_) && std::chrono::steady_clock::now() < limit) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    out.ended = !JobRunning(state_);
    out.fakeMs = state_.job.clock.TickCount() - t0;
    out.realMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - r0)
            .count();
    if (!out.ended) {
      out.problems.push_back("the job did not end within " + std::to_string(kJobLimitSeconds) +
                             " s");
      StopJob(state_);
    }
    JoinJob(state_);
    if (out.fakeMs > kJobClockLimitMs) {
      out.problems.push_back("the job took " + std::to_string(out.fakeMs / 1000) +
                             " s on its clock, longer than its waits and retries allow");
    }
    Check(out);
    sim_->Stop();
    GlobalPortMap().ClearExplicit();
    return out;
  }

  std::vector<std::pair<std::string, std::string>> Seen() const { return faults_.Seen(); }
  std::vector<test::Row> Rows() const { return view_.Rows(); }
  std::vector<test::RecordedBox> Boxes() const { return view_.Boxes(); }

 private:
  void Problem(CellOutcome& out, const std::string& what) { out.problems.push_back(what); }

  void Check(CellOutcome& out) {
    const std::vector<test::Row> rows = view_.Rows();
    if (rows.empty()) {
      Problem(out, "no rows");
      return;
    }
    out.lastRow = rows.back().text;
    out.succeeded = rows.back() == test::Row{kMarkDone, kSuccess};
    const bool faulted = faults_.Injected() > 0;
    if (plan_.fault != ReplyFault::kNone && !faulted) {
      Problem(out, kNeverInjected);
    }

    CheckOnlyItsOwnImage(out);
    if (out.succeeded) {
      CheckRadioHoldsEverything(out);
      if (state_.resultOk.load() != 1) {
        Problem(out, "success row but resultOk " + std::to_string(state_.resultOk.load()));
      }
    } else {
      CheckFailure(out, rows, faulted);
    }

    // Ports closed, and the line free for the next job (unless it was cut).
    if (state_.downloadPort.IsOpen() || state_.radioLink.Port().IsOpen()) {
      Problem(out, "a port is still open");
    }
#ifndef _WIN32  // on Windows the radio is in process: no device to open again
    if (!sim_->Pty().HungUp() && !SerialPort::CanOpenExclusively(sim_->DevicePath())) {
      Problem(out, "the port cannot be opened again");
    }
#endif
    for (Control id : {Control::Port, Control::Upgrade, Control::HexFile, Control::UpdateChip}) {
      if (view_.Enabled(id) != 1) {
        Problem(out, std::string("control ") + test::Name(id) + " not enabled again");
      }
    }
    if (view_.StatusText() != kUsual) {
      Problem(out, "status text left at \"" + view_.StatusText() + "\"");
    }
    CheckFiles(out, rows);
    CheckBackup(out);
  }

  // Whatever the job's end, whatever reached the radio's download mode is its own image.
  void CheckOnlyItsOwnImage(CellOutcome& out) {
    const sim::DownloadRecord record = sim_->DownloadSnapshot();
    if (!record.fileName.empty() && record.fileName != ownImageName_) {
      Problem(out, "the radio was sent " + record.fileName + " instead of " + ownImageName_);
    }
    const size_t n = std::min(record.received.size(), setup_.image.size());
    if (!std::equal(record.received.begin(), record.received.begin() + static_cast<long>(n),
                    setup_.image.begin())) {
      Problem(out, "the radio received image bytes that are not its own image's");
    }
  }

  void CheckRadioHoldsEverything(CellOutcome& out) {
    const sim::DownloadRecord record = sim_->DownloadSnapshot();
    if (!record.completed || record.Image() != setup_.image) {
      Problem(out, "success claimed but the radio does not hold the firmware");
    }
    const std::vector<uint8_t> expected = setup_.ExpectedData();
    const auto data =
        sim_->WithLink([](FramedLinkResponder& r) { return r.MemoryImage(Memory::kData); });
    if (data.size() < expected.size() ||
        !std::equal(expected.begin(), expected.end(), data.begin())) {
      Problem(out, "success claimed but the radio does not hold the converted data");
    }
    const auto font =
        sim_->WithLink([](FramedLinkResponder& r) { return r.MemoryImage(Memory::kFont); });
    const std::vector<uint8_t>& language = setup_.languageFile;
    if (font.size() < language.size() + 50 ||
        !std::equal(language.begin(), language.end(), font.begin() + 50)) {
      Problem(out, "success claimed but the radio does not hold the font");
    }
    const bool chipOk = sim_->WithChip([&](sim::ChipLoaderResponder& chip) {
      return chip.Completed() && chip.Flash() == setup_.hex.Expected();
    });
    if (!chipOk) {
      Problem(out, "success claimed but the chip does not hold the hex file");
    }
  }

  void CheckFailure(CellOutcome& out, const std::vector<test::Row>& rows, bool faulted) {
    if (!faulted) {
      Problem(out, "failed without a fault: " + out.lastRow);
    }
    if (state_.resultOk.load() != 0) {
      Problem(out, "failure but resultOk " + std::to_string(state_.resultOk.load()));
    }
    for (const test::Row& r : rows) {
      if (r.text == kSuccess) {
        Problem(out, "a success row next to a failure");
      }
    }
    for (const test::RecordedBox& b : view_.Boxes()) {
      if (b.text == kSuccess) {
        Problem(out, "a success message after a failure");
      }
    }
    for (const test::Row& r : rows) {
      if (r.mark == kMarkBusy) {
        Problem(out, "a row still marked under way after the job: " + r.text);
      }
    }
    // The step's failure row is the last row marked failed; only the hint to put the radio
    // into download mode (itself finished as failed with the job) may follow it. A cut line
    // also fails every step after the one where it was cut.
    auto failed = std::find_if(rows.rbegin(), rows.rend(), [](const test::Row& r) {
      return r.mark == kMarkFailed && r.text != kDownloadModeHint;
    });
    if (failed == rows.rend()) {
      Problem(out, "the job ended without a failure row: " + out.lastRow);
      return;
    }
    out.lastRow = failed->text;
    for (auto after = failed.base(); after != rows.end(); ++after) {
      if (after->text != kDownloadModeHint) {
        Problem(out, "a row after the failure row: " + after->text);
      }
    }
    std::vector<std::string> allowed;
    bool reached = false;
    for (const Phase& p : Phases()) {
      reached = reached || plan_.phase == p.name;
      if (reached && (plan_.phase == p.name || plan_.fault == ReplyFault::kHangUp)) {
        allowed.insert(allowed.end(), p.failureRows.begin(), p.failureRows.end());
      }
    }
    if (std::find(allowed.begin(), allowed.end(), out.lastRow) == allowed.end()) {
      Problem(out, "failure row of another step: " + out.lastRow);
    }
  }

  // The data logs hold exactly the data as read, the template and the converted data; the
  // data as read is on disk before anything is written to the radio; the settings file is
  // untouched.
  void CheckFiles(CellOutcome& out, const std::vector<test::Row>& rows) {
    const std::string folder = setup_.dir.Path() + "ReadWriteLog";
    bool readLog = false;
    if (std::filesystem::is_directory(folder)) {
      for (const auto& e : std::filesystem::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        const std::vector<uint8_t> bytes = ReadBytes(e.path().string());
        auto endsWith = [&](const std::string& suffix) {
          return name.size() >= suffix.size() &&
                 name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
        };
        if (endsWith("ReadLog.dat")) {
          readLog = true;
          if (bytes != setup_.oldData) {
            Problem(out, "the read log differs from the radio's data");
          }
        } else if (endsWith("DefDataLog.dat") || endsWith("WriteLog.dat")) {
          if (bytes != setup_.templateData) {
            Problem(out, name + " differs from the template");
          }
        } else {
          Problem(out, "unexpected file in the log folder: " + name);
        }
      }
    }
    const bool readDone = std::any_of(rows.begin(), rows.end(), [](const test::Row& r) {
      return r.text == "Read the radio completed!";
    });
    if (readDone && !readLog) {
      Problem(out, "the radio was read but its data was not logged");
    }
    const std::vector<uint8_t> settings = ReadBytes(setup_.dir.Path() + "Flashwright.ini");
    if (std::string(settings.begin(), settings.end()) != kSettings) {
      Problem(out, "the settings file changed");
    }
  }

  // No block reaches the radio before its data is saved: the backup holds the data as read
  // and exactly the bytes the write was to leave; the record says how the job ended.
  void CheckBackup(CellOutcome& out) {
    if (!journal_.journal) {
      Problem(out, "no journal: " + journal_.problem);
      return;
    }
    const std::optional<JournalJob> job = journal_.journal->LoadJob(recorder_->JobId());
    if (!job) {
      Problem(out, "no record of the job");
      return;
    }
    if (job->result != (out.succeeded ? "success" : "failed")) {
      Problem(out, "the record says " + job->result);
    }
    const int blocks = sim_->WithLink([](sim::FramedLinkResponder& r) {
      return r.CountOf(sim::FramedLinkResponder::Command::kWriteBlock);
    });
    if (blocks == 0) {
      return;
    }
    std::string error;
    const std::optional<JournalBackup> backup = journal_.journal->LoadBackup(job->id, error);
    if (!backup) {
      Problem(out, "the radio was written without a backup: " + error);
    } else if (backup->readData != setup_.oldData) {
      Problem(out, "the backup differs from the radio's data");
    } else if (backup->converted != setup_.ExpectedData()) {
      Problem(out, "the backup differs from the data written");
    }
  }

  JournalHandle journal_;
  std::shared_ptr<JournalRecorder> recorder_;
  ExchangeFaultPlan plan_;
  bool largeProcessor_;
  std::string ownImageName_;
  ExchangeFaults faults_;
  test::FastClockScope clock_{kDeadlineFactor};
  PhaseView view_;
  test::FullUpgradeSetup setup_;
  std::unique_ptr<sim::RadioSim> sim_;
  UpgradeState state_;  // last: destroyed (and its worker joined) first
  test::JobOnClock onClock_{clock_, state_.job.clock};
};

// The firmware step's exchanges meet the large-processor radio, the others the small one.
constexpr const char* kLargeRadioPhase = "firmware";
constexpr const char* kBaselineSmall = "baseline";
constexpr const char* kBaselineLarge = "baseline-large";

bool LargeProcessorFor(const ExchangeFaultPlan& p) {
  return p.phase == kLargeRadioPhase;
}

// The cell as FLASHWRIGHT_FAULT_CELL names it: "phase|exchange|first|fault|count", or
// "baseline" and "baseline-large" for the runs without a fault.
std::string CellName(const ExchangeFaultPlan& p, bool largeProcessor = false) {
  if (p.fault == ReplyFault::kNone) {
    return largeProcessor ? kBaselineLarge : kBaselineSmall;
  }
  return p.phase + "|" + p.exchange + "|" + std::to_string(p.first) + "|" +
         std::to_string(static_cast<int>(p.fault)) + "|" + std::to_string(p.count);
}

bool ParseCellName(const std::string& name, ExchangeFaultPlan& p) {
  if (name == kBaselineSmall || name == kBaselineLarge) {
    p = ExchangeFaultPlan();
    return true;
  }
  const std::vector<std::string> f = Split(name, '|');
  if (f.size() != 5) {
    return false;
  }
  p.phase = f[0];
  p.exchange = f[1];
  p.first = std::atoi(f[2].c_str());
  p.fault = static_cast<ReplyFault>(std::atoi(f[3].c_str()));
  p.count = std::atoi(f[4].c_str());
  return true;
}

// Run by the matrix in a child process; does nothing when run on its own.
TEST(FaultMatrix, DISABLED_Cell) {
  const char* name = std::getenv(kCellVariable);
  ExchangeFaultPlan plan;
  ASSERT_TRUE(name != nullptr && ParseCellName(name, plan)) << kCellVariable;
  Cell cell(plan, plan.fault == ReplyFault::kNone ? std::string(name) == kBaselineLarge
                                                  : LargeProcessorFor(plan));
  const CellOutcome out = cell.Run();
  if (plan.fault == ReplyFault::kNone) {
    std::map<std::pair<std::string, std::string>, int> counts;
    for (const auto& s : cell.Seen()) {
      ++counts[s];
    }
    for (const auto& [key, n] : counts) {
      std::printf("SEEN|%s|%s|%d\n", key.first.c_str(), key.second.c_str(), n);
    }
  }
  std::string problems;
  for (const std::string& p : out.problems) {
    problems += (problems.empty() ? "" : "; ") + p;
  }
  if (!out.problems.empty()) {
    problems += "; rows:";
    for (const test::Row& r : cell.Rows()) {
      problems += " [" + r.mark + " " + r.text + "]";
    }
    for (const test::RecordedBox& b : cell.Boxes()) {
      problems += "; box: " + b.text + (b.detail.empty() ? "" : " (" + b.detail + ")");
    }
  }
  std::printf("RESULT|%s|%s|%u|%lld|%s\n", out.problems.empty() ? "PASS" : "FAIL",
              out.succeeded ? "succeeded" : ("failed: " + out.lastRow).c_str(), out.fakeMs,
              static_cast<long long>(out.realMs), problems.c_str());
  std::fflush(stdout);
  EXPECT_TRUE(out.problems.empty()) << problems;
}

// ---- the matrix, in the parent ----------------------------------------------------------

struct CellResult {
  ExchangeFaultPlan plan;
  bool pass = false;
  bool succeeded = false;
  std::string detail;
  std::vector<std::string> seen;  // baseline only
  long long fakeMs = 0;           // the job's time on its clock (fixed waits included)
  long long realMs = 0;
};

std::string SelfPath() {
  return ExecutablePath();
}

// The command that runs one cell in a child process, its output and errors on one pipe.
std::string CellCommand(const std::string& self, const std::string& cell) {
  const std::string test =
      " --gtest_also_run_disabled_tests --gtest_filter=FaultMatrix.DISABLED_Cell 2>&1";
#ifdef _WIN32
  // Through cmd.exe, which sets the variable for the child; the job's own limit ends a cell
  // that hangs (there is no timeout program).
  return std::string("set \"") + kCellVariable + "=" + cell + "\" && \"" + self + "\"" + test;
#else
  // The coreutils timeout ends a child that hangs beyond the job's own limit.
  return std::string("env ") + kCellVariable + "='" + cell + "' timeout " +
         std::to_string(kJobLimitSeconds + 30) + " '" + self + "'" + test;
#endif
}

// Starts a cell's child process with its output on a pipe. The Windows run-time's _popen
// points the parent's own standard output at the pipe while it starts the child, so two
// threads starting cells at once can cross their children's pipes (under Wine one start
// failed outright): starts are taken one at a time. A start that fails for want of a
// resource is tried again after a pause; that is not a failure of the cell.
FILE* StartCell(const std::string& command) {
  static std::mutex startMutex;
  for (int attempt = 0; attempt < 5; ++attempt) {
    {
      std::lock_guard<std::mutex> lock(startMutex);
#ifdef _WIN32
      FILE* pipe = _popen(command.c_str(), "rb");
#else
      FILE* pipe = popen(command.c_str(), "r");
#endif
      if (pipe != nullptr) {
        return pipe;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200 * (attempt + 1)));
  }
  return nullptr;
}

CellResult RunCell(const std::string& self, const ExchangeFaultPlan& plan,
                   bool largeBaseline = false) {
  CellResult result;
  result.plan = plan;
  const std::string command = CellCommand(self, CellName(plan, largeBaseline));
  FILE* pipe = StartCell(command);
  if (pipe == nullptr) {
    result.detail = "could not start the cell";
    return result;
  }
  std::string output;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    output.append(buffer, n);
  }
#ifdef _WIN32
  const int status = _pclose(pipe);
  const int code = status;
#else
  const int status = pclose(pipe);
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
  // A child on Windows ends its lines with "\r\n".
  output.erase(std::remove(output.begin(), output.end(), '\r'), output.end());
  bool sawResult = false;
  for (const std::string& line : Split(output, '\n')) {
    if (line.rfind("SEEN|", 0) == 0) {
      result.seen.push_back(line.substr(5));
    } else if (line.rfind("RESULT|", 0) == 0) {
      const std::vector<std::string> f = Split(line, '|');
      sawResult = f.size() >= 5;
      if (sawResult) {
        result.pass = f[1] == "PASS";
        result.succeeded = f[2] == "succeeded";
        result.fakeMs = std::atoll(f[3].c_str());
        result.realMs = std::atoll(f[4].c_str());
        result.detail = f[2] + " (" + f[3] + " ms on the job's clock, " + f[4] + " ms real)";
        if (f.size() >= 6 && !f[5].empty()) {
          result.detail += ": " + f[5];
        }
      }
    }
  }
  if (!sawResult) {
    result.pass = false;
    result.detail = code == 124
                        ? "hung (killed)"
                        : "the cell crashed (status " + std::to_string(status) + "):\n" + output;
  } else if (result.pass && status != 0) {
    result.pass = false;
    result.detail += " (exit status " + std::to_string(status) + ")";
  }
  return result;
}

TEST(FaultMatrix, EveryExchangeUnderEveryFaultEndsRight) {
  const std::string self = SelfPath();
  ASSERT_FALSE(self.empty());

  // The runs without a fault must succeed with either radio, and tell which exchanges a
  // full upgrade has: the firmware step's from the large-processor radio's run, the others
  // from the small one's.
  CellResult baselineLarge;
  std::thread large([&] { baselineLarge = RunCell(self, ExchangeFaultPlan(), true); });
  const CellResult baseline = RunCell(self, ExchangeFaultPlan());
  large.join();
  ASSERT_TRUE(baseline.pass && baseline.succeeded) << baseline.detail;
  ASSERT_TRUE(baselineLarge.pass && baselineLarge.succeeded) << baselineLarge.detail;
  std::vector<std::string> seen;
  for (const std::string& s : baseline.seen) {
    if (s.rfind(std::string(kLargeRadioPhase) + "|", 0) != 0) {
      seen.push_back(s);
    }
  }
  for (const std::string& s : baselineLarge.seen) {
    if (s.rfind(std::string(kLargeRadioPhase) + "|", 0) == 0) {
      seen.push_back(s);
    }
  }
  std::sort(seen.begin(), seen.end());
  std::vector<ExchangeFaultPlan> plans;
  std::vector<std::string> rowNames;
  std::set<std::string> phasesSeen;
  for (const std::string& s : seen) {
    const std::vector<std::string> f = Split(s, '|');
    ASSERT_EQ(f.size(), 3u) << s;
    const int count = std::atoi(f[2].c_str());
    phasesSeen.insert(f[0]);
    rowNames.push_back(f[0] + ": " + f[1] + " (" + std::to_string(count) + ")");
    for (ReplyFault fault : kFaults) {
      ExchangeFaultPlan p;
      p.phase = f[0];
      p.exchange = f[1];
      p.first = count >= 6 ? 3 : 1;  // a stream of blocks: a block in the middle
      p.fault = fault;
      p.count = fault == ReplyFault::kNotReady  ? kNotReadyRequests
                : fault == ReplyFault::kBitFlip ? kBitFlipRequests
                                                : -1;
      plans.push_back(p);
    }
  }
  for (const Phase& p : Phases()) {
    EXPECT_TRUE(phasesSeen.count(p.name)) << "no exchange seen in phase " << p.name;
  }

  std::vector<CellResult> results(plans.size());
  std::atomic<size_t> next{0};
  std::vector<std::thread> workers;
  for (int w = 0; w < kParallelCells; ++w) {
    workers.emplace_back([&] {
      for (size_t i = next++; i < plans.size(); i = next++) {
        results[i] = RunCell(self, plans[i]);
      }
    });
  }
  for (std::thread& t : workers) {
    t.join();
  }
  // A cell that failed before its fault was injected failed in the part of the job that
  // the baselines run without fault: once, on a machine loaded with six cells and other
  // tests, a fault-free write stopped early. Such a cell is run again on its own; both
  // runs' details are kept, and a second failure fails the matrix.
  std::string rerun;
  for (CellResult& cell : results) {
    if (!cell.pass && cell.detail.find(kNeverInjected) != std::string::npos) {
      const std::string first = cell.detail;
      cell = RunCell(self, cell.plan);
      rerun += "  " + CellName(cell.plan) + ": " + (cell.pass ? "passed" : "failed") +
               " when run again; the first run: " + first + "\n";
      if (!cell.pass) {
        cell.detail += " (the first run: " + first + ")";
      }
    }
  }

  // The table: one row per exchange, one column per fault. "ok" the job recovered and the
  // radio holds everything; "end" it ended with the step's failure row; "BAD" a check failed.
  const size_t columns = std::size(kFaults);
  std::ostringstream table;
  table << "radios: firmware rows large processor (MCU-0401), the other rows small processor "
           "(MCU-0399)\n";
  char cellText[64];
  std::snprintf(cellText, sizeof cellText, "%-36s", "exchange (requests)");
  table << cellText;
  for (ReplyFault f : kFaults) {
    std::snprintf(cellText, sizeof cellText, " %-11s", sim::ReplyFaultName(f));
    table << cellText;
  }
  table << "\n";
  int passed = 0;
  std::string failures;
  for (size_t r = 0; r < rowNames.size(); ++r) {
    std::snprintf(cellText, sizeof cellText, "%-36s", rowNames[r].c_str());
    table << cellText;
    for (size_t c = 0; c < columns; ++c) {
      const CellResult& cell = results[r * columns + c];
      passed += cell.pass ? 1 : 0;
      std::snprintf(cellText, sizeof cellText, " %-11s",
                    !cell.pass ? "BAD" : (cell.succeeded ? "ok" : "end"));
      table << cellText;
      if (!cell.pass) {
        failures += "  " + rowNames[r] + " x " + sim::ReplyFaultName(kFaults[c]) + ": " +
                    cell.detail + "\n";
      }
    }
    table << "\n";
  }
  const auto longest = std::max_element(
      results.begin(), results.end(),
      [](const CellResult& a, const CellResult& b) { return a.fakeMs < b.fakeMs; });
  if (longest != results.end()) {
    table << "longest job: " << longest->fakeMs / 1000 << " s on the job's clock ("
          << longest->realMs << " ms real), " << CellName(longest->plan) << "\n";
  }
  table << "cells passed: " << passed << " / " << results.size()
        << "   (ok: recovered and verified on the radio; end: ended with the step's failure "
           "row)\n";
  if (!rerun.empty()) {
    table << "cells run again (failed before their fault came):\n" << rerun;
  }
  std::cout << table.str();
  // Kept beside the test program for CI logs and the README.
  std::ofstream("fault-matrix.txt") << table.str();
  if (const char* detail = std::getenv("FLASHWRIGHT_FAULT_MATRIX_DETAIL")) {
    if (*detail != '\0') {
      for (const CellResult& cell : results) {
        std::cout << CellName(cell.plan) << ": " << cell.detail << "\n";
      }
    }
  }
  EXPECT_EQ(passed, static_cast<int>(results.size())) << failures;
}

}  // namespace
}  // namespace fw
