#include "voice/VoicePrompts.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <span>

#include "config/Installation.h"
#include "core/Status.h"
#include "platform/FileIo.h"
#include "radiodata/ReadRadio.h"
#include "radiodata/ReadRadioInfo.h"
#include "voice/VoiceFile.h"

namespace fw {
namespace {

constexpr uint32_t kBeforeInfoMs = 200;
constexpr uint32_t kBeforeHeaderMs = 500;
constexpr int kVoiceArea = 4;
constexpr int kVoiceAreaKx2x = 0;
constexpr int kVoiceWriteArea = 5;

constexpr const char* kAreaTooLargeText =
    "The radio's voice prompt area is larger than this program can hold (10240 bytes).";
constexpr const char* kFileTooLongText = "The voice file is longer than 10240 bytes.";
constexpr const char* kLogNotWrittenText = "The voice prompt data could not be saved.";
constexpr const char* kNoVoiceFileText = "No voice file with a \"WAVE\" marker is loaded.";
constexpr const char* kBadLengthText =
    "The length after the \"WAVE\" marker does not fit the voice file.";
constexpr const char* kDataTooLargeText =
    "The voice data is larger than the radio's voice prompt area.";

bool ConnectAfresh(UpgradeState& state) {
  state.radioLink.Disconnect();
  if (!state.radioLink.Connect(state.job.portNumber, state.job.devicePath)) {
    state.radioLink.Disconnect();
    return false;
  }
  return true;
}

// Connects, shows the status text and reads the voice information block. A "KX2X" radio
// is asked for area 0 first; a failed request gives up the link, so the radio is
// connected again before area 4 is asked for.
bool OpenVoiceAccess(UpgradeState& state) {
  if (!ConnectAfresh(state)) {
    return false;
  }
  SetStatusText(state, kReadingText);
  state.job.clock.Sleep(kBeforeInfoMs);
  if (state.radioModel.find("KX2X") != std::string::npos) {
    if (ReadRadioInfo(state, kVoiceAreaKx2x)) {
      return true;
    }
    if (!ConnectAfresh(state)) {
      return false;
    }
    state.job.clock.Sleep(kBeforeInfoMs);
  }
  return ReadRadioInfo(state, kVoiceArea);
}

// Reads the voice header into `areaLength`; false (the link given up) when it was not read.
bool ReadVoiceHeader(UpgradeState& state, uint64_t& areaLength) {
  uint8_t header[kVoiceHeaderSize] = {};
  if (!state.radioLink.ReadBlock(kMemorySelector, kVoiceHeaderAreaField, 0, kVoiceHeaderSize,
                                 header)) {
    AbandonLink(state);
    return false;
  }
  areaLength = VoiceAreaLength(std::span<const uint8_t, kVoiceHeaderSize>(header));
  return true;
}

// Calls transfer(offset, n) for the 200-byte blocks of `total` bytes and the remainder;
// false at the first block that fails.
template <class Transfer>
bool ForEachBlock(uint32_t total, Transfer transfer) {
  const uint32_t blocks = total / kBlockSize;
  for (uint32_t i = 0; i < blocks; ++i) {
    if (!transfer(i * kBlockSize, kBlockSize)) {
      return false;
    }
  }
  const uint32_t rest = total % kBlockSize;
  return rest == 0 || transfer(blocks * kBlockSize, static_cast<uint16_t>(rest));
}

std::string VoiceLogFolder(const UpgradeState& state) {
  std::string folder = state.installation->programDir;
  if (!folder.empty() && folder.back() != '/' && folder.back() != '\\') {
    folder += '/';
  }
  return folder + kVoiceLogFolder;
}

// Stores the first n bytes of wavReadBuffer in a new log file; the file's path, or empty
// when it could not be written.
bool SaveVoiceLog(const UpgradeState& state, uint32_t n, std::string& path) {
  const std::string folder = VoiceLogFolder(state);
  std::error_code ec;
  std::filesystem::create_directory(PathFromUtf8(folder), ec);  // an existing one is fine
  path = folder + "/" + VoiceLogFileName(CurrentLogTime());
  std::ofstream out(PathFromUtf8(path), std::ios::binary | std::ios::trunc);
  if (!out) {
    return false;
  }
  out.write(reinterpret_cast<const char*>(state.wavReadBuffer.data()),
            static_cast<std::streamsize>(n));
  out.close();
  return !out.fail();
}

void ForgetVoiceFile(UpgradeState& state) {
  state.wavFilePath.clear();
  std::fill(state.wavWriteBuffer.begin(), state.wavWriteBuffer.end(), 0);
  state.wavFileSize = 0;
  state.wavDataOffset = 0;
}

}  // namespace

std::string VoiceLogFileName(const LogTime& t) {
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "[%04d-%02d-%02d %02d-%02d-%02d]", t.year, t.month, t.day,
                t.hour, t.minute, t.second);
  return std::string(stamp) + "Wav.bin";
}

