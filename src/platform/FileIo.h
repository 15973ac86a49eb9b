#pragma once
// Whole-file reads with UTF-8 path names on every platform.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace fw {

// A filesystem path from a UTF-8 path name.
std::filesystem::path PathFromUtf8(const std::string& utf8);
// The UTF-8 name of a filesystem path.
std::string Utf8FromPath(const std::filesystem::path& path);

// The file's bytes; nullopt when it does not exist, cannot be read, or is larger than
// `maxBytes`.
std::optional<std::string> ReadWholeFile(const std::string& path,
                                         size_t maxBytes = static_cast<size_t>(-1));

}  // namespace fw
