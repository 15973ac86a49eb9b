#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "serial/PortMap.h"
#include "serial/SerialPort.h"
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
  map.SetExplicit(17, Dev("ttyS0"));
  map.SetExplicit(0, Dev("ttyS0"));
  EXPECT_EQ(map.Entries().count(9), 0u);
  EXPECT_EQ(map.Entries().size(), 5u);
  map.ClearExplicit();
  EXPECT_EQ(map.DevicePath(1), Dev("ttyUSB2"));
}

TEST_F(PortMapTest, NumbersStopAtSixteen) {
  for (int i = 0; i < 20; ++i) {
    Touch(dev / ("ttyACM" + std::to_string(i + 1)));
  }
  std::map<int, std::string> entries = map.Entries();
  EXPECT_EQ(entries.size(), 16u);
  EXPECT_EQ(entries.rbegin()->first, 16);
  EXPECT_EQ(entries[16], Dev("ttyACM13"));
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

}  // namespace
}  // namespace fw
