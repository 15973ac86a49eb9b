#pragma once
// Data logs: raw copies of the radio data at the three points of a job where it changes
// hands, in programDir + "ReadWriteLog", named after the local time of writing:
//   code 1  "[YYYY-MM-DD hh-mm-ss]ReadLog.dat"     the data as read from the radio
//   code 2  "[YYYY-MM-DD hh-mm-ss]DefDataLog.dat"  the template as loaded
//   code 3  "[YYYY-MM-DD hh-mm-ss]WriteLog.dat"    the converted data about to be written
// (any other code is written as code 3). Nothing is written when "READWRITELOG" is 0.
// Every failure is silent and does not affect the job.

#include <cstdint>
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

// "[2021-05-04 09-07-03]ReadLog.dat" for code 1 at that time.
std::string DataLogFileName(const LogTime& time, int code);

// Writes radioDataSize bytes from the start of `buffer` (never more than the buffer
// holds) to a new log file; an existing file of the same name is replaced.
void WriteDataLog(const UpgradeState& state, int code, std::span<const uint8_t> buffer);
void WriteDataLog(const UpgradeState& state, int code, std::span<const uint8_t> buffer,
                  const LogTime& time);

}  // namespace fw
