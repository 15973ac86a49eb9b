// Start-up of the window until it is ready for the user, with full-size character lists
// (6763 hanzi, 2350 Hangul syllables) on the demo installation: from starting a new
// process to the main window shown, painted and its "Upgrade" button enabled. The window is
// the program's own start routine (UpgradeApp::Run with the real start-up steps: settings,
// port list, firmware image, model table, both character-set images, hex file) on the
// offscreen platform (QT_QPA_PLATFORM=offscreen unless the environment sets another).
//
// Each run starts this program again as a child ("--startup-child"), which runs the window
// and reports through a pipe once the window's first paint has been carried out; the
// child then ends without waiting for the user.
//
// Reported figures (mean of the runs):
//   Time                     process start to ready (the wall time measured here)
//   main_to_ready_ms         from the child's main() to ready (without loading the program)
//   child_cpu_ms             the child's CPU time (user + system) until it ended
//   pct_of_1s                process start to ready as a share of a one-second budget
//   slowest_ms               the slowest run (the first one pays for cold caches)

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchInstall.h"
#include "app/qt/UpgradeApp.h"
#include "app/qt/UpgradeDialog.h"

extern char** environ;

namespace {

constexpr double kBudgetMs = 1000.0;
constexpr int kReadyTimeoutMs = 60000;

// What the child sends once the window is ready.
struct ReadyReport {
  double mainToReadyMs = 0;
  int upgradeEnabled = 0;
};

double MsSince(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// Sees the main window's first paint; the report goes out once that paint has finished.
class ReadyWatch : public QObject {
 public:
  ReadyWatch(int fd, std::chrono::steady_clock::time_point mainStart)
      : fd_(fd), mainStart_(mainStart) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!armed_ && event->type() == QEvent::Paint && watched->isWidgetType()) {
      auto* dialog = qobject_cast<fw::UpgradeDialog*>(static_cast<QWidget*>(watched)->window());
      if (dialog != nullptr && dialog->isVisible()) {
        armed_ = true;
        QTimer::singleShot(0, [this, dialog] { Report(dialog); });
      }
    }
    return false;
  }

 private:
  void Report(fw::UpgradeDialog* dialog) {
    ReadyReport report;
    report.mainToReadyMs = MsSince(mainStart_);
    QWidget* button = dialog->Control(fw::Control::Upgrade);
    report.upgradeEnabled = button != nullptr && button->isEnabled() &&
                            dialog->windowHandle() != nullptr &&
                            dialog->windowHandle()->isExposed();
    (void)!write(fd_, &report, sizeof report);
    // Ready: the user's part (and the exit question) is not measured.
    std::_Exit(0);
  }

  int fd_;
  std::chrono::steady_clock::time_point mainStart_;
  bool armed_ = false;
};

int RunChild(int fd, const char* programDir, std::chrono::steady_clock::time_point mainStart) {
  static char name[] = "Flashwright";
  static char option[] = "--program-dir";
  std::string dir = programDir;
  char* args[] = {name, option, dir.data(), nullptr};
  int argc = 3;
  // The program's start routine creates the application when none exists; creating it here
  // first (with the same arguments) lets the watch see the window's events.
  QApplication app(argc, args);
  ReadyWatch watch(fd, mainStart);
  app.installEventFilter(&watch);
  fw::UpgradeApp::Run(argc, args);
  return 1;  // the window ended without becoming ready (start-up stopped early)
}

std::vector<std::string> ChildEnvironment() {
  std::vector<std::string> env;
  bool platformSet = false;
  for (char** e = environ; *e != nullptr; ++e) {
    env.emplace_back(*e);
    platformSet = platformSet || std::string(*e).rfind("QT_QPA_PLATFORM=", 0) == 0;
  }
  if (!platformSet) {
    env.emplace_back("QT_QPA_PLATFORM=offscreen");
  }
  return env;
}

std::string g_self;  // this program, started again for every run

void BM_WindowStartupFullLists(benchmark::State& st) {
  std::string dir = (std::filesystem::temp_directory_path() / "flashwright-bench-XXXXXX").string();
  if (mkdtemp(dir.data()) == nullptr) {
    st.SkipWithError("no temporary directory");
    return;
  }
  const std::string folder = dir + "/install";
  const std::string error = fw::bench::WriteFullSizeInstallation(folder, std::string());
  if (!error.empty()) {
    st.SkipWithError(error.c_str());
    std::filesystem::remove_all(dir);
    return;
  }
  const std::vector<std::string> env = ChildEnvironment();
  std::vector<char*> envp;
  for (const std::string& e : env) {
    envp.push_back(const_cast<char*>(e.c_str()));
  }
  envp.push_back(nullptr);

  double totalMs = 0, mainMs = 0, cpuMs = 0, slowestMs = 0;
  int runs = 0;
  for (auto _ : st) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
      st.SkipWithError("no pipe");
      break;
    }
    // The child's end of the pipe, inherited across exec.
    const int childFd = fcntl(fds[1], F_DUPFD, 10);
    std::string fdText = std::to_string(childFd);
    std::vector<char*> argv = {g_self.data(), const_cast<char*>("--startup-child"), fdText.data(),
                               const_cast<char*>(folder.c_str()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);

    const auto t0 = std::chrono::steady_clock::now();
    pid_t pid = -1;
    const int spawned =
        posix_spawn(&pid, g_self.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(childFd);
    close(fds[1]);
    if (spawned != 0) {
      close(fds[0]);
      st.SkipWithError("the child did not start");
      break;
    }
    ReadyReport report;
    struct pollfd p = {fds[0], POLLIN, 0};
    bool got = false;
    if (poll(&p, 1, kReadyTimeoutMs) == 1) {
      got = read(fds[0], &report, sizeof report) == static_cast<ssize_t>(sizeof report);
    }
    const double readyMs = MsSince(t0);
    close(fds[0]);
    if (!got) {
      kill(pid, SIGKILL);
    }
    int status = 0;
    struct rusage usage = {};
    wait4(pid, &status, 0, &usage);
    if (!got || report.upgradeEnabled == 0) {
      st.SkipWithError(got ? "the window became visible without an enabled Upgrade button"
                           : "the window did not become ready");
      break;
    }
    ++runs;
    totalMs += readyMs;
    mainMs += report.mainToReadyMs;
    cpuMs += (static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
              static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3);
    slowestMs = std::max(slowestMs, readyMs);
    st.SetIterationTime(readyMs / 1000.0);
  }
  std::filesystem::remove_all(dir);
  if (runs == 0) {
    return;
  }
  st.counters["main_to_ready_ms"] = mainMs / runs;
  st.counters["child_cpu_ms"] = cpuMs / runs;
  st.counters["pct_of_1s"] = 100.0 * (totalMs / runs) / kBudgetMs;
  st.counters["slowest_ms"] = slowestMs;
}
BENCHMARK(BM_WindowStartupFullLists)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  const auto mainStart = std::chrono::steady_clock::now();
  if (argc == 4 && std::strcmp(argv[1], "--startup-child") == 0) {
    return RunChild(std::atoi(argv[2]), argv[3], mainStart);
  }
  std::error_code ec;
  g_self = std::filesystem::read_symlink("/proc/self/exe", ec).string();
  if (ec) {
    g_self = argv[0];
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
