#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include <filesystem>
#include <fstream>

#include "serial/PortAccess.h"
#include "serial/PortMap.h"
#include "serial/SerialDevices.h"
#include "serial/SerialPort.h"
#include "serial/UsbAdapter.h"
#include "support/PtyPeer.h"

namespace fw {
namespace {

namespace fs = std::filesystem;

// A fresh folder under the test temp directory, removed at the end of the test.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = ::testing::TempDir() + "flashwright-ports-XXXXXX";
    path_ = mkdtemp(pattern.data()) ? fs::path(pattern) : fs::path();
  }
  ~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

void Touch(const fs::path& file) {
  fs::create_directories(file.parent_path());
  std::ofstream(file) << "";
}

// A sysfs tty entry whose device sits on the given bus (pnp, pci, usb, platform).
void SysfsTty(const fs::path& sys, const std::string& name, const std::string& bus,
              const std::string& devicePath) {
  fs::path device = sys / "devices" / devicePath;
  fs::create_directories(device);
  fs::create_directories(sys / "bus" / bus);
  fs::create_symlink(sys / "bus" / bus, device / "subsystem");
  fs::create_directories(sys / "class" / "tty" / name);
  fs::create_symlink(device, sys / "class" / "tty" / name / "device");
}

class PortMapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dev = folder.path() / "dev";
    sys = folder.path() / "sys";
    fs::create_directories(dev);
    fs::create_directories(sys);
    for (const char* name : {"ttyUSB10", "ttyUSB2", "ttyACM0", "ttyS0", "ttyS1", "ttyS3", "tty0",
                             "console", "ttyS", "ttySx"}) {
      Touch(dev / name);
    }
    SysfsTty(sys, "ttyS0", "pnp", "pnp0/00:04/tty/ttyS0");
    SysfsTty(sys, "ttyS1", "platform", "platform/serial8250/tty/ttyS1");
    // ttyS3 has no sysfs entry at all.
    // Newer kernels: port devices on the serial-base bus below the controller.
    Touch(dev / "ttyS4");
    Touch(dev / "ttyS5");
    SerialBaseTty("ttyS4", "pnp", "pnp0/00:05");
    SerialBaseTty("ttyS5", "platform", "platform/serial8250");
    map.SetDeviceDirectory(dev.string());
    map.SetSysfsRoot(sys.string());
  }
  // ttyN/device -> <controller>/<ctrl>:0/<ctrl>:0.0 (serial-base), controller on `bus`.
  void SerialBaseTty(const std::string& name, const std::string& bus,
                     const std::string& controller) {
    fs::path ctrl = sys / "devices" / controller;
    fs::create_directories(ctrl);
    fs::create_directories(sys / "bus" / bus);
    fs::create_directories(sys / "bus" / "serial-base");
    fs::create_symlink(sys / "bus" / bus, ctrl / "subsystem");
    fs::path port = ctrl / (name + "-ctrl") / (name + "-port");
    fs::create_directories(port);
    fs::create_symlink(sys / "bus" / "serial-base", ctrl / (name + "-ctrl") / "subsystem");
    fs::create_symlink(sys / "bus" / "serial-base", port / "subsystem");
    fs::create_directories(sys / "class" / "tty" / name);
    fs::create_symlink(port, sys / "class" / "tty" / name / "device");
  }
  std::string Dev(const std::string& name) const { return (dev / name).string(); }

  TempFolder folder;
  fs::path dev;
  fs::path sys;
  PortMap map;
};

TEST_F(PortMapTest, UsbAdaptersFirstThenOnBoardPortsWithHardware) {
  std::map<int, std::string> expected = {{1, Dev("ttyUSB2")},
                                         {2, Dev("ttyUSB10")},
                                         {3, Dev("ttyACM0")},
                                         {4, Dev("ttyS0")},
                                         {5, Dev("ttyS4")}};
  EXPECT_EQ(map.Entries(), expected);
  EXPECT_EQ(map.DevicePath(2), Dev("ttyUSB10"));
  EXPECT_EQ(map.DevicePath(6), "");
  EXPECT_EQ(map.DevicePath(0), "");
  EXPECT_EQ(map.DevicePath(17), "");
  EXPECT_EQ(map.DevicePath(65), "");
}

