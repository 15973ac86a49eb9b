// The journal's system facts on Windows: host, user, processes, the user's local application
// data folder, and SHA-256 through the system's CNG (bcrypt).

#include <windows.h>
// windows.h first.
#include <bcrypt.h>

#include <algorithm>
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

// CNG's SHA-256 through an algorithm provider opened once (the pseudo-handle
// BCRYPT_SHA256_ALG_HANDLE needs Windows 10 and headers that MinGW-w64 10 lacks) and a hash
// object per call, fed in pieces that fit a ULONG.
std::string Sha256Hex(std::span<const uint8_t> data) {
  static const BCRYPT_ALG_HANDLE algorithm = [] {
    BCRYPT_ALG_HANDLE handle = nullptr;
    if (BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) {
      handle = nullptr;
    }
    return handle;
  }();
  if (algorithm == nullptr) {
    return std::string();
  }
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) != 0) {
    return std::string();
  }
  unsigned char digest[32] = {};
  bool ok = true;
  constexpr size_t kPiece = 1u << 30;
  for (size_t at = 0; ok && at < data.size(); at += kPiece) {
    const size_t n = std::min(kPiece, data.size() - at);
    ok = BCryptHashData(hash, const_cast<PUCHAR>(data.data() + at), static_cast<ULONG>(n), 0) == 0;
  }
  ok = ok && BCryptFinishHash(hash, digest, sizeof digest, 0) == 0;
  BCryptDestroyHash(hash);
  if (!ok) {
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
