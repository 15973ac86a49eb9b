#include "platform/ProfileText.h"

#include "platform/CodePage.h"

namespace fw::profile_text {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";
constexpr unsigned kCtrlZ = 0x1A;

bool IsUtf16(Encoding e) {
  return e == Encoding::kUtf16LeBom || e == Encoding::kUtf16BeBom;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

bool AllAscii(std::string_view s) {
  for (char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      return false;
    }
  }
  return true;
}

// What a file without a byte-order mark looks like as UTF-8.
enum class Utf8Shape { kInvalid, kTwoByteOnly, kHasLongSequences };

// Whether `s` is well-formed UTF-8 (no overlong forms, no surrogates) and, if so, whether
// any character takes three or four bytes.
Utf8Shape ShapeAsUtf8(std::string_view s) {
  bool longSequence = false;
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n;
    unsigned min;
    unsigned cp;
    if (c < 0x80) {
      ++i;
      continue;
    } else if (c >= 0xC2 && c <= 0xDF) {
      n = 1, min = 0x80, cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      n = 2, min = 0x800, cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      n = 3, min = 0x10000, cp = c & 0x07;
    } else {
      return Utf8Shape::kInvalid;
    }
    if (i + n >= s.size()) {
      return Utf8Shape::kInvalid;
    }
    for (size_t k = 1; k <= n; ++k) {
      unsigned char t = static_cast<unsigned char>(s[i + k]);
      if ((t & 0xC0) != 0x80) {
        return Utf8Shape::kInvalid;
      }
      cp = (cp << 6) | (t & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      return Utf8Shape::kInvalid;
    }
    longSequence = longSequence || n >= 2;
    i += n + 1;
  }
  return longSequence ? Utf8Shape::kHasLongSequences : Utf8Shape::kTwoByteOnly;
}

// The encoding of a file without a byte-order mark. Such a file saved on Windows is
// always ANSI (code page 936), and many code page 936 texts are also well-formed UTF-8:
// 930 of the GB2312 characters are on their own a two-byte UTF-8 character ("目录" is
// C4 BF C2 BC, which as UTF-8 reads "Ŀ¼"). So the file is read as UTF-8 only when it is
// well-formed UTF-8 with at least one character of three or four bytes (every CJK
// character in UTF-8 is one), which code page 936 text hardly ever forms. UTF-8 made of
// two-byte characters only (accented Latin letters) always also has the byte structure of
// code page 936 (a lead byte C2..DF, a trail byte 80..BF), so it cannot be told apart and
// is read as code page 936, as Windows reads it. Bytes that are neither (FF, a lone lead
// byte) are read as code page 936, the damaged characters becoming "?".
Encoding EncodingWithoutBom(std::string_view bytes) {
  if (!AllAscii(bytes) && ShapeAsUtf8(bytes) == Utf8Shape::kHasLongSequences) {
    return Encoding::kUtf8;
  }
  return Encoding::kAnsi;
}

size_t UnitSize(Encoding e) {
  return IsUtf16(e) ? 2 : 1;
}

// The code unit at byte offset `i` (a byte, or a 16-bit unit in the file's byte order).
unsigned UnitAt(std::string_view raw, size_t i, Encoding e) {
  const unsigned first = static_cast<unsigned char>(raw[i]);
  if (!IsUtf16(e)) {
    return first;
  }
  const unsigned second = static_cast<unsigned char>(raw[i + 1]);
  return e == Encoding::kUtf16LeBom ? first | (second << 8) : (first << 8) | second;
}

// Where the end-of-file mark begins: the first Ctrl-Z of the run of Ctrl-Z, blanks and line
// ends that closes the file, or the end when that run has none. Windows' profile reader
// stops at it, so "Port=3" followed by Ctrl-Z reads as 3.
size_t EndMarkStart(std::string_view body, Encoding e) {
  const size_t unit = UnitSize(e);
  size_t start = body.size();
  size_t mark = body.size();
  while (start >= unit) {
    const unsigned u = UnitAt(body, start - unit, e);
    if (u == kCtrlZ) {
      mark = start - unit;
    } else if (u != '\r' && u != '\n' && u != ' ' && u != '\t') {
      break;
    }
    start -= unit;
  }
  return mark;
}

std::string_view Bom(Encoding e) {
  switch (e) {
    case Encoding::kUtf8Bom:
      return kUtf8Bom;
    case Encoding::kUtf16LeBom:
      return kUtf16LeBom;
    case Encoding::kUtf16BeBom:
      return kUtf16BeBom;
    default:
      return {};
  }
}

}  // namespace

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) {
    s.remove_prefix(1);
  }
  while (!s.empty() && IsBlank(s.back())) {
    s.remove_suffix(1);
  }
  return s;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'A' && x <= 'Z')
      x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z')
      y = static_cast<char>(y - 'A' + 'a');
    if (x != y) {
      return false;
    }
  }
  return true;
}

