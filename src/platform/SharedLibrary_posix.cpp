#include <dlfcn.h>

#include <filesystem>

#include "platform/SharedLibrary.h"

namespace fw {

bool SharedLibrary::Open(const std::string& absolutePath) {
  Close();
  path_ = absolutePath;
  if (absolutePath.empty() || !std::filesystem::path(absolutePath).is_absolute()) {
    error_ = "\"" + absolutePath + "\" is not an absolute path; libraries are not searched for";
    return false;
  }
  dlerror();  // clear a stale error
  handle_ = dlopen(absolutePath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* e = dlerror();
    error_ = e ? e : ("cannot load \"" + absolutePath + "\"");
    return false;
  }
  error_.clear();
  return true;
}

void* SharedLibrary::Symbol(const std::string& name) {
  if (!handle_) {
    error_ = "no library is loaded";
    return nullptr;
  }
  dlerror();
  void* sym = dlsym(handle_, name.c_str());
  const char* e = dlerror();
  if (e || !sym) {
    error_ = e ? e : ("\"" + path_ + "\": symbol " + name + " is null");
    return nullptr;
  }
  return sym;
}

void SharedLibrary::Close() {
  if (handle_)
    dlclose(handle_);
  handle_ = nullptr;
}

std::string SharedLibrary::FileName(const std::string& base) {
  return "lib" + base + ".so";
}

}  // namespace fw
