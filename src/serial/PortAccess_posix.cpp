// Serial-port access on POSIX systems: the open check, the device's group, and the
// holders of a device from /proc (Linux).

#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "serial/PortAccess.h"

namespace fw {
namespace fs = std::filesystem;
namespace {

// The simulated radio keeps its end of the pseudo-terminal open: that is the radio's
// side of the line, not a competing reader.
constexpr const char* kSimulatedRadio = "flashwright-radio-sim";

bool AllDigits(const std::string& s) {
  return !s.empty() &&
         std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

std::string ProgramName(const fs::path& process) {
  std::ifstream cmdline(process / "cmdline", std::ios::binary);
  std::string argv0;
  if (cmdline && std::getline(cmdline, argv0, '\0') && !argv0.empty()) {
    std::string name = fs::path(argv0).filename().string();
    if (!name.empty()) {
      return name;
    }
  }
  std::ifstream comm(process / "comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

}  // namespace

bool MarkedExclusiveByOther(int fd) {
#ifdef TIOCGEXCL
  int excl = 0;
  return ::ioctl(fd, TIOCGEXCL, &excl) == 0 && excl != 0;
#else
  (void)fd;
  return false;
#endif
}

int CurrentProcessId() {
  return static_cast<int>(::getpid());
}

int TryOpenExclusively(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    return errno;
  }
  int error = 0;
  struct termios t;
  if (::tcgetattr(fd, &t) != 0) {
    error = ENOTTY;
  } else if (MarkedExclusiveByOther(fd) || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    error = EBUSY;
  }
  ::close(fd);
  return error;
}

DeviceGroup GroupOfDevice(const std::string& devicePath) {
  DeviceGroup group;
  struct stat st;
  if (devicePath.empty() || ::stat(devicePath.c_str(), &st) != 0) {
    return group;
  }
  std::vector<char> buffer(16384);
  struct group entry;
  struct group* found = nullptr;
  bool listed = false;
  if (::getgrgid_r(st.st_gid, &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr) {
    group.name = found->gr_name;
    std::vector<char> userBuffer(16384);
    struct passwd user;
    struct passwd* me = nullptr;
    if (::getpwuid_r(::getuid(), &user, userBuffer.data(), userBuffer.size(), &me) == 0 &&
        me != nullptr) {
      for (char** member = found->gr_mem; member != nullptr && *member != nullptr; ++member) {
        listed = listed || std::strcmp(*member, me->pw_name) == 0;
      }
    }
  }
  // This process's groups are those of the session's login.
  int n = ::getgroups(0, nullptr);
  std::vector<gid_t> groups(static_cast<size_t>(std::max(n, 0)));
  n = ::getgroups(static_cast<int>(groups.size()), groups.data());
  groups.resize(static_cast<size_t>(std::max(n, 0)));
  const bool inSession = ::getegid() == st.st_gid ||
                         std::find(groups.begin(), groups.end(), st.st_gid) != groups.end();
  group.userIsMember = listed && !inSession;
  return group;
}

std::vector<PortHolder> PortHolders(const std::string& devicePath, const std::string& procRoot,
                                    int excludePid) {
  std::vector<PortHolder> holders;
  std::error_code ec;
  const fs::path canonical = fs::canonical(devicePath, ec);
  const std::string wanted = ec ? devicePath : canonical.string();
  for (fs::directory_iterator it(procRoot, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string pidText = it->path().filename().string();
    if (!AllDigits(pidText) || pidText.size() > 9) {
      continue;
    }
    const int pid = std::stoi(pidText);
    if (pid == excludePid) {
      continue;
    }
    std::error_code fdError;
    for (fs::directory_iterator fd(it->path() / "fd", fdError), fdEnd; !fdError && fd != fdEnd;
         fd.increment(fdError)) {
      std::error_code linkError;
      const fs::path target = fs::read_symlink(fd->path(), linkError);
      if (linkError || (target.string() != wanted && target.string() != devicePath)) {
        continue;
      }
      std::string name = ProgramName(it->path());
      if (name != kSimulatedRadio) {
        holders.push_back({pid, name});
      }
      break;
    }
  }
  std::sort(holders.begin(), holders.end(),
            [](const PortHolder& a, const PortHolder& b) { return a.pid < b.pid; });
  return holders;
}

}  // namespace fw
