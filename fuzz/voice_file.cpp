// A voice prompt file of any content loaded as the program loads it (OpenWav: read into the
// write buffer, its "WAVE" marker found), then judged as WriteWav judges it before it
// touches the radio (no radio is selected, so a file that passes ends without a message).
// Also the radio's 10-byte voice header (VoiceAreaLength) taken from the first bytes.
//
// Input: byte 0 k, then the file's first bytes; the file goes on with 64 * k bytes that
// repeat them (zeros when there are none), so that files around and beyond the 10240-byte
// buffer come from short inputs.

#include <algorithm>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "config/Installation.h"
#include "core/UpgradeState.h"
#include "core/UpgradeView.h"
#include "platform/Clock.h"
#include "voice/VoiceFile.h"
#include "voice/VoicePrompts.h"

namespace {

class NoWaitClock final : public fw::Clock {
 public:
  void Sleep(uint32_t, fw::StopSignal&) override {}
  uint32_t TickCount() override { return now_ += 1000; }

 private:
  uint32_t now_ = 0;
};

class BoxView final : public fw::UpgradeView {
 public:
  void InsertRow(int, const std::string&, const std::string&) override {}
  void SetRowText(int, fw::Column, const std::string&) override {}
  void DeleteAllRows() override {}
  void SetStatusText(const std::string&) override {}
  void EnableControl(fw::Control, bool) override {}
  void SetProgressRange(fw::ProgressBar, int, int) override {}
  void SetProgressPos(fw::ProgressBar, int) override {}
  fw::MessageResult MessageBox(const std::string& text, fw::MessageIcon, fw::MessageButtons,
                               const std::string&) override {
    boxes.push_back(text);
    return fw::MessageResult::Ok;
  }
  void SetWaitCursor(bool) override {}
  void Post(const fw::JobEvent&) override {}
  void SetTimer(fw::Timer, uint32_t) override {}
  void KillTimer(fw::Timer) override {}

  std::vector<std::string> boxes;
};

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool Zero(const uint8_t* p, size_t n) {
  return std::all_of(p, p + n, [](uint8_t b) { return b == 0; });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static auto* view = new BoxView();
  static fw::UpgradeState* state = [] {
    static NoWaitClock clock;
    auto* s = new fw::UpgradeState();
    s->job.clock.Use(clock);
    s->job.portNumber = 0;  // no radio: a write that passes its checks ends at once
    LoadingInstallation(*s).programDir = fw::fuzz::ScratchDir();
    s->SetView(view);
    return s;
  }();
  if (size < 1) {
    return 0;
  }

  std::string file(reinterpret_cast<const char*>(data + 1), size - 1);
  const size_t head = file.size();
  for (size_t i = 0; i < 64u * data[0]; ++i) {
    file.push_back(head == 0 ? '\0' : file[i % head]);
  }

  // The radio's voice header: the count at bytes 6-9 in kilobytes.
  uint8_t header[fw::kVoiceHeaderSize] = {};
  std::memcpy(header, file.data(), std::min(file.size(), sizeof header));
  const uint64_t area = fw::VoiceAreaLength(std::span<const uint8_t, fw::kVoiceHeaderSize>(header));
  FUZZ_CHECK(area == uint64_t{Le32(header + 6)} * 1024);

  const std::string path = fw::fuzz::WriteScratchFile("voice.bin", file);
  view->boxes.clear();
  fw::OpenWav(*state, path);
  const std::vector<uint8_t>& buffer = state->wavWriteBuffer;
  const size_t capacity = buffer.size();
  FUZZ_CHECK(capacity == 10240);
  if (file.size() > capacity) {
    // Too long: nothing loaded, and said so.
    FUZZ_CHECK(view->boxes.size() == 1 &&
               view->boxes[0] == "The voice file is longer than 10240 bytes.");
    FUZZ_CHECK(state->wavFilePath.empty() && state->wavFileSize == 0);
    FUZZ_CHECK(Zero(buffer.data(), capacity));
  } else {
    FUZZ_CHECK(view->boxes.empty());
    FUZZ_CHECK(state->wavFilePath == path && state->wavFileSize == file.size());
    FUZZ_CHECK(std::memcmp(buffer.data(), file.data(), file.size()) == 0);
    FUZZ_CHECK(Zero(buffer.data() + file.size(), capacity - file.size()));
    const size_t marker = file.find("WAVE");
    FUZZ_CHECK(state->wavDataOffset == (marker == std::string::npos ? file.size() : marker));
  }

  // The check before writing, and what WriteWav makes of it.
  const size_t loaded = std::min<size_t>(state->wavFileSize, capacity);
  const uint32_t offset = state->wavDataOffset;
  const fw::VoiceData voice =
      fw::CheckVoiceData(std::span<const uint8_t>(buffer.data(), loaded), offset);
  const bool hasMarker =
      offset + size_t{4} <= loaded && std::memcmp(buffer.data() + offset, "WAVE", 4) == 0;
  if (!hasMarker) {
    FUZZ_CHECK(voice.check == fw::VoiceDataCheck::kNoMarker);
  } else if (offset + size_t{8} > loaded) {
    FUZZ_CHECK(voice.check == fw::VoiceDataCheck::kBadLength);
  } else {
    const uint32_t length = Le32(buffer.data() + offset + 4);
    const bool fits = length >= 8 && length <= loaded - offset;
    FUZZ_CHECK(voice.length == length);
    FUZZ_CHECK(voice.check == (fits ? fw::VoiceDataCheck::kOk : fw::VoiceDataCheck::kBadLength));
  }
  if (voice.check == fw::VoiceDataCheck::kOk) {
    // The data to write lies within the loaded bytes.
    FUZZ_CHECK(voice.offset == offset && size_t{voice.offset} + voice.length <= loaded);
  }

  view->boxes.clear();
  fw::WriteWav(*state);
  FUZZ_CHECK(view->boxes.size() == (voice.check == fw::VoiceDataCheck::kOk ? 0u : 1u));
  return 0;
}
