#pragma once
// The journal server: one PostgreSQL database that the benches of a line share. Each bench
// keeps its jobs in its own journal first; the ended jobs are sent on (JournalSender), each
// with its files, steps, boxes and saved data, in one transaction, at most once (a job's uid
// is unique on the server). The schema is created and migrated on first use, its version in
// the table flashwright_schema.
//
// The connection string is libpq's ("postgresql://user@host:port/db?sslmode=require" or
// "host=... dbname=..."), with its usual ways to a password (the password file, PGPASSWORD).
// No message names a password: the server is shown as ServerLabel gives it, and a text from
// libpq has the password masked.
//
// Every exchange with the server is bounded: the connection by connect_timeout (10 s unless
// the string sets it), each statement by an answer deadline; a stop flag ends a wait within
// a tenth of a second. Builds without libpq (the Windows build) connect to nothing and say
// so.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "journal/Journal.h"

namespace fw {

inline constexpr int kServerSchemaVersion = 1;

// Whether `path` names a journal server rather than a file.
bool IsServerJournal(const std::string& path);
// Whether this build can talk to a journal server.
bool ServerJournalBuilt();
// The server for people: "postgresql://user@host:port/db", never a password.
std::string ServerLabel(const std::string& conninfo);
// `text` with the connection string's password, wherever it appears, replaced by "****".
std::string MaskPassword(const std::string& text, const std::string& conninfo);

// A saved data record as the local journal keeps it (zlib), for sending.
struct PackedBlob {
  std::string sha256;
  int64_t size = 0;
  std::vector<uint8_t> zdata;
};

class ServerJournal {
 public:
  // Connects and brings the schema to the current version. Null with `error` (naming the
  // server and the problem) when it cannot; `stop`, when set, abandons the attempt.
  static std::unique_ptr<ServerJournal> Connect(const std::string& conninfo, std::string& error,
                                                const std::atomic<bool>* stop = nullptr);
  ~ServerJournal();
  ServerJournal(const ServerJournal&) = delete;
  ServerJournal& operator=(const ServerJournal&) = delete;

  const std::string& Label() const { return label_; }
  // Whether the connection broke (a new one is needed).
  bool Broken() const;

  // Sends the job (its id is the bench's own), its rows and its data in one transaction.
  // True when the server has it: sent now, or already there.
  bool Send(const JournalJob& job, const std::vector<PackedBlob>& blobs, std::string& error);
  // Jobs of every bench, newest first; a job's `id` is its id on its own bench, `host` its
  // bench.
  std::optional<std::vector<JournalJob>> History(const HistoryFilter& filter, std::string& error);
  // The job `localId` of bench `host` (the newest, should a bench have had two journals).
  std::optional<JournalJob> LoadJob(const std::string& host, int64_t localId, std::string& error);
  // A saved data record, unpacked.
  bool LoadBlob(const std::string& sha, std::vector<uint8_t>& out, std::string& error);
  // Tests: how many jobs with this uid the server holds.
  int64_t CountUid(const std::string& uid, std::string& error);

 private:
  struct Impl;
  explicit ServerJournal(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
  std::string label_;
};

}  // namespace fw
