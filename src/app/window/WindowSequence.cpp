#include "app/window/WindowSequence.h"

#include "app/window/HistoryView.h"
#include "app/window/WindowTexts.h"
#include "config/Installation.h"
#include "firmware/MainFirmware.h"
#include "serial/PortMap.h"

namespace fw {

int RunWindowStartup(WindowControls& window, WindowSession& session) {
  UpgradeState& state = session.state;
  const DialogHooks& hooks = session.hooks;
  // Controls exist; the record's values into them; the system menu.
  window.WriteControls();
  window.AddMenuItems();
  // From here on the steps report to this window.
  state.SetView(&session.view);
  // The folder of the model table.
  Installation& installation = LoadingInstallation(state);
  installation.configSubdir = "config/r55";
  installation.configNumber = 55;
  window.LayOutStatusList();
  window.ScanPorts();
  window.SetWarningLine(kWarningLineText);
  // The system-wide port setting, then the settings file (which may set the caption).
  if (hooks.readSystemPort) {
    hooks.readSystemPort(state);
  }
  if (hooks.loadSettings) {
    const auto portsBefore = GlobalPortMap().Entries();
    const std::string caption = hooks.loadSettings(state);
    if (!caption.empty()) {
      window.SetCaption(caption);
    }
    // The settings may name devices for COM numbers ("Ports"); the list made above did
    // not know them yet.
    if (GlobalPortMap().Entries() != portsBefore) {
      window.ScanPorts();
    }
  }
  // The bench as the settings file left it, unless the command line chose.
  if (hooks.loadBench && !session.benchRequested) {
    session.bench = hooks.loadBench(state);
  }
  OpenWindowJournal(session);
  // The radio data buffer.
  state.radioDataSize = UpgradeState::kDefaultRadioDataSize;
  state.writeDataSize = state.radioDataSize.load();
  state.AllocateRadioData(state.radioDataSize);
  window.FillVocoderList(state.vocoderIndex >= 0 && state.vocoderIndex < 2 ? state.vocoderIndex
                                                                           : -1);
  // The size of the main firmware image; too large ends start-up.
  state.imageSize = ImageFileSize(state.installation->imageDir + state.selectedImageName);
  if (state.imageSize > static_cast<int>(UpgradeState::kImageBufferSize)) {
    session.view.MessageBox(kImageTooLargeText, MessageIcon::None, MessageButtons::Ok);
    return 13;
  }
  if (hooks.loadImageFile) {
    hooks.loadImageFile(state);
  }
  // Ports, status text, saved port, run mode.
  if (!window.HasPorts()) {
    window.Enable(Control::Upgrade, false);
    window.Enable(Control::HexFile, false);
  } else {
    window.Enable(Control::Upgrade, true);
    window.Enable(Control::HexFile, true);
    window.SetStatusLine(kUsualStatusText);
    window.SelectSavedPort();
    const int mode = state.installation->readWriteLog;
    if (mode == 3) {
      state.firmwareOnly = 1;
    }
    if (mode == 1 || mode == 3 || mode == 7) {
      if (mode != 1) {
        window.WriteControls();
      }
      window.ShowRunModeControl(mode);
    }
  }
  window.SetUpdateChipChecked(state.updateChip != 0);
  if (hooks.loadModelTable) {
    hooks.loadModelTable(state);
  }
  // The character sets; a missing list ends start-up.
  if (hooks.buildFonts && !hooks.buildFonts(state)) {
    return 18;
  }
  if (hooks.loadHexFile) {
    hooks.loadHexFile(state);
  }
  window.WriteControls();
  // Unattended repeat mode: the first job starts by itself (on the bench, each panel's
  // first job).
  session.startupDone = true;
  if (session.bench.on && window.OpenBench()) {
    return 21;
  }
  if (state.installation->readWriteLog == 5) {
    window.StartWindowTimer(Timer::AutoStart, kAutoStartPeriodMs);
  }
  return 21;
}

void OpenWindowJournal(WindowSession& session) {
  const DialogHooks& hooks = session.hooks;
  if (!hooks.openJournal) {
    return;
  }
  UpgradeState& state = session.state;
  const Installation& installation = *state.installation;
  // With a journal server, each job is kept in the local journal ("JournalLocal", else the
  // user's own) first.
  WindowJournal& journal = session.journal;
  journal.handle = std::make_unique<JournalHandle>(
      hooks.openJournal(JournalPathFor(session.journalChoice, installation),
                        JournalLocalPathFor(installation.journalLocalPath, installation)));
  journal.skipBackup = BackupSkipped(session.journalChoice, installation);
  journal.recorder = AttachJournal(state, *journal.handle, &session.view, session.programVersion);
  state.skipBackup = journal.skipBackup;
  if (journal.handle->journal == nullptr) {
    // Said once; the window opens all the same, and its jobs stop before they write a radio.
    session.view.MessageBox(
        std::string(kJournalProblemText) + "\n\n" + journal.handle->problem + "\n\n" +
            (journal.skipBackup ? kNoRecordConsequenceText : kNoBackupConsequenceText),
        MessageIcon::Exclamation, MessageButtons::Ok);
  }
}

bool RunWindowClosing(WindowControls& window, WindowSession& session) {
  if (session.exiting) {
    return false;
  }
  UpgradeState& state = session.state;
  // On the bench: asked when the last job of any port did not succeed.
  const bool unfinished = state.resultOk == 0 || window.BenchUnfinished();
  if (unfinished && session.view.MessageBox(kExitQuestionText, MessageIcon::None,
                                            MessageButtons::OkCancel) == MessageResult::Cancel) {
    return false;
  }
  session.exiting = true;
  state.resultOk = 1;
  // Every running job is stopped and has ended (its worker joined) before the port is
  // closed under it and before the settings are written.
  window.StopBenchAndWait();
  window.StopJobAndWait();
  state.downloadPort.Close();
  if (session.hooks.saveSettings) {
    session.hooks.saveSettings(state);
  }
  if (session.hooks.saveBench) {
    // The technician's choice, also when the bench could not open this time (start-up
    // ended early, no port found): the next start tries again.
    session.hooks.saveBench(state, session.bench);
  }
  return true;
}

bool WindowWriteBackAllowed(WindowSession& session, const WriteBackGate& gate) {
  if (session.exiting) {
    return false;
  }
  if (const std::optional<std::string> refusal =
          WriteBackRefusal(gate.anyJobRunning, gate.benchOn, gate.installationProblem)) {
    session.view.MessageBox(*refusal, MessageIcon::Exclamation, MessageButtons::Ok);
    return false;
  }
  return session.journal.recorder != nullptr && session.hooks.startJob != nullptr;
}

bool StartWindowWriteBack(WindowControls& window, WindowSession& session, const WriteBackGate& gate,
                          int64_t jobId, int port) {
  if (!WindowWriteBackAllowed(session, gate)) {
    return false;
  }
  UpgradeState& state = session.state;
  std::string box;
  std::string detail;
  if (!PrepareWriteBack(state, *session.journal.recorder, jobId, port, box, detail)) {
    session.view.MessageBox(box, MessageIcon::Exclamation, MessageButtons::Ok, detail);
    return false;
  }
  window.SelectSavedPort();
  session.hooks.startJob(state);
  state.updateChip = window.UpdateChipChecked() ? 1 : 0;
  return session.hooks.jobRunning && session.hooks.jobRunning(state);
}

}  // namespace fw
