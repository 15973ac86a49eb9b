// The parts of SharedLibrary that are the same on every system: ownership of the handle.
// Loading and symbol lookup are in SharedLibrary_posix.cpp and SharedLibrary_win32.cpp.

#include "platform/SharedLibrary.h"

#include <utility>

namespace fw {

SharedLibrary::~SharedLibrary() {
  Close();
}

SharedLibrary::SharedLibrary(SharedLibrary&& other) noexcept
    : handle_(other.handle_), path_(std::move(other.path_)), error_(std::move(other.error_)) {
  other.handle_ = nullptr;
}

SharedLibrary& SharedLibrary::operator=(SharedLibrary&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    path_ = std::move(other.path_);
    error_ = std::move(other.error_);
    other.handle_ = nullptr;
  }
  return *this;
}

}  // namespace fw
