#include "radiodata/ReadRadio.h"

#include "config/Installation.h"
#include "core/Status.h"
#include "firmware/QueryFirmwareVersion.h"
#include "radiodata/ReadRadioInfo.h"
#include "radiodata/TemplateFile.h"

namespace fw {
namespace {

constexpr uint32_t kBeforeInfoMs = 200;
constexpr uint32_t kBeforeBlocksMs = 500;
constexpr uint8_t kInfoAreaRead = 8;
constexpr uint8_t kInfoAreaReadKx2x = 0;

bool ConnectAfresh(UpgradeState& state) {
  state.radioLink.Disconnect();
  if (!state.radioLink.Connect(state.job.portNumber, state.job.devicePath)) {
    state.radioLink.Disconnect();
    return false;
  }
  return true;
}

// The information block for reading. A "KX2X" radio is asked for area 0 first; when that
// fails the link has been given up, so it is connected again before area 8 is asked for.
bool ReadInformation(UpgradeState& state) {
  if (state.radioModel.find("KX2X") != std::string::npos) {
    if (ReadRadioInfo(state, kInfoAreaReadKx2x)) {
      return true;
    }
    if (!ConnectAfresh(state)) {
      return false;
    }
    state.job.clock.Sleep(kBeforeInfoMs);
  }
  return ReadRadioInfo(state, kInfoAreaRead);
}

// One block; on failure the link is given up and the failure posted.
bool ReadOneBlock(UpgradeState& state, uint32_t offset, uint16_t n) {
  if (!state.radioLink.ReadBlock(kMemorySelector, 0, offset, n, state.radioData + offset)) {
    AbandonLink(state);
    state.view->PostCommError(CommError::ReadBlock);
    return false;
  }
  state.bytesDone += n;
  state.view->PostProgress(Phase::Read, state.bytesDone.load());
  return true;
}

}  // namespace

ReadResult ReadRadio(UpgradeState& state) {
  if (!ConnectAfresh(state)) {
    return ReadResult::NotReady;
  }
  SetStatusText(state, kReadingText);

  if (state.familyOverride == 0 && state.radioVersion < kNewFamilyVersion) {
    if (!QueryFirmwareVersion(state.radioLink, *state.view, &state.queriedFirmwareVersion)) {
      state.familyOverride = 2;
      return ReadResult::NewFamily;
    }
  }
  state.job.clock.Sleep(kBeforeInfoMs);

  if (!ReadInformation(state)) {
    return ReadResult::NotReady;
  }
  if (!state.installation->modelTable.FindByIdentity(state.radioIdentity).has_value()) {
    AbandonLink(state);
    return ReadResult::UnknownModel;
  }
  if (!state.installation->modelTable.IsAreaAccepted(state.radioAreaCode)) {
    AbandonLink(state);
    return ReadResult::AreaRefused;
  }
  // The identifier names the radio's template file: it must not lead out of the template
  // folder, nor name a file with characters no model identifier has.
  if (!IsUsableModelId(state.radioModelId)) {
    AbandonLink(state);
    return ReadResult::BadModelId;
  }

  const uint32_t size = state.radioDataSize.load();
  // The size may have grown since start-up (a template names a larger image): the whole
  // image must fit the buffer.
  if (state.radioDataBuffer.size() < size) {
    state.radioDataBuffer.resize(size, 0);
  }
  state.radioData = state.radioDataBuffer.data();
  state.job.clock.Sleep(kBeforeBlocksMs);

  const uint32_t blocks = size / kBlockSize;
  for (uint32_t i = 0; i < blocks; ++i) {
    if (!ReadOneBlock(state, i * kBlockSize, kBlockSize)) {
      return ReadResult::BlockFailed;
    }
  }
  if (size % kBlockSize != 0) {
    if (!ReadOneBlock(state, blocks * kBlockSize, static_cast<uint16_t>(size % kBlockSize))) {
      return ReadResult::BlockFailed;
    }
  }

  const bool ended = state.radioLink.EndAccess(0);
  state.radioLink.Disconnect();
  if (!ended) {
    state.view->PostCommError(CommError::ReadEnd);
  }
  state.resultOk = 1;
  return ReadResult::Done;
}

}  // namespace fw
