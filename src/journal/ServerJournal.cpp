#include "journal/ServerJournal.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#ifdef FLASHWRIGHT_WITH_LIBPQ
#include <libpq-fe.h>
#include <poll.h>
#endif

namespace fw {

bool IsServerJournal(const std::string& path) {
  return path.rfind("postgresql://", 0) == 0 || path.rfind("postgres://", 0) == 0;
}

#ifndef FLASHWRIGHT_WITH_LIBPQ

bool ServerJournalBuilt() {
  return false;
}

std::string ServerLabel(const std::string& conninfo) {
  const size_t at = conninfo.find('@');
  const size_t scheme = conninfo.find("://");
  if (at == std::string::npos || scheme == std::string::npos || at < scheme) {
    return conninfo.substr(0, conninfo.find('?'));
  }
  const std::string user = conninfo.substr(scheme + 3, at - scheme - 3);
  return conninfo.substr(0, scheme + 3) + user.substr(0, user.find(':')) +
         conninfo.substr(at, conninfo.find('?', at) - at);
}

std::string MaskPassword(const std::string& text, const std::string&) {
  return text;
}

struct ServerJournal::Impl {};

ServerJournal::ServerJournal(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
ServerJournal::~ServerJournal() = default;

std::unique_ptr<ServerJournal> ServerJournal::Connect(const std::string& conninfo,
                                                      std::string& error,
                                                      const std::atomic<bool>*) {
  error = "the journal server " + ServerLabel(conninfo) +
          " cannot be used: this build of Flashwright has no PostgreSQL client";
  return nullptr;
}
bool ServerJournal::Broken() const {
  return true;
}
bool ServerJournal::Send(const JournalJob&, const std::vector<PackedBlob>&, std::string& error) {
  error = "no journal server";
  return false;
}
std::optional<std::vector<JournalJob>> ServerJournal::History(const HistoryFilter&,
                                                              std::string& error) {
  error = "no journal server";
  return std::nullopt;
}
std::optional<JournalJob> ServerJournal::LoadJob(const std::string&, int64_t, std::string& error) {
  error = "no journal server";
  return std::nullopt;
}
bool ServerJournal::LoadBlob(const std::string&, std::vector<uint8_t>&, std::string& error) {
  error = "no journal server";
  return false;
}
int64_t ServerJournal::CountUid(const std::string&, std::string& error) {
  error = "no journal server";
  return -1;
}

#else

namespace {

// The schema, one step per version, each run once in a transaction under an advisory lock
// (several benches may meet a new server at once).
constexpr const char* kServerMigrations[] = {
    // 1: the tables of the local journal; a job carries its bench's own id beside the
    // server's.
    R"(CREATE TABLE jobs(
         id BIGSERIAL PRIMARY KEY,
         uid TEXT NOT NULL UNIQUE,
         local_id BIGINT NOT NULL,
         received_utc TIMESTAMPTZ NOT NULL DEFAULT now(),
         kind TEXT NOT NULL, result TEXT NOT NULL, started_utc TEXT NOT NULL, ended_utc TEXT,
         host TEXT NOT NULL, "user" TEXT, pid BIGINT, program_version TEXT, installation TEXT,
         port INTEGER, device TEXT, adapter TEXT,
         identify_reply TEXT, radio_model TEXT, identity_hex TEXT, identity_text TEXT,
         model_id TEXT, area TEXT, info_text1 TEXT, info_text2 TEXT, info_text3 TEXT,
         info_date1 TEXT, info_date2 TEXT, radio_key TEXT, firmware_version INTEGER,
         failed_row TEXT, box_text TEXT, read_attempts INTEGER, chip_attempts INTEGER,
         backup TEXT, read_sha256 TEXT, converted_sha256 TEXT,
         font_source INTEGER, font_language INTEGER,
         write_started INTEGER NOT NULL DEFAULT 0, write_completed INTEGER NOT NULL DEFAULT 0,
         write_back_of BIGINT, write_back_file TEXT);
       CREATE INDEX jobs_bench ON jobs(host, local_id);
       CREATE INDEX jobs_started ON jobs(started_utc);
       CREATE TABLE job_files(job_id BIGINT NOT NULL REFERENCES jobs(id), role TEXT NOT NULL,
         path TEXT, size BIGINT, sha256 TEXT, PRIMARY KEY(job_id, role));
       CREATE TABLE job_steps(job_id BIGINT NOT NULL REFERENCES jobs(id), seq INTEGER NOT NULL,
         mark TEXT, text TEXT, seconds DOUBLE PRECISION, PRIMARY KEY(job_id, seq));
       CREATE TABLE job_boxes(job_id BIGINT NOT NULL REFERENCES jobs(id), seq INTEGER NOT NULL,
         text TEXT, detail TEXT, PRIMARY KEY(job_id, seq));
       CREATE TABLE blobs(sha256 TEXT PRIMARY KEY, size BIGINT NOT NULL, zdata BYTEA NOT NULL);)",
};
static_assert(std::size(kServerMigrations) == kServerSchemaVersion);

constexpr int kDefaultConnectSeconds = 10;
constexpr int kAnswerSeconds = 15;
constexpr long kSchemaLock = 0x46574a4e;  // "FWJN"

constexpr const char* kServerJobColumns =
    "local_id, uid, kind, result, started_utc, ended_utc, host, \"user\", pid, program_version, "
    "installation, port, device, adapter, identify_reply, radio_model, identity_hex, "
    "identity_text, model_id, area, info_text1, info_text2, info_text3, info_date1, info_date2, "
    "radio_key, firmware_version, failed_row, box_text, read_attempts, chip_attempts, backup, "
    "read_sha256, converted_sha256, font_source, font_language, write_started, write_completed, "
    "write_back_of, write_back_file";

struct Param {
  std::string value;
  bool null = false;
  bool binary = false;
};

Param P(const std::string& v) {
  return Param{v, false, false};
}
Param P(int64_t v) {
  return Param{std::to_string(v), false, false};
}
Param Bytes(const std::vector<uint8_t>& v) {
  return Param{std::string(v.begin(), v.end()), false, true};
}

// The connection string's fields, as libpq reads them.
std::vector<std::pair<std::string, std::string>> Fields(const std::string& conninfo) {
  std::vector<std::pair<std::string, std::string>> out;
  char* err = nullptr;
  PQconninfoOption* opts = PQconninfoParse(conninfo.c_str(), &err);
  PQfreemem(err);
  if (opts == nullptr) {
    return out;
  }
  for (PQconninfoOption* o = opts; o->keyword != nullptr; ++o) {
    if (o->val != nullptr) {
      out.emplace_back(o->keyword, o->val);
    }
  }
  PQconninfoFree(opts);
  return out;
}

std::string Field(const std::vector<std::pair<std::string, std::string>>& fields, const char* key) {
  for (const auto& [k, v] : fields) {
    if (k == key) {
      return v;
    }
  }
  return std::string();
}

}  // namespace

