#pragma once
// The framed command link to the radio (connect, information areas, 200-byte blocks).

#include "protocol/LinkPort.h"

namespace fw {

class RadioLink {
 public:
  LinkPort& Port() { return port_; }

 private:
  LinkPort port_;
};

}  // namespace fw
