#include "platform/FileIo.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fw {
namespace {

std::string Quoted(const std::string& path) {
  return "\"" + path + "\"";
}

FileRead Refused(FileReadStatus status, std::string problem) {
  FileRead r;
  r.status = status;
  r.problem = std::move(problem);
  return r;
}

FileRead TooLarge(const std::string& path, size_t maxBytes) {
  return Refused(FileReadStatus::kTooLarge, Quoted(path) + " is larger than " +
                                                std::to_string(maxBytes) +
                                                " bytes, more than such a file can hold");
}

FileRead NotRegular(const std::string& path) {
  return Refused(FileReadStatus::kNotRegular,
                 Quoted(path) + " is not a regular file (a folder, device or pipe)");
}

}  // namespace

std::filesystem::path PathFromUtf8(const std::string& utf8) {
#ifdef _WIN32
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
#else
  return std::filesystem::path(utf8);
#endif
}

std::string Utf8FromPath(const std::filesystem::path& path) {
#ifdef _WIN32
  std::u8string s = path.u8string();
  return std::string(s.begin(), s.end());
#else
  return path.string();
#endif
}

#ifndef _WIN32

namespace {

// Opens `path` for reading without blocking (a FIFO without a writer would block a plain
// open) and keeps it open only when it is a regular file.
int OpenRegular(const std::string& path, FileRead* refusal, struct stat* st) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    const int err = errno;
    if (err == ENOENT || err == ENOTDIR) {
      *refusal = Refused(FileReadStatus::kMissing, Quoted(path) + " does not exist");
    } else if (err == ENXIO || err == EISDIR) {
      *refusal = NotRegular(path);
    } else {
      *refusal = Refused(FileReadStatus::kUnreadable,
                         Quoted(path) + " cannot be opened: " + std::strerror(err));
    }
    return -1;
  }
  if (fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) {
    ::close(fd);
    *refusal = NotRegular(path);
    return -1;
  }
  return fd;
}

}  // namespace

std::string RegularFileProblem(const std::string& path) {
  FileRead refusal;
  struct stat st;
  int fd = OpenRegular(path, &refusal, &st);
  if (fd < 0) {
    return refusal.problem;
  }
  ::close(fd);
  return std::string();
}

FileRead ReadRegularFile(const std::string& path, size_t maxBytes) {
  FileRead r;
  struct stat st;
  int fd = OpenRegular(path, &r, &st);
  if (fd < 0) {
    return r;
  }
  if (static_cast<unsigned long long>(st.st_size) > maxBytes) {
    ::close(fd);
    return TooLarge(path, maxBytes);
  }
  std::string bytes;
  bytes.reserve(static_cast<size_t>(st.st_size));
  char chunk[65536];
  for (;;) {
    ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0) {
      const int err = errno;
      ::close(fd);
      return Refused(FileReadStatus::kUnreadable,
                     Quoted(path) + " cannot be read: " + std::strerror(err));
    }
    if (n == 0) {
      break;
    }
    if (bytes.size() + static_cast<size_t>(n) > maxBytes) {
      ::close(fd);
      return TooLarge(path, maxBytes);
    }
    bytes.append(chunk, static_cast<size_t>(n));
  }
  ::close(fd);
  r.status = FileReadStatus::kOk;
  r.bytes = std::move(bytes);
  return r;
}

#else

std::string RegularFileProblem(const std::string& path) {
  std::error_code ec;
  std::filesystem::file_status s = std::filesystem::status(PathFromUtf8(path), ec);
  if (!std::filesystem::exists(s)) {
    return Quoted(path) + " does not exist";
  }
  if (!std::filesystem::is_regular_file(s)) {
    return NotRegular(path).problem;
  }
  return std::string();
}

FileRead ReadRegularFile(const std::string& path, size_t maxBytes) {
  std::error_code ec;
  const std::filesystem::path p = PathFromUtf8(path);
  std::filesystem::file_status s = std::filesystem::status(p, ec);
  if (!std::filesystem::exists(s)) {
    return Refused(FileReadStatus::kMissing, Quoted(path) + " does not exist");
  }
  if (!std::filesystem::is_regular_file(s)) {
    return NotRegular(path);
  }
  std::ifstream in(p, std::ios::binary);
  if (!in) {
    return Refused(FileReadStatus::kUnreadable, Quoted(path) + " cannot be opened");
  }
  std::string bytes;
  char chunk[65536];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
    size_t n = static_cast<size_t>(in.gcount());
    if (bytes.size() + n > maxBytes) {
      return TooLarge(path, maxBytes);
    }
    bytes.append(chunk, n);
  }
  if (in.bad()) {
    return Refused(FileReadStatus::kUnreadable, Quoted(path) + " cannot be read");
  }
  FileRead r;
  r.status = FileReadStatus::kOk;
  r.bytes = std::move(bytes);
  return r;
}

#endif

std::optional<std::string> ReadWholeFile(const std::string& path, size_t maxBytes) {
  FileRead r = ReadRegularFile(path, maxBytes);
  if (!r.ok()) {
    return std::nullopt;
  }
  return std::move(r.bytes);
}

}  // namespace fw
