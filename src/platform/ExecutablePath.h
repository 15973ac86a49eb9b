#pragma once
// The full path of the running program (UTF-8); empty when the system cannot tell.

#include <string>

namespace fw {

std::string ExecutablePath();

}  // namespace fw
