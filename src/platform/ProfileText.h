#pragma once
// The line model of a profile file, shared by the profile reader and writer: the file's
// encoding, its lines as they lie on disk (content and line end kept apart) and each
// line's text decoded to UTF-8. Serialising an unchanged document gives back the bytes it
// was parsed from.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace fw::profile_text {

enum class Encoding { kAnsi, kUtf8, kUtf8Bom, kUtf16LeBom, kUtf16BeBom };

struct Line {
  std::string raw;  // content bytes as on disk, without the line end
  std::string
      ending;  // the line end as on disk: empty, LF, CR LF or a lone CR (in the file's encoding)
  std::string text;  // content as UTF-8
};

struct Document {
  Encoding encoding = Encoding::kAnsi;
  std::vector<Line> lines;
  // The end-of-file mark some editors leave (Ctrl-Z, with what follows it at the end of the
  // file): not part of any line, kept as it was and written after the lines.
  std::string endMark;
  std::string tail;  // an odd last byte of a UTF-16 file, kept as it was
};

enum class LineKind { kBlank, kComment, kSection, kKey, kOther };

struct LineInfo {
  LineKind kind = LineKind::kOther;
  std::string name;   // section or key name, blanks around it removed
  std::string value;  // key lines: the value, trimmed and unquoted
};

Document Parse(std::string_view bytes);
std::string Serialize(const Document& doc);

// Text <-> bytes in the document's encoding (no byte-order mark).
std::string Encode(std::string_view utf8, Encoding encoding);
std::string Decode(std::string_view raw, Encoding encoding);

LineInfo Classify(std::string_view text);

// A line end for lines the writer adds: the file's own (the first one it has), else CR LF.
std::string LineEnding(const Document& doc);

// Replaces the value of a key line, keeping the bytes up to the '=' and the blanks after
// it as they are.
void ReplaceValue(Line& line, std::string_view value, Encoding encoding);

bool EqualNoCase(std::string_view a, std::string_view b);
std::string_view Trim(std::string_view s);

}  // namespace fw::profile_text
