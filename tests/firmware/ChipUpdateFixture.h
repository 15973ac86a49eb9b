#pragma once
// A chip update against the simulated radio's chip loader on a pseudo-terminal (in process
// on Windows), with the fake clock and a recording view.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ChipLoaderResponder.h"
#include "SimPty.h"
#include "config/Installation.h"
#include "core/Status.h"
#include "core/UpgradeState.h"
#include "firmware/HexLoader.h"
#include "firmware/UpdateFirmwareChip.h"
#include "serial/PortMap.h"
#include "support/FakeClockScope.h"
#include "support/HexFileWriter.h"
#include "support/RadioOnPort.h"
#include "support/RecordingView.h"

namespace fw::test {

class ChipUpdateFixture : public ::testing::Test {
 protected:
  static constexpr int kPort = 7;
  static constexpr const char* kBusyText = "Updating the firmware chip, please wait...";

  void SetUp() override {
    state_.SetView(&view_);
    sim_.AddResponder(&chip_);
    std::string error;
    const std::string device =
        ServeResponders(sim_, {&state_.downloadPort}, GlobalPortMap().DevicePath(kPort), &error);
    ASSERT_FALSE(device.empty()) << error;
    GlobalPortMap().SetExplicit(kPort, device);
    clock_.Attach(state_.job.clock);
    state_.job.portNumber = kPort;
    state_.job.devicePath = device;
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(name.begin(), name.end(), '/', '_');  // parameterised tests
    dir_ = ::testing::TempDir() + "chipupdate_" + std::to_string(::getpid()) + "_" + name + "_";
    state_.resultOk = 0;  // the sequence clears it before the update
    AddRow(state_, kMarkBusy, kBusyText);
  }

  void TearDown() override {
    GlobalPortMap().ClearExplicit();
    for (const std::string& f : files_) {
      ::unlink(f.c_str());
    }
  }

  // Three 16-byte records on page 0, a switch to page 2, a 5-byte and a 255-byte record
  // there, and the end record.
  static HexFileWriter SampleHex(uint8_t seed) {
    HexFileWriter hex;
    for (int r = 0; r < 3; ++r) {
      std::vector<uint8_t> data(16);
      for (int i = 0; i < 16; ++i) {
        data[i] = static_cast<uint8_t>(seed + r * 16 + i);
      }
      hex.Data(static_cast<uint16_t>(0x1230 + r * 16), data);
    }
    hex.Page(2);
    hex.Data(0x0000, {0x2F, 0x00, 0xFF, seed, 0x84});
    std::vector<uint8_t> big(255);
    for (int i = 0; i < 255; ++i) {
      big[i] = static_cast<uint8_t>(i * 7 + seed);
    }
    hex.Data(0x4000, big);
    hex.End();
    return hex;
  }

  std::string Save(const HexFileWriter& hex, const std::string& name) {
    std::string path = dir_ + name;
    EXPECT_TRUE(hex.Save(path));
    files_.push_back(path);
    return path;
  }

  // Every hex path of the settings names this file.
  void UseHexEverywhere(const std::string& path) {
    LoadingInstallation(state_).chipHexPath = LoadingInstallation(state_).chipHexPathSelp = path;
    LoadingInstallation(state_).smallChipHexPath =
        LoadingInstallation(state_).smallChipHexPathSelp = path;
  }

  sim::ChipLoaderResponder::Log ChipLog() {
    std::lock_guard<std::mutex> lock(sim_.StateMutex());
    return chip_.GetLog();
  }
  std::map<std::pair<int, int>, uint8_t> Flash() {
    std::lock_guard<std::mutex> lock(sim_.StateMutex());
    return chip_.Flash();
  }

  FakeClockScope clock_;
  RecordingView view_;
  UpgradeState state_;
  sim::ChipLoaderResponder chip_;
  sim::SimPty sim_;
  std::string dir_;
  std::vector<std::string> files_;
};

}  // namespace fw::test
