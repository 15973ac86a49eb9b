// The headless front end: its options, its printed report, and whole runs of the built
// program against the simulated radio (exit status 0 success, 1 failure, 2 usage).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "RadioSim.h"
#include "app/HeadlessHistory.h"
#include "app/HeadlessMain.h"
#include "app/HeadlessOptions.h"
#include "app/HeadlessPreflight.h"
#include "app/HeadlessView.h"
#include "app/window/HistoryView.h"
#include "core/Progress.h"
#include "platform/Profile.h"
#include "radiodata/RadioInfo.h"
#include "radiodata/TemplateWriter.h"
#include "support/FullUpgradeSetup.h"
#include "support/HexFileWriter.h"
#include "support/TempDir.h"

namespace fw {
namespace {

TEST(HeadlessOptions, AcceptsTheDocumentedForms) {
  HeadlessOptions o;
  std::string error;
  ASSERT_TRUE(ParseHeadlessOptions({"--headless", "--program-dir", "d", "--port", "16",
                                    "--chip-only", "--update-chip", "--vocoder", "SELP"},
                                   o, error))
      << error;
  EXPECT_TRUE(o.headless);
  EXPECT_EQ(o.programDir, "d");
  EXPECT_EQ(o.port, 16);
  EXPECT_TRUE(o.chipOnly);
  EXPECT_FALSE(o.firmwareOnly);
  EXPECT_TRUE(o.updateChip);
  EXPECT_EQ(o.vocoder, 1);
  EXPECT_FALSE(o.allowUnidentified);
  ASSERT_TRUE(ParseHeadlessOptions({"--headless"}, o, error));
  EXPECT_FALSE(o.port.has_value());
  // The window's form of the folder option works here too.
  ASSERT_TRUE(ParseHeadlessOptions({"--headless", "--program-dir=build/demo-install"}, o, error))
      << error;
  EXPECT_EQ(o.programDir, "build/demo-install");
  EXPECT_FALSE(o.vocoder.has_value());
  ASSERT_TRUE(ParseHeadlessOptions({"--headless", "--allow-unidentified"}, o, error)) << error;
  EXPECT_TRUE(o.allowUnidentified);
}

TEST(HeadlessOptions, UsageErrors) {
  HeadlessOptions o;
  std::string error;
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--headless", "--firmware-only", "--chip-only"},
           {"--headless", "--port", "0"},
           {"--headless", "--port", "65"},
           {"--headless", "--port", "3x"},
           {"--headless", "--port"},
           {"--headless", "--vocoder", "ambe"},
           {"--headless", "--program-dir", ""},
           {"--headless", "--program-dir="},
           {"--headless", "--program-dir"},
           {"--headless", "--verbose"},
           {"--headless", "--journal"},
           {"--headless", "--journal="},
           {"--headless", "--restore", "0"},
           {"--headless", "--restore", "1x"},
           {"--headless", "--restore", "2", "--restore-file", "f"},
           {"--headless", "--restore", "2", "--chip-only"},
           {"--headless", "--ports", "1,2", "--restore", "2"},
           {"--headless", "--restore-to-other-radio"},
           {"--headless", "--history", "--format", "xml"},
           {"--headless", "--since", "2026-01-01"},
           {"--headless", "--history", "--since", "yesterday"}}) {
    error.clear();
    EXPECT_FALSE(ParseHeadlessOptions(args, o, error)) << args.back();
    EXPECT_FALSE(error.empty());
  }
}

// Texts from radios and files reach JSON and CSV readers whole: quotes, separators, line
// ends and control bytes are escaped, never cut or passed raw.
TEST(HeadlessHistory, JsonAndCsvCarryAnyTextWhole) {
  EXPECT_EQ(JsonQuote("a\"b\\c\nd\x01\xE2\x88\x9A"), "\"a\\\"b\\\\c\\nd\\u0001\xE2\x88\x9A\"");
  JournalJob job;
  job.id = 7;
  job.kind = "full";
  job.result = "failed";
  job.failedRow = "Write the radio failed!";
  job.boxText = "line one\nsaid \"two\", three";
  job.port = 3;
  const std::string csv = HistoryCsv({job});
  const size_t row = csv.find("\r\n") + 2;
  EXPECT_EQ(csv.substr(row, 2), "7,");
  EXPECT_NE(csv.find(",COM3,"), std::string::npos);
  EXPECT_NE(csv.find(",\"line one\nsaid \"\"two\"\", three\","), std::string::npos) << csv;
  EXPECT_EQ(csv.substr(csv.size() - 2), "\r\n");
  const std::string json = JobJson(job);
  EXPECT_NE(json.find("\"box\":\"line one\\nsaid \\\"two\\\", three\""), std::string::npos) << json;
  EXPECT_EQ(json.find('\n'), std::string::npos);
}

// The windows' History shows what the --history listing shows; its details name every
// field of the record, one per line, "-" where a value is missing.
TEST(HistoryView, DetailsNameEveryFieldAndMarkWhatIsMissing) {
  JournalJob job;
  job.id = 12;
  job.kind = "restore";
  job.result = "failed";
  job.firmwareVersion = -1;
  job.fontSource = 2;
  job.fontLanguage = 0x409;
  job.writeStarted = true;
  job.writeBackOf = 5;
  job.files = {{"image", "C:\\fw\\r55.bin", 1024, "ab12"}, {"hex", "gone.hex", -1, ""}};
  job.steps = {{"OK", "Read the radio", 1.25}};
  job.boxes = {{"All done", ""}, {"Write the radio failed!", "port closed"}};
  const std::string text = JobDetailsText(job);
  for (const char* line :
       {"Job: 12\n", "Kind: restore\n", "Port: -\n", "Radio model: -\n", "Firmware version: -\n",
        "Font: source 2, language 0x0409\n", "Write started: yes\n", "Write completed: no\n",
        "Write-back of: job 5\n",
        "Files:\n  image: C:\\fw\\r55.bin, 1024 bytes, SHA-256 ab12\n"
        "  hex: gone.hex, could not be read\nSteps:\n  OK, 1.250 s: Read the radio\nBoxes:\n"
        "  All done\n  Write the radio failed! (port closed)\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << "\n--- in ---\n" << text;
  }
  EXPECT_EQ(text.rfind("Job: 12\nUnique id: -\n", 0), 0u) << text;
  job.port = 4;
  job.writeBackOf = 0;
  job.writeBackFile = "dump.dat";
  job.firmwareVersion = 0;
  const std::string second = JobDetailsText(job);
  EXPECT_NE(second.find("\nPort: COM4\n"), std::string::npos);
  EXPECT_NE(second.find("\nWrite-back of: dump.dat\n"), std::string::npos);
  EXPECT_NE(second.find("\nFirmware version: 0\n"), std::string::npos);
  // For a Win32 edit: every line end "\r\n", none doubled.
  EXPECT_EQ(WithCrLf("a\nb\r\nc\n\n"), "a\r\nb\r\nc\r\n\r\n");
  EXPECT_EQ(WithCrLf(""), "");
}

// The filter of the dialog's controls: the text without its blanks, the day only when "Since"
// is on and the day is a date of the calendar.
TEST(HistoryView, FilterFromTheControls) {
  HistoryFilter f = HistoryFilterFor("  KV86 \t", false, 2026, 3, 7);
  EXPECT_EQ(f.radio, "KV86");
  EXPECT_EQ(f.since, "");
  EXPECT_EQ(f.limit, 0);
  EXPECT_EQ(HistoryFilterFor("", true, 2026, 3, 7).since, "2026-03-07");
  EXPECT_EQ(HistoryFilterFor(" \n", true, 2024, 2, 29).radio, "");
  EXPECT_EQ(HistoryFilterFor("", true, 2024, 2, 29).since, "2024-02-29");
  EXPECT_EQ(HistoryFilterFor("", true, 2000, 2, 29).since, "2000-02-29");
  for (const auto& [y, m, d] : std::vector<std::tuple<int, int, int>>{
           {2026, 2, 29}, {1900, 2, 29}, {2026, 4, 31}, {2026, 13, 1}, {2026, 0, 5}, {0, 0, 0}}) {
    EXPECT_EQ(HistoryFilterFor("x", true, y, m, d).since, "") << y << "-" << m << "-" << d;
  }
  EXPECT_EQ(HistoryFilterFor("", true, 2026, 12, 31).since, "2026-12-31");
}

// What the History lists: the journal's jobs newest first, narrowed by the filter; with no
// journal, or one that could not be opened, nothing and why; a journal server that cannot
// be read: this bench's own jobs, and a note that says so.
TEST(HistoryView, ListingFromTheJournal) {
  const HistoryListing none = ReadHistory(nullptr, HistoryFilter{});
  EXPECT_TRUE(none.jobs.empty());
  EXPECT_EQ(none.note, "No job journal is kept.");
  JournalHandle broken;
  broken.problem = "the journal x.db cannot be opened: disk I/O error";
  const HistoryListing unusable = ReadHistory(&broken, HistoryFilter{});
  EXPECT_TRUE(unusable.jobs.empty());
  EXPECT_EQ(unusable.note, broken.problem);

  test::TempDir dir;
  const std::string path = (std::filesystem::path(dir.Path()) / "journal.db").string();
  std::string error;
  std::shared_ptr<Journal> journal = Journal::Open(path, error);
  ASSERT_TRUE(journal) << error;
  std::vector<int64_t> ids;
  for (const char* model : {"KV86", "BR22", "KV86X"}) {
    JournalJob job;
    job.kind = "full";
    job.result = "success";
    job.startedUtc = "2026-03-0" + std::to_string(ids.size() + 1) + "T10:00:00.000Z";
    job.radioModel = model;
    job.port = 2;
    ASSERT_TRUE(journal->BeginJob(job)) << journal->LastError();
    ids.push_back(job.id);
  }
  JournalHandle handle;
  handle.journal = journal;
  handle.path = path;
  HistoryListing all = ReadHistory(&handle, HistoryFilter{});
  EXPECT_EQ(all.note, "");
  EXPECT_FALSE(all.fromServer);
  ASSERT_EQ(all.jobs.size(), 3u);
  EXPECT_EQ(all.jobs[0].id, ids[2]);  // newest first
  EXPECT_EQ(all.jobs[2].id, ids[0]);
  EXPECT_EQ(HistoryRowOf(all, ids[0]), 2);
  EXPECT_EQ(HistoryRowOf(all, ids[2]), 0);
  EXPECT_EQ(HistoryRowOf(all, 99999), -1);
  const std::vector<std::vector<std::string>> rows = HistoryRows(all);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1][0], std::to_string(ids[1]));
  EXPECT_EQ(rows[1][3], "COM2");
  EXPECT_EQ(rows[1][4], "BR22");
  EXPECT_EQ(rows[1].size(), HistoryTableColumns().size());

  const HistoryListing kv = ReadHistory(&handle, HistoryFilterFor(" KV86 ", false, 0, 0, 0));
  ASSERT_EQ(kv.jobs.size(), 2u);
  EXPECT_EQ(kv.jobs[0].radioModel, "KV86X");
  EXPECT_EQ(kv.jobs[1].radioModel, "KV86");
  const HistoryListing since = ReadHistory(&handle, HistoryFilterFor("", true, 2026, 3, 2));
  ASSERT_EQ(since.jobs.size(), 2u);
  EXPECT_EQ(since.jobs[1].id, ids[1]);
  EXPECT_TRUE(ReadHistory(&handle, HistoryFilterFor("", true, 2026, 3, 4)).jobs.empty());

  // A server that answers nobody (nothing listens on port 1).
  handle.server = "postgresql://127.0.0.1:1/flashwright?connect_timeout=2";
  const HistoryListing local = ReadHistory(&handle, HistoryFilter{});
  EXPECT_FALSE(local.fromServer);
  EXPECT_EQ(local.jobs.size(), 3u);
  EXPECT_EQ(
      local.note.rfind(
          "Only the local journal " + path + " is shown (this bench's jobs, not the line's): ", 0),
      0u)
      << local.note;
  EXPECT_GT(local.note.size(), std::string("Only the local journal  is shown (this bench's "
                                           "jobs, not the line's): ")
                                       .size() +
                                   path.size())
      << "the server's problem is said";
}

