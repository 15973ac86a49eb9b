// The journal server's cost to a job, on a private PostgreSQL cluster on a loopback port
// (tools/pg-cluster, started and stopped here):
//   BM_JobWithJournalServer/0  a whole upgrade by the real program (headless, a child process
//                              against the simulated radio) whose journal server answers;
//   .../1                      the server stopped (nothing listens on its port);
//   .../2                      a port that takes the connection and never answers.
// The three should be the same within noise: a job never waits for the server (wall_s and
// cpu_s are the child's; the end of a run waits only for a server that answers).
//   BM_JobEndToServerRecord    from a job's end (its record queued in the local journal) to
//                              the record on the server, with the server up (ms).

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "BenchInstall.h"
#include "ChildRun.h"
#include "DemoRadio.h"
#include "RadioSim.h"
#include "journal/Journal.h"
#include "journal/JournalSender.h"
#include "journal/ServerJournal.h"

namespace {

using namespace fw::bench;

constexpr uint32_t kBaud = 115200;

// The private cluster, for the whole program.
class Cluster {
 public:
  Cluster() {
    std::string dir = (std::filesystem::temp_directory_path() / "flashwright-pg-XXXXXX").string();
    if (mkdtemp(dir.data()) == nullptr) {
      return;
    }
    std::filesystem::permissions(
        dir, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                 std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                 std::filesystem::perms::others_exec);
    dir_ = dir;
    if (FILE* p = popen((std::string(FLASHWRIGHT_PG_CLUSTER) + " start " + dir_).c_str(), "r")) {
      char line[64] = {};
      if (std::fgets(line, sizeof line, p) != nullptr) {
        port_ = std::atoi(line);
      }
      pclose(p);
    }
  }
  ~Cluster() {
    if (!dir_.empty()) {
      std::system((std::string(FLASHWRIGHT_PG_CLUSTER) + " stop " + dir_).c_str());
      std::filesystem::remove_all(dir_);
    }
  }
  int Port() const { return port_; }
  std::string Uri(const std::string& role, const std::string& password) const {
    return "postgresql://" + role + ":" + password + "@127.0.0.1:" + std::to_string(port_) +
           "/flashwright";
  }

