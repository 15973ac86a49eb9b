// Writing a key into an existing profile file of arbitrary bytes: the write either fails and
// leaves the file as it was, or the key then reads back as written.

#include <optional>
#include <string>

#include "FuzzSupport.h"
#include "platform/FileIo.h"
#include "platform/Profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes = fw::fuzz::AsText(data, size);
  const std::string path = fw::fuzz::WriteScratchFile("write.ini", bytes);

  const bool written = fw::ProfileWriteString("Setting", "Port", "12", path);
  if (written) {
    FUZZ_CHECK(fw::ProfileGetString("Setting", "Port", "", path) == "12");
    FUZZ_CHECK(fw::ProfileGetInt("Setting", "Port", 0, path) == 12);
  } else {
    std::optional<std::string> after = fw::ReadWholeFile(path);
    FUZZ_CHECK(after && *after == bytes);
  }
  return 0;
}
