#pragma once
// The record of one radio's run: the job's inputs (the window's dialog values), its ports,
// what the radio reported, job sizes, the result flag, the row counter and the job's large
// buffers, all allocated once when the record is created. What the whole installation
// shares (the settings as read, paths, the model table, the rendered font images) is the
// `Installation` (config/Installation.h), loaded once and read by every job through
// `installation`.
//
// Two threads use it: the window's thread and the worker of a job. The fields that the
// window reads while a job runs (sizes, check-box flags, the result flag) are atomics;
// everything else is written by the worker alone while a job runs.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/JobContext.h"
#include "core/JobRecorder.h"
#include "core/UpgradeView.h"
#include "protocol/DownloadPort.h"
#include "protocol/RadioLink.h"

namespace fw {

class HexRecordTable;
class Installation;

// The installation a job runs on, shared read-only by every job. A record that was given
// none reads as an installation with nothing in it, as one whose settings file is absent.
// The access is defined with the installation (config/Installation.cpp): only the layers
// that know the installation's type read through it.
class InstallationRef {
 public:
  InstallationRef() = default;
  InstallationRef(std::shared_ptr<const Installation> installation)
      : installation_(std::move(installation)) {}
  InstallationRef(std::shared_ptr<Installation> installation)
      : installation_(std::move(installation)) {}

  const Installation* operator->() const { return &Get(); }
  const Installation& operator*() const { return Get(); }
  const Installation& Get() const;
  const std::shared_ptr<const Installation>& Shared() const { return installation_; }

 private:
  std::shared_ptr<const Installation> installation_;
};

// The count of completed jobs that jobs running at once (one per port) share in run mode 5:
// one total, written as "UpdateTimes" by one job at a time.
struct CompletedJobCount {
  std::mutex mutex;
  int total = 0;
};

class UpgradeState {
 public:
  static constexpr uint32_t kImageBufferSize = 1048576;  // 1 MiB, also the largest image
  static constexpr uint32_t kFontImageBufferSize = 153650;
  static constexpr uint32_t kFontImageSize = 153600;
  static constexpr uint32_t kWavBufferSize = 10240;
  static constexpr uint32_t kDefaultRadioDataSize = 129976;
  static constexpr uint16_t kDefaultFontLanguage = 1033;  // 0x0409

  UpgradeState();
  ~UpgradeState();
  UpgradeState(const UpgradeState&) = delete;
  UpgradeState& operator=(const UpgradeState&) = delete;

  // The window (or the headless front end, or a test's recording view). Never null:
  // a view that ignores everything until one is set.
  UpgradeView* view;
  void SetView(UpgradeView* v);

  // The installation: settings as read, paths, model table, font images.
  InstallationRef installation;

  // --- The job: its clock, stop signal, port and steps ---
  JobContext job;

  // --- Owned communication objects (on the job's clock) ---
  DownloadPort downloadPort;
  RadioLink radioLink;

  // --- Dialog values (exchanged with the controls before a job starts) ---
  std::atomic<int> selectedPort{0};  // 1001: the COM number chosen (the settings' "Port")
  std::string hexFilePath;           // 1008
  std::atomic<int> chipOnly{0};      // 1015
  std::atomic<int> firmwareOnly{0};  // 1017
  std::atomic<int> updateChip{0};    // 1018 (also the settings' "UpdateChip")
  std::string wavFilePath;           // 1023

  // --- Job inputs that start from the settings (ApplySettingsToJob) ---
  int vocoderIndex = 0;  // "CMOS": 0 = AMBE, 1 = SELP
  std::string selectedImageName;
  // "AllowUnidentified" (1), or the headless option --allow-unidentified: a radio that does
  // not identify itself may be sent the image chosen without knowing it, nobody asked.
  bool allowUnidentified = false;

  // Whether a technician is there to answer a question (the window: yes; the headless front
  // end: no). Without one, and in run mode 5, a radio that does not identify itself ends the
  // job unless allowUnidentified is set.
  bool askTechnician = true;

  // The record kept of the job (the job journal); none: no record, no backup (tests of
  // single steps). Set by the front end before a job starts.
  std::shared_ptr<JobRecorder> recorder;
  // "Backup=0" or --no-backup: the radio is written without a backup in the journal.
  bool skipBackup = false;
  // A write-back job: the data to write and the radio it was saved from (set before
  // StartJob; the job writes it instead of upgrading).
  std::shared_ptr<const WriteBackPlan> writeBack;

