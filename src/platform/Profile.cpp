#include "platform/Profile.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>

#include "platform/CodePage.h"
#include "platform/FileIo.h"
#include "platform/ProfileText.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fw {
namespace {

namespace fs = std::filesystem;
using profile_text::Document;
using profile_text::EqualNoCase;
using profile_text::LineKind;

fs::path ToPath(const std::string& utf8) {
  return PathFromUtf8(utf8);
}

std::string FromPath(const fs::path& p) {
  return Utf8FromPath(p);
}

// Cuts `text` to at most `bufferChars` - 1 UTF-16 units, never inside a surrogate pair.
std::string FitBuffer(std::string_view text, size_t bufferChars) {
  if (bufferChars == 0) {
    return std::string();
  }
  if (text.size() < bufferChars) {  // UTF-8 never has fewer bytes than UTF-16 units
    return std::string(text);
  }
  std::u16string units = Utf8ToUtf16(text);
  if (units.size() < bufferChars) {
    return std::string(text);
  }
  size_t keep = bufferChars - 1;
  if (keep > 0 && units[keep - 1] >= 0xD800 && units[keep - 1] < 0xDC00) {
    --keep;
  }
  units.resize(keep);
  return Utf16ToUtf8(units);
}

bool DefaultRename(const std::string& from, const std::string& to) {
  std::error_code ec;
  fs::rename(ToPath(from), ToPath(to), ec);
  return !ec;
}

std::mutex g_writeMutex;
ProfileRenameFunction g_rename = DefaultRename;
std::atomic<unsigned> g_tempCounter{0};

bool HasLineBreak(std::string_view s) {
  return s.find_first_of(std::string_view("\n\r\0", 3)) != std::string_view::npos;
}

bool NamesStorable(std::string_view section, std::string_view key, std::string_view value) {
  std::string_view s = profile_text::Trim(section);
  std::string_view k = profile_text::Trim(key);
  if (s.empty() || k.empty() || HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value)) {
    return false;
  }
  if (s.find(']') != std::string_view::npos || k.find('=') != std::string_view::npos ||
      k.front() == '[' || k.front() == ';') {
    return false;
  }
  return true;
}

// Writes `bytes` to a new file beside `target` and moves it over `target`.
bool ReplaceFile(const fs::path& target, const std::string& bytes) {
  fs::path dir = target.parent_path();
  std::string name = "." + FromPath(target.filename()) + ".tmp";
#ifndef _WIN32
  name += std::to_string(getpid()) + "-";
#endif
  name += std::to_string(g_tempCounter++);
  fs::path temp = dir / ToPath(name);
  bool written = false;
#ifndef _WIN32
  mode_t mode = 0666;
  struct stat st;
  bool keepMode = stat(target.c_str(), &st) == 0;
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd >= 0) {
    written = true;
    if (keepMode) {
      // The file stays its owner's: a write by another user (root in the repeat mode)
      // must not hand it over. Owner first, then the mode (a change of owner may clear
      // the set-id bits).
      if ((st.st_uid != geteuid() || st.st_gid != getegid()) &&
          fchown(fd, st.st_uid, st.st_gid) != 0) {
        written = false;
      }
      if (fchmod(fd, st.st_mode & 07777) != 0) {
        written = false;
      }
    }
    size_t done = 0;
    while (written && done < bytes.size()) {
      ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) {
        continue;
      }
      if (n <= 0) {
        written = false;
        break;
      }
      done += static_cast<size_t>(n);
    }
    if (written && fsync(fd) != 0) {
      written = false;
    }
    if (close(fd) != 0) {
      written = false;
    }
  }
#else
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    written = static_cast<bool>(out);
  }
#endif
  if (written && g_rename(FromPath(temp), FromPath(target))) {
#ifndef _WIN32
    int dfd = open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_CLOEXEC);
    if (dfd >= 0) {
      fsync(dfd);
      close(dfd);
    }
#endif
    return true;
  }
  std::error_code ec;
  fs::remove(temp, ec);
  return false;
}

}  // namespace

int ProfileTextToInt(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  uint32_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10u + static_cast<uint32_t>(text[i] - '0');
  }
  if (negative) {
    value = 0u - value;
  }
  return static_cast<int>(value);
}

Profile Profile::Load(const std::string& path) {
  FileRead file = ReadRegularFile(path, kMaxProfileFileBytes);
  if (!file.ok()) {
    Profile p;
    if (file.status != FileReadStatus::kMissing) {
      p.problem_ = std::move(file.problem);
    }
    return p;
  }
  return FromBytes(file.bytes);
}

Profile Profile::FromBytes(std::string_view bytes) {
  Profile p;
  p.exists_ = true;
  Document doc = profile_text::Parse(bytes);
  for (const auto& line : doc.lines) {
    profile_text::LineInfo info = profile_text::Classify(line.text);
    if (info.kind == LineKind::kSection) {
      p.sections_.push_back(Section{std::move(info.name), {}});
    } else if (info.kind == LineKind::kKey && !p.sections_.empty()) {
      p.sections_.back().entries.push_back(
          ProfileEntry{std::move(info.name), std::move(info.value)});
    }
  }
  return p;
}

