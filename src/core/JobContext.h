#pragma once
// What belongs to one job and to no other: its clock and stop signal, the port it talks
// to, and the steps its sequences call. Held by the job's record; StartJob fills it in.

#include <memory>
#include <string>

#include "platform/JobClock.h"

namespace fw {

struct SequenceSteps;  // workflow/Sequences.h

struct JobContext {
  // The job's clock (the real one unless chosen otherwise) and its stop signal.
  JobClock clock;
  // The COM number the job opens and the device it stands for (from the port map when the
  // job started).
  int portNumber = 0;
  std::string devicePath;
  // The steps the job's sequences call; empty: the system's own. Tests put steps here
  // that play a radio answering late or never.
  std::shared_ptr<const SequenceSteps> steps;
};

}  // namespace fw
