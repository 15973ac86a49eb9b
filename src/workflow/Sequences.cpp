// The full and the chip-only sequences of a job. Between steps they wait fixed times for
// the radio to restart, and they retry the steps that may meet a radio that is not ready
// yet: reading and the chip update (in the chip-only sequence also after any first
// failure). Each step's result decides the row and the box that follow.

#include "workflow/Sequences.h"

#include <memory>
#include <span>
#include <string>

#include "config/Installation.h"
#include "core/MessageTexts.h"
#include "core/Status.h"
#include "firmware/MainFirmware.h"
#include "firmware/QueryFirmwareVersion.h"
#include "firmware/UpdateFirmwareChip.h"
#include "platform/Clock.h"
#include "radiodata/ConvertRadioData.h"
#include "radiodata/DataLog.h"
#include "radiodata/LoadTemplate.h"
#include "radiodata/RadioInfo.h"
#include "radiodata/ReadRadio.h"
#include "radiodata/ReadRadioInfo.h"
#include "radiodata/TemplateFile.h"
#include "radiodata/WriteRadio.h"
#include "serial/UsbAdapter.h"
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

constexpr const char* kCheckingRadioText = "Checking the radio...";
constexpr const char* kRadioMatchesText = "The radio matches the saved settings.";
constexpr const char* kOtherModelText =
    "This radio is not the radio whose settings were saved: nothing was written.";
constexpr const char* kOtherRadioText =
    "This radio is another radio of the same model: nothing was written.";
constexpr const char* kWriteBackRefusedText = "Write back refused: another radio.";

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

// One pass of the chip update. A pass broken off while the chip was being programmed is a
// communication error, said at once (unless the job is being stopped).
ChipResult UpdateChipOnce(UpgradeState& state) {
  ++state.chipAttempts;
  const ChipResult r = StepsOf(state).updateFirmwareChip(state);
  if (r == ChipResult::Interrupted && !state.job.clock.StopRequested()) {
    state.view->MessageBox(text::kCommError, MessageIcon::None, MessageButtons::Ok,
                           LineTroubleText(state.job.devicePath));
  }
  return r;
}

