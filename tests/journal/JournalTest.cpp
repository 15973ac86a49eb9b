// The job journal on real SQLite files: schema versions, data kept once per content, a full
// or unusable journal, several processes at once; and jobs against the simulated radio: the
// backup before the write, a write cut half-way, the write-back that makes the radio whole.

#include <gtest/gtest.h>
#include <sqlite3.h>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <random>
#include <set>
#include <thread>

#include "RadioSim.h"
#include "core/Progress.h"
#include "core/Status.h"
#include "journal/Journal.h"
#include "journal/JournalRecorder.h"
#include "radiodata/WriteRadio.h"
#include "serial/PortMap.h"
#include "support/FakeClockScope.h"
#include "support/FullUpgradeSetup.h"
#include "support/RecordingView.h"
#include "support/TempDir.h"
#include "workflow/Job.h"

namespace fw {
namespace {

using sim::FramedLinkResponder;

std::vector<uint8_t> FileBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

// Runs `sql` on the file directly, as another program would.
int64_t RawQuery(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_stmt* st = nullptr;
  int64_t value = -1;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK &&
      sqlite3_step(st) == SQLITE_ROW) {
    value = sqlite3_column_int64(st, 0);
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  return value;
}

JournalJob NewJob(const std::string& key) {
  JournalJob job;
  job.kind = "full";
  job.result = "running";
  job.startedUtc = UtcNow();
  job.host = HostName();
  job.pid = ProcessId();
  job.radioKey = key;
  return job;
}

TEST(Journal, AFileOfTheFirstSchemaIsMigratedAndKeepsItsJobs) {
  test::TempDir dir;
  const std::string path = dir.Path() + "journal.db";
  std::string error;
  int64_t id = 0;
  {
    auto first = Journal::Open(path, error, 1);
    ASSERT_TRUE(first) << error;
    EXPECT_EQ(first->SchemaVersion(), 1);
    JournalJob job = NewJob("radio-1");
    ASSERT_TRUE(first->BeginJob(job));
    id = job.id;
  }
  EXPECT_EQ(RawQuery(path, "SELECT count(*) FROM sqlite_master WHERE name='jobs_radio'"), 0);
  auto journal = Journal::Open(path, error);
  ASSERT_TRUE(journal) << error;
  EXPECT_EQ(journal->SchemaVersion(), kJournalSchemaVersion);
  EXPECT_EQ(RawQuery(path, "SELECT count(*) FROM sqlite_master WHERE name='jobs_radio'"), 1);
  const std::optional<JournalJob> kept = journal->LoadJob(id);
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->radioKey, "radio-1");
  // A second opening finds nothing left to do.
  journal.reset();
  ASSERT_TRUE(Journal::Open(path, error)) << error;
}

TEST(Journal, AFileOfANewerVersionIsRefusedAndLeftUntouched) {
  test::TempDir dir;
  const std::string path = dir.Path() + "journal.db";
  std::string error;
  {
    auto journal = Journal::Open(path, error);
    ASSERT_TRUE(journal) << error;
    JournalJob job = NewJob("k");
    ASSERT_TRUE(journal->BeginJob(job));
  }
  RawQuery(path, "PRAGMA user_version=" + std::to_string(kJournalSchemaVersion + 7));
  const std::vector<uint8_t> before = FileBytes(path);
  EXPECT_FALSE(Journal::Open(path, error));
  EXPECT_NE(error.find("newer version"), std::string::npos) << error;
  EXPECT_NE(error.find(path), std::string::npos) << error;
  EXPECT_EQ(FileBytes(path), before);
}

TEST(Journal, ANameThatCannotBeAFileIsRefusedNamingIt) {
  test::TempDir dir;
  dir.Write("plain", std::string("not a folder"));
  std::string error;
  EXPECT_FALSE(Journal::Open(dir.Path() + "plain/journal.db", error));
  EXPECT_NE(error.find("plain/journal.db"), std::string::npos) << error;
  // A file that is no database at all is refused too, not overwritten.
  const std::string junk = dir.Write("junk.db", std::string(4096, 'x'));
  EXPECT_FALSE(Journal::Open(junk, error));
  EXPECT_EQ(FileBytes(junk), std::vector<uint8_t>(4096, 'x'));
}

TEST(Journal, DataIsKeptOncePerContentCompressedAndReadBackExactly) {
  test::TempDir dir;
  std::string error;
  auto journal = Journal::Open(dir.Path() + "journal.db", error);
  ASSERT_TRUE(journal) << error;
  // Radio data is mostly repeated settings: compressible, not trivially so.
  std::vector<uint8_t> read = test::FullUpgradeSetup::Pattern(129976, 5);
  for (size_t i = 0; i < read.size(); i += 4) {
    read[i] = 0xFF;
  }
  std::vector<uint8_t> converted = read;
  converted[766] = 0x09;
  JournalJob a = NewJob("k");
  JournalJob b = NewJob("k");
  ASSERT_TRUE(journal->BeginJob(a));
  ASSERT_TRUE(journal->BeginJob(b));
  ASSERT_TRUE(journal->SaveBackup(a, read, converted));
  ASSERT_TRUE(journal->SaveBackup(b, read, converted));
  EXPECT_EQ(a.readSha256, Sha256Hex(read));
  const std::string path = journal->Path();
  EXPECT_EQ(RawQuery(path, "SELECT count(*) FROM blobs"), 2);
  EXPECT_LT(RawQuery(path, "SELECT sum(length(zdata)) FROM blobs"),
            static_cast<int64_t>(read.size()));

  const std::optional<JournalBackup> back = journal->LoadBackup(b.id, error);
  ASSERT_TRUE(back) << error;
  EXPECT_EQ(back->readData, read);
  EXPECT_EQ(back->converted, converted);

  // A record damaged on the disk is refused, never written to a radio.
  RawQuery(path,
           "UPDATE blobs SET zdata=x'789c0300000000' WHERE sha256='" + Sha256Hex(converted) + "'");
  EXPECT_FALSE(journal->LoadBackup(b.id, error));
  EXPECT_NE(error.find("damaged"), std::string::npos) << error;
}

TEST(Journal, AFullJournalRefusesTheBackupAndKeepsTheRecordAsItWas) {
  test::TempDir dir;
  std::string error;
  auto journal = Journal::Open(dir.Path() + "journal.db", error);
  ASSERT_TRUE(journal) << error;
  JournalJob job = NewJob("k");
  ASSERT_TRUE(journal->BeginJob(job));
  journal->LimitPagesForTest(
      static_cast<int>(RawQuery(journal->Path(), "PRAGMA page_count")));  // no page more
  // Data that does not compress: it cannot hide in the pages the file has.
  std::mt19937 random(9);
  std::vector<uint8_t> data(129976);
  for (uint8_t& b : data) {
    b = static_cast<uint8_t>(random());
  }
  EXPECT_FALSE(journal->SaveBackup(job, data, data));
  EXPECT_NE(journal->LastError().find("full"), std::string::npos) << journal->LastError();
  EXPECT_TRUE(job.backup.empty());
  EXPECT_FALSE(job.writeStarted);
  const std::optional<JournalJob> stored = journal->LoadJob(job.id);
  ASSERT_TRUE(stored);
  EXPECT_TRUE(stored->convertedSha256.empty());
}

TEST(Journal, AnUnfinishedWriteIsFoundUntilALaterJobCompletesOne) {
  test::TempDir dir;
  std::string error;
  auto journal = Journal::Open(dir.Path() + "journal.db", error);
  ASSERT_TRUE(journal) << error;
  const std::vector<uint8_t> data(1000, 7);
  JournalJob cut = NewJob("radio-A");
  ASSERT_TRUE(journal->BeginJob(cut));
  ASSERT_TRUE(journal->SaveBackup(cut, data, data));
  cut.result = "failed";
  ASSERT_TRUE(journal->UpdateJob(cut));
  // A later job of the same radio that failed before writing changes nothing.
  JournalJob later = NewJob("radio-A");
  ASSERT_TRUE(journal->BeginJob(later));
  later.result = "failed";
  ASSERT_TRUE(journal->UpdateJob(later));

  EXPECT_EQ(journal->UnfinishedWrite("radio-A", 0), cut.id);
  EXPECT_FALSE(journal->UnfinishedWrite("radio-B", 0));
  EXPECT_FALSE(journal->UnfinishedWrite("radio-A", cut.id));
  // A job of that radio that completed its write makes the radio whole.
  JournalJob mended = NewJob("radio-A");
  ASSERT_TRUE(journal->BeginJob(mended));
  ASSERT_TRUE(journal->SaveBackup(mended, data, data));
  mended.writeCompleted = true;
  ASSERT_TRUE(journal->UpdateJob(mended));
  EXPECT_FALSE(journal->UnfinishedWrite("radio-A", 0));
}

TEST(Journal, ARunningRecordOfAProcessThatHasGoneReadsAsInterrupted) {
  test::TempDir dir;
  std::string error;
  auto journal = Journal::Open(dir.Path() + "journal.db", error);
  ASSERT_TRUE(journal) << error;
  JournalJob mine = NewJob("k");
  JournalJob gone = NewJob("k");
  gone.pid = 0x3FFFFFF0;  // no such process
  ASSERT_TRUE(journal->BeginJob(mine));
  ASSERT_TRUE(journal->BeginJob(gone));
  EXPECT_EQ(journal->LoadJob(mine.id)->result, "running");
  EXPECT_EQ(journal->LoadJob(gone.id)->result, "interrupted");
  EXPECT_EQ(journal->MarkInterrupted(), 1);
  EXPECT_EQ(
      RawQuery(journal->Path(), "SELECT count(*) FROM jobs WHERE result='interrupted' AND id=" +
                                    std::to_string(gone.id)),
      1);
}

#ifndef _WIN32
TEST(Journal, TwoProcessesWriteOneJournalAtOnce) {
  test::TempDir dir;
  const std::string path = dir.Path() + "journal.db";
  constexpr int kJobs = 60;
  std::vector<pid_t> children;
  for (int p = 0; p < 2; ++p) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      std::string error;
      auto journal = Journal::Open(path, error);
      int ok = journal ? 0 : 1;
      if (!journal) {
        std::fprintf(stderr, "process %d: %s\n", p, error.c_str());
      }
      for (int i = 0; journal && i < kJobs; ++i) {
        JournalJob job = NewJob("p" + std::to_string(p));
        std::vector<uint8_t> data(20000, static_cast<uint8_t>(i));
        data[0] = static_cast<uint8_t>(p);
        if (!journal->BeginJob(job) || !journal->SaveBackup(job, data, data)) {
          ok = 2;
        }
        job.result = "success";
        ok = journal->UpdateJob(job) ? ok : 3;
      }
      _exit(ok);
    }
    children.push_back(child);
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  EXPECT_EQ(RawQuery(path, "SELECT count(*) FROM jobs WHERE result='success'"), 2 * kJobs);
  EXPECT_EQ(RawQuery(path, "SELECT count(DISTINCT uid) FROM jobs"), 2 * kJobs);
  EXPECT_EQ(RawQuery(path, "SELECT count(*) FROM blobs"), 2 * kJobs);
}
#endif

