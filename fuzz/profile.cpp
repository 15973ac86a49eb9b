// The profile (INI) reader on arbitrary file bytes: the line model must give back the bytes
// it was parsed from, every lookup must stay within the caller's buffer, and a value
// replaced in memory must read back as written.

#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "platform/CodePage.h"
#include "platform/Profile.h"
#include "platform/ProfileText.h"

namespace pt = fw::profile_text;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes = fw::fuzz::AsText(data, size);

  pt::Document doc = pt::Parse(bytes);
  FUZZ_CHECK(pt::Serialize(doc) == bytes);

  const fw::Profile profile = fw::Profile::FromBytes(bytes);
  FUZZ_CHECK(profile.Exists());
  std::vector<std::string> sections;
  for (const pt::Line& line : doc.lines) {
    pt::LineInfo info = pt::Classify(line.text);
    if (info.kind == pt::LineKind::kSection) {
      sections.push_back(info.name);
    }
  }
  for (const std::string& section : sections) {
    for (const fw::ProfileEntry& e : profile.GetSection(section)) {
      for (size_t buffer : {size_t{0}, size_t{1}, size_t{5}, fw::kProfileBufferChars}) {
        const std::string value = profile.GetString(section, e.key, "-", buffer);
        FUZZ_CHECK(buffer == 0 || fw::Utf8ToUtf16(value).size() <= buffer - 1 || value == "-");
      }
      profile.GetInt(section, e.key, 7);
    }
  }
  profile.GetString("Setting", "Port", "");
  profile.GetInt("Setting", "Port", 0);

  // Replacing the value of each key line in memory and parsing the result again must give
  // the new value on that line and leave the number of lines alone.
  for (size_t i = 0; i < doc.lines.size(); ++i) {
    if (pt::Classify(doc.lines[i].text).kind != pt::LineKind::kKey) {
      continue;
    }
    pt::Document changed = doc;
    pt::ReplaceValue(changed.lines[i], "v1", changed.encoding);
    pt::Document reread = pt::Parse(pt::Serialize(changed));
    FUZZ_CHECK(reread.lines.size() == doc.lines.size());
    pt::LineInfo info = pt::Classify(reread.lines[i].text);
    FUZZ_CHECK(info.kind == pt::LineKind::kKey && info.value == "v1");
  }
  return 0;
}
