#include "firmware/QueryFirmwareVersion.h"

#include "platform/SystemLanguage.h"

namespace fw {
namespace {

constexpr uint32_t kVersionReplyLength = 128;
constexpr uint32_t kVersionTextMax = 8;

}  // namespace

uint16_t ParseVersionReply(const uint8_t* reply, uint32_t length) {
  const uint32_t end = length < kVersionTextMax ? length : kVersionTextMax;
  uint32_t i = 0;
  while (i < end && (reply[i] == ' ' || reply[i] == '\t')) {
    ++i;
  }
  if (i < end && reply[i] == '+') {
    ++i;
  }
  uint32_t value = 0;
  for (; i < end && reply[i] >= '0' && reply[i] <= '9'; ++i) {
    value = value * 10 + (reply[i] - '0');
    if (value > 0xFFFF) {
      value = 0xFFFF;
    }
  }
  return static_cast<uint16_t>(value);
}

bool QueryFirmwareVersion(RadioLink& link, UpgradeView& view, int* version) {
  uint8_t reply[kVersionReplyLength] = {};
  if (version != nullptr) {
    *version = -1;
  }
  if (link.Port().Exchange(kVersionQueryRequest, sizeof kVersionQueryRequest, reply,
                           kVersionReplyLength, 3) != 1) {
    return true;
  }
  const uint16_t answered = ParseVersionReply(reply, kVersionReplyLength);
  if (version != nullptr) {
    *version = answered;
  }
  if (answered < kNewFamilyVersion) {
    return true;
  }
  link.Port().Close();
  const bool chinese = SystemDefaultLangId() == kLangChinesePrc;
  view.MessageBox(chinese ? kUnknownFirmwareTextZh : kUnknownFirmwareText,
                  MessageIcon::Exclamation);
  return false;
}

}  // namespace fw
