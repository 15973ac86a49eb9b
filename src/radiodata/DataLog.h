#pragma once
// Data logs: raw copies of the radio data at the three points of a job where it changes
// hands, in programDir + "ReadWriteLog", named after the local time of writing:
//   code 1  "[YYYY-MM-DD hh-mm-ss]ReadLog.dat"     the data as read from the radio
//   code 2  "[YYYY-MM-DD hh-mm-ss]DefDataLog.dat"  the template as loaded
//   code 3  "[YYYY-MM-DD hh-mm-ss]WriteLog.dat"    the converted data about to be written
// (any other code is written as code 3). Nothing is written when "READWRITELOG" is 0.
// A job that carries a log tag (its port, when several radios are upgraded at once) puts
// it before the kind: "[YYYY-MM-DD hh-mm-ss]COM3-ReadLog.dat".
//
// A log never replaces another: a second log of the same code in the same second is named
// "[...]ReadLog-2.dat", then "-3" and so on. A log is written whole or not at all: the
// bytes go to a temporary file in the folder, which takes the log's name only once they
// are all on disk. A log that cannot be written is reported to the caller, which says so
// in a row: the read log is the only copy of what the radio held.

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "core/UpgradeState.h"

namespace fw {

struct LogTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// The local time now, or what the installed source says (for tests).
LogTime CurrentLogTime();
using LogTimeSource = LogTime (*)();
// Installs the time source used by WriteDataLog; nullptr restores the local clock.
void SetLogTimeSource(LogTimeSource source);

// "[2021-05-04 09-07-03]ReadLog.dat" for code 1 at that time; with the tag "COM3",
// "[2021-05-04 09-07-03]COM3-ReadLog.dat".
std::string DataLogFileName(const LogTime& time, int code, const std::string& tag = "");

struct DataLogResult {
  bool written = false;  // false also when logs are off ("READWRITELOG" 0)
  std::string path;      // the log written, or the one that could not be
  std::string problem;   // why it could not be written; empty when written or off
};

// Writes radioDataSize bytes from the start of `buffer` (never more than the buffer
// holds) to a new log file.
DataLogResult WriteDataLog(const UpgradeState& state, int code, std::span<const uint8_t> buffer);
DataLogResult WriteDataLog(const UpgradeState& state, int code, std::span<const uint8_t> buffer,
                           const LogTime& time);

// The row that tells a log was not written, for the log's code.
std::string DataLogFailureText(int code, const DataLogResult& result);

// The step that writes the bytes of a new log to its temporary file (created by the call,
// which must not exist before). Tests replace it to see a full disk; an empty function
// restores the default. Returns the previous function.
using DataLogWriteFunction =
    std::function<bool(const std::string& path, std::span<const uint8_t> bytes)>;
DataLogWriteFunction SetDataLogWriteFunction(DataLogWriteFunction fn);

}  // namespace fw
