// Win32 back end of SerialPort: synchronous comm handle, DCB built from zero, reads that
// wait in the driver. A read asks the driver to return as soon as any byte is queued or a
// short wait has passed (the port's timeouts: interval and multiplier MAXDWORD, a constant
// of at most 50 ms), takes what came and waits again until the count is there or the
// deadline passes. Between two waits it looks at the line errors and the job's stop, so a
// line error, a vanished device or a stop ends the wait within one short wait; with
// fAbortOnError the driver ends a waiting read at once when a line error arrives.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "platform/Clock.h"
#include "serial/PortAccess.h"
#include "serial/SerialPort.h"
#include "serial/UsbAdapter.h"

namespace fw {
namespace {

// Longest single wait in the driver, so that a stop request is seen promptly.
constexpr uint32_t kWaitSliceMs = 50;
// A write that makes no progress for this long has failed (flow control is off, so a working
// port always drains); each byte adds a millisecond (about 11.5 bit times at 9600 baud).
constexpr DWORD kWriteStallMs = 5000;

HANDLE H(void* h) {
  return static_cast<HANDLE>(h);
}

std::wstring Widen(const std::string& text) {
  if (text.empty()) {
    return std::wstring();
  }
  int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) {
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  }
  return wide;
}

std::string SystemMessage(DWORD code) {
  char* text = nullptr;
  DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string message = n > 0 && text != nullptr ? std::string(text, n) : std::string();
  if (text != nullptr) {
    LocalFree(text);
  }
  while (!message.empty() && (message.back() == '\r' || message.back() == '\n' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  if (message.empty()) {
    message = "Error " + std::to_string(code);
  }
  return message;
}

HANDLE OpenDevice(const std::string& path) {
  std::wstring wide = Widen(path);
  return CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

SerialPort::SerialPort() : handle_(INVALID_HANDLE_VALUE) {}

SerialPort::~SerialPort() {
  Close();
}

bool SerialPort::IsOpen() const {
  return H(handle_) != INVALID_HANDLE_VALUE;
}

int SerialPort::Open(const std::string& path) {
  if (IsOpen()) {
    Close();  // never lose the old handle
  }
  lastError_.clear();
  HANDLE h = OpenDevice(path);  // no sharing: a port another program holds is refused
  if (h == INVALID_HANDLE_VALUE) {
    // A COM port that another program holds open answers "access denied": said as what it
    // is, as on Linux, with the system's words after it.
    const DWORD code = GetLastError();
    lastError_ = WindowsOpenFailureText(code, SystemMessage(code));
    return 0;
  }
  handle_ = h;
  portPath_ = path;
  waitSetMs_ = 0;
  lineErrorSeen_ = false;
  EscapeCommFunction(h, SETDTR);
  // The adapter, remembered so that one pulled out is still named, and a latency timer that
  // holds the replies back, said once.
  AdapterInfo adapter = DescribeAdapter(path);
  RememberAdapter(adapter);
  NoteSlowLatency(adapter);
  return 1;
}

int SerialPort::Configure(uint32_t baud, int dataBits, int parity, int stopBits) {
  if (!IsOpen()) {
    return 0;
  }
  DCB dcb;
  if (!GetCommState(H(handle_), &dcb)) {
    return 0;
  }
  // Whatever the port had (XON/XOFF, hardware handshake, parity checks) is dropped.
  ZeroMemory(&dcb, sizeof dcb);
  dcb.DCBlength = sizeof dcb;
  dcb.BaudRate = baud;
  dcb.fBinary = 1;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  // A line error ends a read that waits in the driver at once (the read then reports it);
  // every read and purge clears it again with ClearCommError.
  dcb.fAbortOnError = 1;
  dcb.XonLim = 2048;
  dcb.XoffLim = 512;
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  dcb.ByteSize = static_cast<BYTE>(dataBits);
  dcb.Parity = static_cast<BYTE>(parity);
  dcb.StopBits = static_cast<BYTE>(stopBits);
  return SetCommState(H(handle_), &dcb) ? 1 : 0;
}

int SerialPort::SetReadTimeout(uint32_t ms) {
  readTimeoutMs_ = ms;
  if (!IsOpen()) {
    return 0;
  }
  // The deadline itself is kept here; the port's timeouts hold one short wait of a read.
  waitSetMs_ = 0;
  COMMTIMEOUTS t;
  GetCommTimeouts(H(handle_), &t);
  t.ReadIntervalTimeout = MAXDWORD;
  t.ReadTotalTimeoutMultiplier = MAXDWORD;
  t.ReadTotalTimeoutConstant = kWaitSliceMs;
  t.WriteTotalTimeoutMultiplier = 1;
  t.WriteTotalTimeoutConstant = kWriteStallMs;
  if (!SetCommTimeouts(H(handle_), &t)) {
    return 0;
  }
  waitSetMs_ = kWaitSliceMs;
  return 1;
}

int SerialPort::Purge() {
  if (IsOpen()) {
    DWORD errors = 0;
    COMSTAT status;
    ClearCommError(H(handle_), &errors, &status);
    PurgeComm(H(handle_), PURGE_RXCLEAR);
    lineErrorSeen_ = false;
  }
  return 0;
}

uint32_t SerialPort::Write(const uint8_t* buffer, uint32_t count) {
  if (!IsOpen() || (buffer == nullptr && count != 0)) {
    return 0;
  }
  if (waitSetMs_ == 0) {
    SetReadTimeout(readTimeoutMs_);  // the write's stall limit along with the read's wait
  }
  uint32_t done = 0;
  for (int attempt = 0; done < count && attempt < 4; ++attempt) {
    DWORD written = 0;
    const BOOL ok = WriteFile(H(handle_), buffer + done, count - done, &written, nullptr);
    done += written;
    if (ok) {
      if (written == 0) {
        return 0;  // the stall limit passed: the line does not drain
      }
      continue;
    }
    if (GetLastError() != ERROR_OPERATION_ABORTED) {
      return 0;  // a device that went away
    }
    // Ended by a line error on the input (fAbortOnError): clear it so the rest can go, and
    // keep it for the next read, which reports it.
    uint32_t errors = 0;
    uint32_t queued = 0;
    if (!TakeCommErrors(errors, queued)) {
      return 0;
    }
    lineErrorSeen_ = lineErrorSeen_ || errors != 0;
  }
  return done;
}

bool SerialPort::TakeCommErrors(uint32_t& errors, uint32_t& queued) {
  DWORD mask = 0;
  COMSTAT status;
  ZeroMemory(&status, sizeof status);
  if (!ClearCommError(H(handle_), &mask, &status)) {
    return false;
  }
  errors = mask;
  queued = status.cbInQue;
  return true;
}

bool SerialPort::WaitAndTake(uint8_t* buffer, uint32_t count, uint32_t waitMs, uint32_t& got,
                             bool& aborted) {
  got = 0;
  aborted = false;
  if (waitMs != waitSetMs_) {
    COMMTIMEOUTS t;
    if (!GetCommTimeouts(H(handle_), &t)) {
      return false;
    }
    // Any byte queued: the read returns at once with what is queued; none: it waits in the
    // driver for the first one, at most waitMs.
    t.ReadIntervalTimeout = MAXDWORD;
    t.ReadTotalTimeoutMultiplier = MAXDWORD;
    t.ReadTotalTimeoutConstant = waitMs;
    t.WriteTotalTimeoutMultiplier = 1;
    t.WriteTotalTimeoutConstant = kWriteStallMs;
    if (!SetCommTimeouts(H(handle_), &t)) {
      return false;
    }
    waitSetMs_ = waitMs;
  }
  DWORD n = 0;
  if (!ReadFile(H(handle_), buffer, count, &n, nullptr)) {
    aborted = GetLastError() == ERROR_OPERATION_ABORTED;
    return false;
  }
  got = n;
  return true;
}

uint32_t SerialPort::Read(uint8_t* buffer, uint32_t count) {
  if (!IsOpen() || (buffer == nullptr && count != 0)) {
    return 0;
  }
  const uint32_t start = Time().TickCount();
  uint32_t got = 0;
  for (;;) {
    // A line error since the last purge or read fails the read at once (and is then
    // cleared); the queued bytes stay until the next purge.
    uint32_t errors = 0;
    uint32_t queued = 0;
    if (!TakeCommErrors(errors, queued)) {
      return got;  // the device went away: what arrived, at once
    }
    if (errors != 0 || lineErrorSeen_) {
      lineErrorSeen_ = false;
      return 0;
    }
    if (got >= count) {
      return got;
    }
    uint32_t waitMs = kWaitSliceMs;
    if (readTimeoutMs_ != 0) {
      // Elapsed time, not start + deadline: the tick counter wraps after 49.7 days.
      const uint32_t elapsed = Time().TickCount() - start;
      if (elapsed > readTimeoutMs_) {
        return got;
      }
      waitMs = std::min<uint32_t>(readTimeoutMs_ - elapsed + 1, kWaitSliceMs);
    }
    if (Time().StopRequested()) {
      return got;
    }
    uint32_t n = 0;
    bool aborted = false;
    if (!WaitAndTake(buffer + got, count - got, waitMs, n, aborted)) {
      if (aborted) {
        continue;  // a line error ended the wait: reported above
      }
      return got;  // hung up or removed
    }
    got += n;
  }
}

int SerialPort::Close() {
  if (!IsOpen()) {
    return 1;
  }
  if (!CloseHandle(H(handle_))) {
    return 0;
  }
  handle_ = INVALID_HANDLE_VALUE;
  portPath_.clear();
  return 1;
}

bool SerialPort::CanOpenExclusively(const std::string& path) {
  HANDLE h = OpenDevice(path);
  if (h == INVALID_HANDLE_VALUE) {
    return false;
  }
  CloseHandle(h);
  return true;
}

}  // namespace fw