TEST_F(PortMapTest, ExplicitEntriesWinAndTheirDevicesAreNotNumberedTwice) {
  map.SetExplicit(2, Dev("ttyACM0"));
  map.SetExplicit(9, "/dev/somewhere/else");
  std::map<int, std::string> expected = {{1, Dev("ttyUSB2")},  {2, Dev("ttyACM0")},
                                         {3, Dev("ttyUSB10")}, {4, Dev("ttyS0")},
                                         {5, Dev("ttyS4")},    {9, "/dev/somewhere/else"}};
  EXPECT_EQ(map.Entries(), expected);

  // A link to a device (as in /dev/serial/by-id) names the device itself.
  fs::create_directories(dev / "serial" / "by-id");
  fs::create_symlink(dev / "ttyUSB2", dev / "serial" / "by-id" / "usb-Prolific-if00");
  map.SetExplicit(7, (dev / "serial" / "by-id" / "usb-Prolific-if00").string());
  expected = {{1, Dev("ttyUSB10")},
              {2, Dev("ttyACM0")},
              {3, Dev("ttyS0")},
              {4, Dev("ttyS4")},
              {7, (dev / "serial" / "by-id" / "usb-Prolific-if00").string()},
              {9, "/dev/somewhere/else"}};
  EXPECT_EQ(map.Entries(), expected);

  map.SetExplicit(9, "");  // removes the entry
  map.SetExplicit(65, Dev("ttyS0"));
  map.SetExplicit(0, Dev("ttyS0"));
  EXPECT_EQ(map.Entries().count(9), 0u);
  EXPECT_EQ(map.Entries().size(), 4u + 1u);
  EXPECT_EQ(map.DevicePath(65), "");
  // A bench port above the list's sixteen: its device leaves the list's numbering.
  map.SetExplicit(40, Dev("ttyS0"));
  EXPECT_EQ(map.DevicePath(40), Dev("ttyS0"));
  EXPECT_EQ(map.Entries().count(40), 0u);
  EXPECT_EQ(map.Entries().size(), 4u);
  EXPECT_EQ(map.MappedEntries().at(40), Dev("ttyS0"));
  map.ClearExplicit();
  EXPECT_EQ(map.DevicePath(1), Dev("ttyUSB2"));
}

// The port list stops at COM16; a bench reaches the devices beyond through numbers up to
// 64, numbered on in the same order, the first sixteen unchanged.
TEST_F(PortMapTest, TheListStopsAtSixteenTheBenchGoesOnToSixtyFour) {
  for (int i = 0; i < 70; ++i) {
    Touch(dev / ("ttyACM" + std::to_string(i + 1)));
  }
  std::map<int, std::string> entries = map.Entries();
  EXPECT_EQ(entries.size(), 16u);
  EXPECT_EQ(entries.rbegin()->first, 16);
  EXPECT_EQ(entries[16], Dev("ttyACM13"));
  // The USB adapters ttyUSB2 and ttyUSB10 come first, then ttyACM0..ttyACM70 in number
  // order (the on-board ports after them get no number): COM17 is ttyACM14.
  std::map<int, std::string> all = map.MappedEntries();
  EXPECT_EQ(all.size(), 64u);
  for (int n = 1; n <= 16; ++n) {
    EXPECT_EQ(all[n], entries[n]) << n;
  }
  EXPECT_EQ(all[17], Dev("ttyACM14"));
  EXPECT_EQ(map.DevicePath(17), Dev("ttyACM14"));
  EXPECT_EQ(map.DevicePath(64), Dev("ttyACM61"));
  EXPECT_EQ(map.DevicePath(65), "");
}

