#pragma once
// Private-profile (INI) files with the Windows semantics the settings and model files
// were written for:
//
// - section and key names are compared without regard to case (ASCII letters), with the
//   blanks around them ignored; lines starting with ';' are comments;
// - reads: the first matching section and, inside it, the first matching key win; a string
//   value has its surrounding blanks trimmed and one pair of matching quotes ('...' or
//   "...") removed, and is cut to the caller's buffer (terminating null included, counted
//   in UTF-16 units as the Windows buffer is); an integer is the value's leading decimal
//   digits (optional sign), an absent or empty key gives the default, a value without
//   digits gives 0;
// - writes replace the value of the first matching key in place and keep every other line
//   byte for byte (comments, unknown keys, order, line endings); a missing key is added
//   at the end of its section, a missing section at the end of the file, a missing file is
//   created. A write goes to a temporary file in the same folder that then replaces the
//   file by rename, so a crash never leaves a half-written file;
// - files saved on Windows are read: UTF-16LE with a byte-order mark, UTF-8 with one,
//   otherwise the ANSI code page (936), unless the bytes cannot be code page 936 text or
//   are UTF-8 with characters of three or more bytes (then UTF-8). A line ends at LF,
//   CR LF or a lone CR; a value ends at a NUL character. A write keeps the file's encoding
//   and its owner, group and mode; a new file is written in the ANSI code page with CR LF
//   line ends, as Windows does;
// - only regular files of at most kMaxProfileFileBytes are read (a FIFO or device is
//   refused without blocking); a file that exists but cannot be read says why.
//
// All text is UTF-8. The functions are not named after their Windows counterparts
// because <windows.h> defines those names as macros.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace fw {

// The buffer size (in characters, terminating null included) the program reads strings with.
constexpr size_t kProfileBufferChars = 4096;
// The largest profile file read: far more than a settings or model file holds (65536 area
// lines of a model file take about 1.1 MB).
constexpr size_t kMaxProfileFileBytes = 4 * 1024 * 1024;

struct ProfileEntry {
  std::string key;    // as written in the file (blanks around it removed)
  std::string value;  // trimmed, quotes removed
  bool operator==(const ProfileEntry&) const = default;
};

// Integer value of a profile text: leading blanks skipped, an optional sign, then the
// leading decimal digits (no digits: 0). Wraps around like a 32-bit integer on overflow.
int ProfileTextToInt(std::string_view text);

// One file read and parsed once, for readers that ask for many keys. A missing or
// unreadable file reads as an empty file.
class Profile {
 public:
  Profile() = default;
  static Profile Load(const std::string& path);
  // Parses file bytes as they lie on disk.
  static Profile FromBytes(std::string_view bytes);

  // True when the file was read (it exists and is a readable regular file).
  bool Exists() const { return exists_; }
  // Why a file that is there could not be read (not a regular file, too large, no
  // permission), naming the file; empty when it was read or does not exist.
  const std::string& Problem() const { return problem_; }
  // True when the file has a section of that name.
  bool HasSection(std::string_view section) const { return Find(section) != nullptr; }

  std::string GetString(std::string_view section, std::string_view key,
                        std::string_view defaultValue,
                        size_t bufferChars = kProfileBufferChars) const;
  int GetInt(std::string_view section, std::string_view key, int defaultValue) const;
  // Every key line of the first matching section, in file order (duplicates included).
  std::vector<ProfileEntry> GetSection(std::string_view section) const;

 private:
  struct Section {
    std::string name;
    std::vector<ProfileEntry> entries;
  };
  const Section* Find(std::string_view section) const;
  const ProfileEntry* Find(std::string_view section, std::string_view key) const;

  bool exists_ = false;
  std::string problem_;
  std::vector<Section> sections_;
};

// Single reads, each reading the file anew.
std::string ProfileGetString(std::string_view section, std::string_view key,
                             std::string_view defaultValue, const std::string& path,
                             size_t bufferChars = kProfileBufferChars);
int ProfileGetInt(std::string_view section, std::string_view key, int defaultValue,
                  const std::string& path);
std::vector<ProfileEntry> ProfileGetSection(std::string_view section, const std::string& path);

// Sets `key` of `section` to `value`. Returns false when the file cannot be read or
// written, or when a name or the value cannot be stored in a profile line (empty names,
// line breaks or NUL characters, a key holding '=' or starting with '[' or ';', a section
// name holding ']'). The old file is then left as it was. The file keeps its owner, group
// and mode; when the owner or group cannot be kept (the writer may not give the file
// away), the write is refused rather than leaving the file to the writer.
bool ProfileWriteString(std::string_view section, std::string_view key, std::string_view value,
                        const std::string& path);

// The step that moves the finished temporary file over the profile file. Tests replace it
// to see a failed rename leave the old file intact. Returns the previous function; an empty
// function restores the default.
using ProfileRenameFunction = std::function<bool(const std::string& from, const std::string& to)>;
ProfileRenameFunction SetProfileRenameFunction(ProfileRenameFunction fn);

}  // namespace fw