bool ServerJournalBuilt() {
  return true;
}

std::string ServerLabel(const std::string& conninfo) {
  const auto fields = Fields(conninfo);
  if (fields.empty()) {
    return "(a connection string libpq cannot read)";
  }
  const std::string user = Field(fields, "user");
  std::string host = Field(fields, "hostaddr");
  if (host.empty()) {
    host = Field(fields, "host");
  }
  const std::string port = Field(fields, "port");
  std::string label = "postgresql://" + (user.empty() ? std::string() : user + "@") +
                      (host.empty() ? std::string("localhost") : host) +
                      (port.empty() ? std::string() : ":" + port) + "/" + Field(fields, "dbname");
  if (const std::string ssl = Field(fields, "sslmode"); !ssl.empty()) {
    label += "?sslmode=" + ssl;
  }
  return label;
}

std::string MaskPassword(const std::string& text, const std::string& conninfo) {
  std::string out = text;
  std::vector<std::string> secrets;
  if (const std::string pw = Field(Fields(conninfo), "password"); !pw.empty()) {
    secrets.push_back(pw);
  }
  if (const char* env = std::getenv("PGPASSWORD"); env != nullptr && *env != '\0') {
    secrets.emplace_back(env);
  }
  for (const std::string& secret : secrets) {
    for (size_t at = out.find(secret); at != std::string::npos; at = out.find(secret, at + 4)) {
      out.replace(at, secret.size(), "****");
    }
  }
  return out;
}