// "Write back": only a job whose backup was saved, and only this bench's; another bench's
// job says how it is written back instead. A running job, the bench and an installation's
// problem refuse it, in that order.
TEST(HistoryView, WhichJobsMayBeWrittenBack) {
  EXPECT_FALSE(WriteBackButtonFor(nullptr, false, "bench1").enabled);
  EXPECT_EQ(WriteBackButtonFor(nullptr, true, "bench1").tip, "");
  JournalJob job;
  job.id = 42;
  job.host = "bench1";
  job.backup = "saved";
  EXPECT_TRUE(WriteBackButtonFor(&job, false, "bench1").enabled);
  EXPECT_TRUE(WriteBackButtonFor(&job, true, "bench1").enabled);
  // The local journal holds this bench's jobs, whatever host they name.
  EXPECT_TRUE(WriteBackButtonFor(&job, false, "renamed").enabled);
  const WriteBackButtonState other = WriteBackButtonFor(&job, true, "bench2");
  EXPECT_FALSE(other.enabled);
  EXPECT_EQ(other.tip,
            "A job of another bench: Flashwright --headless --port N --restore bench1/42");
  for (const char* backup : {"", "none", "failed", "skipped", "Saved"}) {
    job.backup = backup;
    const WriteBackButtonState state = WriteBackButtonFor(&job, false, "bench1");
    EXPECT_FALSE(state.enabled) << backup;
    EXPECT_EQ(state.tip, "") << backup;
  }

  EXPECT_FALSE(WriteBackRefusal(false, false, "").has_value());
  EXPECT_EQ(WriteBackRefusal(true, true, "no folder").value_or(""),
            "A job is running. Write back when it has ended.");
  EXPECT_EQ(WriteBackRefusal(false, true, "no folder").value_or(""),
            "Write back runs in the single-port window: switch \"Bench mode\" off first.");
  EXPECT_EQ(WriteBackRefusal(false, false, "no folder").value_or(""), "no folder");

  EXPECT_EQ(WriteBackPortQuestion(42), "Write the saved settings of job 42 to the radio on:");
  EXPECT_EQ(WriteBackPortIndex({1, 3, 7}, 7), 2);
  EXPECT_EQ(WriteBackPortIndex({1, 3, 7}, 4), 0);
  EXPECT_EQ(WriteBackPortIndex({}, 4), 0);
}

// The window's record set up for a write-back: the saved data's plan, no firmware, no chip,
// the port chosen; when the data cannot be read the record stays as it was and the box says
// which job.
TEST(HistoryView, WriteBackSetsUpTheRecordOrLeavesIt) {
  struct Recorder : JobRecorder {
    std::optional<WriteBackPlan> plan;
    int64_t asked = 0;
    void JobBegun(const UpgradeState&) override {}
    BackupOutcome SaveBackup(const UpgradeState&, std::span<const uint8_t>,
                             std::span<const uint8_t>, RecordedFont) override {
      return {};
    }
    void WriteCompleted(const UpgradeState&) override {}
    std::optional<int64_t> UnfinishedWrite(const UpgradeState&) override { return std::nullopt; }
    std::optional<WriteBackPlan> LoadWriteBack(int64_t jobId, std::string& problem) override {
      asked = jobId;
      if (!plan) {
        problem = "the backup of job 8 is damaged";
      }
      return plan;
    }
    void JobEnded(const UpgradeState&) override {}
    int64_t JobId() const override { return 0; }
  } recorder;
  UpgradeState state;
  state.chipOnly = 1;
  state.firmwareOnly = 1;
  state.updateChip = 1;
  state.selectedPort = 3;
  std::string box;
  std::string detail;
  EXPECT_FALSE(PrepareWriteBack(state, recorder, 8, 5, box, detail));
  EXPECT_EQ(recorder.asked, 8);
  EXPECT_EQ(box, "The saved settings of job 8 cannot be read.");
  EXPECT_EQ(detail, "the backup of job 8 is damaged");
  EXPECT_EQ(state.writeBack, nullptr);
  EXPECT_EQ(state.chipOnly.load(), 1);
  EXPECT_EQ(state.updateChip.load(), 1);
  EXPECT_EQ(state.selectedPort.load(), 3);

  WriteBackPlan plan;
  plan.sourceJob = 8;
  plan.data = {1, 2, 3};
  recorder.plan = plan;
  EXPECT_TRUE(PrepareWriteBack(state, recorder, 8, 5, box, detail));
  ASSERT_NE(state.writeBack, nullptr);
  EXPECT_EQ(state.writeBack->sourceJob, 8);
  EXPECT_EQ(state.writeBack->data, (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(state.chipOnly.load(), 0);
  EXPECT_EQ(state.firmwareOnly.load(), 0);
  EXPECT_EQ(state.updateChip.load(), 0);
  EXPECT_EQ(state.selectedPort.load(), 5);
}

// Several ports: --port again and again, --ports with a list, --all-ports; each port once.
TEST(HeadlessOptions, SeveralPorts) {
  HeadlessOptions o;
  std::string error;
  ASSERT_TRUE(ParseHeadlessOptions({"--headless", "--port", "3", "--port", "1"}, o, error))
      << error;
  EXPECT_EQ(o.ports, (std::vector<int>{3, 1}));
  EXPECT_EQ(o.port, 3);
  // A bench goes on past the port list's COM16.
  ASSERT_TRUE(ParseHeadlessOptions({"--headless", "--ports", "1,2,17,64", "--port", "5"}, o, error))
      << error;
  EXPECT_EQ(o.ports, (std::vector<int>{1, 2, 17, 64, 5}));
  EXPECT_FALSE(o.allPorts);
  ASSERT_TRUE(ParseHeadlessOptions({"--headless", "--all-ports"}, o, error)) << error;
  EXPECT_TRUE(o.allPorts);
  EXPECT_TRUE(o.ports.empty());
  ASSERT_TRUE(ParseHeadlessOptions({"--headless", "--port", "7"}, o, error)) << error;
  EXPECT_EQ(o.ports, (std::vector<int>{7}));
}

TEST(HeadlessOptions, SeveralPortsUsageErrors) {
  HeadlessOptions o;
  std::string error;
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--ports", "1,,2"}, "--ports takes COM numbers from 1 to 64"},
      {{"--ports", "1,2,"}, "--ports takes COM numbers from 1 to 64"},
      {{"--ports", ",1"}, "--ports takes COM numbers from 1 to 64"},
      {{"--ports", ""}, "--ports takes COM numbers from 1 to 64"},
      {{"--ports", "0,1"}, "--ports takes COM numbers from 1 to 64"},
      {{"--ports", "1,65"}, "--ports takes COM numbers from 1 to 64"},
      {{"--ports", "1;2"}, "--ports takes COM numbers from 1 to 64"},
      {{"--ports"}, "--ports needs a value"},
      {{"--ports", "2,4,2"}, "COM2 is named twice"},
      {{"--port", "3", "--ports", "1,3"}, "COM3 is named twice"},
      {{"--port", "9", "--port", "9"}, "COM9 is named twice"},
      {{"--all-ports", "--port", "1"}, "--all-ports excludes --port and --ports"},
      {{"--ports", "1,2", "--all-ports"}, "--all-ports excludes --port and --ports"}};
  for (const auto& [args, message] : cases) {
    error.clear();
    std::vector<std::string> full = {"--headless"};
    full.insert(full.end(), args.begin(), args.end());
    EXPECT_FALSE(ParseHeadlessOptions(full, o, error)) << args.back();
    EXPECT_EQ(error.rfind(message, 0), 0u) << args.back() << ": " << error;
  }
}

std::string ReadAll(std::FILE* f) {
  std::rewind(f);
  std::string s;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
    s.append(buf, n);
  }
  return s;
}