// A full job against the simulated radio with a journal in a scratch folder.
struct JournalJobFixture : ::testing::Test {
  static constexpr int kPort = 5;
  void SetUp() override {
    state.SetView(&view);
    setup.Build(state);
    clock.Attach(state.job.clock);
    journal = OpenJournal(setup.dir.Path() + "records/journal.db");
    ASSERT_TRUE(journal.journal) << journal.problem;
    recorder = AttachJournal(state, journal, &view, "test");
  }
  void TearDown() override { GlobalPortMap().ClearExplicit(); }

  void NewRadio() {
    radio = std::make_unique<sim::RadioSim>(setup.config);
    setup.SeedRadio(*radio);
    const std::string device = GlobalPortMap().DevicePath(kPort).empty()
                                   ? std::string("sim-journal-radio")
                                   : GlobalPortMap().DevicePath(kPort);
    state.downloadPort.UseChannel(radio->NewChannel(device));
    state.radioLink.Port().UseChannel(radio->NewChannel(device));
    GlobalPortMap().SetExplicit(kPort, device);
  }
  void Run(bool writeBackJob = false) {
    JobInputs in;
    in.portNumber = kPort;
    in.hexFilePath = state.hexFilePath;
    (void)writeBackJob;
    ASSERT_TRUE(StartJob(state, in));
    for (int i = 0; i < 120000 && JobRunning(state); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_FALSE(JobRunning(state));
    JoinJob(state);
  }
  std::vector<uint8_t> RadioData() {
    return radio->WithLink(
        [](FramedLinkResponder& r) { return r.MemoryImage(FramedLinkResponder::Memory::kData); });
  }
  bool Prefix(const std::vector<uint8_t>& expected, const std::vector<uint8_t>& data) {
    return data.size() >= expected.size() &&
           std::equal(expected.begin(), expected.end(), data.begin());
  }

  test::FakeClockScope clock;
  test::FullUpgradeSetup setup;
  test::RecordingView view;
  JournalHandle journal;
  std::shared_ptr<JournalRecorder> recorder;
  std::unique_ptr<sim::RadioSim> radio;
  UpgradeState state;  // last: destroyed (and its worker joined) first
};

TEST_F(JournalJobFixture, AJobIsRecordedWithItsRadioFilesStepsAndBackup) {
  NewRadio();
  Run();
  ASSERT_EQ(state.resultOk.load(), 1);
  const std::optional<JournalJob> job = journal.journal->LoadJob(recorder->JobId());
  ASSERT_TRUE(job);
  EXPECT_EQ(job->result, "success");
  EXPECT_EQ(job->kind, "full");
  EXPECT_EQ(job->port, kPort);
  EXPECT_EQ(job->identityText, test::FullUpgradeSetup::kIdentifier);
  EXPECT_EQ(job->area, "3");
  EXPECT_EQ(job->backup, "saved");
  EXPECT_TRUE(job->writeCompleted);
  ASSERT_EQ(job->steps.size(), 7u);  // no chip update in this job
  EXPECT_EQ(job->steps[5].text, "Write the radio completed!");
  EXPECT_EQ(job->steps[5].mark, "done");
  bool imageNamed = false;
  for (const JournalFile& f : job->files) {
    if (f.role == "image") {
      imageNamed =
          f.sha256 == Sha256Hex(setup.image) && f.size == static_cast<int64_t>(setup.image.size());
    }
  }
  EXPECT_TRUE(imageNamed);
  // The backup holds what the radio held before and exactly what it holds now.
  std::string error;
  const std::optional<JournalBackup> backup = journal.journal->LoadBackup(job->id, error);
  ASSERT_TRUE(backup) << error;
  EXPECT_EQ(backup->readData, setup.oldData);
  EXPECT_EQ(backup->converted, setup.ExpectedData());
  EXPECT_TRUE(Prefix(backup->converted, RadioData()));
}

TEST_F(JournalJobFixture, AWriteCutHalfWayIsSavedAdvisedAndWrittenBackByteForByte) {
  NewRadio();
  // The line dies after 300 data blocks (60000 of the 129976 bytes).
  radio->WithLink([](FramedLinkResponder& r) {
    r.InjectFault(FramedLinkResponder::Command::kWriteBlock, FramedLinkResponder::Fault::kSilence,
                  300);
  });
  Run();
  ASSERT_EQ(state.resultOk.load(), 0);
  const int64_t cutJob = recorder->JobId();
  EXPECT_EQ(state.backupJobId.load(), cutJob);
  EXPECT_FALSE(Prefix(setup.ExpectedData(), RadioData()));
  // The communication error the window shows names the saved job and the command.
  HandleJobEvent(state, CommErrorEvent{CommError::WriteBlock});
  ASSERT_FALSE(view.Boxes().empty());
  EXPECT_EQ(view.Boxes().back().text, "Communication error, Please retry!");
  EXPECT_NE(view.Boxes().back().detail.find("--port 5 --restore " + std::to_string(cutJob)),
            std::string::npos)
      << view.Boxes().back().detail;
  const std::optional<JournalJob> cut = journal.journal->LoadJob(cutJob);
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->result, "failed");
  EXPECT_EQ(cut->failedRow, "Write the radio failed!");
  EXPECT_TRUE(cut->writeStarted);
  EXPECT_FALSE(cut->writeCompleted);