struct ServerJournal::Impl {
  PGconn* conn = nullptr;
  std::string conninfo;
  std::string label;
  const std::atomic<bool>* stop = nullptr;
  bool broken = false;

  ~Impl() { PQfinish(conn); }

  std::string Problem(const std::string& what) {
    std::string message = conn != nullptr ? PQerrorMessage(conn) : "";
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) {
      message.pop_back();
    }
    for (char& c : message) {
      if (c == '\n') {
        c = ' ';
      }
    }
    return MaskPassword("the journal server " + label + " " + what +
                            (message.empty() ? std::string() : ": " + message),
                        conninfo);
  }

  bool Stopped() const { return stop != nullptr && stop->load(); }

  // Waits for the socket, a tenth of a second at a time; false at the deadline or a stop.
  bool Wait(bool forWrite, std::chrono::steady_clock::time_point deadline) {
    pollfd p{PQsocket(conn), static_cast<short>(forWrite ? POLLOUT : POLLIN), 0};
    for (;;) {
      if (Stopped() || std::chrono::steady_clock::now() >= deadline) {
        return false;
      }
      const int r = poll(&p, 1, 100);
      if (r > 0 || (r < 0 && errno != EINTR)) {
        return true;
      }
    }
  }

  // Runs one statement; null (and the connection marked broken when it is) on failure.
  PGresult* Run(const char* sql, const std::vector<Param>& params, std::string& error,
                int resultFormat = 0) {
    if (conn == nullptr || broken) {
      error = "the journal server " + label + " is not connected";
      return nullptr;
    }
    std::vector<const char*> values;
    std::vector<int> lengths;
    std::vector<int> formats;
    for (const Param& p : params) {
      values.push_back(p.null ? nullptr : p.value.data());
      lengths.push_back(static_cast<int>(p.value.size()));
      formats.push_back(p.binary ? 1 : 0);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kAnswerSeconds);
    // Without parameters a statement goes as a simple query, which may hold several (the
    // schema's steps); the answer is the last one's.
    const int sent =
        params.empty() && resultFormat == 0
            ? PQsendQuery(conn, sql)
            : PQsendQueryParams(conn, sql, static_cast<int>(params.size()), nullptr, values.data(),
                                lengths.data(), formats.data(), resultFormat);
    if (sent == 0) {
      broken = PQstatus(conn) != CONNECTION_OK;
      error = Problem("refused a statement");
      return nullptr;
    }
    for (;;) {
      const int f = PQflush(conn);
      if (f == 0) {
        break;
      }
      if (f < 0 || !Wait(true, deadline)) {
        broken = true;
        error = Stopped() ? "the journal server " + label + ": stopped"
                          : Problem("took the statement no further");
        return nullptr;
      }
    }
    PGresult* last = nullptr;
    for (;;) {
      while (PQisBusy(conn) != 0) {
        if (!Wait(false, deadline)) {
          broken = true;
          PQclear(last);
          error = Stopped() ? "the journal server " + label + ": stopped"
                            : "the journal server " + label + " did not answer within " +
                                  std::to_string(kAnswerSeconds) + " s";
          return nullptr;
        }
        if (PQconsumeInput(conn) == 0) {
          broken = true;
          PQclear(last);
          error = Problem("broke the connection");
          return nullptr;
        }
      }
      PGresult* r = PQgetResult(conn);
      if (r == nullptr) {
        break;
      }
      PQclear(last);
      last = r;
    }
    const ExecStatusType status = last != nullptr ? PQresultStatus(last) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
      std::string message = last != nullptr ? PQresultErrorMessage(last) : "";
      while (!message.empty() && message.back() == '\n') {
        message.pop_back();
      }
      error = MaskPassword("the journal server " + label + " refused: " + message, conninfo);
      broken = PQstatus(conn) != CONNECTION_OK;
      PQclear(last);
      return nullptr;
    }
    return last;
  }

  bool Exec(const char* sql, const std::vector<Param>& params, std::string& error) {
    PGresult* r = Run(sql, params, error);
    PQclear(r);
    return r != nullptr;
  }

  bool Rollback() {
    std::string ignored;
    return !broken && Exec("ROLLBACK", {}, ignored);
  }

  bool Migrate(std::string& error) {
    // A bench whose role may only insert and read finds the schema made: nothing to take.
    if (PGresult* r = Run("SELECT max(version) FROM flashwright_schema", {}, error)) {
      const int version = PQgetisnull(r, 0, 0) ? 0 : std::atoi(PQgetvalue(r, 0, 0));
      PQclear(r);
      if (version == kServerSchemaVersion) {
        return true;
      }
      if (version > kServerSchemaVersion) {
        error = "the journal server " + label +
                " was set up by a newer version of Flashwright (schema " + std::to_string(version) +
                ", this version knows up to " + std::to_string(kServerSchemaVersion) + ")";
        return false;
      }
    } else if (broken) {
      return false;
    }
    if (!Exec("BEGIN", {}, error)) {
      return false;
    }
    bool ok =
        Exec("SELECT pg_advisory_xact_lock($1)", {P(int64_t{kSchemaLock})}, error) &&
        Exec("CREATE TABLE IF NOT EXISTS flashwright_schema(version INTEGER NOT NULL)", {}, error);
    int version = 0;
    if (ok) {
      PGresult* r = Run("SELECT max(version) FROM flashwright_schema", {}, error);
      ok = r != nullptr;
      if (ok && !PQgetisnull(r, 0, 0)) {
        version = std::atoi(PQgetvalue(r, 0, 0));
      }
      PQclear(r);
    }
    for (int v = version; ok && v < kServerSchemaVersion; ++v) {
      ok = Exec(kServerMigrations[v], {}, error) &&
           Exec("DELETE FROM flashwright_schema", {}, error) &&
           Exec("INSERT INTO flashwright_schema VALUES($1)", {P(int64_t{v + 1})}, error);
    }
    if (!ok || !Exec("COMMIT", {}, error)) {
      Rollback();
      error = "the journal server " + label + " has no journal schema " +
              std::to_string(kServerSchemaVersion) + " and it could not be made (" + error +
              "; the first connection needs a role that may create tables)";
      return false;
    }
    return true;
  }
};

