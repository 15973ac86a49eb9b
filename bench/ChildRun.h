#pragma once
// Running the real program as a child process for the whole-program benchmarks: its wall
// time and its own resource usage (wait4), this process's CPU, the time scale of the fixed
// waits.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace fw::bench {

constexpr int kJobTimeoutS = 900;

inline double Seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

inline double SelfCpuSeconds() {
  struct rusage u;
  getrusage(RUSAGE_SELF, &u);
  return Seconds(u.ru_utime) + Seconds(u.ru_stime);
}

inline std::string TimeScale() {
  const char* set = std::getenv("FLASHWRIGHT_TIME_SCALE");
  return set != nullptr && *set != '\0' ? set : "0.05";
}

// The environment of this process with FLASHWRIGHT_TIME_SCALE replaced.
inline std::vector<std::string> ChildEnvironment(const std::string& scale) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::string(*e).rfind("FLASHWRIGHT_TIME_SCALE=", 0) != 0) {
      env.emplace_back(*e);
    }
  }
  env.push_back("FLASHWRIGHT_TIME_SCALE=" + scale);
  return env;
}

struct ChildRun {
  bool started = false;
  bool timedOut = false;
  int exitCode = -1;
  double wallS = 0;
  struct rusage usage = {};
};

// Runs `args` with its output in `logPath` and waits for it (killed after the timeout).
inline ChildRun RunChild(const std::vector<std::string>& args, const std::vector<std::string>& env,
                         const std::string& logPath) {
  ChildRun run;
  std::vector<char*> argv;
  for (const std::string& a : args) {
    argv.push_back(const_cast<char*>(a.c_str()));
  }
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const std::string& e : env) {
    envp.push_back(const_cast<char*>(e.c_str()));
  }
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);

  const auto t0 = std::chrono::steady_clock::now();
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    return run;
  }
  run.started = true;
  int status = 0;
  for (;;) {
    const pid_t done = wait4(pid, &status, WNOHANG, &run.usage);
    if (done == pid) {
      break;
    }
    if (std::chrono::steady_clock::now() - t0 > std::chrono::seconds(kJobTimeoutS)) {
      run.timedOut = true;
      kill(pid, SIGKILL);
      wait4(pid, &status, 0, &run.usage);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  run.wallS = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace fw::bench