TEST(HeadlessView, PrintsEachRowChangeOnceAndNamesBoxIcons) {
  std::FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  {
    HeadlessView view(f, false);
    view.InsertRow(0, "------>", "Connecting the radio...");
    view.SetRowText(0, Column::Mark, "   \u221A");
    view.SetRowText(0, Column::Text, "Connect the radio successfully!");
    view.InsertRow(1, "------>", "Next");
    view.SetStatusText("busy");
    view.SetStatusText("busy");  // unchanged: not printed again
    view.SetProgressPos(ProgressBar::Main, 40);
    view.SetProgressPos(ProgressBar::Second, 40);
    view.SetProgressPos(ProgressBar::Main, 140);
    view.MessageBox("Enter download failed!", MessageIcon::Exclamation, MessageButtons::Ok, "why");
    EXPECT_EQ(view.MessageBox("Are you sure to exit?", MessageIcon::Question,
                              MessageButtons::OkCancel, ""),
              MessageResult::Cancel);
    view.Finish();
  }
  EXPECT_EQ(ReadAll(f),
            "row  1 ------>\tConnecting the radio...\n"
            "row  1    \u221A\tConnect the radio successfully!\n"
            "row  2 ------>\tNext\n"
            "status: busy\n"
            "progress 40%\n"
            "progress 100%\n"
            "box [exclamation] Enter download failed! (why)\n"
            "box [question] Are you sure to exit?\n");
  std::fclose(f);
}

// Whichever exchange broke off, the front end prints the one box the window shows, once
// per error, between the rows printed around it.
TEST(HeadlessView, EveryCommunicationErrorKindPrintsTheSameBox) {
  std::FILE* f = std::tmpfile();
  {
    HeadlessView view(f, false);
    UpgradeState state;
    state.SetView(&view);
    view.InsertRow(0, "------>", "Reading the radio, please wait...");
    for (CommError kind :
         {CommError::ReadBlock, CommError::ReadEnd, CommError::WriteBlock, CommError::WriteEnd}) {
      view.PostCommError(kind);
    }
    view.Run([&](const JobEvent& event) { EXPECT_TRUE(HandleJobEvent(state, event)); },
             [](Timer) {}, [] { return true; });
    view.SetRowText(0, Column::Mark, "   \u00D7");
    view.SetRowText(0, Column::Text, "Read the radio failed!");
    view.Finish();
    state.SetView(nullptr);
  }
  const std::string box = "box [none] Communication error, Please retry!\n";
  EXPECT_EQ(ReadAll(f), "row  1 ------>\tReading the radio, please wait...\n" + box + box + box +
                            box + "row  1    \u00D7\tRead the radio failed!\n");
  std::fclose(f);
}

TEST(HeadlessView, EventLoopServesPostsAndTimersUntilDone) {
  std::FILE* f = std::tmpfile();
  HeadlessView view(f, true);
  std::vector<JobEvent> seen;
  int timerFired = 0;
  view.PostProgress(Phase::Firmware, 1024);
  view.PostCommError(CommError::ReadEnd);
  view.PostProgress(Phase::Read, 2048);
  view.SetTimer(Timer::AutoStart, 0);
  view.Run([&](const JobEvent& event) { seen.push_back(event); },
           [&](Timer timer) {
             ++timerFired;
             view.KillTimer(timer);
           },
           [&] { return timerFired > 0; });
  // Served in the order posted, each as it was posted.
  EXPECT_EQ(seen, (std::vector<JobEvent>{ProgressEvent{Phase::Firmware, 1024},
                                         CommErrorEvent{CommError::ReadEnd},
                                         ProgressEvent{Phase::Read, 2048}}));
  EXPECT_EQ(timerFired, 1);
  std::fclose(f);
}

// The command line's first look, with an environment of the test's making.
TEST(HeadlessPreflight, AnswersFromTheCommandLineAndTheEnvironment) {
  std::map<std::string, std::string> env;
  auto look = [&](const std::vector<std::string>& args) {
    return CheckCommandLine(args, [&](const char* name) -> const char* {
      auto it = env.find(name);
      return it == env.end() ? nullptr : it->second.c_str();
    });
  };
  EXPECT_EQ(look({"--program-dir", "d", "-V"}).action, PreflightAction::kVersion);
  EXPECT_EQ(look({"--headless", "--version"}).action, PreflightAction::kVersion);
  EXPECT_EQ(look({"-h"}).action, PreflightAction::kHelp);
  // With --headless the headless front end parses the rest, its own --help included.
  EXPECT_EQ(look({"--headless", "--help", "--bogus"}).action, PreflightAction::kContinue);
  Preflight p = look({"--program-dir=d", "--bogus"});
  EXPECT_EQ(p.action, PreflightAction::kUsageError);
  EXPECT_EQ(p.message, "unknown option --bogus");
  EXPECT_EQ(look({"stray"}).message, "unexpected argument stray");
  EXPECT_EQ(look({"-style"}).message, "-style needs a value");
  // No display: neither X11 nor Wayland, nor a platform chosen by hand.
  p = look({"--program-dir", "d"});
  EXPECT_EQ(p.action, PreflightAction::kNoDisplay);
  EXPECT_NE(p.message.find("--headless"), std::string::npos);
  EXPECT_EQ(look({"-platform", "offscreen"}).action, PreflightAction::kContinue);
  EXPECT_EQ(look({"-reverse", "-style=Fusion"}).action, PreflightAction::kNoDisplay);
  for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    env = {{variable, "x"}};
    EXPECT_EQ(look({}).action, PreflightAction::kContinue) << variable;
  }
  env = {{"DISPLAY", ""}};  // set but empty is no display
  EXPECT_EQ(look({}).action, PreflightAction::kNoDisplay);
}

// Which command lines the Windows window program hands to a console: those the console
// program would answer by itself, never one that only opens the window.
TEST(HeadlessMain, ConsoleForWhatTheCommandLineAnswers) {
  EXPECT_FALSE(NeedsConsole({}));
  EXPECT_FALSE(NeedsConsole({"--program-dir", "C:\\Radios"}));
  EXPECT_FALSE(NeedsConsole({"--program-dir=d"}));
  EXPECT_TRUE(NeedsConsole({"--headless"}));
  EXPECT_TRUE(NeedsConsole({"--program-dir", "d", "--headless", "--port", "3"}));
  EXPECT_TRUE(NeedsConsole({"--help"}));
  EXPECT_TRUE(NeedsConsole({"-h"}));
  EXPECT_TRUE(NeedsConsole({"-V"}));
  EXPECT_TRUE(NeedsConsole({"--version", "--program-dir", "d"}));
  // Headless-only options without --headless are a usage error, said on the console.
  EXPECT_TRUE(NeedsConsole({"--history"}));
  EXPECT_TRUE(NeedsConsole({"--port", "1"}));
  EXPECT_TRUE(NeedsConsole({"stray"}));
  EXPECT_TRUE(NeedsConsole({"--program-dir"}));  // its value is missing
  // "--headless" only counts as a whole argument.
  EXPECT_TRUE(NeedsConsole({"--headless=1"}));  // unknown: a usage error
  EXPECT_FALSE(NeedsConsole({"--program-dir", "--headless-copy"}));
}

