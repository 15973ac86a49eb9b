// Win32 back end of SerialPort: synchronous comm handle, DCB built from zero, a read that
// polls the driver's queue count against a millisecond deadline.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/Clock.h"
#include "serial/SerialPort.h"

namespace fw {
namespace {

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
    lastError_ = SystemMessage(GetLastError());
    return 0;
  }
  handle_ = h;
  portPath_ = path;
  EscapeCommFunction(h, SETDTR);
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
  COMMTIMEOUTS t;
  GetCommTimeouts(H(handle_), &t);
  // An OS read returns at once with what is buffered; writes have no timeout. The only
  // deadline is the software one in readTimeoutMs_.
  t.ReadIntervalTimeout = MAXDWORD;
  t.ReadTotalTimeoutMultiplier = 0;
  t.ReadTotalTimeoutConstant = 0;
  t.WriteTotalTimeoutMultiplier = 0;
  t.WriteTotalTimeoutConstant = 0;
  return SetCommTimeouts(H(handle_), &t) ? 1 : 0;
}

int SerialPort::Purge() {
  if (IsOpen()) {
    DWORD errors = 0;
    COMSTAT status;
    ClearCommError(H(handle_), &errors, &status);
    PurgeComm(H(handle_), PURGE_RXCLEAR);
  }
  return 0;
}

uint32_t SerialPort::Write(const uint8_t* buffer, uint32_t count) {
  if (!IsOpen() || (buffer == nullptr && count != 0)) {
    return 0;
  }
  DWORD written = 0;
  if (!WriteFile(H(handle_), buffer, count, &written, nullptr)) {
    return 0;
  }
  return written;
}

uint32_t SerialPort::Read(uint8_t* buffer, uint32_t count) {
  if (!IsOpen() || (buffer == nullptr && count != 0)) {
    return 0;
  }
  const uint32_t start = Time().TickCount();
  for (;;) {
    DWORD errors = 0;
    COMSTAT status;
    if (!ClearCommError(H(handle_), &errors, &status) || errors != 0) {
      return 0;  // line error (the queued bytes stay until the next purge), or no port
    }
    if (status.cbInQue >= count) {
      DWORD got = 0;
      return ReadFile(H(handle_), buffer, count, &got, nullptr) ? got : 0;
    }
    // Elapsed time, not start + deadline: the tick counter wraps after 49.7 days.
    uint32_t elapsed = Time().TickCount() - start;
    if ((readTimeoutMs_ == 0 || elapsed <= readTimeoutMs_) && !Time().StopRequested()) {
      continue;  // busy poll
    }
    DWORD got = 0;
    return ReadFile(H(handle_), buffer, count, &got, nullptr) ? got : 0;
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
