#include "radiodata/DataLog.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "radiodata/Utf8Path.h"

namespace fw {
namespace {

std::atomic<LogTimeSource> g_timeSource{nullptr};

LogTime LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
#ifdef _WIN32
  localtime_s(&tm, &now);
#else
  localtime_r(&now, &tm);
#endif
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

const char* SuffixFor(int code) {
  switch (code) {
    case 1:
      return "ReadLog.dat";
    case 2:
      return "DefDataLog.dat";
    default:
      return "WriteLog.dat";
  }
}

}  // namespace

LogTime CurrentLogTime() {
  const LogTimeSource source = g_timeSource.load();
  return source ? source() : LocalNow();
}

void SetLogTimeSource(LogTimeSource source) {
  g_timeSource.store(source);
}

std::string DataLogFileName(const LogTime& t, int code) {
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "[%04d-%02d-%02d %02d-%02d-%02d]", t.year, t.month, t.day,
                t.hour, t.minute, t.second);
  return std::string(stamp) + SuffixFor(code);
}

void WriteDataLog(const UpgradeState& state, int code, std::span<const uint8_t> buffer) {
  if (state.readWriteLog == 0)
    return;
  WriteDataLog(state, code, buffer, CurrentLogTime());
}

void WriteDataLog(const UpgradeState& state, int code, std::span<const uint8_t> buffer,
                  const LogTime& time) {
  if (state.readWriteLog == 0)
    return;
  std::string folder = state.programDir;
  if (!folder.empty() && folder.back() != '/' && folder.back() != '\\')
    folder += '/';
  folder += "ReadWriteLog";
  std::error_code ec;
  std::filesystem::create_directory(PathFromUtf8(folder), ec);  // exists or not: go on

  const std::string path = folder + "/" + DataLogFileName(time, code);
  std::ofstream out(PathFromUtf8(path), std::ios::binary | std::ios::trunc);
  if (!out)
    return;
  const size_t n = std::min<size_t>(state.radioDataSize, buffer.size());
  out.write(reinterpret_cast<const char*>(buffer.data()), static_cast<std::streamsize>(n));
  // A failed write is not reported: the log never affects the job.
}

}  // namespace fw