  std::string problem;
  std::optional<WriteBackPlan> plan = recorder->LoadWriteBack(cutJob, problem);
  ASSERT_TRUE(plan) << problem;
  state.writeBack = std::make_shared<WriteBackPlan>(*plan);
  // Another radio of the same model (another text in its block) is refused, naming both.
  radio->WithLink([](FramedLinkResponder& r) {
    r.ClearFaults();
    FramedLinkResponder::InfoBlock other = FramedLinkResponder::MakeInfoBlock(
        test::FullUpgradeSetup::kIdentifier, test::FullUpgradeSetup::kModelText, '3');
    std::copy_n("SN-0002", 7, other.begin() + 81);
    r.SetInfoBlock(other);
  });
  const std::vector<uint8_t> before = RadioData();
  Run();
  EXPECT_EQ(state.resultOk.load(), 0);
  EXPECT_EQ(RadioData(), before);
  EXPECT_EQ(view.Rows().back().text, "Write back refused: another radio.");
  EXPECT_NE(view.Boxes().back().detail.find("job " + std::to_string(cutJob)), std::string::npos);
  EXPECT_NE(view.Boxes().back().detail.find("--restore-to-other-radio"), std::string::npos);

  // The write-back: the same radio, the saved data and font decision.
  radio->WithLink([](FramedLinkResponder& r) {
    r.SetInfoBlock(FramedLinkResponder::MakeInfoBlock(test::FullUpgradeSetup::kIdentifier,
                                                      test::FullUpgradeSetup::kModelText, '3'));
  });
  Run();
  state.writeBack = nullptr;
  EXPECT_EQ(state.resultOk.load(), 1);
  EXPECT_TRUE(Prefix(setup.ExpectedData(), RadioData()));
  const std::optional<JournalJob> back = journal.journal->LoadJob(recorder->JobId());
  ASSERT_TRUE(back);
  EXPECT_EQ(back->kind, "write-back");
  EXPECT_EQ(back->writeBackOf, cutJob);
  EXPECT_EQ(back->result, "success");
  EXPECT_FALSE(journal.journal->UnfinishedWrite(cut->radioKey, 0));
}

