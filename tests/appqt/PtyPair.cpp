#include "PtyPair.h"

#include <pty.h>
#include <unistd.h>

namespace fw::test {

PtyPair::PtyPair() {
  char name[256] = {};
  if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
    master_ = slave_ = -1;
    return;
  }
  path_ = name;
  // Only the master stays open, so that the slave can be opened exclusively.
  ::close(slave_);
  slave_ = -1;
}

PtyPair::~PtyPair() {
  if (master_ >= 0) {
    ::close(master_);
  }
}

}  // namespace fw::test