std::string Decode(std::string_view raw, Encoding encoding) {
  switch (encoding) {
    case Encoding::kAnsi:
      return AllAscii(raw) ? std::string(raw) : Cp936ToUtf8(raw);
    case Encoding::kUtf8:
    case Encoding::kUtf8Bom:
      return std::string(raw);
    case Encoding::kUtf16LeBom:
    case Encoding::kUtf16BeBom: {
      std::u16string units(raw.size() / 2, u'\0');
      for (size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(UnitAt(raw, 2 * i, encoding));
      }
      return Utf16ToUtf8(units);
    }
  }
  return std::string(raw);
}

std::string Encode(std::string_view utf8, Encoding encoding) {
  switch (encoding) {
    case Encoding::kAnsi:
      return AllAscii(utf8) ? std::string(utf8) : Utf8ToCp936(utf8);
    case Encoding::kUtf8:
    case Encoding::kUtf8Bom:
      return std::string(utf8);
    case Encoding::kUtf16LeBom:
    case Encoding::kUtf16BeBom: {
      std::u16string units = Utf8ToUtf16(utf8);
      const bool little = encoding == Encoding::kUtf16LeBom;
      std::string out;
      out.reserve(units.size() * 2);
      for (char16_t u : units) {
        const char lo = static_cast<char>(u & 0xFF);
        const char hi = static_cast<char>(u >> 8);
        out.push_back(little ? lo : hi);
        out.push_back(little ? hi : lo);
      }
      return out;
    }
  }
  return std::string(utf8);
}

Document Parse(std::string_view bytes) {
  Document doc;
  if (bytes.substr(0, 2) == kUtf16LeBom) {
    doc.encoding = Encoding::kUtf16LeBom;
  } else if (bytes.substr(0, 2) == kUtf16BeBom) {
    doc.encoding = Encoding::kUtf16BeBom;
  } else if (bytes.substr(0, 3) == kUtf8Bom) {
    doc.encoding = Encoding::kUtf8Bom;
  } else {
    doc.encoding = EncodingWithoutBom(bytes);
  }
  std::string_view body = bytes.substr(Bom(doc.encoding).size());
  const size_t unit = UnitSize(doc.encoding);
  if (body.size() % unit != 0) {
    doc.tail = std::string(body.substr(body.size() - 1));
    body.remove_suffix(1);
  }
  const size_t mark = EndMarkStart(body, doc.encoding);
  doc.endMark = std::string(body.substr(mark));
  body = body.substr(0, mark);
  // A line ends at LF, at CR LF, or at a CR on its own.
  size_t start = 0;
  while (start < body.size()) {
    size_t end = start;
    unsigned u = 0;
    while (end < body.size()) {
      u = UnitAt(body, end, doc.encoding);
      if (u == '\n' || u == '\r') {
        break;
      }
      end += unit;
    }
    Line line;
    line.raw = std::string(body.substr(start, end - start));
    if (end < body.size()) {
      size_t next = end + unit;
      if (u == '\r' && next < body.size() && UnitAt(body, next, doc.encoding) == '\n') {
        next += unit;
      }
      line.ending = std::string(body.substr(end, next - end));
      end = next;
    }
    line.text = Decode(line.raw, doc.encoding);
    doc.lines.push_back(std::move(line));
    start = end;
  }
  return doc;
}

std::string Serialize(const Document& doc) {
  std::string out(Bom(doc.encoding));
  for (const Line& line : doc.lines) {
    out += line.raw;
    out += line.ending;
  }
  out += doc.endMark;
  out += doc.tail;
  return out;
}

LineInfo Classify(std::string_view text) {
  LineInfo info;
  std::string_view t = Trim(text);
  if (t.empty()) {
    info.kind = LineKind::kBlank;
    return info;
  }
  if (t.front() == ';') {
    info.kind = LineKind::kComment;
    return info;
  }
  if (t.front() == '[') {
    size_t close = t.rfind(']');
    if (close != std::string_view::npos) {
      info.kind = LineKind::kSection;
      info.name = std::string(Trim(t.substr(1, close - 1)));
    }
    return info;
  }
  size_t eq = t.find('=');
  if (eq == std::string_view::npos) {
    return info;
  }
  std::string_view name = Trim(t.substr(0, eq));
  if (name.empty()) {
    return info;
  }
  // A value ends at a NUL character, as the platform's profile reader sees it.
  std::string_view value = t.substr(eq + 1);
  value = Trim(value.substr(0, value.find('\0')));
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  info.kind = LineKind::kKey;
  info.name = std::string(name);
  info.value = std::string(value);
  return info;
}

std::string LineEnding(const Document& doc) {
  for (const Line& line : doc.lines) {
    if (!line.ending.empty()) {
      return line.ending;
    }
  }
  return Encode("\r\n", doc.encoding);
}

void ReplaceValue(Line& line, std::string_view value, Encoding encoding) {
  const size_t unit = UnitSize(encoding);
  size_t pos = 0;
  while (pos < line.raw.size() && UnitAt(line.raw, pos, encoding) != '=') {
    pos += unit;
  }
  if (pos < line.raw.size()) {
    pos += unit;
  }
  while (pos < line.raw.size()) {
    unsigned u = UnitAt(line.raw, pos, encoding);
    if (u != ' ' && u != '\t') {
      break;
    }
    pos += unit;
  }
  line.raw = line.raw.substr(0, pos) + Encode(value, encoding);
  line.text = Decode(line.raw, encoding);
}

}  // namespace fw::profile_text