// The radio's block carries a text of its own (a serial number), so that it can be told from
// another radio of its model.
void GiveSerial(sim::RadioSim& radio, const char* serial) {
  radio.WithLink([serial](FramedLinkResponder& r) {
    FramedLinkResponder::InfoBlock block = FramedLinkResponder::MakeInfoBlock(
        test::FullUpgradeSetup::kIdentifier, test::FullUpgradeSetup::kModelText, '3');
    std::copy_n(serial, std::strlen(serial), block.begin() + 97);
    r.SetInfoBlock(block);
  });
}

TEST_F(JournalJobFixture, ALaterUpgradeOfACutRadioWritesTheSavedSettingsNotAConversion) {
  NewRadio();
  GiveSerial(*radio, "SN-0001");
  radio->WithLink([](FramedLinkResponder& r) {
    r.InjectFault(FramedLinkResponder::Command::kWriteBlock, FramedLinkResponder::Fault::kHangUp,
                  300);
  });
  Run();
  ASSERT_EQ(state.resultOk.load(), 0);
  const int64_t cutJob = recorder->JobId();

  // The same radio comes back in download mode holding half-written data.
  std::vector<uint8_t> half = RadioData();
  // Another radio of the model, without a text of its own, is upgraded as always.
  NewRadio();
  state.askTechnician = false;
  Run();
  EXPECT_EQ(state.resultOk.load(), 1);
  // Another radio with a serial of its own too.
  NewRadio();
  GiveSerial(*radio, "SN-0002");
  Run();
  EXPECT_EQ(state.resultOk.load(), 1);

  NewRadio();
  GiveSerial(*radio, "SN-0001");
  radio->WithLink([&](FramedLinkResponder& r) {
    std::copy(half.begin(), half.end(), r.MemoryImage(FramedLinkResponder::Memory::kData).begin());
  });
  // Headless: nobody to ask; the job stops with the advice.
  state.askTechnician = false;
  Run();
  EXPECT_EQ(state.resultOk.load(), 0);
  ASSERT_FALSE(view.Boxes().empty());
  EXPECT_NE(view.Boxes().back().text.find("saved as job " + std::to_string(cutJob)),
            std::string::npos);
  EXPECT_NE(view.Boxes().back().detail.find("--restore " + std::to_string(cutJob)),
            std::string::npos);
  EXPECT_FALSE(Prefix(setup.ExpectedData(), RadioData()));

  // In the window the technician answers OK: the saved settings go back.
  NewRadio();
  GiveSerial(*radio, "SN-0001");
  radio->WithLink([&](FramedLinkResponder& r) {
    std::copy(half.begin(), half.end(), r.MemoryImage(FramedLinkResponder::Memory::kData).begin());
  });
  state.askTechnician = true;
  view.SetBoxAnswer(MessageResult::Ok);
  Run();
  EXPECT_EQ(state.resultOk.load(), 1);
  EXPECT_TRUE(Prefix(setup.ExpectedData(), RadioData()));
}