// The shared entry: the exit status of what it answers, the window only where nothing was
// asked that it answers.
TEST(HeadlessMain, RunCommandLineAnswersOrOpensTheWindow) {
  auto run = [](std::vector<std::string> all) {
    std::vector<char*> argv;
    for (std::string& a : all) {
      argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    return RunCommandLine(std::vector<std::string>(all.begin() + 1, all.end()),
                          static_cast<int>(all.size()), argv.data());
  };
  ProgramStart s = run({"Flashwright", "--bogus"});
  EXPECT_FALSE(s.openWindow);
  EXPECT_EQ(s.exitStatus, 2);
  s = run({"Flashwright", "--version"});
  EXPECT_FALSE(s.openWindow);
  EXPECT_EQ(s.exitStatus, 0);
  s = run({"Flashwright", "--headless", "--port", "99"});
  EXPECT_FALSE(s.openWindow);
  EXPECT_EQ(s.exitStatus, 2);
  // The options that the caller took out as its window's own are not looked at again.
  s = run({"Flashwright", "--headless", "--bogus"});
  EXPECT_EQ(s.exitStatus, 2);
  {
    std::vector<std::string> all = {"Flashwright", "--bench"};
    std::vector<char*> argv = {all[0].data(), all[1].data(), nullptr};
    s = RunCommandLine({}, 2, argv.data());
    EXPECT_EQ(s.exitStatus, std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY") ||
                                    std::getenv("QT_QPA_PLATFORM")
                                ? 0
                                : 1);
    EXPECT_EQ(s.openWindow, s.exitStatus == 0);
  }
}

// Runs the built program (in the folder `cwd` when given); returns its exit status and its
// output. `environment` goes before the program on the shell's command line ("env -u
// DISPLAY" and the like).
int RunProgram(const std::string& args, std::string& output,
               const std::string& environment = std::string(), const std::string& cwd = "") {
  std::filesystem::path exe =
      std::filesystem::read_symlink("/proc/self/exe").parent_path() / ".." / "bin" / "Flashwright";
  std::string command =
      environment + " FLASHWRIGHT_TIME_SCALE=0.01 '" + exe.string() + "' " + args + " 2>&1";
  if (!cwd.empty()) {
    command = "cd '" + cwd + "' && " + command;
  }
  std::FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) {
    return -1;
  }
  char buf[4096];
  size_t n;
  output.clear();
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) {
    output.append(buf, n);
  }
  int status = pclose(p);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<uint8_t> Image(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) {
    v[i] = static_cast<uint8_t>(i ^ (i >> 8));
  }
  return v;
}

class HeadlessProgram : public ::testing::Test {
 protected:
  void Install(const std::string& settingLines, const std::string& device) {
    dir.Write("Main.bin", image);
    dir.Write("Flashwright.ini", "[Setting]\r\nPort=4\r\nMODEL=KV68\r\nMainBin=Main.bin\r\n" +
                                     settingLines + "[Ports]\r\nCOM4=" + device + "\r\n");
  }
  bool Contains(const std::string& text) const { return output.find(text) != std::string::npos; }
  // The last line of the output, without its line end.
  std::string LastLine() const {
    std::string text = output;
    while (!text.empty() && text.back() == '\n') {
      text.pop_back();
    }
    size_t start = text.rfind('\n');
    return start == std::string::npos ? text : text.substr(start + 1);
  }

  test::TempDir dir;
  std::vector<uint8_t> image = Image(3000);
  std::string output;
};

// The line dies half-way through writing the radio's data: the report names the saved job
// and the command; that command makes the radio whole, byte for byte; the history lists both.
TEST_F(HeadlessProgram, AWriteCutHalfWayIsWrittenBackByTheAdvisedCommand) {
  test::FullUpgradeSetup setup;
  UpgradeState built;
  setup.Build(built);
  const std::string d = setup.dir.Path();
  std::filesystem::create_directories(d + "config/r55");
  std::filesystem::copy_file(d + "Model.dat", d + "config/r55/Model.dat");
  setup.dir.Write("SimpleCH.dat", std::string("A\0\n\0", 4));
  setup.dir.Write("SimpleCH_0412.dat", std::string("B\0\n\0", 4));
  sim::RadioSim radio(setup.config);
  setup.SeedRadio(radio);
  radio.WithLink([](sim::FramedLinkResponder& r) {
    r.InjectFault(sim::FramedLinkResponder::Command::kWriteBlock,
                  sim::FramedLinkResponder::Fault::kSilence, 300);
  });
  ASSERT_TRUE(radio.Start()) << radio.Error();
  setup.dir.Write("Flashwright.ini",
                  "[Setting]\r\nPort=4\r\nMODEL=KV68/KZ66\r\nMainBin=Main.bin\r\n"
                  "Journal=records/jobs.db\r\n[Ports]\r\nCOM4=" +
                      radio.DevicePath() + "\r\n");
  const auto data = [&radio] {
    return radio.WithLink([](sim::FramedLinkResponder& r) {
      return r.MemoryImage(sim::FramedLinkResponder::Memory::kData);
    });
  };
  const std::vector<uint8_t> expected = setup.ExpectedData();
  EXPECT_EQ(RunProgram("--headless --program-dir " + d, output), 1) << output;
  EXPECT_TRUE(Contains("Flashwright --headless --port 4 --restore 1\n")) << output;
  EXPECT_TRUE(Contains("result: failed:")) << output;
  EXPECT_FALSE(std::equal(expected.begin(), expected.end(), data().begin()));

  radio.WithLink([](sim::FramedLinkResponder& r) { r.ClearFaults(); });
  EXPECT_EQ(RunProgram("--headless --port 4 --restore 1 --json --program-dir " + d, output), 0)
      << output;
  EXPECT_TRUE(
      Contains("{\"event\":\"result\",\"port\":4,\"kind\":\"write-back\","
               "\"result\":\"success\",\"job\":2,"))
      << output;
  const std::vector<uint8_t> written = data();
  ASSERT_GE(written.size(), expected.size());
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), written.begin()));

  EXPECT_EQ(RunProgram("--headless --history --format csv --program-dir " + d, output), 0)
      << output;
  std::istringstream lines(output);
  std::string header, newest, oldest;
  std::getline(lines, header);
  std::getline(lines, newest);
  std::getline(lines, oldest);
  EXPECT_EQ(header.rfind("job,started (UTC),ended (UTC),kind,result,", 0), 0u) << header;
  EXPECT_NE(newest.find(",write-back,success,"), std::string::npos) << newest;
  EXPECT_EQ(newest.rfind("2,", 0), 0u) << newest;
  EXPECT_NE(oldest.find(",full,failed,"), std::string::npos) << oldest;
  EXPECT_TRUE(std::filesystem::exists(d + "records/jobs.db"));
  // A filter that no radio matches lists nothing.
  EXPECT_EQ(RunProgram("--headless --history --radio KZ99 --program-dir " + d, output), 0);
  EXPECT_TRUE(Contains("(no jobs)")) << output;
}

TEST_F(HeadlessProgram, FirmwareOnlyBySettingsSucceeds) {
  sim::RadioSim radio;
  ASSERT_TRUE(radio.Start());
  Install("READWRITELOG=3\r\nAutoTest=0\r\n", radio.DevicePath());
  EXPECT_EQ(RunProgram("--headless --program-dir " + dir.Path(), output), 0) << output;
  EXPECT_TRUE(Contains("row  1    \u221A\tConnect the radio successfully!\n")) << output;
  EXPECT_TRUE(Contains("row  2    \u221A\tUpdate the radio software completed!\n")) << output;
  EXPECT_TRUE(Contains("box [none] Update the radio software completed!\n"));
  EXPECT_TRUE(Contains("progress 100%\n"));
  EXPECT_TRUE(Contains("status: The radio is restarting, about 20 seconds...\n"));
  EXPECT_EQ(LastLine(), "result: success: the radio on COM4 (" + radio.DevicePath() +
                            ") is upgraded (firmware)");
  EXPECT_EQ(radio.DownloadSnapshot().Image(), image);
}

TEST_F(HeadlessProgram, OptionsOverrideTheSettingsAndFailuresExitWithOne) {
  sim::RadioSimConfig config;
  config.download.variant = "X";  // a new-family radio without an image
  sim::RadioSim radio(config);
  ASSERT_TRUE(radio.Start());
  Install("READWRITELOG=0\r\n", radio.DevicePath());
  EXPECT_EQ(RunProgram("--headless --firmware-only --program-dir " + dir.Path(), output), 1)
      << output;
  EXPECT_TRUE(Contains("box [none] Update the radio software failed!\n")) << output;
  EXPECT_EQ(LastLine(), "result: failed: the radio on COM4 (" + radio.DevicePath() +
                            ") was not upgraded: \"Update the radio software failed!\"");
}

// A radio whose every answer to "R" is garbled does not say who it is: nobody is there to
// ask, so the job ends before the download request unless the option allows the image
// chosen without knowing the radio.
TEST_F(HeadlessProgram, UnidentifiedRadioEndsTheJobUnlessTheOptionAllowsIt) {
  const std::vector<uint8_t> small = Image(2000);
  dir.Write("Small.bin", small);
  sim::RadioSimConfig config;
  config.download.fault =
      sim::DownloadFault{sim::FaultKind::kGarbled, sim::DownloadStep::kIdentify, 0};
  sim::RadioSim radio(config);
  ASSERT_TRUE(radio.Start());
  Install("READWRITELOG=3\r\nSmallMainBin=Small.bin\r\n", radio.DevicePath());
  EXPECT_EQ(RunProgram("--headless --program-dir " + dir.Path(), output), 1) << output;
  EXPECT_TRUE(
      Contains("box [exclamation] The radio did not identify itself; no firmware was "
               "sent. ("))
      << output;
  EXPECT_TRUE(Contains("\"Small.bin\"")) << output;
  EXPECT_TRUE(Contains("result: failed: "));
  const sim::DownloadRecord refused = radio.DownloadSnapshot();
  EXPECT_EQ(refused.requests[static_cast<int>(sim::DownloadStep::kIdentify)], 4u);
  EXPECT_EQ(refused.requests[static_cast<int>(sim::DownloadStep::kDownloadRequest)], 0u);

  EXPECT_EQ(RunProgram("--headless --allow-unidentified --program-dir " + dir.Path(), output), 0)
      << output;
  EXPECT_EQ(output.find("box [question]"), std::string::npos) << output;
  EXPECT_TRUE(Contains("result: success: "));
  EXPECT_EQ(radio.DownloadSnapshot().fileName, "Small.bin");
  EXPECT_EQ(radio.DownloadSnapshot().Image(), small);
}