TEST_F(PortMapTest, MissingDeviceFolderGivesExplicitEntriesOnly) {
  map.SetDeviceDirectory((folder.path() / "absent").string());
  map.SetExplicit(4, Dev("ttyS3"));
  EXPECT_EQ(map.Entries(), (std::map<int, std::string>{{4, Dev("ttyS3")}}));
}

TEST_F(PortMapTest, UsbProductNameComesFromTheUsbDevice) {
  Touch(dev / "ttyUSB0");
  SysfsTty(sys, "ttyUSB0", "usb-serial", "pci0000:00/usb1/1-1/1-1:1.0/ttyUSB0");
  std::ofstream(sys / "devices" / "pci0000:00" / "usb1" / "1-1" / "product")
      << "CP2102 USB to UART Bridge Controller\n";
  ASSERT_EQ(map.DevicePath(1), Dev("ttyUSB0"));
  EXPECT_EQ(map.ProductName(1), "CP2102 USB to UART Bridge Controller");
  EXPECT_EQ(map.ProductName(2), "");  // ttyUSB2 has no sysfs entry
  EXPECT_EQ(map.ProductName(5), "");  // ttyS0: on-board, no product above it
  EXPECT_EQ(map.ProductName(6), "");  // ttyS4
  EXPECT_EQ(map.ProductName(12), "");
}

// A USB device in the fake sysfs with its interface and the tty's device below it, bound to
// `driver` as the kernel links them.
fs::path UsbTty(const fs::path& sys, const std::string& name, const std::string& usbDevice,
                const std::string& driver, const std::string& bus, bool portBelowInterface) {
  const fs::path usb = sys / "devices" / "pci0000:00" / "0000:00:04.0" / "usb1" / usbDevice;
  const fs::path interface = usb / (usbDevice + ":1.0");
  const fs::path port = portBelowInterface ? interface / name : interface;
  fs::create_directories(port);
  fs::create_directories(sys / "bus" / bus / "drivers" / driver);
  fs::create_symlink(sys / "bus" / bus / "drivers" / driver, port / "driver");
  fs::create_directories(sys / "class" / "tty" / name);
  fs::create_symlink(port, sys / "class" / "tty" / name / "device");
  return usb;
}

TEST_F(PortMapTest, AdapterIdentityFromSysfs) {
  Touch(dev / "ttyUSB0");
  const fs::path ftdi = UsbTty(sys, "ttyUSB0", "1-1", "ftdi_sio", "usb-serial", true);
  std::ofstream(ftdi / "idVendor") << "0403\n";
  std::ofstream(ftdi / "idProduct") << "6001\n";
  std::ofstream(ftdi / "serial") << "A50285BI\n";
  std::ofstream(ftdi / "product") << "FT232R USB UART\n";
  std::ofstream(ftdi / "1-1:1.0" / "ttyUSB0" / "latency_timer") << "16\n";
  // The interface has a driver of its own (usb-serial's generic one): the port's comes first.
  fs::create_directories(sys / "bus" / "usb" / "drivers" / "usbserial_generic");
  fs::create_symlink(sys / "bus" / "usb" / "drivers" / "usbserial_generic",
                     ftdi / "1-1:1.0" / "driver");
  AdapterInfo info = DescribeAdapterIn(Dev("ttyUSB0"), sys.string());
  EXPECT_EQ(info.devicePath, Dev("ttyUSB0"));
  EXPECT_EQ(info.driver, "ftdi_sio");
  EXPECT_EQ(info.vendorProduct, "0403:6001");
  EXPECT_EQ(info.serial, "A50285BI");
  EXPECT_EQ(info.product, "FT232R USB UART");
  EXPECT_EQ(info.latencyMs, 16);
  EXPECT_NE(SlowLatencyAdvice(info).find("DRIVER==\"ftdi_sio\", ATTR{latency_timer}=\"1\""),
            std::string::npos);
  // In low latency the driver reads 1: nothing to say.
  std::ofstream(ftdi / "1-1:1.0" / "ttyUSB0" / "latency_timer") << "1\n";
  EXPECT_EQ(DescribeAdapterIn(Dev("ttyUSB0"), sys.string()).latencyMs, 1);
  EXPECT_EQ(SlowLatencyAdvice(DescribeAdapterIn(Dev("ttyUSB0"), sys.string())), "");

  // A link to the device (by-id) names the same adapter.
  fs::create_directories(dev / "serial" / "by-id");
  fs::create_symlink(dev / "ttyUSB0", dev / "serial" / "by-id" / "usb-FTDI_FT232R-if00-port0");
  EXPECT_EQ(DescribeAdapterIn((dev / "serial" / "by-id" / "usb-FTDI_FT232R-if00-port0").string(),
                              sys.string())
                .serial,
            "A50285BI");
}

