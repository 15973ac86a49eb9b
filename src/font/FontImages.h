#pragma once
// Building the font library images of an installation: the language image from a ready-made
// "%04X.bin" file, and the simple Chinese and Korean images rendered from the character
// lists "SimpleCH.dat" and "SimpleCH_0412.dat".

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fw {

class Installation;

// Fills fontBufferC from programDir + "%04X.bin" (the id in four upper-case hex digits)
// and sets languageFontSize to the file's length + 50. A missing or unreadable file, or
// one larger than 153600 bytes, leaves fontBufferC alone and sets languageFontSize to 0.
// Returns why a file that is there was not taken (too large, not a regular file, not
// readable), naming it; empty when it was loaded or there is none.
std::string LoadLanguageFont(Installation& inst, uint16_t languageId);

// The same for a job: fills `buffer` (made 153650 bytes when smaller) from
// programDir + "%04X.bin" and sets `size`, with the same rules.
std::string LoadLanguageImage(const std::string& programDir, uint16_t languageId,
                              std::vector<uint8_t>& buffer, uint32_t& size);

// Renders the character list programDir + fileName into `buffer` (153650 bytes) with
// inst.glyphBuilder, then sets the process-wide full-width flag. Returns an empty
// string on success, else the error message to show (the list cannot be opened or holds
// more than 9600 entries, or there is no font to draw with; `buffer` is then unchanged),
// or the code page conversion failed while rendering (`buffer` is then cleared).
std::string BuildCharacterSetFont(Installation& inst, const std::string& fileName,
                                  std::string_view versionText, uint16_t languageId,
                                  size_t payloadLength, bool withIndexTable,
                                  std::vector<uint8_t>& buffer);

// The window's start-up: the language image for 1033, then the simple Chinese image,
// then the Korean image. Stops at the first failure and returns its message (empty when
// all went well).
std::string BuildFontImages(Installation& inst);

}  // namespace fw