// The chip-update endings give back every job control except the vocoder combo.
void RestoreAfterChip(UpgradeState& state) {
  for (Control c : {Control::Port, Control::Upgrade, Control::HexFile, Control::UpdateChip}) {
    state.view->EnableControl(c, true);
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

// Tells the user why the radio was refused (the reader has given up the link).
void ShowReadRefusal(UpgradeState& state, ReadResult r) {
  switch (r) {
    case ReadResult::UnknownModel:
      state.view->MessageBox(kModelErrorText, MessageIcon::Exclamation);
      break;
    case ReadResult::AreaRefused:
      state.view->MessageBox(kAreaErrorText, MessageIcon::Exclamation);
      break;
    case ReadResult::BadModelId:
      state.view->MessageBox(kModelErrorText, MessageIcon::Exclamation, MessageButtons::Ok,
                             "The radio reports the model identifier \"" +
                                 ModelIdForMessage(state.radioModelId) +
                                 "\", which is not a model identifier (letters, digits, '-' "
                                 "and '_' only).");
      break;
    default:
      break;  // a failed block posted its communication error; a new family said so
  }
}

// The read loop: true when the radio was read (resultOk is 1); otherwise the job has
// ended with its row.
bool ReadWithRetries(UpgradeState& state) {
  ReadResult r = ReadResult::NotReady;
  for (int attempt = 1; attempt <= kReadAttempts; ++attempt) {
    ++state.readAttempts;
    r = StepsOf(state).readRadio(state);
    if (r == ReadResult::Done) {
      break;
    }
    if (r != ReadResult::NotReady) {
      ShowReadRefusal(state, r);
      EndWithRow(state, r == ReadResult::NewFamily ? kUnknownFirmwareText : kReadFailed);
      return false;
    }
    if (attempt == kReadAttempts || state.job.clock.StopRequested()) {
      break;
    }
    state.job.clock.Sleep(kBetweenReadsMs);
  }
  if (r != ReadResult::Done) {
    EndWithRow(state, kReadFailed);
    return false;
  }
  return true;
}

// Template look-up and conversion; true when templateData holds the data to write.
bool LoadAndConvert(UpgradeState& state) {
  const std::string path = TemplatePathFor(state);
  state.familyOverride = 0;
  StepResult loaded;
  if (path.empty()) {
    // The identifier cannot name a file (the reader refuses such radios before this).
    loaded = StepResult::Failed("The model identifier \"" + ModelIdForMessage(state.radioModelId) +
                                "\" cannot name a template file.");
  } else {
    loaded = StepsOf(state).loadTemplate(state, path);
  }
  state.resultOk = loaded.ok ? 1 : 0;
  if (!loaded.ok) {
    state.view->MessageBox(kTemplateFailed, MessageIcon::Exclamation, MessageButtons::Ok,
                           loaded.reason.empty() ? path : loaded.reason);
    EndWithRow(state, kTemplateFailed);
    return false;
  }
  AddRow(state, kMarkDone, kTemplateFound);
  SetStatusText(state, kTemplateFound);
  LogData(state, 2, state.templateData);
  state.resultOk = 0;

  const StepResult converted = StepsOf(state).convertRadioData(state);
  if (!converted.ok) {
    // Name the library, the entry point or the size that stopped the conversion.
    state.view->MessageBox(kConvertFailed, MessageIcon::Exclamation, MessageButtons::Ok,
                           converted.reason);
    EndWithRow(state, kConvertFailed);
    return false;
  }
  AddRow(state, kMarkDone, kConvertCompleted);
  SetStatusText(state, kConvertCompleted);
  LogData(state, 3, state.templateData);
  return true;
}

// Tells the user why the write did not start (a write broken off has posted its
// communication error already).
void ShowWriteFailure(UpgradeState& state, WriteResult r) {
  if (r == WriteResult::NothingToWrite) {
    state.view->MessageBox(kWriteFailed, MessageIcon::Exclamation, MessageButtons::Ok,
                           "The data to write holds " + std::to_string(state.templateData.size()) +
                               " bytes, fewer than the " +
                               std::to_string(state.radioDataSize.load()) +
                               " bytes of the radio data.");
  } else if (r == WriteResult::PortFailed) {
    state.view->MessageBox(kOpenPortFailedText, MessageIcon::None, MessageButtons::Ok,
                           LineTroubleText(state.job.devicePath));
  } else if (r == WriteResult::NotBackedUp) {
    state.view->MessageBox(kBackupFailedText, MessageIcon::Error, MessageButtons::Ok,
                           state.backupProblem +
                               ". Free the journal's disk or choose another journal (--journal "
                               "PATH, or \"Journal\" in the settings file); --no-backup (or "
                               "Backup=0) writes the radio without a backup.");
  }
}

// The write step with the rows around it; false when it failed (the job has ended).
bool WriteWithRows(UpgradeState& state) {
  state.resultOk = 0;
  AddRow(state, kMarkBusy, text::kWritingRadio);
  SetStatusText(state, text::kWritingRadio);
  if (const WriteResult written = StepsOf(state).writeRadio(state); written != WriteResult::Done) {
    ShowWriteFailure(state, written);
    EndWithRow(state, kWriteFailed);
    return false;
  }
  return true;
}

std::string Identity(const std::array<uint8_t, 32>& id) {
  return "\"" + IdentityBlockText(id) + "\"";
}

// Puts the saved settings of `plan` in place of converted data: the write then writes them
// with their own font decision. False (with a box) when they do not fit this radio's data.
bool TakeSavedSettings(UpgradeState& state, const WriteBackPlan& plan, uint32_t expectedSize) {
  if (plan.data.size() < kLanguageOffset + 2 || plan.data.size() > UpgradeState::kImageBufferSize ||
      (expectedSize != 0 && plan.data.size() != expectedSize)) {
    state.view->MessageBox(
        kWriteFailed, MessageIcon::Exclamation, MessageButtons::Ok,
        "The saved settings hold " + std::to_string(plan.data.size()) + " bytes" +
            (expectedSize != 0 ? "; this radio's data has " + std::to_string(expectedSize)
                               : std::string(", not a radio's data")) +
            " bytes.");
    return false;
  }
  state.templateData = plan.data;
  state.radioDataSize = static_cast<uint32_t>(plan.data.size());
  state.writeDataSize = static_cast<uint32_t>(plan.data.size());
  state.fixedFont = plan.font;
  return true;
}

constexpr const char* kUnfinishedWriteText =
    "This radio's last upgrade broke off while its settings were written. They are saved as "
    "job %.";
constexpr const char* kUnfinishedWriteQuestion = " Write them back now?";
constexpr const char* kUnfinishedWriteDetail =
    "What the radio holds now may be half-written: it is not converted. Cancel ends the job; "
    "the settings stay saved.";

std::string WithJob(const char* text, int64_t job) {
  std::string s = text;
  const size_t at = s.find('%');
  return s.replace(at, 1, std::to_string(job));
}

// After the read: a radio whose last write broke off gets its saved settings back instead
// of a conversion of what it holds now. Returns false when the job has ended; `replaced`
// tells whether the saved settings are now the data to write.
bool CheckUnfinishedWrite(UpgradeState& state, bool& replaced) {
  replaced = false;
  if (state.recorder == nullptr) {
    return true;
  }
  const std::optional<int64_t> pending = state.recorder->UnfinishedWrite(state);
  if (!pending) {
    return true;
  }
  state.resultOk = 0;  // the read succeeded; the job has not, until the write has
  const std::string text = WithJob(kUnfinishedWriteText, *pending);
  const std::string row =
      WithJob("The radio's settings are saved as job %; they were not written back.", *pending);
  if (!state.askTechnician) {
    state.view->MessageBox(text, MessageIcon::Exclamation, MessageButtons::Ok,
                           WriteBackAdviceText(*pending, state.job.portNumber));
    EndWithRow(state, row.c_str());
    return false;
  }
  if (state.view->MessageBox(text + kUnfinishedWriteQuestion, MessageIcon::Question,
                             MessageButtons::OkCancel,
                             kUnfinishedWriteDetail) != MessageResult::Ok ||
      state.job.clock.StopRequested()) {
    EndWithRow(state, row.c_str());
    return false;
  }
  std::string problem;
  const std::optional<WriteBackPlan> plan = state.recorder->LoadWriteBack(*pending, problem);
  if (!plan) {
    state.view->MessageBox(kWriteFailed, MessageIcon::Exclamation, MessageButtons::Ok, problem);
    EndWithRow(state, kWriteFailed);
    return false;
  }
  if (!TakeSavedSettings(state, *plan, state.radioDataSize.load())) {
    EndWithRow(state, kWriteFailed);
    return false;
  }
  replaced = true;
  return true;
}

// The chip update at the end of a full job, after the write.
void UpdateChipAfterWrite(UpgradeState& state) {
  AddRow(state, kMarkBusy, text::kRestarting);
  SetStatusText(state, text::kRestarting);
  state.resultOk = 0;
  state.job.clock.Sleep(kRestartAfterWriteMs);
  SetLastRow(state, kMarkBusy, kUpdatingChip);

  ChipResult r = UpdateChipOnce(state);
  if (r == ChipResult::NotReady) {
    state.job.clock.Sleep(kChipRetryWaitMs);
    for (int i = 0; i < kFullChipRetries && !state.job.clock.StopRequested(); ++i) {
      r = UpdateChipOnce(state);
      if (r == ChipResult::Updated) {
        break;
      }
      if (r != ChipResult::NotReady) {
        RestoreAfterChip(state);
        SetLastRow(state, kMarkFailed, kChipFailedText);
        return;
      }
      state.job.clock.Sleep(kBetweenChipAttemptsMs);
    }
  }
  if (r != ChipResult::Updated) {
    SetLastRow(state, kMarkFailed, kChipFailedText);
  }
  RestoreControls(state);
}

}  // namespace

SequenceSteps SequenceSteps::Real() {
  SequenceSteps s;
  s.transferMainFirmware = TransferMainFirmware;
  s.readRadio = ReadRadio;
  s.loadTemplate = [](UpgradeState& state, const std::string& path) {
    // The data was read at the size the transfer chose for the radio's processor; a
    // template of another length would write (and choose the chip file for) another radio.
    return LoadTemplate(state, path, state.radioDataSize.load());
  };
  s.convertRadioData = ConvertRadioData;
  s.writeRadio = WriteRadio;
  s.updateFirmwareChip = UpdateFirmwareChip;
  return s;
}

const SequenceSteps& StepsOf(const UpgradeState& state) {
  return state.job.steps != nullptr ? *state.job.steps : RealSteps();
}

void SetSequenceSteps(UpgradeState& state, const SequenceSteps* steps) {
  state.job.steps = steps != nullptr ? std::make_shared<const SequenceSteps>(*steps) : nullptr;
}

void RunChipOnlySequence(UpgradeState& state) {
  AddRow(state, kMarkBusy, kUpdatingChip);
  ChipResult r = UpdateChipOnce(state);
  if (r != ChipResult::Updated) {
    state.job.clock.Sleep(kChipRetryWaitMs);
    for (int i = 0; i < kChipOnlyRetries && !state.job.clock.StopRequested(); ++i) {
      r = UpdateChipOnce(state);
      if (r == ChipResult::Updated || r != ChipResult::NotReady) {
        break;
      }
      state.job.clock.Sleep(kBetweenChipAttemptsMs);
    }
  }
  RestoreAfterChip(state);
  if (r != ChipResult::Updated) {
    // A failure, or a chip that never became ready: both end with the failure row.
    SetLastRow(state, kMarkFailed, kChipFailedText);
  }
}

void RunWriteBackSequence(UpgradeState& state) {
  const WriteBackPlan& plan = *state.writeBack;
  AddRow(state, kMarkBusy, kCheckingRadioText);
  SetStatusText(state, kCheckingRadioText);
  state.resultOk = 0;
  // The radio runs its firmware: its information block tells which radio it is.
  state.radioLink.Disconnect();
  if (!state.radioLink.Connect(state.job.portNumber, state.job.devicePath)) {
    state.radioLink.Disconnect();
    state.view->MessageBox(kOpenPortFailedText, MessageIcon::None, MessageButtons::Ok,
                           LineTroubleText(state.job.devicePath));
    EndWithRow(state, kWriteFailed);
    return;
  }
  state.job.clock.Sleep(200);
  if (!ReadRadioInfo(state, 8)) {
    state.view->PostCommError(CommError::ReadBlock);
    EndWithRow(state, kWriteFailed);
    return;
  }
  state.radioLink.EndAccess(0);
  state.radioLink.Disconnect();
  const std::string here = "The radio on COM" + std::to_string(state.job.portNumber) +
                           ": identity " + Identity(state.radioIdentity) + ", model identifier \"" +
                           ModelIdForMessage(state.radioModelId) + "\"";
  if (plan.sourceJob != 0) {
    const std::string saved = "job " + std::to_string(plan.sourceJob) +
                              " was saved from: identity " + Identity(plan.identity) +
                              ", model identifier \"" + ModelIdForMessage(plan.modelId) + "\"";
    if (state.radioIdentity != plan.identity || state.radioModelId != plan.modelId) {
      state.view->MessageBox(kOtherModelText, MessageIcon::Exclamation, MessageButtons::Ok,
                             here + "; " + saved + ".");
      EndWithRow(state, kWriteBackRefusedText);
      return;
    }
    const std::string key =
        RadioKey(state.radioIdentity, state.radioModelId, state.radioInfoBlock.data());
    if (key != plan.radioKey && !plan.allowOtherRadio) {
      state.view->MessageBox(kOtherRadioText, MessageIcon::Exclamation, MessageButtons::Ok,
                             here + " is another radio of the same model; " + saved +
                                 ". --restore-to-other-radio writes it all the same.");
      EndWithRow(state, kWriteBackRefusedText);
      return;
    }
  } else if (!state.installation->modelTable.FindByIdentity(state.radioIdentity).has_value() ||
             !IsUsableModelId(state.radioModelId)) {
    state.view->MessageBox(kModelErrorText, MessageIcon::Exclamation, MessageButtons::Ok,
                           here + ".");
    EndWithRow(state, kWriteBackRefusedText);
    return;
  }
  if (!TakeSavedSettings(state, plan, 0)) {
    EndWithRow(state, kWriteFailed);
    return;
  }
  SetLastRow(state, kMarkDone, kRadioMatchesText);
  WriteWithRows(state);
  if (state.resultOk == 1) {
    RestoreControls(state);
  }
}

void RunFullSequence(UpgradeState& state) {
  AddRow(state, kMarkBusy, text::kConnecting);
  if (StepsOf(state).transferMainFirmware(state) != TransferResult::Done) {
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

  bool savedSettings = false;
  if (!CheckUnfinishedWrite(state, savedSettings)) {
    return;
  }
  if (!savedSettings && !LoadAndConvert(state)) {
    return;
  }
  state.job.clock.Sleep(kBeforeWriteMs);
  if (!WriteWithRows(state)) {
    return;
  }
  if (state.updateChip != 0) {
    UpdateChipAfterWrite(state);
    return;
  }
  RestoreControls(state);
}

}  // namespace fw