TEST_F(PortMapTest, AcmAdapterWithoutSerialOrTimerAndOtherDevices) {
  // cdc_acm: the tty's device is the interface itself; upper-case hex is given lower-case.
  const fs::path acm = UsbTty(sys, "ttyACM0", "1-2", "cdc_acm", "usb", false);
  std::ofstream(acm / "idVendor") << "1D6B\n";
  std::ofstream(acm / "idProduct") << "0104\n";
  AdapterInfo info = DescribeAdapterIn(Dev("ttyACM0"), sys.string());
  EXPECT_EQ(info.driver, "cdc_acm");
  EXPECT_EQ(info.vendorProduct, "1d6b:0104");
  EXPECT_EQ(info.serial, "");
  EXPECT_EQ(info.latencyMs, -1);
  EXPECT_EQ(AdapterSummary(info), "cdc_acm, USB 1d6b:0104");
  EXPECT_EQ(SlowLatencyAdvice(info), "");
  // An on-board port: no USB identity; a device without any sysfs entry: nothing at all.
  EXPECT_FALSE(DescribeAdapterIn(Dev("ttyS0"), sys.string()).IsUsb());
  AdapterInfo none = DescribeAdapterIn(Dev("ttyS3"), sys.string());
  EXPECT_EQ(AdapterSummary(none), "");
  // A damaged timer file is no timer.
  const fs::path ch = UsbTty(sys, "ttyUSB3", "1-3", "ch341", "usb-serial", true);
  std::ofstream(ch / "idVendor") << "1a86\n";
  std::ofstream(ch / "idProduct") << "7523\n";
  std::ofstream(ch / "1-3:1.0" / "ttyUSB3" / "latency_timer") << "fast\n";
  info = DescribeAdapterIn(Dev("ttyUSB3"), sys.string());
  EXPECT_EQ(info.driver, "ch341");
  EXPECT_EQ(info.vendorProduct, "1a86:7523");
  EXPECT_EQ(info.latencyMs, -1);
}

TEST(AdapterIds, WindowsHardwareAndInstanceIds) {
  AdapterInfo ftdi;
  AdapterIdsFromWindows("FTDIBUS\\COMPORT&VID_0403&PID_6001",
                        "FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000", ftdi);
  EXPECT_EQ(ftdi.vendorProduct, "0403:6001");
  EXPECT_EQ(ftdi.serial, "A50285BI");  // the driver's port letter "A" is not the serial's
  AdapterInfo cp210x;
  AdapterIdsFromWindows("USB\\VID_10C4&PID_EA60&REV_0100", "USB\\VID_10C4&PID_EA60\\0001", cp210x);
  EXPECT_EQ(cp210x.vendorProduct, "10c4:ea60");
  EXPECT_EQ(cp210x.serial, "0001");
  // A device without a serial number: the system makes the last part up ("5&2A1B...&0&3").
  AdapterInfo ch340;
  AdapterIdsFromWindows("USB\\VID_1A86&PID_7523&REV_0264", "USB\\VID_1A86&PID_7523\\5&2A1B3C&0&3",
                        ch340);
  EXPECT_EQ(ch340.vendorProduct, "1a86:7523");
  EXPECT_EQ(ch340.serial, "");
  // A port on the mainboard: no USB ids at all; a damaged id gives none.
  AdapterInfo onBoard;
  AdapterIdsFromWindows("ACPI\\PNP0501", "ACPI\\PNP0501\\1", onBoard);
  EXPECT_FALSE(onBoard.IsUsb());
  EXPECT_EQ(onBoard.serial, "");
  AdapterInfo damaged;
  AdapterIdsFromWindows("USB\\VID_04X3&PID_6001", "", damaged);
  EXPECT_FALSE(damaged.IsUsb());
}

