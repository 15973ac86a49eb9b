#include "radiodata/DataLog.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>

#include <mutex>

#include "config/Installation.h"
#include "platform/FileIo.h"

#ifdef _WIN32
#include <process.h>
#include <stdio.h>
#else
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace fw {
namespace {

std::atomic<LogTimeSource> g_timeSource{nullptr};
std::atomic<unsigned> g_tempCounter{0};
// Logs of one code within one second: far more than a job writes.
constexpr int kMaxSameSecond = 1000;

int ProcessId() {
#ifdef _WIN32
  return _getpid();
#else
  return static_cast<int>(getpid());
#endif
}

// Creates `path` (which must not exist) and writes `bytes` to it, flushed to the disk.
bool WriteNewFile(const std::string& path, std::span<const uint8_t> bytes) {
#ifndef _WIN32
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    return false;
  }
  size_t done = 0;
  bool ok = true;
  while (done < bytes.size()) {
    ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (w < 0 && errno == EINTR) {
      continue;
    }
    if (w <= 0) {
      ok = false;
      break;
    }
    done += static_cast<size_t>(w);
  }
  ok = ok && fsync(fd) == 0;
  return ::close(fd) == 0 && ok;
#else
  std::ofstream out(PathFromUtf8(path), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.flush();
  return static_cast<bool>(out);
#endif
}

std::mutex g_writeMutex;
DataLogWriteFunction g_write = WriteNewFile;

enum class MoveResult { kMoved, kNameTaken, kFailed };

// Gives the finished temporary file the name `to`, never replacing a file of that name.
MoveResult MoveWithoutReplacing(const std::string& from, const std::string& to) {
#ifndef _WIN32
  // A hard link fails when the name exists; where the file system has no hard links, a
  // rename after a look for the name does (a race with another writer is then possible).
  if (::link(from.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return MoveResult::kMoved;
  }
  if (errno == EEXIST) {
    return MoveResult::kNameTaken;
  }
  if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP && errno != EMLINK &&
      errno != EXDEV) {
    return MoveResult::kFailed;
  }
  if (::access(to.c_str(), F_OK) == 0) {
    return MoveResult::kNameTaken;
  }
  return ::rename(from.c_str(), to.c_str()) == 0 ? MoveResult::kMoved : MoveResult::kFailed;
#else
  // The C library's rename fails on Windows when the target exists.
  std::error_code ec;
  if (std::filesystem::exists(PathFromUtf8(to), ec)) {
    return MoveResult::kNameTaken;
  }
  return _wrename(PathFromUtf8(from).c_str(), PathFromUtf8(to).c_str()) == 0 ? MoveResult::kMoved
                                                                             : MoveResult::kFailed;
#endif
}

// Makes the log's new name durable.
void SyncFolder(const std::string& folder) {
#ifndef _WIN32
  int fd = ::open(folder.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    ::close(fd);
  }
#else
  (void)folder;
#endif
}

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

std::string DataLogFileName(const LogTime& t, int code, const std::string& tag) {
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "[%04d-%02d-%02d %02d-%02d-%02d]", t.year, t.month, t.day,
                t.hour, t.minute, t.second);
  return std::string(stamp) + (tag.empty() ? std::string() : tag + "-") + SuffixFor(code);
}

DataLogResult WriteDataLog(const UpgradeState& state, int code, std::span<const uint8_t> buffer) {
  if (state.installation->readWriteLog == 0)
    return {};
  return WriteDataLog(state, code, buffer, CurrentLogTime());
}

DataLogResult WriteDataLog(const UpgradeState& state, int code, std::span<const uint8_t> buffer,
                           const LogTime& time) {
  DataLogResult result;
  if (state.installation->readWriteLog == 0)
    return result;
  std::string folder = state.installation->programDir;
  if (!folder.empty() && folder.back() != '/' && folder.back() != '\\')
    folder += '/';
  folder += "ReadWriteLog";
  const std::string name = DataLogFileName(time, code, state.dataLogTag);
  result.path = folder + "/" + name;
  std::error_code ec;
  std::filesystem::create_directory(PathFromUtf8(folder), ec);
  if (!std::filesystem::is_directory(PathFromUtf8(folder), ec)) {
    result.problem = "the folder \"" + folder + "\" cannot be created";
    return result;
  }

  const size_t n = std::min<size_t>(state.radioDataSize, buffer.size());
  const std::string temp = folder + "/." + name + ".tmp" + std::to_string(ProcessId()) + "-" +
                           std::to_string(g_tempCounter++);
  DataLogWriteFunction write;
  {
    std::lock_guard<std::mutex> lock(g_writeMutex);
    write = g_write;
  }
  if (!write(temp, buffer.first(n))) {
    std::filesystem::remove(PathFromUtf8(temp), ec);
    result.problem = "\"" + result.path + "\" cannot be written (is the disk full?)";
    return result;
  }
  // The first free name of "[stamp]ReadLog.dat", "[stamp]ReadLog-2.dat", ...
  const std::string stem = name.substr(0, name.size() - 4);  // without ".dat"
  for (int k = 1; k <= kMaxSameSecond; ++k) {
    const std::string path =
        folder + "/" + (k == 1 ? name : stem + "-" + std::to_string(k) + ".dat");
    const MoveResult moved = MoveWithoutReplacing(temp, path);
    if (moved == MoveResult::kMoved) {
      result.written = true;
      result.path = path;
      SyncFolder(folder);
      return result;
    }
    if (moved == MoveResult::kFailed) {
      break;
    }
  }
  std::filesystem::remove(PathFromUtf8(temp), ec);
  result.problem = "\"" + result.path + "\" cannot be given its name";
  return result;
}

std::string DataLogFailureText(int code, const DataLogResult& result) {
  const std::string what = code == 1   ? "The read log (the only copy of the data read from "
                                         "the radio) was not written: "
                           : code == 2 ? "The template log was not written: "
                                       : "The write log was not written: ";
  return what + result.problem;
}

DataLogWriteFunction SetDataLogWriteFunction(DataLogWriteFunction fn) {
  std::lock_guard<std::mutex> lock(g_writeMutex);
  DataLogWriteFunction old = std::move(g_write);
  g_write = fn ? std::move(fn) : DataLogWriteFunction(WriteNewFile);
  return old;
}

}  // namespace fw
