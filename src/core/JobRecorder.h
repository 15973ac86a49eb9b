#pragma once
// What a job tells the record kept of it (the job journal, journal/): that it began, the
// backup of the radio's data before the first block is written, the write's end, that it
// ended. A job without a recorder (tests of single steps) keeps no record.
//
// The recorder is called on the job's worker thread, except JobBegun (the thread that
// starts the job). The radio's data is never written before SaveBackup has returned
// saved (or skipped, when the technician chose to go on without a backup).

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace fw {

class UpgradeState;

// The font decision of a write, kept with its data so that a write-back writes the same.
struct RecordedFont {
  int source = 0;         // FontSource as an integer (radiodata/WriteRadio.h)
  uint16_t language = 0;  // the language the data carries
};

// What a write-back job writes: the converted data a job saved before it wrote the radio,
// or a data dump from a file, and the radio it belongs to.
struct WriteBackPlan {
  int64_t sourceJob = 0;   // the job whose backup this is; 0 for a file
  std::string sourceFile;  // the dump written back, when not a job's backup
  std::vector<uint8_t> data;
  // The font decision of the job that saved the data; none for a file (the write step
  // decides it from the data, as always).
  std::optional<RecordedFont> font;
  // The radio the backup was saved from (a job's backup only).
  std::array<uint8_t, 32> identity{};
  std::string modelId;
  std::string radioKey;  // identity, model identifier and the block's text fields
  // --restore-to-other-radio: another radio of the same model may take the data.
  bool allowOtherRadio = false;
};

struct BackupOutcome {
  enum class Kind {
    Saved,    // committed to the journal: the write may begin
    Skipped,  // no backup wanted ("Backup=0" or --no-backup): the write may begin
    Failed,   // could not be committed: the radio must not be written
  };
  Kind kind = Kind::Failed;
  int64_t jobId = 0;    // the job whose record holds the backup
  std::string problem;  // Failed: the journal file and the reason
};

// After a write that broke off: where the radio's settings are kept and the command that
// writes them back.
inline std::string WriteBackAdviceText(int64_t jobId, int port) {
  const std::string id = std::to_string(jobId);
  return "The radio's settings are saved as job " + id +
         " in the journal. To write them back, connect the radio and run: Flashwright --headless "
         "--port " +
         std::to_string(port) + " --restore " + id;
}

class JobRecorder {
 public:
  virtual ~JobRecorder() = default;
  // The job has begun (StartJob): its record exists from here on, so that a job that never
  // ends shows as interrupted.
  virtual void JobBegun(const UpgradeState& state) = 0;
  // Before the first block of the radio's data is written: keeps `readData` (the data as
  // read; empty for a write-back) and `converted` (the bytes about to be written) with the
  // font decision.
  virtual BackupOutcome SaveBackup(const UpgradeState& state, std::span<const uint8_t> readData,
                                   std::span<const uint8_t> converted, RecordedFont font) = 0;
  // The radio has taken the whole write (data and font library).
  virtual void WriteCompleted(const UpgradeState& state) = 0;
  // After the radio's information block was read: the job whose write to this radio broke
  // off and was never made good, if there is one.
  virtual std::optional<int64_t> UnfinishedWrite(const UpgradeState& state) = 0;
  // The saved data of job `jobId` to write back; none, with `problem` set, when it cannot be
  // had.
  virtual std::optional<WriteBackPlan> LoadWriteBack(int64_t jobId, std::string& problem) = 0;
  // The job has ended (worker thread, after its last row).
  virtual void JobEnded(const UpgradeState& state) = 0;
  // The job's record (0 before JobBegun or without a journal).
  virtual int64_t JobId() const = 0;
};

}  // namespace fw
