#include "ChipLoaderResponder.h"

#include <algorithm>
#include <cstring>

namespace fw::sim {
namespace {

// The loader's own view of its protocol (kept apart from the tool's code on purpose).
const uint8_t kEnter[4] = {0x02, 0x50, 0x88, 0x03};
const uint8_t kHandshake[8] = {0x84, 0xA9, 0x61, 0x00, 0x02, 0x00, 0x16, 0x01};
const uint8_t kErase[10] = {0x84, 0xA9, 0x61, 0x00, 0x04, 0x00, 0x93, 0x0F, 0x2F, 0xB7};
const uint8_t kFinish[10] = {0x84, 0xA9, 0x61, 0x00, 0x04, 0x00, 0x16, 0x01, 0x2F, 0x3C};
const uint8_t kConfirm[10] = {0x84, 0xA9, 0x61, 0x00, 0x04, 0x00, 0x93, 0x00, 0x2F, 0xB8};
const uint8_t kLeave[10] = {0x84, 0xA9, 0x61, 0x00, 0x04, 0x00, 0x16, 0x00, 0x2F, 0x3D};

const std::vector<uint8_t> kHandshakeOk = {0x84, 0xA9, 0x61, 0x00, 0x02, 0x00, 0x16, 0x00};
const std::vector<uint8_t> kEraseOk = {0x84, 0xA9, 0x61, 0x00, 0x04, 0x00, 0x93, 0x00, 0x2F, 0xB8};
const std::vector<uint8_t> kDataOk = {0x84, 0xA9, 0x61, 0x00, 0x04, 0x03, 0x94, 0x00, 0x2F, 0xBC};
const std::vector<uint8_t> kFinishOk = {0x84, 0xA9, 0x61, 0x00, 0x04, 0x00, 0x16, 0x00, 0x2F, 0x3D};
const std::vector<uint8_t> kConfirmOk = kEraseOk;
const std::vector<uint8_t> kLeaveOk = kFinishOk;

constexpr size_t kEnterReplyLength = 30;
constexpr size_t kLongestFrameLength = 255 + 7;  // L of a 255-byte record

enum Step {
  kBad = 0,
  kEnterStep,
  kHandshakeStep,
  kEraseStep,
  kDataStep,
  kFinishStep,
  kConfirmStep,
  kLeaveStep
};

// The loader's reply to a step that went through (not the enter step).
const std::vector<uint8_t>& OkReply(int step) {
  switch (step) {
    case kHandshakeStep:
      return kHandshakeOk;
    case kEraseStep:
      return kEraseOk;
    case kDataStep:
      return kDataOk;
    case kFinishStep:
      return kFinishOk;
    case kConfirmStep:
      return kConfirmOk;
    default:
      return kLeaveOk;
  }
}

bool Equal(const uint8_t* in, size_t length, const uint8_t* pattern, size_t patternLength) {
  return length == patternLength && std::memcmp(in, pattern, length) == 0;
}

}  // namespace

ChipLoaderResponder::ChipLoaderResponder(const RadioMode* mode) : mode_(mode) {
  SetEnterText("A-enter");
}

bool ChipLoaderResponder::Accepts(uint8_t first) const {
  if (mode_ != nullptr && mode_->Current() != RadioMode::kNormal) {
    return false;
  }
  return first == kEnter[0] || first == kHandshake[0];
}

void ChipLoaderResponder::SetEnterText(const std::string& text) {
  SetEnterReply(std::vector<uint8_t>(text.begin(), text.end()));
}

void ChipLoaderResponder::SetEnterReply(const std::vector<uint8_t>& bytes) {
  enterReply_.assign(kEnterReplyLength, 0);
  std::copy_n(bytes.begin(), std::min(bytes.size(), kEnterReplyLength), enterReply_.begin());
}

void ChipLoaderResponder::SetFault(int step, const Fault& fault) {
  faults_[step] = fault;
  seen_[step] = 0;
}

int ChipLoaderResponder::Classify(const uint8_t* in, size_t n, size_t* length) const {
  *length = 0;
  if (in[0] == kEnter[0]) {
    if (n < sizeof kEnter) {
      return kBad;
    }
    *length = sizeof kEnter;
    return Equal(in, sizeof kEnter, kEnter, sizeof kEnter) ? kEnterStep : kBad;
  }
  if (n < 3) {
    return kBad;
  }
  if (in[1] != kHandshake[1] || in[2] != kHandshake[2]) {
    *length = 1;  // not a loader frame: drop its first byte
    return kBad;
  }
  if (n < 7) {
    return kBad;
  }
  const size_t l = (static_cast<size_t>(in[3]) << 8) | in[4];
  if (l > kLongestFrameLength) {
    *length = 5;  // a length no frame has: drop the header
    return kBad;
  }
  size_t total = l + 6;  // header, length, L bytes, check byte
  const bool data = in[5] == 0x03 && in[6] == 0x94;
  if (l == 2) {
    total = sizeof kHandshake;
  } else if (data) {
    total = l + 7;  // and the trailing 00
  }
  if (n < total) {
    return kBad;
  }
  *length = total;
  if (Equal(in, total, kHandshake, sizeof kHandshake)) {
    return kHandshakeStep;
  }
  if (Equal(in, total, kErase, sizeof kErase)) {
    return kEraseStep;
  }
  if (Equal(in, total, kFinish, sizeof kFinish)) {
    return kFinishStep;
  }
  if (Equal(in, total, kConfirm, sizeof kConfirm)) {
    return kConfirmStep;
  }
  if (Equal(in, total, kLeave, sizeof kLeave)) {
    return kLeaveStep;
  }
  if (data && DataFrameValid(in, total)) {
    return kDataStep;
  }
  return kBad;
}

bool ChipLoaderResponder::DataFrameValid(const uint8_t* in, size_t length) const {
  // 84 A9 61 | n+7 | 03 94 | page | AH AL | n | data | 2F | XOR(3 .. 11+n) | 00
  if (length < 15) {
    return false;
  }
  const size_t n = in[10];
  if (n == 0 || length != n + 14) {
    return false;
  }
  if (((static_cast<size_t>(in[3]) << 8) | in[4]) != n + 7) {
    return false;
  }
  uint8_t x = 0;
  for (size_t i = 3; i <= 11 + n; ++i) {
    x ^= in[i];
  }
  return in[11 + n] == 0x2F && in[12 + n] == x && in[13 + n] == 0x00;
}

void ChipLoaderResponder::Answer(std::vector<uint8_t> reply, uint32_t delayMs,
                                 std::vector<Action>& out) {
  Action a;
  a.bytes = std::move(reply);
  a.delayMs = delayMs;
  out.push_back(std::move(a));
}

size_t ChipLoaderResponder::Consume(const uint8_t* in, size_t n, std::vector<Action>& out) {
  SetExchange(nullptr);
  if (n == 0) {
    return 0;
  }
  if (in[0] == kEnter[0] && n >= 4 && !Equal(in, 4, kEnter, 4)) {
    // Not the loader's: the radio link's raw requests also begin with 02.
    if (other_ == nullptr) {
      return 1;
    }
    const size_t consumed = other_->Consume(in, n, out);
    SetExchange(other_->LastExchange());
    return consumed;
  }
  size_t length = 0;
  const int step = Classify(in, n, &length);
  if (length == 0) {
    return 0;  // wait for the rest
  }
  log_.steps.push_back(step);
  static const char* const kStepNames[] = {nullptr,        "chip enter", "chip handshake",
                                           "chip erase",   "chip data",  "chip finish",
                                           "chip confirm", "chip leave"};
  SetExchange(step >= 0 && step <= kLeaveStep ? kStepNames[step] : nullptr);

  // Order: each step needs the one before it (data and finish need the erase).
  bool inOrder = true;
  switch (step) {
    case kBad:
      inOrder = false;
      break;
    case kEnterStep:
      break;
    case kHandshakeStep:
      inOrder = reached_ >= kEnterStep;
      break;
    case kEraseStep:
      inOrder = reached_ >= kHandshakeStep && reached_ <= kDataStep;
      break;
    case kDataStep:
      inOrder = reached_ == kEraseStep || reached_ == kDataStep;
      break;
    case kFinishStep:
      inOrder = reached_ >= kEraseStep && reached_ <= kFinishStep;
      break;
    case kConfirmStep:
      inOrder = reached_ == kFinishStep || reached_ == kConfirmStep;
      break;
    case kLeaveStep:
      inOrder = reached_ == kConfirmStep || reached_ == kLeaveStep;
      break;
  }
  if (step == kEnterStep) {
    ++log_.enterRequests;
    if (notReadyLeft_ > 0) {
      --notReadyLeft_;
      return length;  // not ready yet: no answer
    }
  }
  if (!inOrder) {
    ++log_.badFrames;
    return length;  // the loader ignores what it does not understand
  }

  // A fault makes the chip fail this request: nothing is programmed or advanced.
  auto f = faults_.find(step);
  if (f != faults_.end() && f->second.kind != FaultKind::kNone) {
    const int index = seen_[step]++;
    const Fault& fault = f->second;
    if (index >= fault.skip && (fault.times < 0 || index < fault.skip + fault.times)) {
      std::vector<uint8_t> reply = step == kEnterStep ? enterReply_ : OkReply(step);
      Action a;
      switch (fault.kind) {
        case FaultKind::kShortReply:
          reply.resize(reply.size() / 2);
          a.bytes = reply;
          break;
        case FaultKind::kWrongByte:
          reply[7] ^= 0x01;  // the status byte of a loader reply
          a.bytes = reply;
          break;
        case FaultKind::kHangUp:
          a.hangUp = true;
          break;
        default:  // silence
          return length;
      }
      out.push_back(std::move(a));
      return length;
    }
  }

  switch (step) {
    case kEnterStep:
      reached_ = kEnterStep;
      Answer(enterReply_, 0, out);
      break;
    case kHandshakeStep:
      ++log_.handshakes;
      reached_ = std::max(reached_, static_cast<int>(kHandshakeStep));
      Answer(OkReply(step), 0, out);
      break;
    case kEraseStep:
      ++log_.erases;
      reached_ = kEraseStep;
      flash_.clear();
      records_.clear();
      completed_ = false;
      Answer(OkReply(step), eraseDelayMs_, out);
      break;
    case kDataStep: {
      ++log_.dataFrames;
      reached_ = kDataStep;
      Record r;
      r.page = in[7];
      r.address = static_cast<uint16_t>((in[8] << 8) | in[9]);
      r.data.assign(in + 11, in + 11 + in[10]);
      for (size_t i = 0; i < r.data.size(); ++i) {
        flash_[{r.page, static_cast<int>(r.address + i)}] = r.data[i];
      }
      records_.push_back(std::move(r));
      Answer(OkReply(step), 0, out);
      break;
    }
    case kFinishStep:
      ++log_.finishes;
      reached_ = kFinishStep;
      Answer(OkReply(step), 0, out);
      break;
    case kConfirmStep:
      ++log_.confirms;
      reached_ = kConfirmStep;
      Answer(OkReply(step), 0, out);
      break;
    case kLeaveStep:
      ++log_.leaves;
      reached_ = kLeaveStep;
      completed_ = true;
      Answer(OkReply(step), 0, out);
      break;
  }
  return length;
}

}  // namespace fw::sim
