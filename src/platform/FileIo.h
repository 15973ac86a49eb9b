#pragma once
// Whole-file reads with UTF-8 path names on every platform.
//
// Only regular files are read: a FIFO, a device (/dev/zero), a socket or a folder is
// refused without being opened for reading, so that nothing blocks or reads without end.
// Every whole-file read has a size cap; a longer file is refused.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace fw {

// A filesystem path from a UTF-8 path name.
std::filesystem::path PathFromUtf8(const std::string& utf8);
// The UTF-8 name of a filesystem path.
std::string Utf8FromPath(const std::filesystem::path& path);

enum class FileReadStatus { kOk, kMissing, kNotRegular, kTooLarge, kUnreadable };

struct FileRead {
  FileReadStatus status = FileReadStatus::kMissing;
  std::string bytes;    // the file's bytes (kOk only)
  std::string problem;  // why it was not read, naming the file (empty for kOk)
  bool ok() const { return status == FileReadStatus::kOk; }
};

// Reads the regular file `path` whole, refusing one of more than `maxBytes` bytes (also
// when it grows past them while being read). The file is opened without blocking.
FileRead ReadRegularFile(const std::string& path, size_t maxBytes);

// Why `path` cannot be opened as a regular file for reading ("" when it can); it is
// checked without blocking, before a stream opens it.
std::string RegularFileProblem(const std::string& path);

// The file's bytes; nullopt when it does not exist, cannot be read, is not a regular file
// or is larger than `maxBytes`.
std::optional<std::string> ReadWholeFile(const std::string& path,
                                         size_t maxBytes = static_cast<size_t>(-1));

}  // namespace fw
