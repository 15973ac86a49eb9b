#pragma once
// A journal record of this process, as a job begins it: a full upgrade of the radio `key`.

#include <string>

#include "journal/Journal.h"

namespace fw::test {

inline JournalJob NewJournalJob(const std::string& key, const std::string& result = "running") {
  JournalJob job;
  job.kind = "full";
  job.result = result;
  job.startedUtc = UtcNow();
  job.host = HostName();
  job.pid = ProcessId();
  job.radioKey = key;
  return job;
}

}  // namespace fw::test