 private:
  std::string dir_;
  int port_ = 0;
};

Cluster& TheCluster() {
  static Cluster cluster;
  return cluster;
}

// A loopback port that accepts and never answers, or (closed) one where nothing listens.
struct Listener {
  explicit Listener(bool listening) {
    fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t n = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
    port = ntohs(a.sin_port);
    if (listening) {
      listen(fd, 8);
    } else {
      close(fd);
      fd = -1;
    }
  }
  ~Listener() {
    if (fd >= 0) {
      close(fd);
    }
  }
  int fd = -1;
  int port = 0;
};

void BM_JobWithJournalServer(benchmark::State& st) {
  Cluster& cluster = TheCluster();
  if (cluster.Port() == 0) {
    st.SkipWithError("the PostgreSQL cluster did not start (tools/pg-cluster)");
    return;
  }
  std::string error;
  if (!fw::ServerJournal::Connect(cluster.Uri("flashwright_admin", "flashwright_admin"), error)) {
    st.SkipWithError(error.c_str());
    return;
  }
  const int mode = static_cast<int>(st.range(0));
  Listener silent(true);
  Listener closed(false);
  const std::string server =
      mode == 0   ? cluster.Uri("flashwright_bench", "Bench-7Q2x")
      : mode == 1 ? "postgresql://flashwright_bench@127.0.0.1:" + std::to_string(closed.port) +
                        "/flashwright"
                  : "postgresql://flashwright_bench@127.0.0.1:" + std::to_string(silent.port) +
                        "/flashwright";
  const std::string scale = TimeScale();
  std::string dir = (std::filesystem::temp_directory_path() / "flashwright-bench-XXXXXX").string();
  if (mkdtemp(dir.data()) == nullptr) {
    st.SkipWithError("no temporary directory");
    return;
  }
  const std::string folder = dir + "/install";
  error = WriteFullSizeInstallation(folder, FLASHWRIGHT_PLUGIN_DIR);
  if (!error.empty()) {
    st.SkipWithError(error.c_str());
    return;
  }
  double wall = 0, cpu = 0;
  int runs = 0;
  for (auto _ : st) {
    fw::sim::RadioSim radio(DemoRadioConfig(kBaud, std::atof(scale.c_str())));
    if (!radio.Start()) {
      st.SkipWithError(radio.Error().c_str());
      break;
    }
    const std::string ini = folder + "/Flashwright.ini";
    std::ofstream(ini, std::ios::app | std::ios::binary)
        << "COM" << (runs + 1) << "=" << radio.DevicePath() << "\r\n";
    const ChildRun run = RunChild(
        {FLASHWRIGHT_PROGRAM, "--headless", "--program-dir", folder, "--port",
         std::to_string(runs + 1), "--journal", server, "--journal-local", dir + "/journal.db"},
        ChildEnvironment(scale), dir + "/run.log");
    radio.Stop();
    if (!run.started || run.timedOut || run.exitCode != 0) {
      std::fprintf(stderr, "%s\n", ReadText(dir + "/run.log").c_str());
      st.SkipWithError("the upgrade failed (its output is above)");
      break;
    }
    ++runs;
    wall += run.wallS;
    cpu += Seconds(run.usage.ru_utime) + Seconds(run.usage.ru_stime);
    st.SetIterationTime(run.wallS);
  }
  std::filesystem::remove_all(dir);
  if (runs > 0) {
    st.counters["wall_s"] = wall / runs;
    st.counters["cpu_s"] = cpu / runs;
  }
  st.SetLabel(mode == 0 ? "server up" : mode == 1 ? "server stopped" : "server silent");
}
BENCHMARK(BM_JobWithJournalServer)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kSecond);

void BM_JobEndToServerRecord(benchmark::State& st) {
  Cluster& cluster = TheCluster();
  std::string error;
  auto reader =
      fw::ServerJournal::Connect(cluster.Uri("flashwright_admin", "flashwright_admin"), error);
  if (cluster.Port() == 0 || !reader) {
    st.SkipWithError(error.c_str());
    return;
  }
  std::string dir = (std::filesystem::temp_directory_path() / "flashwright-bench-XXXXXX").string();
  if (mkdtemp(dir.data()) == nullptr) {
    st.SkipWithError("no temporary directory");
    return;
  }
  auto local = std::shared_ptr<fw::Journal>(fw::Journal::Open(dir + "/journal.db", error));
  if (!local) {
    st.SkipWithError(error.c_str());
    return;
  }
  fw::JournalSender sender(local, cluster.Uri("flashwright_bench", "Bench-7Q2x"));
  sender.Start();
  std::vector<uint8_t> data(129976, 0xFF);
  double worst = 0;
  for (auto _ : st) {
    fw::JournalJob job;
    job.kind = "full";
    job.result = "running";
    job.startedUtc = fw::UtcNow();
    job.host = fw::HostName();
    local->BeginJob(job);
    data[static_cast<size_t>(job.id) % data.size()] ^= 0x5A;  // each job's data its own
    local->SaveBackup(job, data, data);
    job.result = "success";
    job.endedUtc = fw::UtcNow();
    const auto ended = std::chrono::steady_clock::now();
    local->FinishJob(job, true);
    sender.Wake();
    while (reader->CountUid(job.uid, error) != 1) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    const double s =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - ended).count();
    worst = std::max(worst, s);
    st.SetIterationTime(s);
  }
  sender.Finish(std::chrono::seconds(1));
  std::filesystem::remove_all(dir);
  st.counters["worst_ms"] = worst * 1000;
}
BENCHMARK(BM_JobEndToServerRecord)->UseManualTime()->Iterations(50)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
