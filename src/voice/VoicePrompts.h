#pragma once
// Voice prompts: copy the radio's voice prompt area into a dated file under "WAVLog"
// beside the executable, load such a file, and write its data (from the "WAVE" marker on)
// back into the radio. The three operations run on the window's thread when their button
// is clicked and report by message boxes only; a radio that does not answer ends them
// without a message.

#include <string>

#include "core/UpgradeState.h"
#include "radiodata/DataLog.h"

namespace fw {

inline constexpr const char* kReadWavDoneText = "Read Wav finish!";
inline constexpr const char* kWriteWavDoneText = "Write Wav finish!";
inline constexpr const char* kVoiceLogFolder = "WAVLog";

// "[2017-03-03 14-05-09]Wav.bin" for a read at that time.
std::string VoiceLogFileName(const LogTime& time);

// Reads the voice header and the whole voice prompt area into wavReadBuffer and stores it
// in programDir + "WAVLog/" + VoiceLogFileName(now), replacing a file of that name.
// An area larger than wavReadBuffer is not read (error box).
void ReadWav(UpgradeState& state);

// Loads the voice file at `path` into wavWriteBuffer and finds its "WAVE" marker. An empty
// path (the file dialog was cancelled) empties wavFilePath and zeroes the buffer. A file
// longer than the buffer is not loaded (error box). wavFilePath holds the loaded path.
void OpenWav(UpgradeState& state, const std::string& path);

// Writes the loaded file's data, from its "WAVE" marker on, into the radio's voice prompt
// area. Nothing is sent to the radio when no file with a marker and a length that fits the
// file is loaded (error box).
void WriteWav(UpgradeState& state);

}  // namespace fw
