#include "firmware/UpdateFirmwareChip.h"

#include "config/Installation.h"
#include "config/Settings.h"
#include "core/MessageTexts.h"
#include "core/Status.h"
#include "core/WritePhase.h"
#include "firmware/ChipExchange.h"
#include "firmware/ChipFrames.h"
#include "firmware/HexLoader.h"
#include "firmware/MainFirmware.h"

namespace fw {
namespace {

constexpr const char* kConnectFailedText =
    "Failed to connect radio. Please check all connections and port settings!";
constexpr const char* kChipCompletedText = "Update the firmware chip completed!";
constexpr const char* kAllCompletedText = "All upgrade completed successfully!";
constexpr const char* kHexUnreadableText =
    "Open the firmware chip hex file failed! Please check the hex file settings.";
constexpr const char* kNoChipDataText =
    "The firmware chip hex file holds no data. Please choose a hex file!";
constexpr const char* kBrokenChipDataText =
    "The firmware chip hex file ends in an incomplete record. Please choose another hex file!";

constexpr int kRetries = 3;

// Why the loaded records cannot be programmed, or nullptr when they can. The chip is about
// to be erased: with no data record it would be left empty, and a data record without its
// end mark would be cut short (the loader refuses such a file; this guards the table itself).
const char* RecordTableProblem(const UpgradeState& state) {
  bool anyData = false;
  for (int i = 0; i < HexRecords(state).Count(); ++i) {
    const uint8_t* slot = HexRecords(state).Slot(i).data();
    const uint8_t n = slot[0];
    if (n == 0) {
      continue;
    }
    if (slot[4 + n] != kChipEndMark) {
      return kBrokenChipDataText;
    }
    anyData = true;
  }
  return anyData ? nullptr : kNoChipDataText;
}

// Switches to the hex file that the chip's enter reply asks for and loads it. False when
// that file cannot be read: the table still holds the records of another file, meant for a
// chip with the other vocoder, which must not be programmed into this one.
bool SwitchToChipsHexFile(UpgradeState& state, ChipVocoder vocoder) {
  const bool large = state.radioDataSize >= 0x1F000;
  if (vocoder == ChipVocoder::kAmbe) {
    state.hexFilePath =
        large ? state.installation->chipHexPath : state.installation->smallChipHexPath;
  } else if (vocoder == ChipVocoder::kSelp) {
    state.hexFilePath =
        large ? state.installation->chipHexPathSelp : state.installation->smallChipHexPathSelp;
  } else {
    return true;  // the chip did not say: keep the loaded file
  }
  return LoadHexFile(state);
}

// A data frame or a closing step went unanswered: the update broke off while the chip was
// being programmed.
ChipResult CommunicationFailure(UpgradeState& state) {
  state.downloadPort.Close();
  return ChipResult::Interrupted;
}

void AddProgress(UpgradeState& state, int bytes) {
  state.bytesDone += bytes;
  state.view->PostProgress(Phase::Chip, state.bytesDone);
}

}  // namespace

ChipResult UpdateFirmwareChip(UpgradeState& state) {
  DownloadPort& port = state.downloadPort;
  if (OpenDownloadPort(state, kTwoStopBits) != 1) {
    SetLastRow(state, kMarkBusy, kConnectFailedText);
    return ChipResult::PortFailed;
  }
  if (state.chipOnly) {
    for (ProgressBar bar : {ProgressBar::Main, ProgressBar::Second}) {
      state.view->SetProgressRange(bar, 0, 100);
      state.view->SetProgressPos(bar, 0);
    }
  }
  SetStatusText(state, "Radio is in the upgrading mode, about 5 seconds...");

  uint8_t reply[kChipReplyBufferSize] = {0};
  uint32_t received = 0;
  if (!ChipExchange(port, kChipEnter, kChipEnterRequest, sizeof kChipEnterRequest, reply,
                    kChipEnterReplyLength, 2000, kRetries, &received)) {
    port.Close();
    return ChipResult::NotReady;
  }
  // Nothing is erased unless the records to program are there and meant for this chip.
  const bool switched =
      SwitchToChipsHexFile(state, ChipVocoderFromText(ChipEnterText(reply, received)));
  // A refused file (a bad record, no end record, too many records) is named with its line.
  if (const HexRefusal* refusal = HexFileRefusal(state)) {
    port.Close();
    state.view->MessageBox(HexRefusalText(*refusal), MessageIcon::Exclamation, MessageButtons::Ok,
                           state.hexFilePath);
    return ChipResult::Failed;
  }
  if (!switched) {
    port.Close();
    state.view->MessageBox(kHexUnreadableText, MessageIcon::Exclamation, MessageButtons::Ok,
                           state.hexFilePath);
    return ChipResult::Failed;
  }
  if (const char* problem = RecordTableProblem(state)) {
    port.Close();
    state.view->MessageBox(problem, MessageIcon::Exclamation, MessageButtons::Ok,
                           state.hexFilePath);
    return ChipResult::Failed;
  }
  state.job.clock.Sleep(5000);

  if (!ChipExchange(port, kChipHandshake, kChipHandshakeRequest, sizeof kChipHandshakeRequest,
                    reply, sizeof kChipHandshakeReply, 10, kRetries)) {
    port.Close();
    return ChipResult::NotReady;
  }
  state.job.clock.Sleep(500);
  SetStatusText(state, "Erasing flash space, about 5 seconds...");
  RadioWriteScope writing(state.writingRadio);  // from the erase to the leave command
  if (!ChipExchange(port, kChipErase, kChipEraseRequest, sizeof kChipEraseRequest, reply,
                    sizeof kChipEraseReply, 5000, kRetries)) {
    port.Close();
    return ChipResult::Failed;
  }
  state.job.clock.Sleep(500);
  AddProgress(state, 22);
  SetStatusText(state, "Updating the firmware chip, please wait...");

  uint8_t page = 0;
  uint8_t frame[kChipMaxDataFrame];
  for (int i = 0; i < HexRecords(state).Count(); ++i) {
    const uint8_t* slot = HexRecords(state).Slot(i).data();
    const uint8_t n = slot[0];
    if (n == 0) {
      page = slot[2];  // a record without data names the page of the records after it
      continue;
    }
    const uint32_t length = BuildChipDataFrame(page, slot[1], slot[2], slot + 4, n, frame);
    if (!ChipExchange(port, kChipData, frame, length, reply, sizeof kChipDataReply, 10, kRetries)) {
      return CommunicationFailure(state);
    }
    AddProgress(state, n);
  }

  if (!ChipExchange(port, kChipFinish, kChipFinishRequest, sizeof kChipFinishRequest, reply,
                    sizeof kChipFinishReply, 10, kRetries)) {
    return CommunicationFailure(state);
  }
  if (!ChipExchange(port, kChipConfirm, kChipConfirmRequest, sizeof kChipConfirmRequest, reply,
                    sizeof kChipConfirmReply, 10, kRetries)) {
    return CommunicationFailure(state);
  }
  state.job.clock.Sleep(500);
  if (!ChipExchange(port, kChipLeave, kChipLeaveRequest, sizeof kChipLeaveRequest, reply,
                    sizeof kChipLeaveReply, 10, kRetries)) {
    return CommunicationFailure(state);
  }
  writing.End();
  AddProgress(state, 30);
  port.Close();
  state.resultOk = 1;
  SetLastRow(state, kMarkDone, kChipCompletedText);

  state.job.clock.Sleep(2000);
  if (state.chipOnly) {
    state.view->MessageBox(kChipCompletedText, MessageIcon::None);
    return ChipResult::Updated;
  }
  SetStatusText(state, kAllCompletedText);
  AddRow(state, kMarkDone, kAllCompletedText);
  if (state.installation->readWriteLog == 5) {
    RecordCompletedJob(state);
  } else {
    state.view->MessageBox(kAllCompletedText, MessageIcon::None);
  }
  return ChipResult::Updated;
}

}  // namespace fw
