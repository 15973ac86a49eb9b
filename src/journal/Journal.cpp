#include "journal/Journal.h"

#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <random>
#include <thread>
#include <tuple>

#include "platform/FileIo.h"

namespace fw {
namespace {

// The schema, one step per version. A step runs once, in a transaction, when a file of an
// older version is opened.
constexpr const char* kMigrations[] = {
    // 1: jobs, the files and steps of each, and the data kept once per content.
    R"(CREATE TABLE jobs(
         id INTEGER PRIMARY KEY,
         uid TEXT NOT NULL UNIQUE,
         kind TEXT NOT NULL,
         result TEXT NOT NULL,
         started_utc TEXT NOT NULL,
         ended_utc TEXT,
         host TEXT, user TEXT, pid INTEGER, program_version TEXT, installation TEXT,
         port INTEGER, device TEXT, adapter TEXT,
         identify_reply TEXT, radio_model TEXT, identity_hex TEXT, identity_text TEXT,
         model_id TEXT, area TEXT, info_text1 TEXT, info_text2 TEXT, info_text3 TEXT,
         info_date1 TEXT, info_date2 TEXT, radio_key TEXT, firmware_version INTEGER,
         failed_row TEXT, box_text TEXT, read_attempts INTEGER, chip_attempts INTEGER,
         backup TEXT, read_sha256 TEXT, converted_sha256 TEXT,
         font_source INTEGER, font_language INTEGER,
         write_started INTEGER NOT NULL DEFAULT 0, write_completed INTEGER NOT NULL DEFAULT 0,
         write_back_of INTEGER, write_back_file TEXT);
       CREATE TABLE job_files(job_id INTEGER NOT NULL REFERENCES jobs(id), role TEXT NOT NULL,
         path TEXT, size INTEGER, sha256 TEXT, PRIMARY KEY(job_id, role));
       CREATE TABLE job_steps(job_id INTEGER NOT NULL REFERENCES jobs(id), seq INTEGER NOT NULL,
         mark TEXT, text TEXT, seconds REAL, PRIMARY KEY(job_id, seq));
       CREATE TABLE job_boxes(job_id INTEGER NOT NULL REFERENCES jobs(id), seq INTEGER NOT NULL,
         text TEXT, detail TEXT, PRIMARY KEY(job_id, seq));
       CREATE TABLE blobs(sha256 TEXT PRIMARY KEY, size INTEGER NOT NULL, zdata BLOB NOT NULL);)",
    // 2: look-ups by radio (a radio's unfinished write) and by time (the history).
    R"(CREATE INDEX jobs_radio ON jobs(radio_key, id);
       CREATE INDEX jobs_started ON jobs(started_utc);)",
    // 3: the jobs that ended and wait to be sent to the journal server.
    R"(CREATE TABLE server_outbox(job_id INTEGER PRIMARY KEY REFERENCES jobs(id),
         queued_utc TEXT NOT NULL);)",
};
static_assert(std::size(kMigrations) == kJournalSchemaVersion);

constexpr int kBusyTimeoutMs = 10000;
// zlib's level 3: radio data packs to about a tenth at about half the time of the default
// level, and the backup is on the way to writing the radio.
constexpr int kCompressionLevel = 3;

