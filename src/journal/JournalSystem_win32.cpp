// The journal's system facts on Windows: host, user, processes, the user's local application
// data folder, and SHA-256 through the system's CNG (bcrypt).

#include <windows.h>
// windows.h first.
#include <bcrypt.h>

#include <cstdlib>

#include "journal/Journal.h"
#include "platform/FileIo.h"

namespace fw {
namespace {

std::string FromWide(const wchar_t* text) {
  return Utf8FromPath(std::filesystem::path(text));
}

}  // namespace

std::string HostName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  return GetComputerNameW(name, &size) ? FromWide(name) : std::string("localhost");
}

std::string UserName() {
  if (const wchar_t* user = _wgetenv(L"USERNAME"); user != nullptr) {
    return FromWide(user);
  }
  return "unknown";
}

int64_t ProcessId() {
  return static_cast<int64_t>(GetCurrentProcessId());
}

bool ProcessAlive(int64_t pid) {
  if (pid <= 0) {
    return false;
  }
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (process == nullptr) {
    return GetLastError() == ERROR_ACCESS_DENIED;
  }
  const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return running;
}

std::string DefaultJournalPath() {
  const wchar_t* base = _wgetenv(L"LOCALAPPDATA");
  if (base == nullptr || base[0] == L'\0') {
    base = _wgetenv(L"TEMP");
  }
  std::filesystem::path folder = base ? std::filesystem::path(base) : std::filesystem::path(L".");
  return Utf8FromPath(folder / L"flashwright" / L"journal.db");
}

std::string Sha256Hex(std::span<const uint8_t> data) {
  unsigned char digest[32] = {};
  if (BCryptHash(BCRYPT_SHA256_ALG_HANDLE, nullptr, 0, const_cast<PUCHAR>(data.data()),
                 static_cast<ULONG>(data.size()), digest, sizeof digest) != 0) {
    return std::string();
  }
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char b : digest) {
    hex += kHex[b >> 4];
    hex += kHex[b & 15];
  }
  return hex;
}

}  // namespace fw