TEST_F(HeadlessProgram, UnopenablePortShowsTheReason) {
  Install("READWRITELOG=3\r\n", dir.Path() + "no-such-device");
  EXPECT_EQ(RunProgram("--headless --program-dir " + dir.Path(), output), 1) << output;
  EXPECT_TRUE(
      Contains("box [exclamation] Failed to connect radio. Please check all connections "
               "and port settings! ("))
      << output;
  EXPECT_TRUE(Contains("row  1    \u00D7\tFailed to connect radio."));
  // A device that is not there (any more) is named by its path.
  EXPECT_TRUE(Contains("No such file or directory\n" + dir.Path() + "no-such-device is not there"))
      << output;
}

// A folder without an installation is named in one line, before any port is opened.
TEST_F(HeadlessProgram, FolderWithoutInstallationIsNamedInOneLine) {
  EXPECT_EQ(RunProgram("--headless --program-dir " + dir.Path() + "nonexistent", output), 2);
  EXPECT_EQ(output, "Flashwright: No installation in " + dir.Path() +
                        "nonexistent/: the folder does not exist.\n");
  EXPECT_EQ(RunProgram("--headless --program-dir=" + dir.Path(), output), 2);
  EXPECT_EQ(output, "Flashwright: No installation in " + dir.Path() +
                        ": no settings file Flashwright.ini, no firmware images, no model file "
                        "config/r55/Model.dat, no character list SimpleCH.dat, no character list "
                        "SimpleCH_0412.dat.\n");
  // An installation whose image key is empty: the key is named, not the folder.
  dir.Write("Flashwright.ini", "[Setting]\r\nREADWRITELOG=3\r\nMainBin=\r\n");
  EXPECT_EQ(RunProgram("--headless --program-dir " + dir.Path(), output), 2);
  EXPECT_EQ(output, "Flashwright: The installation in " + dir.Path() +
                        " is incomplete: the settings key \"MainBin\" is empty.\n");
}

TEST_F(HeadlessProgram, UsageErrorExitsWithTwo) {
  EXPECT_EQ(RunProgram("--headless --firmware-only --chip-only", output), 2);
  EXPECT_TRUE(Contains("usage: Flashwright --headless"));
  // Without --headless the program opens its window; that is the window tests' part.
  EXPECT_EQ(RunProgram("--headless --help", output), 0);
  EXPECT_TRUE(Contains("Flashwright --headless [--program-dir DIR]")) << output;
}

// The program as a child whose standard output and error go to `outFd`, with the fixed
// waits shortened; for signals sent in the middle of a job.
pid_t SpawnProgram(const std::vector<std::string>& options, int outFd) {
  const std::string exe =
      (std::filesystem::read_symlink("/proc/self/exe").parent_path() / ".." / "bin" / "Flashwright")
          .string();
  std::vector<std::string> args = {exe};
  args.insert(args.end(), options.begin(), options.end());
  std::vector<char*> argv;
  for (std::string& a : args) {
    argv.push_back(a.data());
  }
  argv.push_back(nullptr);
  std::string scale = "FLASHWRIGHT_TIME_SCALE=0.01";
  char* envp[] = {scale.data(), nullptr};
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_adddup2(&files, outFd, STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&files, outFd, STDERR_FILENO);
  pid_t pid = -1;
  if (posix_spawn(&pid, exe.c_str(), &files, nullptr, argv.data(), envp) != 0) {
    pid = -1;
  }
  posix_spawn_file_actions_destroy(&files);
  return pid;
}

