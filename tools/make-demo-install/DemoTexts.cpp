// The text files of the demo installation: the settings file and the model file.

#include <cstdio>
#include <string>

#include "DemoContent.h"

namespace fw::demo {
namespace {

const char* FileOf(const char* key) {
  for (const ImageFile& f : kImageFiles) {
    if (std::string(f.key) == key)
      return f.fileName;
  }
  for (const HexFile& f : kHexFiles) {
    if (std::string(f.key) == key)
      return f.fileName;
  }
  return "";
}

struct KeyLine {
  const char* comment;
  const char* key;
  std::string value;
};

std::string HexOf(const std::vector<uint8_t>& bytes) {
  std::string out;
  char pair[3];
  for (uint8_t b : bytes) {
    std::snprintf(pair, sizeof pair, "%02X", b);
    out += pair;
  }
  return out;
}

// The model file's fourth field: the identifier's UTF-16LE units, padded to 23 units.
std::string IdentifierField(const std::string& identifier) {
  std::vector<uint8_t> units(46, 0);
  for (size_t i = 0; i < identifier.size() && i < 23; ++i) {
    units[2 * i] = static_cast<uint8_t>(identifier[i]);
  }
  return HexOf(units);
}

}  // namespace

std::string SettingsText() {
  const KeyLine lines[] = {
      {"COM port number n of \"COM<n>\" selected at start (see [Ports]); saved on close.", "Port",
       "1"},
      {"1: the box \"Ugrade the firmware chip.\" starts ticked, so a full upgrade ends with the "
       "firmware chip update; 0: clear. Saved on close.",
       "UpdateChip", "1"},
      {"Run mode: 0 normal; any other value also writes data logs to ReadWriteLog/; 1 shows "
       "the chip-only box, 3 the firmware-only box, 7 the chip box; 5 repeats jobs by timer.",
       "READWRITELOG", "0"},
      {"Vocoder: 0 = AMBE, 1 = SELP (picks MainBin/DadazuHex or MainBinSelp/DadazuHexSelp). "
       "Saved on close.",
       "CMOS", "0"},
      {"1: ask the radio to enter download mode by itself (\"AUTO IAP\") before the transfer; "
       "absent: the value of READWRITELOG.",
       "AutoTest", "0"},
      {"Radio models this installation serves; a radio's model code (first four characters of "
       "its model text) must appear here.",
       "MODEL", kModelList},
      {"Window title (empty: the built-in title).", "TitleVer",
       "Radio Flashwright - demo installation"},
      {"First line of the About box.", "VerInfo", "Demo firmware V4.01 for KV86 radios"},
      {"Second line of the About box (empty: the built-in line).", "CorpInfo",
       "Generated demo installation: every file in it is synthetic"},
      {"Third line of the About box.", "SmMCUInfo", "Small-processor demo firmware V3.99"},
      {"Main firmware image, AMBE vocoder, radios with the large processor.", "MainBin",
       FileOf("MainBin")},
      {"Main firmware image, SELP vocoder, large processor.", "MainBinSelp", FileOf("MainBinSelp")},
      {"Main firmware image, AMBE vocoder, radios with the small processor.", "SmallMainBin",
       FileOf("SmallMainBin")},
      {"Main firmware image, SELP vocoder, small processor.", "SmallMainBinSelp",
       FileOf("SmallMainBinSelp")},
      {"Firmware chip hex file, AMBE, large processor.", "DadazuHex", FileOf("DadazuHex")},
      {"Firmware chip hex file, SELP, large processor.", "DadazuHexSelp", FileOf("DadazuHexSelp")},
      {"Firmware chip hex file, AMBE, small processor.", "SmallDadazuHex",
       FileOf("SmallDadazuHex")},
      {"Firmware chip hex file, SELP, small processor.", "SmallDadazuHexSelp",
       FileOf("SmallDadazuHexSelp")},
      {"Glyph font file for the font images, relative to this folder (empty: the installed "
       "WenQuanYi Bitmap Song or AR PL UMing).",
       "FontFile", ""},
  };

  std::string out;
  out += "; Radio Flashwright settings of the demo installation, written by make-demo-install.\n";
  out += "; Every file named here lies in this folder. Lines that begin with ';' are comments.\n";
  out += "[Setting]\n";
  for (const KeyLine& line : lines) {
    out += "; ";
    out += line.comment;
    out += "\n";
    out += line.key;
    out += "=";
    out += line.value;
    out += "\n";
  }
  out += "; UpdateTimes is written by the program in run mode 5 (jobs completed since it\n";
  out += "; started); it is never read.\n";
  out += "\n";
  out += "; Serial devices for COM numbers, one line each: COM<n>=<device>, n from 1 to 16,\n";
  out += "; for example COM1=/dev/ttyUSB0 or COM1=/dev/pts/3 (the simulated radio's\n";
  out += "; pseudo-terminal). Numbers not listed go to the system's serial devices in a\n";
  out += "; stable order (ttyUSB*, ttyACM*, then ttyS*). This section is the last one, so a\n";
  out += "; line appended to the file lands here.\n";
  out += "[Ports]\n";
  return out;
}

std::string ModelFileText() {
  std::string out;
  out += "; Radios this installation accepts, written by make-demo-install.\n";
  out += "; [Area]: Number = count of area numbers; Area<i> = an accepted area number (the\n";
  out += "; radio reports the digit character '0' + number).\n";
  out += "[Area]\n";
  out += "Number=" + std::to_string(std::size(kAcceptedAreas)) + "\n";
  for (size_t i = 0; i < std::size(kAcceptedAreas); ++i) {
    out += "Area" + std::to_string(i) + "=" + std::to_string(kAcceptedAreas[i]) + "\n";
  }
  out += "; [Type]: Type<i> = identity,typeValue,description,identifier. The identity is the\n";
  out += "; radio's 32-byte identity block as 64 upper-case hex digits; a typeValue of 0\n";
  out += "; refuses the radio; the identifier is its UTF-16LE text as 92 hex digits.\n";
  out += "[Type]\n";
  out += "Number=2\n";
  out += "Type0=" + HexOf(IdentityBlock(kIdentityText)) + ",1,KV86 demo radio," +
         IdentifierField(kIdentityText) + "\n";
  out += "Type1=" + HexOf(IdentityBlock(kRefusedIdentityText)) +
         ",0,KV89 demo radio (not served)," + IdentifierField(kRefusedIdentityText) + "\n";
  return out;
}

}  // namespace fw::demo