// The COM number in the names Windows gives its ports, and the odd names that hold none.
TEST(PortNames, ComNumberFromPortAndFriendlyNames) {
  EXPECT_EQ(ComNumberOf("COM3"), 3);
  EXPECT_EQ(ComNumberOf("com12"), 12);
  EXPECT_EQ(ComNumberOf("\\\\.\\COM7"), 7);
  EXPECT_EQ(ComNumberOf("USB Serial Port (COM3)"), 3);
  EXPECT_EQ(ComNumberOf("Communications Port (COM1)"), 1);
  EXPECT_EQ(ComNumberOf("Silicon Labs CP210x USB to UART Bridge (COM256)"), 256);
  EXPECT_EQ(ComNumberOf("Prolific (COM4) adapter (COM11)"), 11);  // the port is the last
  for (const char* none : {"",
                           "COM",
                           "COM0",
                           "COM03",
                           "COM3x",
                           "COM 3",
                           "COM257",
                           "COM1000",
                           "COM99999999999999999999",
                           "LPT1",
                           "XCOM3",
                           "(COM3",
                           "COM3)",
                           "USB Serial Port COM3)",
                           "USB Serial Port (COM3) ",
                           "Port (COM)",
                           ")",
                           "(",
                           "3",
                           "ECP Printer Port (LPT1)"}) {
    EXPECT_EQ(ComNumberOf(none), 0) << '"' << none << '"';
  }
}

TEST(PortNames, NameFromTheSystemsListOfSerialDevices) {
  EXPECT_EQ(SerialCommName("\\Device\\Serial0", 1), "Serial0 (COM1)");
  EXPECT_EQ(SerialCommName("\\device\\VCP0", 5), "VCP0 (COM5)");
  EXPECT_EQ(SerialCommName("Silabser0", 4), "Silabser0 (COM4)");  // no folder to take off
  EXPECT_EQ(SerialCommName("\\Device\\", 2), "");
  EXPECT_EQ(SerialCommName("", 2), "");
  EXPECT_EQ(SerialCommName("\\Device\\Serial0", 0), "");
  EXPECT_EQ(ComNumberOf(SerialCommName("\\Device\\Serial1", 9)), 9);
}

TEST(PortMapScan, ListsThePortsThatOpenExclusivelyNow) {
  test::PtyPeer com3;
  test::PtyPeer com7;
  PortMap map;
  map.SetDeviceDirectory(::testing::TempDir() + "flashwright-no-such-folder");
  map.SetExplicit(3, com3.SlavePath());
  map.SetExplicit(7, com7.SlavePath());
  map.SetExplicit(9, "/nonexistent-dir/ttyUSB9");
  EXPECT_EQ(map.ScanPorts(), (std::vector<int>{3, 7}));

  SerialPort holder;
  ASSERT_EQ(holder.Open(com7.SlavePath()), 1);
  EXPECT_EQ(map.ScanPorts(), (std::vector<int>{3}));
  holder.Close();
  // The scan closed every device again: both can be opened now.
  EXPECT_EQ(map.ScanPorts(), (std::vector<int>{3, 7}));
  SerialPort a;
  EXPECT_EQ(a.Open(com3.SlavePath()), 1);
}

