#pragma once
// Loading a shared library (a DLL on Windows) by absolute path and looking up its entry
// points. Libraries are never searched for: a relative path, or a bare file name that
// the system would look up in the current directory or the library search path, is
// refused. Failures leave a readable reason in LastError().

#include <string>

namespace fw {

class SharedLibrary {
 public:
  SharedLibrary() = default;
  ~SharedLibrary();
  SharedLibrary(SharedLibrary&& other) noexcept;
  SharedLibrary& operator=(SharedLibrary&& other) noexcept;
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  // Loads the library at `absolutePath` (UTF-8). Closes a library loaded before.
  bool Open(const std::string& absolutePath);
  bool IsOpen() const { return handle_ != nullptr; }
  const std::string& Path() const { return path_; }
  // The address of the exported symbol `name`, or null (with LastError() set).
  void* Symbol(const std::string& name);
  void Close();
  const std::string& LastError() const { return error_; }

  // The platform's file name for a library called `base`: "mutaris" gives "mutaris.dll"
  // on Windows and "libmutaris.so" elsewhere.
  static std::string FileName(const std::string& base);

 private:
  void* handle_ = nullptr;
  std::string path_;
  std::string error_;
};

}  // namespace fw