// A prepared statement, finalised on scope exit.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) { rc_ = sqlite3_prepare_v2(db, sql, -1, &st_, nullptr); }
  ~Statement() { sqlite3_finalize(st_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  bool Ok() const { return rc_ == SQLITE_OK; }
  sqlite3_stmt* get() { return st_; }
  Statement& Bind(int i, const std::string& v) {
    sqlite3_bind_text(st_, i, v.c_str(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Statement& Bind(int i, int64_t v) {
    sqlite3_bind_int64(st_, i, v);
    return *this;
  }
  Statement& Bind(int i, double v) {
    sqlite3_bind_double(st_, i, v);
    return *this;
  }
  Statement& BindBlob(int i, const void* p, size_t n) {
    sqlite3_bind_blob(st_, i, p, static_cast<int>(n), SQLITE_TRANSIENT);
    return *this;
  }
  int Step() { return sqlite3_step(st_); }
  std::string Text(int c) {
    const unsigned char* t = sqlite3_column_text(st_, c);
    return t ? std::string(reinterpret_cast<const char*>(t),
                           static_cast<size_t>(sqlite3_column_bytes(st_, c)))
             : std::string();
  }
  int64_t Int(int c) { return sqlite3_column_int64(st_, c); }

 private:
  sqlite3_stmt* st_ = nullptr;
  int rc_ = SQLITE_ERROR;
};

// A transaction rolled back unless committed.
class Transaction {
 public:
  explicit Transaction(sqlite3* db) : db_(db) {
    // IMMEDIATE: the write lock is taken now (waiting on the busy timeout), so a writer
    // never fails half-way on another process's lock.
    ok_ = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
  }
  ~Transaction() {
    if (ok_ && !done_) {
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
  }
  bool Ok() const { return ok_; }
  bool Commit() {
    done_ = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    return done_;
  }

 private:
  sqlite3* db_;
  bool ok_ = false;
  bool done_ = false;
};

constexpr const char* kJobColumns =
    "id, uid, kind, result, started_utc, ended_utc, host, user, pid, program_version, "
    "installation, port, device, adapter, identify_reply, radio_model, identity_hex, "
    "identity_text, model_id, area, info_text1, info_text2, info_text3, info_date1, info_date2, "
    "radio_key, firmware_version, failed_row, box_text, read_attempts, chip_attempts, backup, "
    "read_sha256, converted_sha256, font_source, font_language, write_started, write_completed, "
    "write_back_of, write_back_file";

std::string NewUid() {
  std::random_device rd;
  std::mt19937_64 gen(
      (static_cast<uint64_t>(rd()) << 32) ^ rd() ^
      static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
  char random[17];
  std::snprintf(random, sizeof random, "%016llx", static_cast<unsigned long long>(gen()));
  return HostName() + "-" + std::to_string(ProcessId()) + "-" + UtcNow() + "-" + random;
}

}  // namespace

std::unique_ptr<Journal> Journal::Open(const std::string& path, std::string& error,
                                       int targetVersion) {
  error.clear();
  std::error_code ec;
  const std::filesystem::path file = PathFromUtf8(path);
  if (file.has_parent_path()) {
    std::filesystem::create_directories(file.parent_path(), ec);
  }
  sqlite3* db = nullptr;
  const int rc =
      sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (rc != SQLITE_OK) {
    error = "the journal " + path +
            " cannot be opened: " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    sqlite3_close(db);
    return nullptr;
  }
  std::unique_ptr<Journal> journal(new Journal(db, path));
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  sqlite3_extended_result_codes(db, 1);

  // The version is read before anything is written: a newer file stays as it is.
  int version = 0;
  {
    Statement st(db, "PRAGMA user_version");
    if (!st.Ok() || st.Step() != SQLITE_ROW) {
      error = "the journal " + path + " cannot be read: " + sqlite3_errmsg(db);
      return nullptr;
    }
    version = static_cast<int>(st.Int(0));
  }
  if (version > kJournalSchemaVersion) {
    error = "the journal " + path + " was written by a newer version of Flashwright (schema " +
            std::to_string(version) + ", this version reads up to " +
            std::to_string(kJournalSchemaVersion) + "); it is left as it is";
    return nullptr;
  }
  // Write-ahead logging lets readers and one writer of other processes work at once; FULL
  // syncs each commit, so a backup committed is on the disk before the radio is written.
  // Switching a new file to WAL needs the file to itself: SQLite answers "locked" at once,
  // without waiting, while another process opening the same new file holds it. A file
  // already in WAL is left as it is; otherwise the switch is tried again until the busy
  // timeout is spent.
  bool wal = false;
  const auto walDeadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
  for (;;) {
    {
      Statement mode(db, "PRAGMA journal_mode");
      wal = mode.Ok() && mode.Step() == SQLITE_ROW && mode.Text(0) == "wal";
    }
    if (wal) {
      break;
    }
    // A switch refused without an error leaves the old mode: the next round sees it.
    const bool switched = journal->Exec("PRAGMA journal_mode=WAL");
    const int code = sqlite3_errcode(db) & 0xff;
    if ((!switched && code != SQLITE_BUSY && code != SQLITE_LOCKED) ||
        std::chrono::steady_clock::now() >= walDeadline) {
      error = journal->ErrorLocked("the journal " + path + " cannot be used");
      return nullptr;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (!journal->Exec("PRAGMA synchronous=FULL") || !journal->Exec("PRAGMA foreign_keys=ON")) {
    error = journal->ErrorLocked("the journal " + path + " cannot be used");
    return nullptr;
  }
  for (int v = version; v < targetVersion; ++v) {
    Transaction tx(db);
    // Another process may have migrated the file meanwhile.
    Statement check(db, "PRAGMA user_version");
    if (!tx.Ok() || !check.Ok() || check.Step() != SQLITE_ROW) {
      error = journal->ErrorLocked("the journal " + path + " cannot be migrated");
      return nullptr;
    }
    if (check.Int(0) > v) {
      continue;
    }
    const std::string bump = "PRAGMA user_version=" + std::to_string(v + 1);
    if (!journal->Exec(kMigrations[v]) || !journal->Exec(bump.c_str()) || !tx.Commit()) {
      error = journal->ErrorLocked("the journal " + path + " cannot be migrated to schema " +
                                   std::to_string(v + 1));
      return nullptr;
    }
  }
  return journal;
}

Journal::Journal(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {}

Journal::~Journal() {
  sqlite3_close_v2(db_);
}

bool Journal::Exec(const char* sql) {
  char* message = nullptr;
  const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, &message);
  sqlite3_free(message);
  return rc == SQLITE_OK;
}

std::string Journal::ErrorLocked(const std::string& what) {
  lastError_ = what + ": " + sqlite3_errmsg(db_);
  return lastError_;
}

std::string Journal::LastError() {
  std::lock_guard<std::mutex> lock(mutex_);
  return lastError_;
}

int Journal::SchemaVersion() {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement st(db_, "PRAGMA user_version");
  return st.Ok() && st.Step() == SQLITE_ROW ? static_cast<int>(st.Int(0)) : -1;
}

void Journal::SkipSyncForMeasurement() {
  std::lock_guard<std::mutex> lock(mutex_);
  Exec("PRAGMA synchronous=OFF");
}

void Journal::LimitPagesForTest(int pages) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::string sql = "PRAGMA max_page_count=" + std::to_string(pages);
  Exec(sql.c_str());
}

bool Journal::BeginJob(JournalJob& job) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (job.uid.empty()) {
    job.uid = NewUid();
  }
  Transaction tx(db_);
  Statement st(db_, "INSERT INTO jobs(uid, kind, result, started_utc) VALUES(?, ?, ?, ?)");
  if (!tx.Ok() || !st.Ok()) {
    ErrorLocked("the journal " + path_ + " cannot record the job");
    return false;
  }
  st.Bind(1, job.uid).Bind(2, job.kind).Bind(3, job.result).Bind(4, job.startedUtc);
  if (st.Step() != SQLITE_DONE) {
    ErrorLocked("the journal " + path_ + " cannot record the job");
    return false;
  }
  job.id = sqlite3_last_insert_rowid(db_);
  if (!WriteJobLocked(job) || !tx.Commit()) {
    ErrorLocked("the journal " + path_ + " cannot record the job");
    job.id = 0;
    return false;
  }
  return true;
}

bool Journal::UpdateJob(const JournalJob& job) {
  std::lock_guard<std::mutex> lock(mutex_);
  Transaction tx(db_);
  if (!tx.Ok() || !WriteJobLocked(job) || !tx.Commit()) {
    ErrorLocked("the journal " + path_ + " cannot record job " + std::to_string(job.id));
    return false;
  }
  return true;
}

bool Journal::WriteJobLocked(const JournalJob& job) {
  Statement st(db_,
               "UPDATE jobs SET kind=?2, result=?3, started_utc=?4, ended_utc=?5, host=?6, "
               "user=?7, pid=?8, program_version=?9, installation=?10, port=?11, device=?12, "
               "adapter=?13, identify_reply=?14, radio_model=?15, identity_hex=?16, "
               "identity_text=?17, model_id=?18, area=?19, info_text1=?20, info_text2=?21, "
               "info_text3=?22, info_date1=?23, info_date2=?24, radio_key=?25, "
               "firmware_version=?26, failed_row=?27, box_text=?28, read_attempts=?29, "
               "chip_attempts=?30, backup=?31, read_sha256=?32, converted_sha256=?33, "
               "font_source=?34, font_language=?35, write_started=?36, write_completed=?37, "
               "write_back_of=?38, write_back_file=?39 WHERE id=?1");
  if (!st.Ok()) {
    return false;
  }
  st.Bind(1, job.id).Bind(2, job.kind).Bind(3, job.result).Bind(4, job.startedUtc);
  st.Bind(5, job.endedUtc).Bind(6, job.host).Bind(7, job.user).Bind(8, job.pid);
  st.Bind(9, job.programVersion).Bind(10, job.installation).Bind(11, int64_t{job.port});
  st.Bind(12, job.device).Bind(13, job.adapter).Bind(14, job.identifyReply);
  st.Bind(15, job.radioModel).Bind(16, job.identityHex).Bind(17, job.identityText);
  st.Bind(18, job.modelId).Bind(19, job.area).Bind(20, job.infoText1).Bind(21, job.infoText2);
  st.Bind(22, job.infoText3).Bind(23, job.infoDate1).Bind(24, job.infoDate2);
  st.Bind(25, job.radioKey).Bind(26, int64_t{job.firmwareVersion}).Bind(27, job.failedRow);
  st.Bind(28, job.boxText).Bind(29, int64_t{job.readAttempts});
  st.Bind(30, int64_t{job.chipAttempts}).Bind(31, job.backup).Bind(32, job.readSha256);
  st.Bind(33, job.convertedSha256).Bind(34, int64_t{job.fontSource});
  st.Bind(35, int64_t{job.fontLanguage}).Bind(36, int64_t{job.writeStarted ? 1 : 0});
  st.Bind(37, int64_t{job.writeCompleted ? 1 : 0}).Bind(38, job.writeBackOf);
  st.Bind(39, job.writeBackFile);
  if (st.Step() != SQLITE_DONE) {
    return false;
  }
  const auto replace = [&](const char* del, auto&& insertAll) {
    Statement d(db_, del);
    if (!d.Ok()) {
      return false;
    }
    d.Bind(1, job.id);
    return d.Step() == SQLITE_DONE && insertAll();
  };
  const bool files = replace("DELETE FROM job_files WHERE job_id=?", [&] {
    for (const JournalFile& f : job.files) {
      Statement ins(db_, "INSERT INTO job_files VALUES(?, ?, ?, ?, ?)");
      if (!ins.Ok()) {
        return false;
      }
      ins.Bind(1, job.id).Bind(2, f.role).Bind(3, f.path).Bind(4, f.size).Bind(5, f.sha256);
      if (ins.Step() != SQLITE_DONE) {
        return false;
      }
    }
    return true;
  });
  const bool steps = files && replace("DELETE FROM job_steps WHERE job_id=?", [&] {
                       int64_t seq = 0;
                       for (const JournalStep& s : job.steps) {
                         Statement ins(db_, "INSERT INTO job_steps VALUES(?, ?, ?, ?, ?)");
                         if (!ins.Ok()) {
                           return false;
                         }
                         ins.Bind(1, job.id).Bind(2, seq++).Bind(3, s.mark).Bind(4, s.text);
                         ins.Bind(5, s.seconds);
                         if (ins.Step() != SQLITE_DONE) {
                           return false;
                         }
                       }
                       return true;
                     });
  return steps && replace("DELETE FROM job_boxes WHERE job_id=?", [&] {
           int64_t seq = 0;
           for (const JournalBox& b : job.boxes) {
             Statement ins(db_, "INSERT INTO job_boxes VALUES(?, ?, ?, ?)");
             if (!ins.Ok()) {
               return false;
             }
             ins.Bind(1, job.id).Bind(2, seq++).Bind(3, b.text).Bind(4, b.detail);
             if (ins.Step() != SQLITE_DONE) {
               return false;
             }
           }
           return true;
         });
}

bool Journal::StoreBlobLocked(std::span<const uint8_t> data, std::string& sha) {
  sha = Sha256Hex(data);
  {
    Statement have(db_, "SELECT 1 FROM blobs WHERE sha256=?");
    if (!have.Ok()) {
      return false;
    }
    have.Bind(1, sha);
    if (have.Step() == SQLITE_ROW) {
      return true;  // kept once per content
    }
  }
  uLongf packedSize = compressBound(static_cast<uLong>(data.size()));
  std::vector<uint8_t> packed(packedSize);
  if (compress2(packed.data(), &packedSize, data.data(), static_cast<uLong>(data.size()),
                kCompressionLevel) != Z_OK) {
    lastError_ = "the data could not be compressed";
    return false;
  }
  Statement ins(db_, "INSERT INTO blobs VALUES(?, ?, ?)");
  if (!ins.Ok()) {
    return false;
  }
  ins.Bind(1, sha)
      .Bind(2, static_cast<int64_t>(data.size()))
      .BindBlob(3, packed.data(), packedSize);
  return ins.Step() == SQLITE_DONE;
}

bool UnpackBlob(const std::string& sha, int64_t size, const void* z, size_t zsize,
                std::vector<uint8_t>& out, const std::string& where, std::string& error) {
  if (size < 0 || size > (64 << 20)) {
    error = where + " has a damaged data record " + sha;
    return false;
  }
  out.assign(static_cast<size_t>(size), 0);
  uLongf outSize = static_cast<uLongf>(size);
  if (uncompress(out.data(), &outSize, static_cast<const Bytef*>(z), static_cast<uLong>(zsize)) !=
          Z_OK ||
      outSize != static_cast<uLongf>(size) || Sha256Hex(out) != sha) {
    error = where + " has a damaged data record " + sha;
    out.clear();
    return false;
  }
  return true;
}

bool Journal::LoadBlobLocked(const std::string& sha, std::vector<uint8_t>& out,
                             std::string& error) {
  Statement st(db_, "SELECT size, zdata FROM blobs WHERE sha256=?");
  if (!st.Ok()) {
    error = ErrorLocked("the journal " + path_ + " cannot be read");
    return false;
  }
  st.Bind(1, sha);
  if (st.Step() != SQLITE_ROW) {
    error = "the journal " + path_ + " holds no data " + sha;
    return false;
  }
  return UnpackBlob(sha, st.Int(0), sqlite3_column_blob(st.get(), 1),
                    static_cast<size_t>(sqlite3_column_bytes(st.get(), 1)), out,
                    "the journal " + path_, error);
}

bool Journal::LoadPackedBlob(const std::string& sha, int64_t& size, std::vector<uint8_t>& zdata,
                             std::string& error) {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement st(db_, "SELECT size, zdata FROM blobs WHERE sha256=?");
  if (!st.Ok()) {
    error = ErrorLocked("the journal " + path_ + " cannot be read");
    return false;
  }
  st.Bind(1, sha);
  if (st.Step() != SQLITE_ROW) {
    error = "the journal " + path_ + " holds no data " + sha;
    return false;
  }
  size = st.Int(0);
  const auto* z = static_cast<const uint8_t*>(sqlite3_column_blob(st.get(), 1));
  zdata.assign(z, z + sqlite3_column_bytes(st.get(), 1));
  return true;
}

bool Journal::FinishJob(const JournalJob& job, bool forServer) {
  std::lock_guard<std::mutex> lock(mutex_);
  Transaction tx(db_);
  bool ok = tx.Ok() && WriteJobLocked(job);
  if (ok && forServer) {
    Statement st(db_, "INSERT OR IGNORE INTO server_outbox VALUES(?, ?)");
    ok = st.Ok();
    if (ok) {
      st.Bind(1, job.id).Bind(2, UtcNow());
      ok = st.Step() == SQLITE_DONE;
    }
  }
  if (!ok || !tx.Commit()) {
    ErrorLocked("the journal " + path_ + " cannot record job " + std::to_string(job.id));
    return false;
  }
  return true;
}

std::vector<int64_t> Journal::ServerQueue(int limit) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<int64_t> ids;
  Statement st(db_, "SELECT job_id FROM server_outbox ORDER BY job_id LIMIT ?");
  if (st.Ok()) {
    st.Bind(1, int64_t{limit});
    while (st.Step() == SQLITE_ROW) {
      ids.push_back(st.Int(0));
    }
  }
  return ids;
}

int Journal::ServerQueueSize() {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement st(db_, "SELECT COUNT(*) FROM server_outbox");
  return st.Ok() && st.Step() == SQLITE_ROW ? static_cast<int>(st.Int(0)) : -1;
}

bool Journal::MarkSent(int64_t id) {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement st(db_, "DELETE FROM server_outbox WHERE job_id=?");
  if (!st.Ok()) {
    ErrorLocked("the journal " + path_ + " cannot mark job " + std::to_string(id) + " sent");
    return false;
  }
  st.Bind(1, id);
  if (st.Step() != SQLITE_DONE) {
    ErrorLocked("the journal " + path_ + " cannot mark job " + std::to_string(id) + " sent");
    return false;
  }
  return true;
}

bool Journal::SaveBackup(JournalJob& job, std::span<const uint8_t> readData,
                         std::span<const uint8_t> converted) {
  std::lock_guard<std::mutex> lock(mutex_);
  const JournalJob before = job;
  Transaction tx(db_);
  std::string readSha;
  std::string convertedSha;
  const bool stored = tx.Ok() && (readData.empty() || StoreBlobLocked(readData, readSha)) &&
                      StoreBlobLocked(converted, convertedSha);
  if (stored) {
    job.readSha256 = readSha;
    job.convertedSha256 = convertedSha;
    job.backup = "saved";
    job.writeStarted = true;
  }
  if (!stored || !WriteJobLocked(job) || !tx.Commit()) {
    ErrorLocked("the radio's data could not be saved in the journal " + path_);
    job = before;
    return false;
  }
  return true;
}

void Journal::FillJobLocked(sqlite3_stmt* raw, JournalJob& j) {
  auto text = [raw](int c) {
    const unsigned char* t = sqlite3_column_text(raw, c);
    return t ? std::string(reinterpret_cast<const char*>(t)) : std::string();
  };
  auto integer = [raw](int c) { return sqlite3_column_int64(raw, c); };
  int c = 0;
  j.id = integer(c++);
  j.uid = text(c++);
  j.kind = text(c++);
  j.result = text(c++);
  j.startedUtc = text(c++);
  j.endedUtc = text(c++);
  j.host = text(c++);
  j.user = text(c++);
  j.pid = integer(c++);
  j.programVersion = text(c++);
  j.installation = text(c++);
  j.port = static_cast<int>(integer(c++));
  j.device = text(c++);
  j.adapter = text(c++);
  j.identifyReply = text(c++);
  j.radioModel = text(c++);
  j.identityHex = text(c++);
  j.identityText = text(c++);
  j.modelId = text(c++);
  j.area = text(c++);
  j.infoText1 = text(c++);
  j.infoText2 = text(c++);
  j.infoText3 = text(c++);
  j.infoDate1 = text(c++);
  j.infoDate2 = text(c++);
  j.radioKey = text(c++);
  j.firmwareVersion = static_cast<int>(integer(c++));
  j.failedRow = text(c++);
  j.boxText = text(c++);
  j.readAttempts = static_cast<int>(integer(c++));
  j.chipAttempts = static_cast<int>(integer(c++));
  j.backup = text(c++);
  j.readSha256 = text(c++);
  j.convertedSha256 = text(c++);
  j.fontSource = static_cast<int>(integer(c++));
  j.fontLanguage = static_cast<int>(integer(c++));
  j.writeStarted = integer(c++) != 0;
  j.writeCompleted = integer(c++) != 0;
  j.writeBackOf = integer(c++);
  j.writeBackFile = text(c++);
  // A job still "running" whose process on this host has gone was interrupted.
  if (j.result == "running" && j.host == HostName() && !ProcessAlive(j.pid)) {
    j.result = "interrupted";
  }
}

void Journal::LoadDetailsLocked(JournalJob& job) {
  Statement files(db_,
                  "SELECT role, path, size, sha256 FROM job_files WHERE job_id=? ORDER BY role");
  if (files.Ok()) {
    files.Bind(1, job.id);
    while (files.Step() == SQLITE_ROW) {
      job.files.push_back({files.Text(0), files.Text(1), files.Int(2), files.Text(3)});
    }
  }
  Statement steps(db_, "SELECT mark, text, seconds FROM job_steps WHERE job_id=? ORDER BY seq");
  if (steps.Ok()) {
    steps.Bind(1, job.id);
    while (steps.Step() == SQLITE_ROW) {
      job.steps.push_back({steps.Text(0), steps.Text(1), sqlite3_column_double(steps.get(), 2)});
    }
  }
  Statement boxes(db_, "SELECT text, detail FROM job_boxes WHERE job_id=? ORDER BY seq");
  if (boxes.Ok()) {
    boxes.Bind(1, job.id);
    while (boxes.Step() == SQLITE_ROW) {
      job.boxes.push_back({boxes.Text(0), boxes.Text(1)});
    }
  }
}

std::optional<JournalJob> Journal::LoadJob(int64_t id) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::string sql = std::string("SELECT ") + kJobColumns + " FROM jobs WHERE id=?";
  Statement st(db_, sql.c_str());
  if (!st.Ok()) {
    ErrorLocked("the journal " + path_ + " cannot be read");
    return std::nullopt;
  }
  st.Bind(1, id);
  if (st.Step() != SQLITE_ROW) {
    lastError_ = "the journal " + path_ + " has no job " + std::to_string(id);
    return std::nullopt;
  }
  JournalJob job;
  FillJobLocked(st.get(), job);
  LoadDetailsLocked(job);
  return job;
}

std::optional<JournalBackup> Journal::LoadBackup(int64_t id, std::string& error) {
  const std::optional<JournalJob> job = LoadJob(id);
  if (!job) {
    error = LastError();
    return std::nullopt;
  }
  if (job->convertedSha256.empty()) {
    error = "job " + std::to_string(id) + " in the journal " + path_ +
            " saved no data (it did not come to writing a radio)";
    return std::nullopt;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  JournalBackup backup;
  if ((!job->readSha256.empty() && !LoadBlobLocked(job->readSha256, backup.readData, error)) ||
      !LoadBlobLocked(job->convertedSha256, backup.converted, error)) {
    return std::nullopt;
  }
  backup.fontSource = job->fontSource;
  backup.fontLanguage = job->fontLanguage;
  return backup;
}

std::vector<JournalJob> Journal::History(const HistoryFilter& filter) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string sql = std::string("SELECT ") + kJobColumns + " FROM jobs WHERE started_utc >= ?1";
  if (!filter.radio.empty()) {
    sql +=
        " AND (instr(radio_model, ?2) OR instr(identity_text, ?2) OR instr(identity_hex, ?2) OR "
        "instr(model_id, ?2) OR instr(info_text1, ?2) OR instr(info_text2, ?2) OR "
        "instr(info_text3, ?2))";
  }
  sql += " ORDER BY id DESC";
  if (filter.limit > 0) {
    sql += " LIMIT " + std::to_string(filter.limit);
  }
  std::vector<JournalJob> jobs;
  Statement st(db_, sql.c_str());
  if (!st.Ok()) {
    ErrorLocked("the journal " + path_ + " cannot be read");
    return jobs;
  }
  st.Bind(1, filter.since);
  if (!filter.radio.empty()) {
    st.Bind(2, filter.radio);
  }
  while (st.Step() == SQLITE_ROW) {
    JournalJob job;
    FillJobLocked(st.get(), job);
    jobs.push_back(std::move(job));
  }
  for (JournalJob& job : jobs) {
    LoadDetailsLocked(job);
  }
  return jobs;
}

std::optional<int64_t> Journal::UnfinishedWrite(const std::string& radioKey, int64_t except) {
  if (radioKey.empty()) {
    return std::nullopt;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  Statement st(db_,
               "SELECT id, result, host, pid FROM jobs WHERE radio_key=?1 AND id<>?2 AND "
               "write_started=1 AND write_completed=0 AND backup='saved' AND "
               "converted_sha256<>'' AND kind<>'write-back' AND id > COALESCE((SELECT MAX(id) "
               "FROM jobs WHERE radio_key=?1 AND id<>?2 AND write_completed=1), 0) ORDER BY id "
               "DESC");
  if (!st.Ok()) {
    return std::nullopt;
  }
  st.Bind(1, radioKey).Bind(2, except);
  // A write that is still going on has not broken off: a job of a live process writing a
  // radio of the same key (another port of a bench of identical radios, another program).
  const std::string host = HostName();
  while (st.Step() == SQLITE_ROW) {
    if (st.Text(1) == "running" && (st.Text(2) != host || ProcessAlive(st.Int(3)))) {
      continue;
    }
    return st.Int(0);
  }
  return std::nullopt;
}

int Journal::MarkInterrupted() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<int64_t> gone;
  {
    Statement st(db_, "SELECT id, pid FROM jobs WHERE result='running' AND host=?");
    if (!st.Ok()) {
      return 0;
    }
    st.Bind(1, HostName());
    while (st.Step() == SQLITE_ROW) {
      if (!ProcessAlive(st.Int(1))) {
        gone.push_back(st.Int(0));
      }
    }
  }
  int marked = 0;
  for (int64_t id : gone) {
    Statement up(db_, "UPDATE jobs SET result='interrupted' WHERE id=? AND result='running'");
    if (up.Ok()) {
      up.Bind(1, id);
      marked += up.Step() == SQLITE_DONE ? sqlite3_changes(db_) : 0;
    }
  }
  return marked;
}

std::string UtcNow() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm tm{};
#ifdef _WIN32
  gmtime_s(&tm, &t);
#else
  gmtime_r(&t, &tm);
#endif
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms));
  return text;
}

