// The full and the chip-only sequences of a job. Between steps they wait fixed times for
// the radio to restart, and they retry the steps that may meet a radio that is not ready
// yet: reading (code 5 or more) and the chip update (code 5 or more; in the chip-only
// sequence any first failure).

#include "workflow/Sequences.h"

#include <memory>
#include <span>
#include <string>

#include "core/Ids.h"
#include "core/MessageTexts.h"
#include "core/Status.h"
#include "firmware/MainFirmware.h"
#include "firmware/QueryFirmwareVersion.h"
#include "firmware/UpdateFirmwareChip.h"
#include "radiodata/ConvertRadioData.h"
#include "radiodata/DataLog.h"
#include "radiodata/LoadTemplate.h"
#include "radiodata/ReadRadio.h"
#include "radiodata/TemplateFile.h"
#include "radiodata/WriteRadio.h"
#include "workflow/Job.h"

namespace fw {
namespace {

constexpr const char* kUpdatingChip = "Updating the firmware chip, please wait...";
constexpr const char* kChipFailedText = "Update the firmware chip failed!";
constexpr const char* kReadFailed = "Read the radio failed!";
constexpr const char* kReadCompleted = "Read the radio completed!";
constexpr const char* kTemplateFailed = "Open the new RCDB file failed!";
constexpr const char* kTemplateFound = "The upgrade data file has been found!";
constexpr const char* kConvertFailed = "Convert RCDB failed!";
constexpr const char* kConvertCompleted = "Convert radio data completed!";
constexpr const char* kWriteFailed = "Write the radio failed!";

constexpr uint32_t kRestartAfterFirmwareMs = 25000;
constexpr uint32_t kBetweenReadsMs = 2000;
constexpr int kReadAttempts = 20;
constexpr uint32_t kBeforeWriteMs = 10000;
constexpr uint32_t kRestartAfterWriteMs = 20000;
constexpr uint32_t kChipRetryWaitMs = 40000;
constexpr uint32_t kBetweenChipAttemptsMs = 3000;
constexpr int kChipOnlyRetries = 10;
constexpr int kFullChipRetries = 15;

const SequenceSteps& RealSteps() {
  static const SequenceSteps steps = SequenceSteps::Real();
  return steps;
}

// The job's own steps, or the system's.
const SequenceSteps& StepsOf(const UpgradeState& state) {
  return state.job.steps != nullptr ? *state.job.steps : RealSteps();
}

// Codes of 5 or more: the radio is not ready yet, try again.
bool NotReady(int code) {
  return code >= 5;
}

// The chip-update endings give back every job control except the vocoder combo.
void RestoreAfterChip(UpgradeState& state) {
  for (int id : {kPortCombo, kUpgradeButton, kHexFileButton, kUpdateChipCheck}) {
    state.view->EnableControl(id, true);
  }
  SetStatusText(state, text::kUsualStatus);
}

// Writes a data log; one that cannot be written is said in a row before the job goes on.
void LogData(UpgradeState& state, int code, std::span<const uint8_t> data) {
  const DataLogResult log = WriteDataLog(state, code, data);
  if (!log.written && !log.problem.empty()) {
    AddWarningRow(state, DataLogFailureText(code, log));
  }
}

void EndWithRow(UpgradeState& state, const char* text) {
  RestoreControls(state);
  SetLastRow(state, kMarkFailed, text);
}

std::span<const uint8_t> RadioDataSpan(const UpgradeState& state) {
  if (state.radioData == nullptr) {
    return {};
  }
  const size_t offset = static_cast<size_t>(state.radioData - state.radioDataBuffer.data());
  return {state.radioData, state.radioDataBuffer.size() - offset};
}

// The read loop: true when the radio was read (resultOk is 1); otherwise the job has
// ended with its row.
bool ReadWithRetries(UpgradeState& state) {
  for (int attempt = 1; attempt <= kReadAttempts; ++attempt) {
    const int r = StepsOf(state).readRadio(state);
    if (r == kReadDone) {
      break;
    }
    if (!NotReady(r)) {
      EndWithRow(state, r == kReadNewFamily ? kUnknownFirmwareText : kReadFailed);
      return false;
    }
    if (attempt == kReadAttempts || state.job.clock.StopRequested()) {
      break;
    }
    state.job.clock.Sleep(kBetweenReadsMs);
  }
  if (state.resultOk == 0) {
    EndWithRow(state, kReadFailed);
    return false;
  }
  return true;
}

// Template look-up and conversion; true when templateData holds the data to write.
bool LoadAndConvert(UpgradeState& state) {
  const std::string path = TemplatePathFor(state);
  state.familyOverride = 0;
  std::string detail;
  if (path.empty()) {
    // The identifier cannot name a file (the reader refuses such radios before this).
    state.resultOk = 0;
    detail = "The model identifier \"" + ModelIdForMessage(state.radioModelId) +
             "\" cannot name a template file.";
  } else {
    state.resultOk = StepsOf(state).loadTemplate(state, path, &detail);
  }
  if (state.resultOk == 0) {
    state.view->MessageBox(kTemplateFailed, MessageIcon::Exclamation, MessageButtons::Ok,
                           detail.empty() ? path : detail);
    EndWithRow(state, kTemplateFailed);
    return false;
  }
  AddRow(state, kMarkDone, kTemplateFound);
  SetStatusText(state, kTemplateFound);
  LogData(state, 2, state.templateData);
  state.resultOk = 0;

  if (StepsOf(state).convertRadioData(state, &detail) == 0) {
    // Name the library, the entry point or the size that stopped the conversion.
    state.view->MessageBox(kConvertFailed, MessageIcon::Exclamation, MessageButtons::Ok, detail);
    EndWithRow(state, kConvertFailed);
    return false;
  }
  AddRow(state, kMarkDone, kConvertCompleted);
  SetStatusText(state, kConvertCompleted);
  LogData(state, 3, state.templateData);
  return true;
}

// The chip update at the end of a full job, after the write.
void UpdateChipAfterWrite(UpgradeState& state) {
  AddRow(state, kMarkBusy, text::kRestarting);
  SetStatusText(state, text::kRestarting);
  state.resultOk = 0;
  state.job.clock.Sleep(kRestartAfterWriteMs);
  SetLastRow(state, kMarkBusy, kUpdatingChip);

  int r = StepsOf(state).updateFirmwareChip(state);
  if (NotReady(r)) {
    state.job.clock.Sleep(kChipRetryWaitMs);
    for (int i = 0; i < kFullChipRetries && !state.job.clock.StopRequested(); ++i) {
      r = StepsOf(state).updateFirmwareChip(state);
      if (r == kChipUpdated) {
        break;
      }
      if (!NotReady(r)) {
        RestoreAfterChip(state);
        SetLastRow(state, kMarkFailed, kChipFailedText);
        return;
      }
      state.job.clock.Sleep(kBetweenChipAttemptsMs);
    }
  }
  if (state.resultOk == 0) {
    SetLastRow(state, kMarkFailed, kChipFailedText);
  }
  RestoreControls(state);
}

}  // namespace

SequenceSteps SequenceSteps::Real() {
  SequenceSteps s;
  s.transferMainFirmware = TransferMainFirmware;
  s.readRadio = ReadRadio;
  s.loadTemplate = [](UpgradeState& state, const std::string& path, std::string* detail) {
    // The data was read at the size the transfer chose for the radio's processor; a
    // template of another length would write (and choose the chip file for) another radio.
    return LoadTemplate(state, path, detail, state.radioDataSize.load());
  };
  s.convertRadioData = [](UpgradeState& state, std::string* detail) {
    return ConvertRadioData(state, detail);
  };
  s.writeRadio = WriteRadio;
  s.updateFirmwareChip = UpdateFirmwareChip;
  return s;
}

void SetSequenceSteps(UpgradeState& state, const SequenceSteps* steps) {
  state.job.steps = steps != nullptr ? std::make_shared<const SequenceSteps>(*steps) : nullptr;
}

void RunChipOnlySequence(UpgradeState& state) {
  AddRow(state, kMarkBusy, kUpdatingChip);
  int r = StepsOf(state).updateFirmwareChip(state);
  if (r != kChipUpdated) {
    state.job.clock.Sleep(kChipRetryWaitMs);
    for (int i = 0; i < kChipOnlyRetries && !state.job.clock.StopRequested(); ++i) {
      r = StepsOf(state).updateFirmwareChip(state);
      if (r == kChipUpdated || !NotReady(r)) {
        break;
      }
      state.job.clock.Sleep(kBetweenChipAttemptsMs);
    }
  }
  RestoreAfterChip(state);
  if (r != kChipUpdated) {
    // A failure, or a chip that never became ready: both end with the failure row.
    SetLastRow(state, kMarkFailed, kChipFailedText);
  }
}

void RunFullSequence(UpgradeState& state) {
  AddRow(state, kMarkBusy, text::kConnecting);
  StepsOf(state).transferMainFirmware(state);
  if (state.resultOk == 0) {
    RestoreControls(state);
    if (state.rowCount >= 1) {
      SetLastRow(state, kMarkFailed, text::kSoftwareFailed);
    }
    return;
  }
  SetLastRow(state, kMarkDone, text::kSoftwareCompleted);
  AddRow(state, kMarkBusy, text::kRestarting);
  state.resultOk = 0;
  state.job.clock.Sleep(kRestartAfterFirmwareMs);
  SetLastRow(state, kMarkBusy, kReadingText);

  if (!ReadWithRetries(state)) {
    return;
  }
  // The status text follows the rows through the steps that post no progress of their
  // own, so that it never names a step that has ended.
  SetLastRow(state, kMarkDone, kReadCompleted);
  SetStatusText(state, kReadCompleted);
  LogData(state, 1, RadioDataSpan(state));

  if (!LoadAndConvert(state)) {
    return;
  }
  state.job.clock.Sleep(kBeforeWriteMs);
  state.resultOk = 0;
  AddRow(state, kMarkBusy, text::kWritingRadio);
  SetStatusText(state, text::kWritingRadio);
  StepsOf(state).writeRadio(state);
  if (state.resultOk == 0) {
    EndWithRow(state, kWriteFailed);
    return;
  }
  if (state.updateChip != 0) {
    UpdateChipAfterWrite(state);
    return;
  }
  RestoreControls(state);
}

}  // namespace fw
