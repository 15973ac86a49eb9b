// Template files (".rcd") from arbitrary bytes, read both from memory and from a stream:
// the two readers must agree, and accepted data must be non-empty, within the bound and
// never larger than the file.

#include <sstream>
#include <string>

#include "FuzzSupport.h"
#include "radiodata/TemplateFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  for (uint32_t bound : {UINT32_MAX, uint32_t{64}}) {
    fw::TemplateParseResult memory = fw::ParseTemplateBytes(bytes, bound);
    if (memory.ok) {
      FUZZ_CHECK(!memory.data.empty());
      FUZZ_CHECK(memory.data.size() <= bound && memory.data.size() < size);
    } else {
      FUZZ_CHECK(!memory.reason.empty());
    }

    std::istringstream in(std::string(fw::fuzz::AsText(data, size)), std::ios::binary);
    fw::StreamSource source(in);
    fw::TemplateParseResult stream = fw::ParseTemplate(source, bound);
    FUZZ_CHECK(stream.ok == memory.ok);
    FUZZ_CHECK(stream.data == memory.data);
  }
  return 0;
}