// A port whose device the user may not open is listed, marked, so that the user can be told
// what to do; a busy or vanished one is not. The system's open is stood in for, since the
// tests may run as root, whom no device refuses.
TEST(PortMapScan, NotPermittedPortsAreListedMarkedOthersAreLeftOut) {
  test::PtyPeer com2;
  test::PtyPeer com4;
  test::PtyPeer com5;
  PortMap map;
  map.SetDeviceDirectory(::testing::TempDir() + "flashwright-no-such-folder");
  map.SetExplicit(2, com2.SlavePath());
  map.SetExplicit(4, com4.SlavePath());
  map.SetExplicit(5, com5.SlavePath());
  map.SetExplicit(9, "/nonexistent-dir/ttyUSB9");
  std::vector<std::string> tried;
  auto check = [&](const std::string& path) {
    tried.push_back(path);
    if (path == com4.SlavePath()) {
      return EACCES;
    }
    if (path == com5.SlavePath()) {
      return EBUSY;
    }
    return TryOpenExclusively(path);
  };
  auto shown = map.ScanPortList(check);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].number, 2);
  EXPECT_EQ(shown[0].access, PortAccess::kFree);
  EXPECT_EQ(shown[1].number, 4);
  EXPECT_EQ(shown[1].devicePath, com4.SlavePath());
  EXPECT_EQ(shown[1].access, PortAccess::kNotPermitted);
  EXPECT_EQ(tried.size(), 4u);  // every mapped device was tried, the missing one too
  EXPECT_STREQ(PortListMark(PortAccess::kNotPermitted), "no permission");
  EXPECT_STREQ(PortListMark(PortAccess::kFree), "");
}

TEST(PortAccessDecision, OpenErrorsAndWhatTheListShows) {
  EXPECT_EQ(ClassifyOpenError(0), PortAccess::kFree);
  EXPECT_EQ(ClassifyOpenError(EACCES), PortAccess::kNotPermitted);
  EXPECT_EQ(ClassifyOpenError(EPERM), PortAccess::kNotPermitted);
  EXPECT_EQ(ClassifyOpenError(EBUSY), PortAccess::kInUse);
  EXPECT_EQ(ClassifyOpenError(ENOENT), PortAccess::kGone);
  EXPECT_EQ(ClassifyOpenError(ENXIO), PortAccess::kGone);
  EXPECT_EQ(ClassifyOpenError(ENOTTY), PortAccess::kUnusable);
  EXPECT_TRUE(ShownInPortList(PortAccess::kFree));
  EXPECT_TRUE(ShownInPortList(PortAccess::kNotPermitted));
  EXPECT_FALSE(ShownInPortList(PortAccess::kInUse));
  EXPECT_FALSE(ShownInPortList(PortAccess::kGone));
  EXPECT_FALSE(ShownInPortList(PortAccess::kUnusable));
}

// The system's real answers: a free pty, one held by a SerialPort, a path that is gone,
// a file that is no terminal.
TEST(PortAccessDecision, TheRealOpenCheck) {
  test::PtyPeer pty;
  EXPECT_EQ(TryOpenExclusively(pty.SlavePath()), 0);
  SerialPort holder;
  ASSERT_EQ(holder.Open(pty.SlavePath()), 1);
  EXPECT_EQ(TryOpenExclusively(pty.SlavePath()), EBUSY);
  holder.Close();
  EXPECT_EQ(TryOpenExclusively("/nonexistent-dir/ttyUSB0"), ENOENT);
  EXPECT_EQ(TryOpenExclusively("/dev/null"), ENOTTY);
}