TEST_F(JournalJobFixture, WithoutABackupTheRadioIsNotWrittenUnlessBackupsAreOff) {
  // A journal that cannot be opened (its folder's name is taken by a file).
  setup.dir.Write("taken", std::string("a file"));
  journal = OpenJournal(setup.dir.Path() + "taken/journal.db");
  ASSERT_FALSE(journal.journal);
  recorder = AttachJournal(state, journal, &view, "test");
  NewRadio();
  Run();
  EXPECT_EQ(state.resultOk.load(), 0);
  EXPECT_EQ(radio->WithLink([](FramedLinkResponder& r) {
    return r.CountOf(FramedLinkResponder::Command::kWriteBlock);
  }),
            0);
  ASSERT_FALSE(view.Boxes().empty());
  EXPECT_EQ(view.Boxes().back().text, kBackupFailedText);
  EXPECT_NE(view.Boxes().back().detail.find("taken/journal.db"), std::string::npos)
      << view.Boxes().back().detail;
  EXPECT_EQ(view.Rows().back().text, "Write the radio failed!");

  // --no-backup: the radio is written, and a row says that nothing was kept.
  NewRadio();
  state.skipBackup = true;
  Run();
  EXPECT_EQ(state.resultOk.load(), 1);
  EXPECT_TRUE(Prefix(setup.ExpectedData(), RadioData()));
  bool said = false;
  for (const test::Row& row : view.Rows()) {
    said = said || row.text == kBackupSkippedText;
  }
  EXPECT_TRUE(said);
}