  // Put into the names of the job's data logs ("COM3": "[...]COM3-ReadLog.dat") when several
  // jobs run at once, so that each port's logs are told apart; empty for a job on its own.
  std::string dataLogTag;

  // --- What the radio reported ---
  std::string radioInfo;     // at most 10 characters
  std::string radioModel;    // at most 28 characters
  std::string radioModelId;  // at most 32 characters
  // From the radio's information block (set each time one is read).
  std::array<uint8_t, 32> radioIdentity{};  // identity block, compared by the model table
  uint8_t radioAreaCode = 0;                // ASCII digit: '0' + area number
  int radioVersion = 0;
  // The last information block read, whole (its fields beyond identity, model text and area
  // are kept in the job's record), and whether one was read in this job.
  std::array<uint8_t, 185> radioInfoBlock{};
  bool radioInfoRead = false;
  // The version the new firmware answered the version query with; -1: not asked or no answer.
  int queriedFirmwareVersion = -1;
  // Attempts of the steps that are retried (the read, the chip update) in this job.
  int readAttempts = 0;
  int chipAttempts = 0;
  // The job whose record holds the backup of the data being written (0: none yet). Read by
  // the window's thread when a communication error of the write is shown.
  std::atomic<int64_t> backupJobId{0};
  // Why the backup before the write could not be saved (the write did not begin).
  std::string backupProblem;
  // The font decision the write takes instead of its own (a write-back of saved settings).
  std::optional<RecordedFont> fixedFont;
  int familyOverride = 0;

  // --- Job sizes and progress ---
  std::atomic<int> imageSize{0};  // -1 when the image file is missing
  std::atomic<int> bytesDone{0};
  std::atomic<uint32_t> radioDataSize{kDefaultRadioDataSize};
  std::atomic<uint32_t> writeDataSize{kDefaultRadioDataSize};
  std::atomic<uint32_t> fontImageSize{kFontImageSize};
  std::atomic<uint32_t> chipImageSize{0};
  uint32_t chipLoadedBytes = 0;
  // The firmware-chip hex file as last loaded for this job: 1500 slots of 262 bytes, walked
  // in order by the chip update. The job loads the file it chose for its radio; read and
  // made through HexRecords(state) (firmware/HexLoader.h), empty until the first load.
  std::shared_ptr<HexRecordTable> hexRecords;
  uint16_t fontLanguage = kDefaultFontLanguage;

  // --- Workflow state ---
  std::atomic<int> resultOk{1};
  int rowCount = 0;
  // The mark of every row the job has shown (index = row), so that the job's end can
  // finish the rows still marked under way.
  std::vector<std::string> rowMarks;
  int completedJobs = 0;  // jobs completed in run mode 5 since the program started
  // Set when several jobs run at once: "UpdateTimes" counts the jobs of all of them.
  std::shared_ptr<CompletedJobCount> sharedJobCount;
  // The worker thread of the running (or last) job, and whether it is still running.
  // Started by StartJob (workflow/Job.h); the record stops and joins it on destruction.
  std::thread worker;
  std::atomic<bool> jobRunning{false};
  // Above 0 while this job writes the radio (core/WritePhase.h): a stop now would leave the
  // radio half-written. Read by the front end while the job runs.
  std::atomic<int> writingRadio{0};

  // --- Buffers ---
  std::vector<uint8_t> imageBuffer;  // 1 MiB, not cleared
  std::vector<uint8_t> fontImage;    // 153650, zero
  // The language image the write step loads for the radio's language (font/FontImages.h).
  std::vector<uint8_t> languageImage;  // 153650, zero
  uint32_t languageImageSize = 0;
  std::vector<uint8_t> wavReadBuffer;    // 10240
  std::vector<uint8_t> wavWriteBuffer;   // 10240
  std::vector<uint8_t> radioDataBuffer;  // radioDataSize at start-up, zero
  uint8_t* radioData = nullptr;          // points into radioDataBuffer
  std::vector<uint8_t> templateData;     // loaded template data; empty at first

  // The voice file loaded into wavWriteBuffer: its size in bytes, and where its "WAVE"
  // marker stands (wavFileSize when it has none).
  uint32_t wavFileSize = 0;
  uint32_t wavDataOffset = 0;

  // Allocates radioDataBuffer with `size` zero bytes and points radioData at it.
  void AllocateRadioData(uint32_t size);
};

}  // namespace fw