// As an unprivileged user the system itself refuses a device whose mode the test sets:
// a child process takes the identity of "nobody" (when the test runs as root) or keeps
// its own with the device's mode at 0 (otherwise), and reports the check's answer.
TEST(PortAccessDecision, UnprivilegedUserIsRefusedADeviceOfAnotherGroup) {
  test::PtyPeer pty;
  ASSERT_EQ(::chmod(pty.SlavePath().c_str(), ::geteuid() == 0 ? 0660 : 0), 0);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0) {
      const gid_t nogroup = 65534;
      if (::setgroups(1, &nogroup) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
        ::_exit(100);
      }
    }
    const int error = TryOpenExclusively(pty.SlavePath());
    const PortAccess access = ClassifyOpenError(error);
    ::_exit(access == PortAccess::kNotPermitted ? 0 : 10 + static_cast<int>(access));
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 100) {
    GTEST_SKIP() << "cannot become an unprivileged user here";
  }
  EXPECT_EQ(WEXITSTATUS(status), 0) << "access class " << WEXITSTATUS(status) - 10;
}

TEST(PortAccessText, PermissionAdviceNamesDeviceGroupCommandAndLoggingInAgain) {
  EXPECT_EQ(PermissionAdvice("/dev/ttyUSB0", DeviceGroup{"dialout", false}),
            "Your user may not open /dev/ttyUSB0. Add yourself to the group \"dialout\" that "
            "owns it:\n    sudo usermod -aG dialout $USER\nthen log out and in again (or "
            "restart the computer).");
  // Another group (uucp on Arch, tty for pseudo-terminals) is named as it is.
  const std::string uucp = PermissionAdvice("/dev/ttyACM1", DeviceGroup{"uucp", false});
  EXPECT_NE(uucp.find("sudo usermod -aG uucp $USER"), std::string::npos) << uucp;
  // Nobody is added to "root"; unknown groups get the usual serial group.
  for (const char* group : {"root", ""}) {
    const std::string text = PermissionAdvice("/dev/ttyS0", DeviceGroup{group, false});
    EXPECT_NE(text.find("usermod -aG dialout"), std::string::npos) << text;
  }
  // Already a member (added after this session began): only logging in again helps.
  const std::string member = PermissionAdvice("/dev/ttyUSB0", DeviceGroup{"dialout", true});
  EXPECT_EQ(member.find("usermod"), std::string::npos) << member;
  EXPECT_NE(member.find("log out and in again"), std::string::npos) << member;
  EXPECT_NE(member.find("/dev/ttyUSB0"), std::string::npos) << member;
}

TEST(PortAccessText, OpenFailuresCarryTheirAdvice) {
  test::PtyPeer pty;
  const std::string denied = OpenFailureText(pty.SlavePath(), EACCES);
  EXPECT_EQ(denied.rfind("Permission denied\n", 0), 0u) << denied;
  EXPECT_NE(denied.find("may not open " + pty.SlavePath()), std::string::npos) << denied;
  // The pseudo-terminal's own group, as the system names it.
  const DeviceGroup group = GroupOfDevice(pty.SlavePath());
  ASSERT_FALSE(group.name.empty());
  if (group.name != "root") {
    EXPECT_NE(denied.find("usermod -aG " + group.name + " $USER"), std::string::npos) << denied;
  }
  const std::string gone = OpenFailureText("/dev/ttyUSB7", ENOENT);
  EXPECT_EQ(gone.rfind("No such file or directory\n/dev/ttyUSB7 is not there", 0), 0u) << gone;
  EXPECT_EQ(OpenFailureText("/dev/ttyUSB7", EIO), "Input/output error");
  // Advice is added once, and only to a refused permission.
  const std::string once = WithPermissionAdvice("Permission denied", "/dev/ttyUSB0");
  EXPECT_NE(once.find("usermod"), std::string::npos);
  EXPECT_EQ(WithPermissionAdvice(once, "/dev/ttyUSB0"), once);
  EXPECT_EQ(WithPermissionAdvice("Input/output error", "/dev/ttyUSB0"), "Input/output error");
}

