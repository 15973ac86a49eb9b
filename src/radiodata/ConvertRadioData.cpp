#include "radiodata/ConvertRadioData.h"

#include <map>
#include <memory>
#include <mutex>

#include "config/Installation.h"
#include "platform/SharedLibrary.h"
#include "radiodata/ConverterAbi.h"

namespace fw {
namespace {

// Libraries loaded so far, by absolute path. They are never unloaded: a converter may
// keep state between calls, as it would when linked at start.
std::mutex g_mutex;
// The converter libraries are not known to be re-entrant (and may keep state between calls):
// jobs running at once call them one at a time.
std::mutex g_callMutex;
std::map<std::string, std::unique_ptr<SharedLibrary>>& Loaded() {
  static auto* libs = new std::map<std::string, std::unique_ptr<SharedLibrary>>;
  return *libs;
}

RecastRadioDataFn FindConverter(const std::string& path, const char* symbol, std::string& reason) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto& libs = Loaded();
  auto it = libs.find(path);
  if (it == libs.end()) {
    auto lib = std::make_unique<SharedLibrary>();
    if (!lib->Open(path)) {
      reason = "The converter library \"" + path + "\" could not be loaded: " + lib->LastError();
      return nullptr;
    }
    it = libs.emplace(path, std::move(lib)).first;
  }
  void* sym = it->second->Symbol(symbol);
  if (!sym) {
    reason = "The converter library \"" + path + "\" has no entry point " + symbol + ": " +
             it->second->LastError();
    return nullptr;
  }
  return reinterpret_cast<RecastRadioDataFn>(sym);
}

StepResult Fail(std::string text) {
  return StepResult::Failed(std::move(text));
}

}  // namespace

std::string ConverterLibraryPath(const UpgradeState& state, ConverterKind kind) {
  std::string dir = state.installation->programDir;
  if (!dir.empty() && dir.back() != '/' && dir.back() != '\\')
    dir += '/';
  return dir + SharedLibrary::FileName(ConverterEntryFor(kind).libraryBase);
}

StepResult ConvertRadioData(UpgradeState& state) {
  const uint32_t size = state.radioDataSize;
  const ConverterKind kind = ChooseConverter(size, state.installation->modelList);
  const ConverterEntry entry = ConverterEntryFor(kind);

  // The converter reads and writes `size` bytes of both buffers; never hand it less.
  if (size == 0 || state.templateData.size() < size)
    return Fail("The template data (" + std::to_string(state.templateData.size()) +
                " bytes) does not hold the data size of " + std::to_string(size) + " bytes.");
  const uint8_t* begin = state.radioDataBuffer.data();
  const uint8_t* end = begin + state.radioDataBuffer.size();
  if (!state.radioData || state.radioData < begin || state.radioData > end ||
      static_cast<size_t>(end - state.radioData) < size)
    return Fail("The radio data buffer (" + std::to_string(state.radioDataBuffer.size()) +
                " bytes) does not hold the data size of " + std::to_string(size) + " bytes.");

  std::string reason;
  const std::string path = ConverterLibraryPath(state, kind);
  RecastRadioDataFn fn = FindConverter(path, entry.symbol, reason);
  if (!fn)
    return Fail(reason);

  int result = 0;
  {
    std::lock_guard<std::mutex> lock(g_callMutex);
    result = fn(state.templateData.data(), size, state.radioData, size);
  }
  if (result == 0)
    return Fail(std::string("The converter ") + entry.symbol + " in \"" + path +
                "\" reported that the conversion failed.");
  return StepResult::Done();
}

}  // namespace fw