JournalFile DescribeFile(const std::string& role, const std::string& path) {
  JournalFile f{role, path, -1, ""};
  if (path.empty()) {
    return f;
  }
  // Every job of an installation uses the same few files: a file whose size and time of
  // change are as when it was last hashed is not read again.
  static std::mutex cacheMutex;
  static std::map<std::string, std::tuple<uintmax_t, std::filesystem::file_time_type, std::string>>
      cache;
  std::error_code ec;
  const std::filesystem::path file = PathFromUtf8(path);
  const uintmax_t size = std::filesystem::file_size(file, ec);
  const auto changed =
      ec ? std::filesystem::file_time_type() : std::filesystem::last_write_time(file, ec);
  if (!ec) {
    std::lock_guard<std::mutex> lock(cacheMutex);
    const auto it = cache.find(path);
    if (it != cache.end() && std::get<0>(it->second) == size &&
        std::get<1>(it->second) == changed) {
      f.size = static_cast<int64_t>(size);
      f.sha256 = std::get<2>(it->second);
      return f;
    }
  }
  // Converter libraries and images are a few MiB at most.
  const FileRead read = ReadRegularFile(path, size_t{256} << 20);
  if (read.ok()) {
    f.size = static_cast<int64_t>(read.bytes.size());
    f.sha256 = Sha256Hex({reinterpret_cast<const uint8_t*>(read.bytes.data()), read.bytes.size()});
    if (!ec && static_cast<uintmax_t>(f.size) == size) {
      std::lock_guard<std::mutex> lock(cacheMutex);
      cache[path] = {size, changed, f.sha256};
    }
  }
  return f;
}

}  // namespace fw
