#include "workflow/Job.h"

#include "config/Installation.h"
#include "config/Settings.h"
#include "core/MessageTexts.h"
#include "core/Status.h"
#include "firmware/MainFirmware.h"
#include "serial/PortMap.h"
#include "workflow/Sequences.h"

namespace fw {
namespace {

constexpr Control kJobControls[] = {Control::Port, Control::Vocoder, Control::Upgrade,
                                    Control::HexFile, Control::UpdateChip};

void RunFirmwareOnly(UpgradeState& state) {
  AddRow(state, kMarkBusy, text::kConnecting);
  if (StepsOf(state).transferMainFirmware(state) == TransferResult::Done) {
    for (Control c : {Control::Port, Control::Vocoder, Control::Upgrade, Control::UpdateChip}) {
      state.view->EnableControl(c, true);
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
  state.chipOnly = inputs.chipOnly ? 1 : 0;
  state.firmwareOnly = inputs.firmwareOnly ? 1 : 0;
  state.updateChip = inputs.updateChip ? 1 : 0;
  state.hexFilePath = inputs.hexFilePath;
  state.wavFilePath = inputs.wavFilePath;
  SetJobPort(state, inputs.portNumber);
  if (state.installation->readWriteLog == 5) {
    state.view->KillTimer(Timer::AutoStart);
  }
  state.resultOk = 0;
  state.view->SetProgressPos(ProgressBar::Main, 0);
  state.view->SetProgressPos(ProgressBar::Second, 0);
  state.view->DeleteAllRows();
  ClearRows(state);
  state.bytesDone = 0;
  // What the last job learnt of its radio is not this job's.
  state.radioInfoRead = false;
  state.queriedFirmwareVersion = -1;
  state.readAttempts = 0;
  state.chipAttempts = 0;
  state.backupJobId = 0;
  state.backupProblem.clear();
  state.fixedFont.reset();
  if (state.recorder != nullptr) {
    state.recorder->JobBegun(state);
  }
  state.view->SetWaitCursor(true);
  for (Control c : kJobControls) {
    state.view->EnableControl(c, false);
  }
  // The previous worker has returned from RunJob already; collect it.
  if (state.worker.joinable()) {
    state.worker.join();
  }
  state.job.clock.ClearStop();
  state.jobRunning = true;
  state.worker = std::thread([&state] {
    // A short pause before the first exchange. It is the worker's, not the window's: with
    // several jobs started at once the window would hold still for each one.
    state.job.clock.Sleep(300);
    RunJob(state);
    state.jobRunning = false;
  });
  state.view->SetWaitCursor(false);
  return true;
}

void RunJob(UpgradeState& state) {
  const bool chipOnly = state.chipOnly != 0;
  state.resultOk = 0;
  if (state.writeBack != nullptr) {
    RunWriteBackSequence(state);
  } else if (chipOnly) {
    RunChipOnlySequence(state);
  } else if (state.firmwareOnly != 0) {
    RunFirmwareOnly(state);
  } else {
    RunFullSequence(state);
  }
  if (state.job.clock.StopRequested() && state.resultOk == 0) {
    AppendEndRow(state, kMarkFailed, text::kStoppedByUser);
  }
  FinishRows(state);
  if (state.recorder != nullptr) {
    state.recorder->JobEnded(state);
  }
}

void RestoreControls(UpgradeState& state) {
  for (Control c : kJobControls) {
    state.view->EnableControl(c, true);
  }
  SetStatusText(state, text::kUsualStatus);
}

bool OnTimer(UpgradeState& state, Timer timer, const JobInputs& inputs) {
  if (timer != Timer::AutoStart) {
    return false;
  }
  return StartJob(state, inputs);
}

void ArmAutoStartTimer(UpgradeState& state) {
  if (state.installation->readWriteLog == 5) {
    state.view->SetTimer(Timer::AutoStart, 10000);
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

void SetJobPort(UpgradeState& state, int portNumber) {
  state.job.portNumber = portNumber;
  // The device is looked up once: the job talks to the same line to its end.
  state.job.devicePath = GlobalPortMap().DevicePath(portNumber);
}

void StopJob(UpgradeState& state) {
  state.job.clock.RequestStop();
}

}  // namespace fw
