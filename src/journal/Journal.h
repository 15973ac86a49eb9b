#pragma once
// The job journal: one SQLite file that keeps a record of every job (who ran it where, the
// radio it met, the files it used, each step, how it ended) and, before a job writes a
// radio, the radio's data as read and the data about to be written. Data is stored once per
// content (by its SHA-256) and compressed with zlib.
//
// Several jobs of one process share one Journal (calls are serialised); several processes
// may use one file at once (write-ahead log, a busy timeout). The schema carries its version
// (PRAGMA user_version); an older file is migrated on opening, a file written by a newer
// version of the program is refused and left untouched.

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace fw {

inline constexpr int kJournalSchemaVersion = 3;

// A file a job used, as it was when the job used it.
struct JournalFile {
  std::string role;  // "image", "chip hex", "template", "converter"
  std::string path;
  int64_t size = -1;   // -1: could not be read
  std::string sha256;  // lower-case hex; empty when the file could not be read
};

// A row of the status list as the job showed it, with the time the step took.
struct JournalStep {
  std::string mark;  // "busy", "done", "failed"
  std::string text;
  double seconds = 0;
};

struct JournalBox {
  std::string text;
  std::string detail;
};

// One job's record.
struct JournalJob {
  int64_t id = 0;
  std::string uid;     // unique across machines: host, process, time and a random part
  std::string kind;    // "full", "firmware", "chip", "write-back"
  std::string result;  // "running", "success", "failed", "stopped", "interrupted"
  std::string startedUtc;
  std::string endedUtc;
  std::string host;
  std::string user;
  int64_t pid = 0;
  std::string programVersion;
  std::string installation;
  int port = 0;
  std::string device;
  std::string adapter;
  std::string identifyReply;  // the radio's answer in download mode
  std::string radioModel;
  std::string identityHex;  // the information block's identity, 64 hex digits
  std::string identityText;
  std::string modelId;  // fixed up
  std::string area;
  std::string infoText1, infoText2, infoText3;  // the block's text fields, printable
  std::string infoDate1, infoDate2;             // "YYYY-MM-DD hh:mm"
  std::string radioKey;                         // identity, model id and the text fields
  int firmwareVersion = -1;                     // the new firmware's answer; -1 none
  std::string failedRow;
  std::string boxText;
  int readAttempts = 0;
  int chipAttempts = 0;
  // The backup: "saved", "skipped" (--no-backup), "failed", or empty when the job never came
  // to a write.
  std::string backup;
  std::string readSha256;
  std::string convertedSha256;
  int fontSource = 0;
  int fontLanguage = 0;
  bool writeStarted = false;
  bool writeCompleted = false;
  int64_t writeBackOf = 0;  // a write-back: the job whose backup it wrote (0: a file)
  std::string writeBackFile;
  std::vector<JournalFile> files;
  std::vector<JournalStep> steps;
  std::vector<JournalBox> boxes;
};

// Whether the job's saved data can be written back: its backup was committed.
inline bool HasSavedBackup(const JournalJob& job) {
  return job.backup == "saved";
}

struct HistoryFilter {
  std::string since;  // UTC, "YYYY-MM-DD" or "YYYY-MM-DDThh:mm:ss"; empty: from the start
  std::string radio;  // a text found in the radio's model, identity, model id or text fields
  int limit = 0;      // 0: all
};

// The saved data of one job.
struct JournalBackup {
  std::vector<uint8_t> readData;
  std::vector<uint8_t> converted;
  int fontSource = 0;
  int fontLanguage = 0;
};

class Journal {
 public:
  // Opens (creating it and its folder when needed) the journal at `path`, migrated to
  // `targetVersion` (tests open older schemas with a lower one). Null, with `error` naming
  // the file and the reason, when it cannot be used.
  static std::unique_ptr<Journal> Open(const std::string& path, std::string& error,
                                       int targetVersion = kJournalSchemaVersion);
  ~Journal();
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  const std::string& Path() const { return path_; }
  int SchemaVersion();

  // Inserts the job (its id is set); false with LastError() on failure.
  bool BeginJob(JournalJob& job);
  // Writes every field of the job, its files, steps and boxes.
  bool UpdateJob(const JournalJob& job);
  // Stores the data (once per content) and marks the job's backup saved, in one committed
  // transaction. `readData` may be empty.
  bool SaveBackup(JournalJob& job, std::span<const uint8_t> readData,
                  std::span<const uint8_t> converted);

  // Writes the job's last state and, when `forServer`, queues it for the journal server, in
  // one transaction: a job that ended is either queued or not recorded as ended.
  bool FinishJob(const JournalJob& job, bool forServer);
  // The ids of the jobs queued for the server, oldest first (at most `limit`), and how many.
  std::vector<int64_t> ServerQueue(int limit);
  int ServerQueueSize();
  // The server has the job: it leaves the queue.
  bool MarkSent(int64_t id);
  // A stored data record as kept (zlib), for the server.
  bool LoadPackedBlob(const std::string& sha, int64_t& size, std::vector<uint8_t>& zdata,
                      std::string& error);

  std::optional<JournalJob> LoadJob(int64_t id);
  std::optional<JournalBackup> LoadBackup(int64_t id, std::string& error);
  // Jobs newest first.
  std::vector<JournalJob> History(const HistoryFilter& filter);
  // The newest job with this radio key whose write began and did not complete, when no later
  // job with the same key completed a write; `except` is the asking job. A job still running
  // in a live process (its write goes on) does not count.
  std::optional<int64_t> UnfinishedWrite(const std::string& radioKey, int64_t except);
  // Records of this host whose process has gone while they were "running" become
  // "interrupted". Returns how many.
  int MarkInterrupted();

  std::string LastError();
  // Benchmarks of the file's size: commits are no longer synced (never for jobs).
  void SkipSyncForMeasurement();
  // Tests: caps the file's size in pages, to play a full disk.
  void LimitPagesForTest(int pages);

 private:
  Journal(sqlite3* db, std::string path);
  bool Exec(const char* sql);
  std::string ErrorLocked(const std::string& what);
  bool WriteJobLocked(const JournalJob& job);
  bool StoreBlobLocked(std::span<const uint8_t> data, std::string& sha);
  bool LoadBlobLocked(const std::string& sha, std::vector<uint8_t>& out, std::string& error);
  void FillJobLocked(sqlite3_stmt* st, JournalJob& job);
  void LoadDetailsLocked(JournalJob& job);

  sqlite3* db_;
  std::string path_;
  std::mutex mutex_;
  std::string lastError_;
};

// A data record as kept (`size` bytes packed by zlib into `zdata`), unpacked and checked
// against its SHA-256; false with `error` naming `where` when it is damaged.
bool UnpackBlob(const std::string& sha, int64_t size, const void* zdata, size_t zsize,
                std::vector<uint8_t>& out, const std::string& where, std::string& error);

// The journal file when none is chosen: the user's data folder
// (~/.local/share/flashwright/journal.db, or $XDG_DATA_HOME; %LOCALAPPDATA%\flashwright on
// Windows).
std::string DefaultJournalPath();

// The time now in UTC, "YYYY-MM-DDThh:mm:ss.mmmZ".
std::string UtcNow();
// Lower-case hex of the SHA-256 of `data`.
std::string Sha256Hex(std::span<const uint8_t> data);
// The file's size and SHA-256; size -1 when it cannot be read.
JournalFile DescribeFile(const std::string& role, const std::string& path);

// The machine and the person a record names, and whether a process of this host still runs.
std::string HostName();
std::string UserName();
int64_t ProcessId();
bool ProcessAlive(int64_t pid);

}  // namespace fw
