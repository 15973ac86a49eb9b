#include "platform/JobClock.h"

namespace fw {

JobClock& UnownedJobClock() {
  static JobClock clock;
  return clock;
}

}  // namespace fw
