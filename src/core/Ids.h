#pragma once
// Control ids of the main window and the numbers of the messages a job posts to it.

#include <cstdint>

namespace fw {

// Controls of the main window (resource numbers).
enum ControlId : int {
  kUpgradeButton = 1000,
  kPortCombo = 1001,
  kStatusText = 1004,
  kMainProgress = 1006,
  kHexFileButton = 1007,
  kHexFileText = 1008,
  kSecondProgress = 1009,
  kStatusList = 1011,
  kChipOnlyCheck = 1015,
  kVocoderCombo = 1016,
  kFirmwareOnlyCheck = 1017,
  kUpdateChipCheck = 1018,
  kWavFileText = 1023,
};

// Window messages (WM_USER + n).
constexpr uint32_t kWmUser = 0x400;
enum MessageId : uint32_t {
  kMsgReadProgress = 1134,      // 0x46E, lParam = bytesDone
  kMsgWriteProgress = 1135,     // 0x46F
  kMsgWriteComplete = 1137,     // 0x471, wParam = byte count; no handling of its own
  kMsgCommError1138 = 1138,     // 0x472
  kMsgCommError1139 = 1139,     // 0x473
  kMsgReadCommError = 1147,     // 0x47B
  kMsgWriteCommError = 1148,    // 0x47C
  kMsgReadEndError = 1153,      // 0x481
  kMsgCommError1154 = 1154,     // 0x482
  kMsgFirmwareProgress = 1155,  // 0x483
  kMsgChipProgress = 1156,      // 0x484
};

// Timer that starts a job by itself in run mode 5.
constexpr int kAutoStartTimer = 40;

inline bool IsProgressMessage(uint32_t msg) {
  return msg == kMsgReadProgress || msg == kMsgWriteProgress || msg == kMsgFirmwareProgress ||
         msg == kMsgChipProgress;
}

inline bool IsCommErrorMessage(uint32_t msg) {
  return msg == kMsgCommError1138 || msg == kMsgCommError1139 || msg == kMsgReadCommError ||
         msg == kMsgWriteCommError || msg == kMsgReadEndError || msg == kMsgCommError1154;
}

}  // namespace fw