ServerJournal::ServerJournal(std::unique_ptr<Impl> impl)
    : impl_(std::move(impl)), label_(impl_->label) {}

ServerJournal::~ServerJournal() = default;

bool ServerJournal::Broken() const {
  return impl_->broken || PQstatus(impl_->conn) != CONNECTION_OK;
}

std::unique_ptr<ServerJournal> ServerJournal::Connect(const std::string& conninfo,
                                                      std::string& error,
                                                      const std::atomic<bool>* stop) {
  auto impl = std::make_unique<Impl>();
  impl->conninfo = conninfo;
  impl->label = ServerLabel(conninfo);
  impl->stop = stop;
  const auto fields = Fields(conninfo);
  if (fields.empty()) {
    error =
        "the journal server's connection string cannot be read (libpq's form: "
        "postgresql://user@host:port/database)";
    return nullptr;
  }
  int seconds = std::atoi(Field(fields, "connect_timeout").c_str());
  if (seconds <= 0) {
    seconds = kDefaultConnectSeconds;
  }
  // A peer that stops taking data gives up the connection instead of waiting for the
  // system's retransmissions; a statement is bounded by the server too.
  const std::string userTimeout = std::to_string(seconds * 1000);
  const char* keys[] = {
      "dbname",          "fallback_application_name", "connect_timeout", "keepalives",
      "keepalives_idle", "tcp_user_timeout",          "options",         nullptr};
  const std::string timeout = std::to_string(seconds);
  const std::string options = "-c statement_timeout=" + std::to_string(kAnswerSeconds * 1000);
  const char* values[] = {conninfo.c_str(),    "flashwright",   timeout.c_str(), "1", "5",
                          userTimeout.c_str(), options.c_str(), nullptr};
  impl->conn = PQconnectStartParams(keys, values, 1);
  if (impl->conn == nullptr) {
    error = "the journal server " + impl->label + " cannot be reached: out of memory";
    return nullptr;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  PostgresPollingStatusType poll = PGRES_POLLING_WRITING;
  while (PQstatus(impl->conn) != CONNECTION_BAD && poll != PGRES_POLLING_OK &&
         poll != PGRES_POLLING_FAILED) {
    if (!impl->Wait(poll == PGRES_POLLING_WRITING, deadline)) {
      error = impl->Stopped() ? "the journal server " + impl->label + ": stopped"
                              : "the journal server " + impl->label + " did not answer within " +
                                    std::to_string(seconds) +
                                    " s (connect_timeout; a port that takes the connection "
                                    "and never answers)";
      return nullptr;
    }
    poll = PQconnectPoll(impl->conn);
  }
  if (PQstatus(impl->conn) != CONNECTION_OK) {
    error = impl->Problem("cannot be reached");
    return nullptr;
  }
  // The server's notices ("relation ... already exists, skipping") are not the user's.
  PQsetNoticeProcessor(
      impl->conn, [](void*, const char*) {}, nullptr);
  if (PQsetnonblocking(impl->conn, 1) != 0) {
    error = impl->Problem("cannot be used");
    return nullptr;
  }
  if (!impl->Migrate(error)) {
    return nullptr;
  }
  return std::unique_ptr<ServerJournal>(new ServerJournal(std::move(impl)));
}

bool ServerJournal::Send(const JournalJob& j, const std::vector<PackedBlob>& blobs,
                         std::string& error) {
  Impl& d = *impl_;
  if (!d.Exec("BEGIN", {}, error)) {
    return false;
  }
  auto fail = [&] {
    d.Rollback();
    return false;
  };
  for (const PackedBlob& b : blobs) {
    if (!d.Exec("INSERT INTO blobs VALUES($1, $2, $3) ON CONFLICT (sha256) DO NOTHING",
                {P(b.sha256), P(b.size), Bytes(b.zdata)}, error)) {
      return fail();
    }
  }
  const std::vector<Param> row = {P(j.id),
                                  P(j.uid),
                                  P(j.kind),
                                  P(j.result),
                                  P(j.startedUtc),
                                  P(j.endedUtc),
                                  P(j.host),
                                  P(j.user),
                                  P(j.pid),
                                  P(j.programVersion),
                                  P(j.installation),
                                  P(int64_t{j.port}),
                                  P(j.device),
                                  P(j.adapter),
                                  P(j.identifyReply),
                                  P(j.radioModel),
                                  P(j.identityHex),
                                  P(j.identityText),
                                  P(j.modelId),
                                  P(j.area),
                                  P(j.infoText1),
                                  P(j.infoText2),
                                  P(j.infoText3),
                                  P(j.infoDate1),
                                  P(j.infoDate2),
                                  P(j.radioKey),
                                  P(int64_t{j.firmwareVersion}),
                                  P(j.failedRow),
                                  P(j.boxText),
                                  P(int64_t{j.readAttempts}),
                                  P(int64_t{j.chipAttempts}),
                                  P(j.backup),
                                  P(j.readSha256),
                                  P(j.convertedSha256),
                                  P(int64_t{j.fontSource}),
                                  P(int64_t{j.fontLanguage}),
                                  P(int64_t{j.writeStarted ? 1 : 0}),
                                  P(int64_t{j.writeCompleted ? 1 : 0}),
                                  P(j.writeBackOf),
                                  P(j.writeBackFile)};
  std::string sql = std::string("INSERT INTO jobs(") + kServerJobColumns + ") VALUES(";
  for (size_t i = 1; i <= row.size(); ++i) {
    sql += (i > 1 ? ", $" : "$") + std::to_string(i);
  }
  sql += ") ON CONFLICT (uid) DO NOTHING RETURNING id";
  PGresult* r = d.Run(sql.c_str(), row, error);
  if (r == nullptr) {
    return fail();
  }
  const bool fresh = PQntuples(r) == 1;
  const std::string id = fresh ? PQgetvalue(r, 0, 0) : std::string();
  PQclear(r);
  if (fresh) {
    for (const JournalFile& f : j.files) {
      if (!d.Exec("INSERT INTO job_files VALUES($1, $2, $3, $4, $5)",
                  {P(id), P(f.role), P(f.path), P(f.size), P(f.sha256)}, error)) {
        return fail();
      }
    }
    int64_t seq = 0;
    for (const JournalStep& s : j.steps) {
      if (!d.Exec("INSERT INTO job_steps VALUES($1, $2, $3, $4, $5)",
                  {P(id), P(seq++), P(s.mark), P(s.text), P(std::to_string(s.seconds))}, error)) {
        return fail();
      }
    }
    seq = 0;
    for (const JournalBox& b : j.boxes) {
      if (!d.Exec("INSERT INTO job_boxes VALUES($1, $2, $3, $4)",
                  {P(id), P(seq++), P(b.text), P(b.detail)}, error)) {
        return fail();
      }
    }
  }
  if (!d.Exec("COMMIT", {}, error)) {
    return fail();
  }
  return true;
}

namespace {

void FillServerJob(PGresult* r, int row, JournalJob& j) {
  int c = 0;
  auto text = [&] { return std::string(PQgetvalue(r, row, c++)); };
  auto integer = [&] { return std::strtoll(PQgetvalue(r, row, c++), nullptr, 10); };
  j.id = integer();
  j.uid = text();
  j.kind = text();
  j.result = text();
  j.startedUtc = text();
  j.endedUtc = text();
  j.host = text();
  j.user = text();
  j.pid = integer();
  j.programVersion = text();
  j.installation = text();
  j.port = static_cast<int>(integer());
  j.device = text();
  j.adapter = text();
  j.identifyReply = text();
  j.radioModel = text();
  j.identityHex = text();
  j.identityText = text();
  j.modelId = text();
  j.area = text();
  j.infoText1 = text();
  j.infoText2 = text();
  j.infoText3 = text();
  j.infoDate1 = text();
  j.infoDate2 = text();
  j.radioKey = text();
  j.firmwareVersion = static_cast<int>(integer());
  j.failedRow = text();
  j.boxText = text();
  j.readAttempts = static_cast<int>(integer());
  j.chipAttempts = static_cast<int>(integer());
  j.backup = text();
  j.readSha256 = text();
  j.convertedSha256 = text();
  j.fontSource = static_cast<int>(integer());
  j.fontLanguage = static_cast<int>(integer());
  j.writeStarted = integer() != 0;
  j.writeCompleted = integer() != 0;
  j.writeBackOf = integer();
  j.writeBackFile = text();
}

}  // namespace

std::optional<std::vector<JournalJob>> ServerJournal::History(const HistoryFilter& filter,
                                                              std::string& error) {
  Impl& d = *impl_;
  std::string sql =
      std::string("SELECT ") + kServerJobColumns + ", id FROM jobs WHERE started_utc >= $1";
  std::vector<Param> params = {P(filter.since)};
  if (!filter.radio.empty()) {
    sql +=
        " AND (strpos(radio_model, $2) > 0 OR strpos(identity_text, $2) > 0 OR "
        "strpos(identity_hex, $2) > 0 OR strpos(model_id, $2) > 0 OR strpos(info_text1, $2) > 0 "
        "OR strpos(info_text2, $2) > 0 OR strpos(info_text3, $2) > 0)";
    params.push_back(P(filter.radio));
  }
  sql += " ORDER BY started_utc DESC, id DESC";
  if (filter.limit > 0) {
    sql += " LIMIT " + std::to_string(filter.limit);
  }
  PGresult* r = d.Run(sql.c_str(), params, error);
  if (r == nullptr) {
    return std::nullopt;
  }
  std::vector<JournalJob> jobs(static_cast<size_t>(PQntuples(r)));
  std::vector<std::string> serverIds;
  for (int i = 0; i < PQntuples(r); ++i) {
    FillServerJob(r, i, jobs[static_cast<size_t>(i)]);
    serverIds.emplace_back(PQgetvalue(r, i, PQnfields(r) - 1));
  }
  PQclear(r);
  // The steps name a job's end in the table; the files and boxes are read the same way.
  for (size_t i = 0; i < jobs.size(); ++i) {
    JournalJob& job = jobs[i];
    PGresult* f =
        d.Run("SELECT role, path, size, sha256 FROM job_files WHERE job_id=$1 ORDER BY role",
              {P(serverIds[i])}, error);
    PGresult* s = d.Run("SELECT mark, text, seconds FROM job_steps WHERE job_id=$1 ORDER BY seq",
                        {P(serverIds[i])}, error);
    PGresult* b = d.Run("SELECT text, detail FROM job_boxes WHERE job_id=$1 ORDER BY seq",
                        {P(serverIds[i])}, error);
    if (f == nullptr || s == nullptr || b == nullptr) {
      PQclear(f);
      PQclear(s);
      PQclear(b);
      return std::nullopt;
    }
    for (int k = 0; k < PQntuples(f); ++k) {
      job.files.push_back({PQgetvalue(f, k, 0), PQgetvalue(f, k, 1),
                           std::strtoll(PQgetvalue(f, k, 2), nullptr, 10), PQgetvalue(f, k, 3)});
    }
    for (int k = 0; k < PQntuples(s); ++k) {
      job.steps.push_back(
          {PQgetvalue(s, k, 0), PQgetvalue(s, k, 1), std::strtod(PQgetvalue(s, k, 2), nullptr)});
    }
    for (int k = 0; k < PQntuples(b); ++k) {
      job.boxes.push_back({PQgetvalue(b, k, 0), PQgetvalue(b, k, 1)});
    }
    PQclear(f);
    PQclear(s);
    PQclear(b);
  }
  return jobs;
}

std::optional<JournalJob> ServerJournal::LoadJob(const std::string& host, int64_t localId,
                                                 std::string& error) {
  const std::string sql = std::string("SELECT ") + kServerJobColumns +
                          " FROM jobs WHERE host=$1 AND local_id=$2 ORDER BY id DESC LIMIT 1";
  PGresult* r = impl_->Run(sql.c_str(), {P(host), P(localId)}, error);
  if (r == nullptr) {
    return std::nullopt;
  }
  if (PQntuples(r) == 0) {
    PQclear(r);
    error = "the journal server " + label_ + " has no job " + std::to_string(localId) +
            " of the bench " + host;
    return std::nullopt;
  }
  JournalJob job;
  FillServerJob(r, 0, job);
  PQclear(r);
  return job;
}

bool ServerJournal::LoadBlob(const std::string& sha, std::vector<uint8_t>& out,
                             std::string& error) {
  PGresult* r = impl_->Run("SELECT size, zdata FROM blobs WHERE sha256=$1", {P(sha)}, error, 1);
  if (r == nullptr) {
    return false;
  }
  if (PQntuples(r) == 0) {
    PQclear(r);
    error = "the journal server " + label_ + " holds no data " + sha;
    return false;
  }
  // Binary results: the size is a big-endian 64-bit integer.
  int64_t size = 0;
  const auto* s = reinterpret_cast<const uint8_t*>(PQgetvalue(r, 0, 0));
  for (int i = 0; i < 8 && PQgetlength(r, 0, 0) == 8; ++i) {
    size = (size << 8) | s[i];
  }
  const bool ok =
      UnpackBlob(sha, size, PQgetvalue(r, 0, 1), static_cast<size_t>(PQgetlength(r, 0, 1)), out,
                 "the journal server " + label_, error);
  PQclear(r);
  return ok;
}

int64_t ServerJournal::CountUid(const std::string& uid, std::string& error) {
  PGresult* r = impl_->Run("SELECT count(*) FROM jobs WHERE uid=$1", {P(uid)}, error);
  if (r == nullptr) {
    return -1;
  }
  const int64_t n = std::strtoll(PQgetvalue(r, 0, 0), nullptr, 10);
  PQclear(r);
  return n;
}

#endif

}  // namespace fw
