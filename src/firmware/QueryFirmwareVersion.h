#pragma once
// After a small-processor upgrade: asks the radio's new firmware for its version number
// over the open radio link before its data is read.

#include <cstdint>
#include <string>

#include "core/UpgradeView.h"
#include "protocol/RadioLink.h"

namespace fw {

inline constexpr uint16_t kNewFamilyVersion = 400;

inline constexpr const char* kUnknownFirmwareText =
    "Unknown firmware version. Please make the radio enter downloading mode and then click "
    "'Upgrade'. Do not close Flashwright.";
inline constexpr const char* kUnknownFirmwareTextZh =
    "未识别刚升级的主机软件版本，请使对讲机进入下载模式，重新升级！ (勿关闭Flashwright)";

// The version number in a 128-byte version reply: the decimal digits at its start (the
// text ends at the first zero byte, at most 8 characters); values above 65535 count as
// 65535; no digits give 0.
uint16_t ParseVersionReply(const uint8_t* reply, uint32_t length);

// True when the radio may be read (no answer, or a version below 400); false when it runs
// a firmware of the new family: the link's port is then closed and the message shown (in
// Chinese when the system's language is Chinese (PRC)).
// `version`, when given, gets the version answered (-1 without an answer).
bool QueryFirmwareVersion(RadioLink& link, UpgradeView& view, int* version = nullptr);

}  // namespace fw
