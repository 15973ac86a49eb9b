// The journal's system facts on POSIX: host, user, processes, the user's data folder, and
// SHA-256 through OpenSSL's libcrypto.

#include <openssl/evp.h>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <vector>

#include "journal/Journal.h"

namespace fw {

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) {
    return "localhost";
  }
  return name;
}

namespace {

// The user's entry in the password database. getpwuid_r: jobs on several ports begin at
// once, and getpwuid's answer is one buffer for the whole process.
std::optional<std::string> PasswdField(bool home) {
  passwd entry{};
  passwd* found = nullptr;
  std::vector<char> buffer(16384);
  if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
      found == nullptr) {
    return std::nullopt;
  }
  const char* field = home ? entry.pw_dir : entry.pw_name;
  if (field == nullptr) {
    return std::nullopt;
  }
  return std::string(field);
}

}  // namespace

std::string UserName() {
  if (const std::optional<std::string> name = PasswdField(false)) {
    return *name;
  }
  if (const char* user = std::getenv("USER"); user != nullptr) {
    return user;
  }
  return "uid " + std::to_string(geteuid());
}

int64_t ProcessId() {
  return static_cast<int64_t>(getpid());
}

bool ProcessAlive(int64_t pid) {
  if (pid <= 0) {
    return false;
  }
  // EPERM: a process of another user holds the number, and it runs.
  return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

std::string DefaultJournalPath() {
  std::string base;
  if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && data[0] == '/') {
    base = data;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
    base = std::string(home) + "/.local/share";
  } else if (const std::optional<std::string> dir = PasswdField(true)) {
    base = *dir + "/.local/share";
  } else {
    base = "/tmp";
  }
  return base + "/flashwright/journal.db";
}

std::string Sha256Hex(std::span<const uint8_t> data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr) != 1) {
    return std::string();
  }
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 15];
  }
  return hex;
}

}  // namespace fw
