#pragma once
// The system's own text for a Windows error code (GetLastError()), in UTF-8 without its line
// end; empty when the system has none. Built on Windows only.

#include <cstdint>
#include <string>

namespace fw {

std::string SystemErrorMessage(uint32_t code);

}  // namespace fw
