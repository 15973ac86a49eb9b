#pragma once
// Why a serial device cannot be used, told so that the user can act on it: a device the
// user may not open (its group and the command that adds the user to it), a device that
// has gone (unplugged), and the programs that hold it open (from /proc on Linux), among
// them ModemManager, which probes every new USB serial device and takes its bytes.

#include <functional>
#include <string>
#include <vector>

namespace fw {

enum class PortAccess {
  kFree,          // can be opened exclusively now
  kNotPermitted,  // the user may not open it (EACCES, EPERM)
  kInUse,         // another program holds it exclusively
  kGone,          // no such device (unplugged, renumbered)
  kUnusable,      // anything else (not a serial device, I/O error)
};

// Tries to open `path` as the port list does (exclusively, closed again at once, line
// settings left alone): 0 when it could, otherwise the reason as an errno value (EBUSY
// when another program holds it).
int TryOpenExclusively(const std::string& path);
// The same decision as a function, so that tests can stand in for the system's answer.
using OpenCheck = std::function<int(const std::string& path)>;

PortAccess ClassifyOpenError(int error);
// What opening a port that another program holds says (kInUse).
inline constexpr const char* kPortInUseText = "The port is in use by another program";
// The port list shows the free devices, and those the user may not open, marked, so that
// the user learns what to do about them; the others are left out.
bool ShownInPortList(PortAccess access);
// What the port list says of a device beside its name: "" (free) or "no permission".
const char* PortListMark(PortAccess access);

// The group that owns a device, and whether the running user has been added to it since
// this session began (listed as a member, but without the group in this process).
struct DeviceGroup {
  std::string name;  // empty when unknown
  bool userIsMember = false;
};
DeviceGroup GroupOfDevice(const std::string& devicePath);

// What to do about a device the user may not open: the device, its group, the usermod
// command, logging in again. A root-owned group (nobody is added to "root") is named
// "dialout", the group of serial ports on most systems.
std::string PermissionAdvice(const std::string& devicePath, const DeviceGroup& group);
// A device that is not there (any more): names its path.
std::string GoneAdvice(const std::string& devicePath);

struct PortHolder {
  int pid = 0;
  std::string name;  // the program's name (argv[0] without its folder, else /proc/PID/comm)
};
// The processes that hold `devicePath` open, by pid, from `procRoot` (Linux: "/proc";
// empty elsewhere). `excludePid` (this program, say) is left out, and so is the simulated
// radio, whose end of its pseudo-terminal is the radio's side of the line.
std::vector<PortHolder> PortHolders(const std::string& devicePath,
                                    const std::string& procRoot = "/proc", int excludePid = 0);
// "" with no holders; otherwise names them and says what they do to the radio's replies,
// with the usual remedy when ModemManager is among them.
std::string HoldersText(const std::string& devicePath, const std::vector<PortHolder>& holders);
// This program's process id.
int CurrentProcessId();
// HoldersText of the device's holders other than this program ("" when none or unknown).
std::string OtherProgramsOnPort(const std::string& devicePath);

// The reason to show when opening `devicePath` failed with `error` (errno): the
// system's words, then the advice for permission, a missing device or a busy one.
std::string OpenFailureText(const std::string& devicePath, int error);
// Adds the permission advice to a reason that is a refused permission and has none yet.
std::string WithPermissionAdvice(const std::string& reason, const std::string& devicePath);

#ifdef _WIN32
// The errno value for a failed CreateFileW on a COM port (GetLastError's `code`): EBUSY for
// a port another program holds ("access denied", a sharing violation), ENOENT for one that
// is not there, EIO for anything else.
int OpenErrorFromWindows(unsigned long code);
// What SerialPort says when it cannot open a port: a port another program holds is named
// as such, with the system's words (`systemWords`) after it; other failures in the
// system's words alone.
std::string WindowsOpenFailureText(unsigned long code, const std::string& systemWords);
#endif

#ifndef _WIN32
// True if another opener has marked the terminal open on `fd` exclusive (this also catches
// holders that a privileged process could otherwise open past).
bool MarkedExclusiveByOther(int fd);
#endif

}  // namespace fw