// The programs that hold a device open come from /proc: this test process holds a
// pseudo-terminal open and must be named, under its own pid; left out when excluded.
TEST(PortHoldersFromProc, NamesThisProcessHoldingAPty) {
  test::PtyPeer pty;
  const int fd = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  const auto holders = PortHolders(pty.SlavePath());
  const int self = static_cast<int>(::getpid());
  auto it = std::find_if(holders.begin(), holders.end(),
                         [&](const PortHolder& h) { return h.pid == self; });
  ASSERT_NE(it, holders.end());
  std::string exe = fs::read_symlink("/proc/self/exe").filename().string();
  EXPECT_EQ(it->name, exe);
  const auto others = PortHolders(pty.SlavePath(), "/proc", self);
  EXPECT_EQ(std::count_if(others.begin(), others.end(),
                          [&](const PortHolder& h) { return h.pid == self; }),
            0);
  ::close(fd);
  // Nobody holds a device path that no process has open.
  EXPECT_TRUE(PortHolders("/nonexistent-dir/ttyUSB0").empty());
}

// A /proc of the test's making: ModemManager and a terminal program hold the adapter;
// the simulated radio's own end is not a competing reader; other files are ignored.
TEST(PortHoldersFromProc, RecognisesModemManagerAndSaysWhatToDo) {
  TempFolder proc;
  auto process = [&](int pid, const std::string& argv0, const std::string& comm,
                     const std::vector<std::string>& fds) {
    fs::path dir = proc.path() / std::to_string(pid);
    fs::create_directories(dir / "fd");
    std::ofstream(dir / "cmdline", std::ios::binary) << argv0 << '\0' << "--debug" << '\0';
    std::ofstream(dir / "comm") << comm << "\n";
    for (size_t i = 0; i < fds.size(); ++i) {
      fs::create_symlink(fds[i], dir / "fd" / std::to_string(i + 3));
    }
  };
  const std::string device = "/dev/ttyUSB0";
  process(612, "/usr/sbin/ModemManager", "ModemManager", {"/dev/null", device});
  process(4242, "minicom", "minicom", {device});
  process(77, "/usr/bin/flashwright-radio-sim", "flashwright-rad", {device});
  process(80, "", "kworker", {"/dev/ttyUSB1"});
  Touch(proc.path() / "self-status");
  const auto holders = PortHolders(device, proc.path().string());
  ASSERT_EQ(holders.size(), 2u);
  EXPECT_EQ(holders[0].pid, 612);
  EXPECT_EQ(holders[0].name, "ModemManager");
  EXPECT_EQ(holders[1].pid, 4242);
  EXPECT_EQ(holders[1].name, "minicom");
  EXPECT_EQ(PortHolders(device, proc.path().string(), 612).size(), 1u);

  const std::string text = HoldersText(device, holders);
  EXPECT_EQ(text.rfind("/dev/ttyUSB0 is open in other programs: ModemManager (pid 612), "
                       "minicom (pid 4242). A program that reads the port takes the radio's "
                       "replies",
                       0),
            0u)
      << text;
  EXPECT_NE(text.find("sudo systemctl stop ModemManager"), std::string::npos) << text;
  EXPECT_NE(text.find("ID_MM_DEVICE_IGNORE"), std::string::npos) << text;
  // Without ModemManager there is no word of it; without holders, nothing at all.
  const std::string one = HoldersText(device, {holders[1]});
  EXPECT_NE(one.find("is open in another program: minicom (pid 4242)"), std::string::npos);
  EXPECT_EQ(one.find("ModemManager"), std::string::npos) << one;
  EXPECT_EQ(HoldersText(device, {}), "");
  // The comm name stands in when the command line is empty (a kernel thread).
  EXPECT_EQ(PortHolders("/dev/ttyUSB1", proc.path().string())[0].name, "kworker");
}

}  // namespace
}  // namespace fw