void ReadWav(UpgradeState& state) {
  if (!OpenVoiceAccess(state)) {
    return;
  }
  state.job.clock.Sleep(kBeforeHeaderMs);
  uint64_t areaLength = 0;
  if (!ReadVoiceHeader(state, areaLength)) {
    return;
  }
  // The header's count may name more than the buffer holds (or a length that does not
  // even fit 32 bits): such an area is not read at all.
  if (areaLength > state.wavReadBuffer.size()) {
    AbandonLink(state);
    state.view->MessageBox(kAreaTooLargeText, MessageIcon::Error, MessageButtons::Ok,
                           std::to_string(areaLength) + " bytes");
    return;
  }
  const uint32_t n = static_cast<uint32_t>(areaLength);
  const bool read = ForEachBlock(n, [&](uint32_t offset, uint16_t count) {
    return state.radioLink.ReadBlock(kMemorySelector, 0, offset, count,
                                     state.wavReadBuffer.data() + offset);
  });
  if (!read) {
    AbandonLink(state);
    return;
  }
  // The access is ended at once rather than left open for the next operation to close:
  // an open port would keep the download port of an upgrade from opening it.
  state.radioLink.EndAccess(0);
  state.radioLink.Disconnect();

  std::string path;
  if (!SaveVoiceLog(state, n, path)) {
    state.view->MessageBox(kLogNotWrittenText, MessageIcon::Error, MessageButtons::Ok, path);
    return;
  }
  state.view->MessageBox(kReadWavDoneText, MessageIcon::None);
}

void OpenWav(UpgradeState& state, const std::string& path) {
  ForgetVoiceFile(state);
  if (path.empty()) {
    return;  // cancelled: nothing loaded
  }
  state.wavFilePath = path;
  if (!RegularFileProblem(path).empty()) {
    return;  // a FIFO or device counts as a file that cannot be opened
  }
  std::ifstream in(PathFromUtf8(path), std::ios::binary);
  if (!in) {
    return;  // a file that cannot be opened counts as empty
  }
  // Read at most the buffer's size, then look for one byte more: a longer file is refused
  // whatever size the file system reports.
  std::vector<uint8_t>& buffer = state.wavWriteBuffer;
  in.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(buffer.size()));
  const auto got = static_cast<uint32_t>(in.gcount());
  char extra = 0;
  if (got == buffer.size() && in.read(&extra, 1) && in.gcount() == 1) {
    ForgetVoiceFile(state);
    state.view->MessageBox(kFileTooLongText, MessageIcon::Error, MessageButtons::Ok, path);
    return;
  }
  state.wavFileSize = got;
  state.wavDataOffset = FindWaveMarker(std::span<const uint8_t>(buffer.data(), got));
}

void WriteWav(UpgradeState& state) {
  // The loaded file is checked before the radio is touched: without a marker and a length
  // that lies within the file, nothing is sent.
  const size_t loaded = std::min<size_t>(state.wavFileSize, state.wavWriteBuffer.size());
  const VoiceData data = CheckVoiceData(
      std::span<const uint8_t>(state.wavWriteBuffer.data(), loaded), state.wavDataOffset);
  if (data.check == VoiceDataCheck::kNoMarker) {
    state.view->MessageBox(kNoVoiceFileText, MessageIcon::Error);
    return;
  }
  if (data.check == VoiceDataCheck::kBadLength) {
    state.view->MessageBox(kBadLengthText, MessageIcon::Error, MessageButtons::Ok,
                           state.wavFilePath);
    return;
  }

  if (!OpenVoiceAccess(state)) {
    return;
  }
  ReadRadioInfo(state, kVoiceWriteArea);  // opens the voice area for writing
  state.job.clock.Sleep(kBeforeHeaderMs);
  uint64_t areaLength = 0;
  if (!ReadVoiceHeader(state, areaLength)) {
    return;
  }
  // Data longer than the radio's area would run into whatever lies behind it.
  if (data.length > areaLength) {
    AbandonLink(state);
    state.view->MessageBox(
        kDataTooLargeText, MessageIcon::Error, MessageButtons::Ok,
        std::to_string(data.length) + " > " + std::to_string(areaLength) + " bytes");
    return;
  }
  const uint8_t* source = state.wavWriteBuffer.data() + data.offset;
  const bool written = ForEachBlock(data.length, [&](uint32_t offset, uint16_t count) {
    return state.radioLink.WriteBlock(kMemorySelector, 0, offset, count, source + offset);
  });
  if (!written) {
    AbandonLink(state);
    return;
  }
  state.radioLink.EndAccess(0);
  state.radioLink.Disconnect();
  state.view->MessageBox(kWriteWavDoneText, MessageIcon::None);
}

}  // namespace fw