const Profile::Section* Profile::Find(std::string_view section) const {
  section = profile_text::Trim(section);
  for (const Section& s : sections_) {
    if (EqualNoCase(s.name, section)) {
      return &s;
    }
  }
  return nullptr;
}

const ProfileEntry* Profile::Find(std::string_view section, std::string_view key) const {
  const Section* s = Find(section);
  if (s == nullptr) {
    return nullptr;
  }
  key = profile_text::Trim(key);
  for (const ProfileEntry& e : s->entries) {
    if (EqualNoCase(e.key, key)) {
      return &e;
    }
  }
  return nullptr;
}

std::string Profile::GetString(std::string_view section, std::string_view key,
                               std::string_view defaultValue, size_t bufferChars) const {
  const ProfileEntry* e = Find(section, key);
  if (e == nullptr) {
    // Windows drops the trailing blanks of the default.
    while (!defaultValue.empty() && (defaultValue.back() == ' ' || defaultValue.back() == '\t')) {
      defaultValue.remove_suffix(1);
    }
    return FitBuffer(defaultValue, bufferChars);
  }
  return FitBuffer(e->value, bufferChars);
}

int Profile::GetInt(std::string_view section, std::string_view key, int defaultValue) const {
  const ProfileEntry* e = Find(section, key);
  if (e == nullptr || e->value.empty()) {
    return defaultValue;
  }
  return ProfileTextToInt(e->value);
}

std::vector<ProfileEntry> Profile::GetSection(std::string_view section) const {
  const Section* s = Find(section);
  return s ? s->entries : std::vector<ProfileEntry>();
}

std::string ProfileGetString(std::string_view section, std::string_view key,
                             std::string_view defaultValue, const std::string& path,
                             size_t bufferChars) {
  return Profile::Load(path).GetString(section, key, defaultValue, bufferChars);
}

int ProfileGetInt(std::string_view section, std::string_view key, int defaultValue,
                  const std::string& path) {
  return Profile::Load(path).GetInt(section, key, defaultValue);
}

std::vector<ProfileEntry> ProfileGetSection(std::string_view section, const std::string& path) {
  return Profile::Load(path).GetSection(section);
}

bool ProfileWriteString(std::string_view section, std::string_view key, std::string_view value,
                        const std::string& path) {
  if (!NamesStorable(section, key, value)) {
    return false;
  }
  section = profile_text::Trim(section);
  key = profile_text::Trim(key);
  std::lock_guard<std::mutex> lock(g_writeMutex);

  fs::path target = ToPath(path);
  std::error_code ec;
  if (fs::is_symlink(target, ec)) {
    fs::path resolved = fs::canonical(target, ec);
    if (ec) {
      return false;
    }
    target = resolved;
  }
  Document doc;
  if (fs::exists(target, ec)) {
    std::optional<std::string> bytes = ReadWholeFile(FromPath(target), kMaxProfileFileBytes);
    if (!bytes) {
      return false;  // never replace a file that could not be read
    }
    doc = profile_text::Parse(*bytes);
  } else if (ec) {
    return false;
  }

  const std::string eol = profile_text::LineEnding(doc);
  auto makeLine = [&](std::string text) {
    profile_text::Line line;
    line.raw = profile_text::Encode(text, doc.encoding);
    line.ending = eol;
    line.text = std::move(text);
    return line;
  };
  // The first matching section: its header and the line after its last key-like line.
  long header = -1;
  size_t insertAt = 0;
  bool done = false;
  for (size_t i = 0; i < doc.lines.size() && !done; ++i) {
    profile_text::LineInfo info = profile_text::Classify(doc.lines[i].text);
    if (header < 0) {
      if (info.kind == LineKind::kSection && EqualNoCase(info.name, section)) {
        header = static_cast<long>(i);
        insertAt = i + 1;
      }
      continue;
    }
    if (info.kind == LineKind::kSection) {
      break;
    }
    if (info.kind == LineKind::kKey && EqualNoCase(info.name, key)) {
      profile_text::ReplaceValue(doc.lines[i], value, doc.encoding);
      done = true;
    } else if (info.kind == LineKind::kKey || info.kind == LineKind::kOther) {
      insertAt = i + 1;
    }
  }
  if (!done) {
    std::string entry = std::string(key) + "=" + std::string(value);
    if (header < 0) {
      if (!doc.lines.empty() && doc.lines.back().ending.empty()) {
        doc.lines.back().ending = eol;
      }
      doc.lines.push_back(makeLine("[" + std::string(section) + "]"));
      doc.lines.push_back(makeLine(std::move(entry)));
    } else {
      if (doc.lines[insertAt - 1].ending.empty()) {
        doc.lines[insertAt - 1].ending = eol;
      }
      doc.lines.insert(doc.lines.begin() + static_cast<long>(insertAt), makeLine(std::move(entry)));
    }
  }
  return ReplaceFile(target, profile_text::Serialize(doc));
}

ProfileRenameFunction SetProfileRenameFunction(ProfileRenameFunction fn) {
  std::lock_guard<std::mutex> lock(g_writeMutex);
  ProfileRenameFunction old = std::move(g_rename);
  g_rename = fn ? std::move(fn) : ProfileRenameFunction(DefaultRename);
  return old;
}

}  // namespace fw
