#include "radiodata/WriteRadio.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "config/Installation.h"
#include "config/Settings.h"
#include "core/Status.h"
#include "core/WritePhase.h"
#include "font/FontImages.h"
#include "protocol/LinkFrame.h"
#include "radiodata/ReadRadioInfo.h"

namespace fw {
namespace {

constexpr uint32_t kBeforeInfoMs = 200;
constexpr uint32_t kBeforeCompletionMs = 2000;
// The language font image is written with this many bytes more than it holds.
constexpr uint32_t kLanguageFontSlack = 100;
constexpr const char* kLanguageFontLeftOutText = "The language font was not written: ";

constexpr const char* kNoFontChinese[] = {"KW600", "KW650", "KW640", "KW680", "KV680", "KZ800",
                                          "KZ850", "KZ860", "KZ600", "KZ650", "KZ660", "KZ950"};
constexpr const char* kNoFontEnglish[] = {"KV20", "KV25", "KX2X", "KX4X", "KW66", "KZ80",
                                          "KZ85", "KZ86", "KZ60", "KZ65", "KZ66", "KZ95"};

bool Contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

template <size_t N>
bool ContainsAny(const std::string& text, const char* const (&parts)[N]) {
  return std::any_of(std::begin(parts), std::end(parts),
                     [&](const char* p) { return Contains(text, p); });
}

bool IsKx2x(const UpgradeState& state) {
  return Contains(state.radioModel, "KX2X");
}

bool Reconnect(UpgradeState& state) {
  state.radioLink.Disconnect();
  if (!state.radioLink.Connect(state.job.portNumber, state.job.devicePath)) {
    state.radioLink.Disconnect();
    return false;
  }
  state.job.clock.Sleep(kBeforeInfoMs);
  return true;
}

// Asks a "KX2X" radio for `kx2xArea` first and any other radio for `area` alone. A failed
// request has given up the link, so the fall-back to `area` connects again first.
bool ReadInfoArea(UpgradeState& state, int kx2xArea, int area) {
  if (IsKx2x(state)) {
    if (ReadRadioInfo(state, kx2xArea)) {
      return true;
    }
    if (!Reconnect(state)) {
      return false;
    }
  }
  return ReadRadioInfo(state, area);
}

// Gives up the link and tells the window that the write failed.
void WriteFailed(UpgradeState& state) {
  AbandonLink(state);
  state.view->PostCommError(CommError::WriteBlock);
}

// An information request failed: the link has been given up already.
void InfoFailed(UpgradeState& state) {
  state.view->PostCommError(CommError::WriteBlock);
}

bool WriteOne(UpgradeState& state, const uint8_t* source, uint32_t offset, uint16_t n) {
  return state.radioLink.WriteBlock(kMemorySelector, 0, offset, n, source + offset);
}

void Count(UpgradeState& state, uint32_t n, bool post) {
  state.bytesDone += static_cast<int>(n);
  if (post) {
    state.view->PostProgress(Phase::Write, state.bytesDone.load());
  }
}

bool WriteData(UpgradeState& state, uint32_t size) {
  const uint8_t* data = state.templateData.data();
  const uint32_t blocks = size / kBlockSize;
  for (uint32_t i = 0; i < blocks; ++i) {
    if (!WriteOne(state, data, i * kBlockSize, kBlockSize)) {
      return false;
    }
    Count(state, kBlockSize, true);
  }
  if (const uint32_t rest = size % kBlockSize; rest != 0) {
    if (!WriteOne(state, data, blocks * kBlockSize, static_cast<uint16_t>(rest))) {
      return false;
    }
    Count(state, rest, true);
  }
  return true;
}

// Blocks 1 .. F/200 - 1, the remainder, and block 0 last. An image shorter than one block
// is block 0 alone.
bool WriteFont(UpgradeState& state, uint32_t size) {
  const uint8_t* font = state.fontImage.data();
  const uint32_t blocks = size / kBlockSize;
  for (uint32_t i = 1; i < blocks; ++i) {
    if (!WriteOne(state, font, i * kBlockSize, kBlockSize)) {
      return false;
    }
    Count(state, kBlockSize, true);
  }
  const uint32_t rest = size % kBlockSize;
  if (blocks > 0 && rest != 0) {
    if (!WriteOne(state, font, blocks * kBlockSize, static_cast<uint16_t>(rest))) {
      return false;
    }
    Count(state, rest, false);
  }
  const uint16_t head = static_cast<uint16_t>(std::min<uint32_t>(size, kBlockSize));
  if (!WriteOne(state, font, 0, head)) {
    return false;
  }
  Count(state, head, true);
  return true;
}

uint16_t LanguageIn(const std::vector<uint8_t>& data) {
  if (data.size() < kLanguageOffset + 2) {
    return 0;
  }
  return static_cast<uint16_t>(data[kLanguageOffset] | (data[kLanguageOffset + 1] << 8));
}

void StoreLanguage(std::vector<uint8_t>& data, uint16_t language) {
  if (data.size() >= kLanguageOffset + 2) {
    data[kLanguageOffset] = static_cast<uint8_t>(language & 0xFF);
    data[kLanguageOffset + 1] = static_cast<uint8_t>(language >> 8);
  }
}

// Copies the chosen image to the start of fontImage and sets fontImageSize.
void PrepareFontImage(UpgradeState& state, const FontChoice& choice) {
  std::vector<uint8_t>& target = state.fontImage;
  switch (choice.source) {
    case FontSource::kNone:
      state.fontImageSize = 0;
      return;
    case FontSource::kSimpleChinese:
    case FontSource::kKorean: {
      const std::vector<uint8_t>& source = choice.source == FontSource::kKorean
                                               ? state.installation->fontBufferB
                                               : state.installation->fontBufferA;
      std::memcpy(target.data(), source.data(), UpgradeState::kFontImageSize);
      state.fontImageSize = UpgradeState::kFontImageSize;
      return;
    }
    case FontSource::kLanguage: {
      const std::string problem = LoadLanguageImage(state.installation->programDir, choice.language,
                                                    state.languageImage, state.languageImageSize);
      if (!problem.empty()) {
        // The radio keeps the font it has; the job must not look as if it got a new one.
        AddWarningRow(state, kLanguageFontLeftOutText + problem);
      }
      const uint32_t size = std::min<uint32_t>(state.languageImageSize,
                                               static_cast<uint32_t>(state.languageImage.size()));
      if (size == 0) {
        // No image for the language: writing the 100 bytes behind nothing would send
        // whatever fontImage holds from an earlier job.
        state.fontImageSize = 0;
        return;
      }
      std::memcpy(target.data(), state.languageImage.data(), size);
      // The image goes out with 100 bytes more, as long as the buffer holds them.
      state.fontImageSize =
          std::min<uint32_t>(size + kLanguageFontSlack, static_cast<uint32_t>(target.size()));
      return;
    }
  }
}

void ReportCompletion(UpgradeState& state) {
  SetStatusText(state, kWriteCompletedText);
  SetLastRow(state, kMarkDone, kWriteCompletedText);
  if (state.updateChip != 0) {
    return;  // the chip update follows and reports the end of the job
  }
  state.job.clock.Sleep(kBeforeCompletionMs);
  SetStatusText(state, kAllCompletedText);
  AddRow(state, kMarkDone, kAllCompletedText);
  if (!RecordCompletedJob(state)) {
    state.view->MessageBox(kAllCompletedText, MessageIcon::None);
  }
}

}  // namespace

FontChoice ChooseFont(const std::string& modelId, uint16_t language) {
  if (ContainsAny(modelId, kNoFontChinese)) {
    return {FontSource::kNone, kLangChinese};
  }
  if (ContainsAny(modelId, kNoFontEnglish)) {
    return {FontSource::kNone, kLangEnglish};
  }
  if (!Contains(modelId, "KV") && !Contains(modelId, "KW63")) {
    return {FontSource::kSimpleChinese, kLangChinese};
  }
  if (language == kLangKorean) {
    return {FontSource::kKorean, kLangKorean};
  }
  switch (language) {
    case kLangEnglish:
    case kLangTurkish:
    case kLangThai:
    case kLangFrench:
    case kLangChinese:
      return {FontSource::kLanguage, language};
    default:
      return {FontSource::kLanguage, kLangEnglish};
  }
}

WriteResult WriteRadio(UpgradeState& state) {
  const uint32_t size = state.radioDataSize.load();
  if (state.templateData.size() < size) {
    // Nothing to write from: the converted data is shorter than the size to write.
    return WriteResult::NothingToWrite;
  }
  if (!state.radioLink.Connect(state.job.portNumber, state.job.devicePath)) {
    state.radioLink.Disconnect();
    return WriteResult::PortFailed;
  }
  state.fontLanguage = LanguageIn(state.templateData);

  if (!ReadInfoArea(state, 0, 8)) {
    InfoFailed(state);
    return WriteResult::LinkFailed;
  }

  FontChoice choice = ChooseFont(state.radioModelId, state.fontLanguage);
  if (state.fixedFont) {
    // Saved settings written back get the font decision of the job that saved them.
    choice = {static_cast<FontSource>(state.fixedFont->source), state.fixedFont->language};
  }
  state.fontLanguage = choice.language;
  PrepareFontImage(state, choice);
  if (state.fontLanguage == 0) {
    state.fontLanguage = kLangEnglish;
  }
  StoreLanguage(state.templateData, state.fontLanguage);

  // The radio's data as read and the bytes about to be written are kept before the first
  // block goes out: a write that breaks off leaves a half-written radio.
  if (state.recorder != nullptr) {
    std::span<const uint8_t> read;
    if (state.writeBack == nullptr && state.radioData != nullptr) {
      const size_t offset = static_cast<size_t>(state.radioData - state.radioDataBuffer.data());
      read = {state.radioData, std::min<size_t>(size, state.radioDataBuffer.size() - offset)};
    }
    const BackupOutcome backup = state.recorder->SaveBackup(
        state, read, {state.templateData.data(), size},
        RecordedFont{static_cast<int>(choice.source), state.fontLanguage});
    if (backup.kind == BackupOutcome::Kind::Failed) {
      state.backupProblem = backup.problem;
      AbandonLink(state);
      return WriteResult::NotBackedUp;
    }
    if (backup.kind == BackupOutcome::Kind::Skipped) {
      AddWarningRow(state, kBackupSkippedText);
    } else {
      state.backupJobId = backup.jobId;
    }
  }

  // The data area; a radio that does not open it refuses the blocks below.
  RadioWriteScope writing(state.writingRadio);  // the data, then the font library
  if (!ReadInfoArea(state, 2, 7)) {
    InfoFailed(state);
    return WriteResult::LinkFailed;
  }
  if (!WriteData(state, size)) {
    WriteFailed(state);
    return WriteResult::LinkFailed;
  }

  if (const uint32_t fontSize = state.fontImageSize.load(); fontSize != 0) {
    if (!ReadRadioInfo(state, 5)) {
      InfoFailed(state);
      return WriteResult::LinkFailed;
    }
    if (!WriteFont(state, fontSize)) {
      WriteFailed(state);
      return WriteResult::LinkFailed;
    }
  }

  const bool ended = state.radioLink.EndAccess(0);
  writing.End();
  state.radioLink.Disconnect();
  if (state.recorder != nullptr) {
    state.recorder->WriteCompleted(state);
  }
  state.resultOk = 1;
  if (!ended) {
    state.view->PostCommError(CommError::WriteEnd);
  } else {
    state.view->Post(WriteCompleteEvent{state.bytesDone.load()});
  }
  ReportCompletion(state);
  return WriteResult::Done;
}

}  // namespace fw