// The child's wait status, or -1 (after killing it) when it has not ended in time.
int WaitForExit(pid_t pid, int timeoutMs) {
  int status = 0;
  for (int waited = 0; waited < timeoutMs; waited += 10) {
    if (waitpid(pid, &status, WNOHANG) == pid) {
      return status;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

bool Running(pid_t pid) {
  int status = 0;
  return waitpid(pid, &status, WNOHANG) == 0;
}

std::string FileText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

constexpr const char* kHalfWrittenWarning = "stopping now leaves it half-written";

// Signals in the middle of a firmware-only job against a radio that keeps the pace of a
// real 115200-baud line (about 90 ms a block), so that the job is still writing when the
// signal arrives.
class HeadlessSignals : public HeadlessProgram {
 protected:
  void SetUp() override {
    config.lineRate = 115200;
    radio = std::make_unique<sim::RadioSim>(config);
    ASSERT_TRUE(radio->Start()) << radio->Error();
  }
  void InstallFirmwareOnly(size_t imageSize) {
    image = Image(imageSize);
    Install("READWRITELOG=3\r\nAutoTest=0\r\n", radio->DevicePath());
  }
  // Spawns the job with its report in a file; false when it did not start.
  bool StartJob() {
    log = dir.Path() + "report.txt";
    int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
      return false;
    }
    pid = SpawnProgram({"--headless", "--program-dir", dir.Path()}, fd);
    close(fd);
    return pid > 0;
  }
  // Waits until the radio has taken `blocks` data blocks of the image.
  bool WaitForBlocks(uint32_t blocks) {
    for (int i = 0; i < 3000; ++i) {
      if (radio->DownloadSnapshot().blocksAccepted >= blocks) {
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

  sim::RadioSimConfig config;
  std::unique_ptr<sim::RadioSim> radio;
  std::string log;
  pid_t pid = -1;
};

// The window outlives the terminal it was started from (SIGHUP) and a reader of its output
// that went away (SIGPIPE): both are ignored before the window system starts.
TEST_F(HeadlessProgram, WindowIgnoresHangUpAndClosedOutput) {
  int fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  const pid_t pid = SpawnProgram({"-platform", "offscreen", "--program-dir", dir.Path()}, fd);
  close(fd);
  ASSERT_GT(pid, 0);
  const unsigned long long wanted = (1ULL << (SIGHUP - 1)) | (1ULL << (SIGPIPE - 1));
  bool ignoring = false;
  for (int i = 0; i < 1000 && !ignoring && Running(pid); ++i) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("SigIgn:", 0) == 0) {
        ignoring = (std::stoull(line.substr(7), nullptr, 16) & wanted) == wanted;
      }
    }
    if (!ignoring) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  EXPECT_TRUE(ignoring);
  kill(pid, SIGHUP);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(Running(pid));
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
}

// A pager that quit (the reading end of the pipe closed) no longer kills the program in
// the middle of the transfer: the job goes on and leaves the radio fully written.
TEST_F(HeadlessSignals, ClosedOutputPipeDoesNotStopTheJob) {
  InstallFirmwareOnly(20000);
  int fds[2];
  ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
  pid = SpawnProgram({"--headless", "--program-dir", dir.Path()}, fds[1]);
  close(fds[1]);
  ASSERT_GT(pid, 0);
  char first[64];
  ASSERT_GT(read(fds[0], first, sizeof first), 0);  // the report has begun
  ASSERT_TRUE(WaitForBlocks(1));
  close(fds[0]);  // the reader goes away while the image is being sent
  const int status = WaitForExit(pid, 60000);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal "
                                 << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  const sim::DownloadRecord record = radio->DownloadSnapshot();
  EXPECT_TRUE(record.completed);
  EXPECT_EQ(record.Image(), image);
}

// A closed SSH session (SIGHUP) lets the job finish writing the radio.
TEST_F(HeadlessSignals, HangUpLetsTheJobFinish) {
  InstallFirmwareOnly(20000);
  ASSERT_TRUE(StartJob());
  ASSERT_TRUE(WaitForBlocks(2));
  kill(pid, SIGHUP);
  const int status = WaitForExit(pid, 60000);
  output = FileText(log);
  ASSERT_TRUE(WIFEXITED(status)) << output;
  EXPECT_EQ(WEXITSTATUS(status), 0) << output;
  EXPECT_TRUE(Contains("result: success: ")) << output;
  const sim::DownloadRecord record = radio->DownloadSnapshot();
  EXPECT_TRUE(record.completed);
  EXPECT_EQ(record.Image(), image);
}

// While the firmware is being written the first SIGTERM only warns and the job goes on;
// the second one stops it, and the report says the user stopped it.
TEST_F(HeadlessSignals, FirstTerminateWhileWritingWarnsTheSecondStops) {
  InstallFirmwareOnly(80000);  // about 7 seconds on the line
  ASSERT_TRUE(StartJob());
  ASSERT_TRUE(WaitForBlocks(2));
  kill(pid, SIGTERM);
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  const uint32_t blocksAfterFirst = radio->DownloadSnapshot().blocksAccepted;
  EXPECT_TRUE(Running(pid));
  ASSERT_TRUE(WaitForBlocks(blocksAfterFirst + 2)) << FileText(log);
  output = FileText(log);
  EXPECT_TRUE(Contains(kHalfWrittenWarning)) << output;
  EXPECT_TRUE(Contains("Ctrl-C again (or send SIGTERM again)")) << output;
  kill(pid, SIGTERM);
  const int status = WaitForExit(pid, 10000);
  output = FileText(log);
  ASSERT_TRUE(WIFEXITED(status)) << output;
  EXPECT_EQ(WEXITSTATUS(status), 1) << output;
  EXPECT_TRUE(Contains("\u00D7\tStopped by the user.\n")) << output;
  EXPECT_TRUE(Contains("result: stopped by the user: the radio on COM")) << output;
  EXPECT_EQ(output.find("Communication error, Please retry!"), std::string::npos) << output;
  EXPECT_FALSE(radio->DownloadSnapshot().completed);
}

// Outside the writing phases Ctrl-C stops at once, without the warning.
TEST_F(HeadlessSignals, InterruptBeforeWritingStopsAtOnce) {
  radio->WithDownload([](sim::DownloadModeResponder& d) {
    d.SetFault(sim::DownloadFault{sim::FaultKind::kSilence, sim::DownloadStep::kIdentify, 0, 1});
  });
  InstallFirmwareOnly(20000);
  ASSERT_TRUE(StartJob());
  for (int i = 0; i < 2000 && radio->DownloadSnapshot().requests[1] == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_GT(radio->DownloadSnapshot().requests[1], 0u);
  kill(pid, SIGINT);
  const int status = WaitForExit(pid, 3000);
  output = FileText(log);
  ASSERT_TRUE(WIFEXITED(status)) << output;
  EXPECT_EQ(WEXITSTATUS(status), 1) << output;
  EXPECT_EQ(output.find(kHalfWrittenWarning), std::string::npos) << output;
  EXPECT_TRUE(Contains("\u00D7\tStopped by the user.\n")) << output;
  EXPECT_TRUE(Contains("result: stopped by the user: the radio on COM")) << output;
  EXPECT_EQ(output.find("box ["), std::string::npos) << output;
}

// An installation for full jobs against the composite simulated radio: the model file
// accepts the radio's identity and area, a template for its model text, the substitute
// converters, a chip hex file.
class HeadlessFullProgram : public HeadlessProgram {
 protected:
  void SetUp() override {
    config.download.restartMs = 200;
    const std::string d = dir.Path();
    std::filesystem::create_directories(d + "config/r55");
    std::string hexId;
    char two[3];
    for (char c : config.linkIdentifier) {
      std::snprintf(two, sizeof two, "%02X", static_cast<unsigned char>(c));
      hexId += std::string(two) + "00";
    }
    dir.Write("config/r55/Model.dat",
              "[Area]\r\nNumber=1\r\nArea0=1\r\n[Type]\r\nNumber=1\r\n"
              "Type0=" +
                  hexId + ",1,x,y\r\n");
    std::filesystem::create_directories(d + "rcdb");
    templateData = Image(129976);
    ASSERT_TRUE(WriteTemplateFile(d + "rcdb/" + FixUpModelText(config.linkModelText) + ".rcd",
                                  templateData, {}));
    for (const char* lib : {"libmutaris.so", "libmutarisV1.so"}) {
      std::filesystem::copy_file(std::string(FLASHWRIGHT_PLUGIN_DIR) + "/" + lib, d + lib);
    }
    // One character in each list (UTF-16LE).
    dir.Write("SimpleCH.dat", std::vector<uint8_t>{'A', 0, '\n', 0});
    dir.Write("SimpleCH_0412.dat", std::vector<uint8_t>{'B', 0, '\n', 0});
    hex.Page(0);
    hex.Data(0x0000, {1, 2, 3, 4, 5, 6, 7, 8});
    hex.End();
    ASSERT_TRUE(hex.Save(d + "Chip.hex"));
  }
  std::vector<uint8_t> Data(sim::RadioSim& radio) {
    return radio.WithLink([](sim::FramedLinkResponder& r) {
      auto& m = r.MemoryImage(sim::FramedLinkResponder::Memory::kData);
      return std::vector<uint8_t>(m.begin(), m.begin() + 129976);
    });
  }

  sim::RadioSimConfig config;
  std::vector<uint8_t> templateData;
  test::HexFileWriter hex;
};

TEST_F(HeadlessFullProgram, FullUpgradeWithChip) {
  sim::RadioSim radio(config);
  ASSERT_TRUE(radio.Start());
  Install("READWRITELOG=0\r\nDadazuHex=Chip.hex\r\n", radio.DevicePath());
  EXPECT_EQ(RunProgram("--headless --update-chip --program-dir " + dir.Path(), output), 0)
      << output;
  for (const char* row :
       {"Read the radio completed!", "The upgrade data file has been found!",
        "Convert radio data completed!", "Write the radio completed!",
        "Update the firmware chip completed!", "All upgrade completed successfully!"}) {
    EXPECT_TRUE(Contains(std::string("\u221A\t") + row + "\n")) << row << "\n" << output;
  }
  EXPECT_TRUE(Contains("box [none] All upgrade completed successfully!\n"));
  EXPECT_EQ(LastLine(), "result: success: the radio on COM4 (" + radio.DevicePath() +
                            ") is upgraded (firmware, radio data, font and firmware chip)");
  EXPECT_EQ(radio.DownloadSnapshot().Image(), image);
  std::vector<uint8_t> expected = templateData;
  expected[766] = 0x09;  // a KW66 radio is switched to English
  expected[767] = 0x04;
  EXPECT_EQ(Data(radio), expected);
  radio.WithChip([&](sim::ChipLoaderResponder& chip) { EXPECT_EQ(chip.Flash(), hex.Expected()); });
}

TEST_F(HeadlessFullProgram, ChipOnly) {
  config.startMode = sim::RadioMode::kNormal;
  sim::RadioSim radio(config);
  ASSERT_TRUE(radio.Start());
  Install("READWRITELOG=0\r\nDadazuHex=Chip.hex\r\n", radio.DevicePath());
  EXPECT_EQ(RunProgram("--headless --chip-only --program-dir " + dir.Path(), output), 0) << output;
  EXPECT_TRUE(Contains("\u221A\tUpdate the firmware chip completed!\n")) << output;
  EXPECT_TRUE(Contains("box [none] Update the firmware chip completed!\n"));
  radio.WithChip([&](sim::ChipLoaderResponder& chip) { EXPECT_EQ(chip.Flash(), hex.Expected()); });
  EXPECT_EQ(radio.DownloadSnapshot().requests[1], 0u);  // no identification: no firmware
}

TEST_F(HeadlessFullProgram, MissingTemplateFailsWithItsRow) {
  std::filesystem::remove_all(dir.Path() + "rcdb");
  sim::RadioSim radio(config);
  ASSERT_TRUE(radio.Start());
  Install("READWRITELOG=0\r\n", radio.DevicePath());
  EXPECT_EQ(RunProgram("--headless --program-dir " + dir.Path(), output), 1) << output;
  EXPECT_TRUE(Contains("\u00D7\tOpen the new RCDB file failed!\n")) << output;
  EXPECT_TRUE(Contains("box [exclamation] Open the new RCDB file failed! (")) << output;
  EXPECT_EQ(LastLine(), "result: failed: the radio on COM4 (" + radio.DevicePath() +
                            ") was not upgraded: \"Open the new RCDB file failed!\"");
}

// The folder as the demo names it, relative to the current folder: the converter libraries
// (loaded by absolute path after the firmware was sent) are found.
TEST_F(HeadlessFullProgram, RelativeFolderUpgradesFully) {
  sim::RadioSim radio(config);
  ASSERT_TRUE(radio.Start());
  Install("READWRITELOG=0\r\n", radio.DevicePath());
  const std::filesystem::path folder = std::filesystem::path(dir.Path()).parent_path();
  EXPECT_EQ(RunProgram("--headless --program-dir=" + folder.filename().string(), output, "",
                       folder.parent_path().string()),
            0)
      << output;
  EXPECT_TRUE(Contains("\u221A\tConvert radio data completed!\n")) << output;
  EXPECT_EQ(LastLine(), "result: success: the radio on COM4 (" + radio.DevicePath() +
                            ") is upgraded (firmware, radio data and font)");
  std::vector<uint8_t> expected = templateData;
  expected[766] = 0x09;
  expected[767] = 0x04;
  EXPECT_EQ(Data(radio), expected);
}

// Run mode 5: jobs follow one another until the program is interrupted; each completed
// job is counted in "UpdateTimes".
TEST_F(HeadlessFullProgram, RepeatModeCountsJobsUntilInterrupted) {
  sim::RadioSim radio(config);
  ASSERT_TRUE(radio.Start());
  Install("READWRITELOG=5\r\nAutoTest=1\r\n", radio.DevicePath());
  const std::string log = dir.Path() + "out.txt";
  const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  const pid_t pid = SpawnProgram({"--headless", "--program-dir", dir.Path()}, fd);
  close(fd);
  ASSERT_GT(pid, 0);

  const std::string ini = dir.Path() + "Flashwright.ini";
  for (int i = 0; i < 600 && ProfileGetInt("Setting", "UpdateTimes", 0, ini) < 2; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  kill(pid, SIGINT);
  int status = 0;
  waitpid(pid, &status, 0);
  output = FileText(log);
  EXPECT_GE(ProfileGetInt("Setting", "UpdateTimes", 0, ini), 2) << output;
  ASSERT_TRUE(WIFEXITED(status)) << output;
  EXPECT_TRUE(Contains("completed jobs: ")) << output;
  EXPECT_EQ(output.find("box [none] All upgrade completed successfully!"), std::string::npos);
  // The radio, running normally after the first job, was asked back into download mode.
  const std::string softwareDone = "\u221A\tUpdate the radio software completed!\n";
  const size_t first = output.find(softwareDone);
  ASSERT_NE(first, std::string::npos) << output;
  EXPECT_NE(output.find(softwareDone, first + 1), std::string::npos) << output;
  EXPECT_TRUE(radio.DownloadSnapshot().completed);
}

// Several radios, one per port: COM1, COM2 ... stand for the simulated radios' terminals.
class HeadlessPortsProgram : public HeadlessFullProgram {
 protected:
  void StartRadios(size_t n) {
    for (size_t i = 0; i < n; ++i) {
      radios.push_back(std::make_unique<sim::RadioSim>(configs.size() > i ? configs[i] : config));
      ASSERT_TRUE(radios.back()->Start()) << radios.back()->Error();
    }
  }
  // Maps the radios to COM1..N, or to the numbers given.
  void InstallPorts(const std::string& settingLines, std::vector<int> numbers = {}) {
    dir.Write("Main.bin", image);
    std::string ports;
    for (size_t i = 0; i < radios.size(); ++i) {
      const int n = i < numbers.size() ? numbers[i] : static_cast<int>(i + 1);
      ports += "COM" + std::to_string(n) + "=" + radios[i]->DevicePath() + "\r\n";
    }
    dir.Write("Flashwright.ini", "[Setting]\r\nPort=4\r\nMODEL=KV68\r\nMainBin=Main.bin\r\n" +
                                     settingLines + "[Ports]\r\n" + ports);
  }
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    std::istringstream in(output);
    std::string line;
    while (std::getline(in, line)) {
      lines.push_back(line);
    }
    return lines;
  }
  // The summary table's line for `port` ("COM2  /dev/pts/7  ..."), empty when there is none.
  std::string SummaryLine(int port) const {
    const std::vector<std::string> lines = Lines();
    auto summary = std::find(lines.begin(), lines.end(), "summary:");
    for (auto it = summary; it != lines.end(); ++it) {
      if (it->rfind("COM" + std::to_string(port) + " ", 0) == 0) {
        return *it;
      }
    }
    return std::string();
  }
  // Every line before the summary carries the port of one of the jobs.
  void ExpectEveryLineCarriesItsPort(size_t ports) const {
    for (const std::string& line : Lines()) {
      if (line == "summary:") {
        break;
      }
      bool carries = false;
      for (size_t p = 1; p <= ports; ++p) {
        carries = carries || line.rfind("COM" + std::to_string(p) + ": ", 0) == 0;
      }
      EXPECT_TRUE(carries) << line;
    }
  }

  std::vector<sim::RadioSimConfig> configs;
  std::vector<std::unique_ptr<sim::RadioSim>> radios;
};

TEST_F(HeadlessPortsProgram, ThreePortsAtOnceAllSucceed) {
  image = Image(12000);
  StartRadios(3);
  InstallPorts("READWRITELOG=3\r\n");
  EXPECT_EQ(RunProgram("--headless --ports 1,2,3 --program-dir " + dir.Path(), output), 0)
      << output;
  ExpectEveryLineCarriesItsPort(3);
  for (int p = 1; p <= 3; ++p) {
    const std::string com = "COM" + std::to_string(p);
    const std::string device = radios[p - 1]->DevicePath();
    EXPECT_EQ(radios[p - 1]->DownloadSnapshot().Image(), image) << com;
    EXPECT_TRUE(Contains(com + ": row  2    \u221A\tUpdate the radio software completed!\n"))
        << output;
    EXPECT_TRUE(Contains(com + ": progress 100%\n")) << output;
    EXPECT_TRUE(Contains(com + ": result: success: the radio on " + com + " (" + device +
                         ") is upgraded (firmware)\n"))
        << output;
    const std::string row = SummaryLine(p);
    EXPECT_NE(row.find(device), std::string::npos) << row;
    EXPECT_NE(row.find(" success "), std::string::npos) << row;
    EXPECT_NE(row.find(" KV680DEMO "), std::string::npos) << row;  // the model it reported
    EXPECT_NE(row.find("Update the radio software completed!"), std::string::npos) << row;
    EXPECT_NE(row.find(" s "), std::string::npos) << row;  // the duration
  }
  EXPECT_TRUE(Contains("summary:\nport "));
  EXPECT_EQ(LastLine(), "result: every job succeeded");
}

// A radio that never enters download mode fails its own job only: the others are
// written byte for byte and the exit status says that not every job succeeded.
TEST_F(HeadlessPortsProgram, RadioNotInDownloadModeFailsOnlyItsOwnJob) {
  image = Image(12000);
  configs = {config, config, config};
  configs[1].download.fault =
      sim::DownloadFault{sim::FaultKind::kNotInDownload, sim::DownloadStep::kIdentify, 0};
  StartRadios(3);
  InstallPorts("READWRITELOG=3\r\n");
  EXPECT_EQ(RunProgram("--headless --port 1 --port 2 --port 3 --program-dir " + dir.Path(), output),
            1)
      << output;
  ExpectEveryLineCarriesItsPort(3);
  EXPECT_EQ(radios[0]->DownloadSnapshot().Image(), image);
  EXPECT_EQ(radios[2]->DownloadSnapshot().Image(), image);
  EXPECT_EQ(
      radios[1]->DownloadSnapshot().requests[static_cast<int>(sim::DownloadStep::kDownloadRequest)],
      0u);
  EXPECT_TRUE(Contains("COM2: result: failed: the radio on COM2")) << output;
  EXPECT_TRUE(Contains("COM2: box [exclamation] ")) << output;
  EXPECT_TRUE(Contains("COM1: result: success: ")) << output;
  EXPECT_TRUE(Contains("COM3: result: success: ")) << output;
  EXPECT_EQ(output.find("COM1: box [exclamation]"), std::string::npos) << output;
  EXPECT_NE(SummaryLine(2).find(" failed "), std::string::npos) << SummaryLine(2);
  EXPECT_NE(SummaryLine(1).find(" success "), std::string::npos) << SummaryLine(1);
  EXPECT_NE(SummaryLine(3).find(" success "), std::string::npos) << SummaryLine(3);
  EXPECT_EQ(LastLine(), "result: not every job succeeded");
}

// A radio whose line is cut in the middle of the image (the cable pulled) leaves the other
// radio's transfer untouched.
TEST_F(HeadlessPortsProgram, LineCutMidWriteOnOnePortLeavesTheOtherWhole) {
  image = Image(12000);
  configs = {config, config};
  configs[0].download.fault =
      sim::DownloadFault{sim::FaultKind::kHangUp, sim::DownloadStep::kData, 0, 4};
  StartRadios(2);
  InstallPorts("READWRITELOG=3\r\n");
  EXPECT_EQ(RunProgram("--headless --ports 2,1 --program-dir " + dir.Path(), output), 1) << output;
  EXPECT_FALSE(radios[0]->DownloadSnapshot().completed);
  EXPECT_EQ(radios[0]->DownloadSnapshot().blocksAccepted, 3u);  // cut at the fourth block
  EXPECT_EQ(radios[1]->DownloadSnapshot().Image(), image);
  EXPECT_TRUE(Contains("COM1: result: failed: ")) << output;
  EXPECT_TRUE(Contains("COM2: result: success: ")) << output;
  // The table lists the ports in the order given.
  EXPECT_LT(output.find("\nCOM2 "), output.find("\nCOM1 ")) << output;
}

// A bench of more radios than the port list's sixteen: COM numbers past COM16 name their
// devices in the "Ports" section and reach their own radios.
TEST_F(HeadlessPortsProgram, PortsPastSixteenReachTheirRadios) {
  image = Image(6000);
  StartRadios(2);
  InstallPorts("READWRITELOG=3\r\n", {17, 40});
  EXPECT_EQ(RunProgram("--headless --ports 40,17 --program-dir " + dir.Path(), output), 0)
      << output;
  EXPECT_EQ(radios[0]->DownloadSnapshot().Image(), image);
  EXPECT_EQ(radios[1]->DownloadSnapshot().Image(), image);
  EXPECT_TRUE(
      Contains("COM17: result: success: the radio on COM17 (" + radios[0]->DevicePath() + ")"))
      << output;
  EXPECT_TRUE(
      Contains("COM40: result: success: the radio on COM40 (" + radios[1]->DevicePath() + ")"))
      << output;
  EXPECT_NE(SummaryLine(40).find(radios[1]->DevicePath()), std::string::npos) << output;
}

// Full upgrades on two ports at once: each radio gets the converted template, and the data
// logs of both (written within the same second or not) are kept under their port's name,
// each holding what its own radio held.
TEST_F(HeadlessPortsProgram, FullUpgradesKeepEachPortsDataLogs) {
  StartRadios(2);
  std::vector<std::vector<uint8_t>> before;
  for (size_t i = 0; i < 2; ++i) {
    std::vector<uint8_t> data = Image(129976);
    data[i * 1000 + 5] ^= 0x5A;  // each radio holds different data
    radios[i]->WithLink([&](sim::FramedLinkResponder& r) {
      auto& m = r.MemoryImage(sim::FramedLinkResponder::Memory::kData);
      std::copy(data.begin(), data.end(), m.begin());
    });
    before.push_back(data);
  }
  InstallPorts("READWRITELOG=1\r\n");
  EXPECT_EQ(RunProgram("--headless --ports 1,2 --program-dir " + dir.Path(), output), 0) << output;
  std::vector<uint8_t> expected = templateData;
  expected[766] = 0x09;
  expected[767] = 0x04;
  std::map<std::string, std::string> logs;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path() + "ReadWriteLog")) {
    const std::string name = entry.path().filename().string();
    logs[name.substr(name.find(']') + 1)] = entry.path().string();
  }
  for (size_t i = 0; i < 2; ++i) {
    const std::string com = "COM" + std::to_string(i + 1);
    EXPECT_EQ(Data(*radios[i]), expected) << com;
    ASSERT_EQ(logs.count(com + "-ReadLog.dat"), 1u) << com;
    EXPECT_EQ(logs.count(com + "-WriteLog.dat"), 1u) << com;
    const std::string read = FileText(logs[com + "-ReadLog.dat"]);
    EXPECT_EQ(std::vector<uint8_t>(read.begin(), read.end()), before[i]) << com;
  }
  EXPECT_EQ(logs.count("ReadLog.dat"), 0u);
}

// Ctrl-C with several jobs: the first one stops at once the job that is not writing its
// radio (waiting for a silent one) and only warns for the one that is; that job goes on and
// leaves its radio whole.
TEST_F(HeadlessPortsProgram, FirstInterruptStopsOnlyTheJobsNotWriting) {
  image = Image(60000);  // about 5 seconds on a paced line
  configs = {config, config};
  configs[0].lineRate = 115200;
  configs[1].download.fault =
      sim::DownloadFault{sim::FaultKind::kSilence, sim::DownloadStep::kIdentify, 0};
  StartRadios(2);
  InstallPorts("READWRITELOG=3\r\n");
  const std::string log = dir.Path() + "report.txt";
  const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  const pid_t pid = SpawnProgram({"--headless", "--ports", "1,2", "--program-dir", dir.Path()}, fd);
  close(fd);
  ASSERT_GT(pid, 0);
  for (int i = 0; i < 3000 && radios[0]->DownloadSnapshot().blocksAccepted < 2; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_GE(radios[0]->DownloadSnapshot().blocksAccepted, 2u) << FileText(log);
  kill(pid, SIGINT);
  const int status = WaitForExit(pid, 60000);
  output = FileText(log);
  ASSERT_TRUE(WIFEXITED(status)) << output;
  EXPECT_EQ(WEXITSTATUS(status), 1) << output;
  EXPECT_TRUE(Contains(kHalfWrittenWarning)) << output;
  EXPECT_TRUE(Contains("COM2: row  2    \u00D7\tStopped by the user.\n")) << output;
  EXPECT_TRUE(Contains("COM2: result: stopped by the user: the radio on COM2")) << output;
  EXPECT_TRUE(Contains("COM1: result: success: ")) << output;
  EXPECT_EQ(output.find("COM1: row  3    \u00D7\tStopped by the user."), std::string::npos);
  EXPECT_TRUE(radios[0]->DownloadSnapshot().completed);
  EXPECT_EQ(radios[0]->DownloadSnapshot().Image(), image);
  EXPECT_NE(SummaryLine(2).find(" stopped "), std::string::npos) << output;
  EXPECT_NE(SummaryLine(2).find(" - "), std::string::npos) << output;  // no model reported
  EXPECT_NE(SummaryLine(1).find(" success "), std::string::npos) << output;
}

TEST_F(HeadlessPortsProgram, UsageErrorsExitWithTwo) {
  for (const auto& [args, message] : std::vector<std::pair<std::string, std::string>>{
           {"--ports 1,x", "Flashwright: --ports takes COM numbers from 1 to 64"},
           {"--ports 3,65", "Flashwright: --ports takes COM numbers from 1 to 64"},
           {"--port 2 --port 0", "Flashwright: --port takes a COM number from 1 to 64"},
           {"--port 4 --ports 5,4", "Flashwright: COM4 is named twice"}}) {
    EXPECT_EQ(RunProgram("--headless " + args + " --program-dir " + dir.Path(), output), 2)
        << args << "\n"
        << output;
    EXPECT_EQ(output.rfind(message, 0), 0u) << output;
    EXPECT_TRUE(Contains("usage: Flashwright --headless")) << output;
  }
}

// Run mode 5 on two ports: each port repeats on its own, and "UpdateTimes" counts the
// completed jobs of both, the total the report gives and the sum of the ports' counts.
TEST_F(HeadlessPortsProgram, RepeatModeCountsTheJobsOfEveryPort) {
  StartRadios(2);
  InstallPorts("READWRITELOG=5\r\nAutoTest=1\r\n");
  const std::string log = dir.Path() + "out.txt";
  const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  const pid_t pid = SpawnProgram({"--headless", "--ports", "1,2", "--program-dir", dir.Path()}, fd);
  close(fd);
  ASSERT_GT(pid, 0);
  const std::string ini = dir.Path() + "Flashwright.ini";
  for (int i = 0; i < 600 && ProfileGetInt("Setting", "UpdateTimes", 0, ini) < 4; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  kill(pid, SIGINT);
  const int status = WaitForExit(pid, 60000);
  output = FileText(log);
  ASSERT_TRUE(WIFEXITED(status)) << output;
  const int written = ProfileGetInt("Setting", "UpdateTimes", 0, ini);
  EXPECT_GE(written, 4) << output;
  int sum = 0;
  for (const char* port : {"COM1: completed jobs: ", "COM2: completed jobs: "}) {
    const size_t at = output.find(port);
    ASSERT_NE(at, std::string::npos) << output;
    const int count = std::stoi(output.substr(at + std::strlen(port)));
    EXPECT_GE(count, 1) << port << output;
    sum += count;
  }
  EXPECT_EQ(sum, written) << output;
  EXPECT_TRUE(Contains("\ncompleted jobs: " + std::to_string(written) + "\n")) << output;
  for (auto& radio : radios) {
    EXPECT_TRUE(radio->DownloadSnapshot().completed);
  }
}

// GNU-style --help and --version answer on standard output and open no window.
TEST_F(HeadlessProgram, HelpAndVersionInTheUsualForm) {
  EXPECT_EQ(RunProgram("--version", output), 0);
  EXPECT_EQ(output.rfind("Flashwright (Radio Flashwright) ", 0), 0u) << output;
  EXPECT_EQ(RunProgram("--help", output), 0);
  EXPECT_EQ(output.rfind("Usage: Flashwright", 0), 0u) << output;
  EXPECT_TRUE(Contains("--program-dir DIR"));
  EXPECT_TRUE(Contains("--version"));
}

// Over SSH or in a container there is no display: the answers that need no window come
// before any window system is touched, and the window itself is refused with a hint.
TEST_F(HeadlessProgram, NoDisplayAnswersWithoutTheWindowSystem) {
  const std::string noDisplay = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM";
  for (const char* help : {"-h", "--help"}) {
    EXPECT_EQ(RunProgram(help, output, noDisplay), 0) << help << "\n" << output;
    EXPECT_EQ(output.rfind("Usage: Flashwright", 0), 0u) << output;
    EXPECT_TRUE(Contains("-V, --version")) << output;
  }
  for (const char* version : {"-V", "--version", "--program-dir x --version"}) {
    EXPECT_EQ(RunProgram(version, output, noDisplay), 0) << version << "\n" << output;
    EXPECT_EQ(output.rfind("Flashwright (Radio Flashwright) ", 0), 0u) << output;
  }
  EXPECT_EQ(RunProgram("--frobnicate", output, noDisplay), 2) << output;
  EXPECT_TRUE(Contains("Flashwright: unknown option --frobnicate\n")) << output;
  EXPECT_TRUE(Contains("Try 'Flashwright --help'")) << output;
  EXPECT_EQ(RunProgram("--program-dir", output, noDisplay), 2) << output;
  EXPECT_TRUE(Contains("--program-dir needs a value")) << output;

  EXPECT_EQ(RunProgram("--program-dir " + dir.Path(), output, noDisplay), 1) << output;
  EXPECT_TRUE(Contains("there is no display")) << output;
  EXPECT_TRUE(Contains("Flashwright --headless")) << output;
  EXPECT_EQ(output.find("Qt platform plugin"), std::string::npos) << output;
}

}  // namespace
}  // namespace fw