// (Not under ThreadSanitizer, which does not follow a child that starts threads after fork.)
#if !defined(_WIN32) && !defined(__SANITIZE_THREAD__)
// A job killed (SIGKILL) while it writes the radio: its record reads as interrupted and its
// backup is whole.
TEST(JournalKill, AJobKilledWhileWritingLeavesAnInterruptedRecordAndAWholeBackup) {
  test::FullUpgradeSetup setup;
  UpgradeState built;
  setup.Build(built);
  const std::string path = setup.dir.Path() + "journal.db";
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The job, at the pace of a fast line: the write of the data takes a second or two.
    test::FakeClockScope clock;
    test::RecordingView view;
    UpgradeState& state = built;  // the installation the parent laid out
    state.SetView(&view);
    clock.Attach(state.job.clock);
    const JournalHandle journal = OpenJournal(path);
    AttachJournal(state, journal, &view, "test");
    sim::RadioSimConfig config = setup.config;
    config.lineRate = 921600;
    sim::RadioSim radio(config);
    setup.SeedRadio(radio);
    state.downloadPort.UseChannel(radio.NewChannel("sim-kill"));
    state.radioLink.Port().UseChannel(radio.NewChannel("sim-kill"));
    GlobalPortMap().SetExplicit(6, "sim-kill");
    JobInputs in;
    in.portNumber = 6;
    StartJob(state, in);
    for (int i = 0; i < 120000 && JobRunning(state); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    _exit(3);  // the job ended before it was killed
  }
  // Killed once the write has begun and some blocks went out.
  bool writing = false;
  for (int i = 0; i < 6000 && !writing; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    writing = RawQuery(path, "SELECT count(*) FROM jobs WHERE write_started=1") == 1;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  kill(child, SIGKILL);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(writing) << "the job never began to write";
  ASSERT_TRUE(WIFSIGNALED(status)) << "the job ended before it was killed";

  std::string error;
  auto journal = Journal::Open(path, error);
  ASSERT_TRUE(journal) << error;
  const std::vector<JournalJob> jobs = journal->History({});
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].result, "interrupted");
  EXPECT_TRUE(jobs[0].writeStarted);
  EXPECT_FALSE(jobs[0].writeCompleted);
  const std::optional<JournalBackup> backup = journal->LoadBackup(jobs[0].id, error);
  ASSERT_TRUE(backup) << error;
  EXPECT_EQ(backup->readData, setup.oldData);
  EXPECT_EQ(backup->converted, setup.ExpectedData());
  EXPECT_EQ(journal->UnfinishedWrite(jobs[0].radioKey, 0), jobs[0].id);
}
#endif

}  // namespace
}  // namespace fw
