#pragma once
// Writes the converted radio data back into the radio over the radio link, with the font
// library image for the models that need one, and reports the end of the upgrade.
//
// The radio's user-interface language lies in the data at offset 766 (16-bit
// little-endian, a Windows language identifier); it decides, together with the model
// text, which font image the radio gets. The data goes out in 200-byte blocks, then the
// font image with its first block written last, so that the font area's head changes only
// once everything behind it is in place.

#include <cstdint>
#include <string>

#include "core/UpgradeState.h"

namespace fw {

inline constexpr const char* kOpenPortFailedText = "Open serial COM port failed!";
inline constexpr const char* kWriteCompletedText = "Write the radio completed!";
inline constexpr const char* kAllCompletedText = "All upgrade completed successfully!";
inline constexpr const char* kBackupFailedText =
    "The radio's settings could not be backed up, so the radio was not written!";
inline constexpr const char* kBackupSkippedText =
    "The radio's settings were not backed up (backups are off: Backup=0 or --no-backup).";

// Byte offset of the radio's user-interface language in the radio data.
inline constexpr uint32_t kLanguageOffset = 766;

inline constexpr uint16_t kLangEnglish = 0x0409;
inline constexpr uint16_t kLangChinese = 0x0804;
inline constexpr uint16_t kLangKorean = 0x0412;
inline constexpr uint16_t kLangFrench = 0x040C;
inline constexpr uint16_t kLangThai = 0x041E;
inline constexpr uint16_t kLangTurkish = 0x041F;

// Which font image a radio gets.
enum class FontSource {
  kNone,           // no font write
  kSimpleChinese,  // fontBufferA, 153600 bytes
  kKorean,         // fontBufferB, 153600 bytes
  kLanguage,       // languageImage as LoadLanguageImage prepares it for `language`
};

struct FontChoice {
  FontSource source = FontSource::kNone;
  uint16_t language = 0;  // the language the radio data will carry
};

// The font decision for a model text and the language found in the data; the first
// matching row of the table decides (so "KV680" takes the no-font row although it also
// contains "KV").
FontChoice ChooseFont(const std::string& modelId, uint16_t language);

// Writes the radio (worker thread). Sets resultOk to 1 only after a complete write; every
// failure leaves it as it was, with the link closed. On success the last status row and
// the status text say "Write the radio completed!"; without a chip update to follow, the
// job's completion is reported (a row, and a message box or, in run mode 5, the job count
// and the timer for the next job).
enum class WriteResult {
  Done,
  NothingToWrite,  // templateData holds fewer than radioDataSize bytes: nothing was sent
  PortFailed,      // the radio link did not connect
  LinkFailed,      // a request or a block went unanswered (a communication error was posted)
  NotBackedUp,     // the backup before the write could not be saved: nothing was written
                   // (backupProblem says why)
};
WriteResult WriteRadio(UpgradeState& state);

}  // namespace fw
