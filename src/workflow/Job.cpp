#include "workflow/Job.h"

#include "config/Installation.h"
#include "config/Settings.h"
#include "core/Ids.h"
#include "core/MessageTexts.h"
#include "core/Status.h"
#include "firmware/MainFirmware.h"
#include "platform/Clock.h"
#include "serial/SelectedPort.h"
#include "workflow/Sequences.h"

namespace fw {
namespace {

constexpr int kJobControls[] = {kPortCombo, kVocoderCombo, kUpgradeButton, kHexFileButton,
                                kUpdateChipCheck};

void RunFirmwareOnly(UpgradeState& state) {
  AddRow(state, kMarkBusy, text::kConnecting);
  TransferMainFirmware(state);
  if (state.resultOk != 0) {
    for (int id : {kPortCombo, kVocoderCombo, kUpgradeButton, kUpdateChipCheck}) {
      state.view->EnableControl(id, true);
    }
    SetStatusText(state, text::kClickUpgrade);
    SetLastRow(state, kMarkDone, text::kSoftwareCompleted);
  } else {
    RestoreControls(state);
    if (state.rowCount >= 2) {
      SetLastRow(state, kMarkFailed, text::kSoftwareFailed);
    }
  }
}

}  // namespace

bool StartJob(UpgradeState& state, const JobInputs& inputs) {
  if (state.jobRunning) {
    return false;
  }
  if (!state.installation->settingsProblem.empty()) {
    // Without its settings the job would pick a port and images by default: touch nothing.
    state.view->MessageBox(kSettingsUnreadableText, MessageIcon::Error, MessageButtons::Ok,
                           state.installation->settingsProblem);
    return false;
  }
  Sleep(300);
  state.chipOnly = inputs.chipOnly ? 1 : 0;
  state.firmwareOnly = inputs.firmwareOnly ? 1 : 0;
  state.updateChip = inputs.updateChip ? 1 : 0;
  state.hexFilePath = inputs.hexFilePath;
  state.wavFilePath = inputs.wavFilePath;
  SetSelectedPortNumber(inputs.portNumber);
  if (state.installation->readWriteLog == 5) {
    state.view->KillTimer(kAutoStartTimer);
  }
  state.resultOk = 0;
  state.view->SetProgressPos(kMainProgress, 0);
  state.view->SetProgressPos(kSecondProgress, 0);
  state.view->DeleteAllRows();
  ClearRows(state);
  state.bytesDone = 0;
  state.view->SetWaitCursor(true);
  for (int id : kJobControls) {
    state.view->EnableControl(id, false);
  }
  // The previous worker has returned from RunJob already; collect it.
  if (state.worker.joinable()) {
    state.worker.join();
  }
  ClearStop();
  state.jobRunning = true;
  state.worker = std::thread([&state] {
    RunJob(state);
    state.jobRunning = false;
  });
  state.view->SetWaitCursor(false);
  return true;
}

void RunJob(UpgradeState& state) {
  const bool chipOnly = state.chipOnly != 0;
  state.resultOk = 0;
  if (chipOnly) {
    RunChipOnlySequence(state);
  } else if (state.firmwareOnly != 0) {
    RunFirmwareOnly(state);
  } else {
    RunFullSequence(state);
  }
  if (StopRequested() && state.resultOk == 0) {
    AppendEndRow(state, kMarkFailed, text::kStoppedByUser);
  }
  FinishRows(state);
}

void RestoreControls(UpgradeState& state) {
  for (int id : kJobControls) {
    state.view->EnableControl(id, true);
  }
  SetStatusText(state, text::kUsualStatus);
}

bool OnTimer(UpgradeState& state, int timerId, const JobInputs& inputs) {
  if (timerId != kAutoStartTimer) {
    return false;
  }
  return StartJob(state, inputs);
}

void ArmAutoStartTimer(UpgradeState& state) {
  if (state.installation->readWriteLog == 5) {
    state.view->SetTimer(kAutoStartTimer, 10000);
  }
}

bool JobRunning(const UpgradeState& state) {
  return state.jobRunning;
}

void JoinJob(UpgradeState& state) {
  if (state.worker.joinable()) {
    state.worker.join();
  }
}

void StopJob() {
  RequestStop();
}

}  // namespace fw
