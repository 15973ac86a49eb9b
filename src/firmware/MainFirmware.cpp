#include "firmware/MainFirmware.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "config/Installation.h"
#include "config/Settings.h"
#include "core/MessageTexts.h"
#include "core/Status.h"
#include "core/WritePhase.h"
#include "firmware/DownloadBlocks.h"
#include "firmware/HexLoader.h"
#include "firmware/IdentifyReply.h"
#include "firmware/ImageSelection.h"
#include "platform/CodePage.h"
#include "platform/FileIo.h"
#include "serial/PortAccess.h"
#include "serial/PortMap.h"
#include "serial/UsbAdapter.h"

namespace fw {
namespace {

constexpr const char* kConnectFailed =
    "Failed to connect radio. Please check all connections and port settings!";
constexpr const char* kEnterDownloadFailed = "Enter download failed!";
constexpr const char* kNotInDownloadMode =
    "Please make the radio enter downloading mode, check all connections and port settings!";
constexpr const char* kModelMismatch = "Model settings does not match!";
constexpr const char* kUnsupportedModel =
    "This Flashwright does not support KW860/KW890/KW810 V1 radio.";
constexpr const char* kCacheTooSmall = "Open the file cache is too small!";
constexpr const char* kConnectRadioFailed = "Failed to connect radio!";
constexpr const char* kConnectedOk = "Connect the radio successfully!";
constexpr const char* kUpgradingMode = "Radio is in the upgrading mode, about 5 seconds...";
constexpr const char* kUpdating = "Updating the radio software, please wait...";
constexpr const char* kImageMissing = "The firmware image file was not found:";
constexpr const char* kImageEmpty = "The firmware image file is empty:";
constexpr const char* kImageNotNamed =
    "No firmware image is named for this radio: the settings key";
constexpr const char* kImageUnreadable = "The firmware image file could not be read:";
constexpr const char* kNameTooLong = "The firmware image file name is too long to send:";
constexpr const char* kUnidentifiedQuestion =
    "The radio did not identify itself. Send the firmware image";
constexpr const char* kUnidentifiedRefused =
    "The radio did not identify itself; no firmware was sent.";
constexpr const char* kUnidentifiedDetail =
    "Without the radio's answer to the identification request its model cannot be checked, "
    "and the image, the firmware-chip file and the data size are chosen without knowing the "
    "radio.";

constexpr uint32_t kBaud = 115200;
constexpr uint32_t kReadDeadlineMs = 1000;
constexpr int kRetries = 3;

// Ends the transfer: closes the port and, unless the job is being stopped, shows the box.
void Fail(UpgradeState& state, const std::string& text, MessageIcon icon,
          const std::string& detail = std::string()) {
  state.downloadPort.Close();
  if (!state.job.clock.StopRequested()) {
    state.view->MessageBox(text, icon, MessageButtons::Ok, detail);
  }
}

// An exchange with the radio failed: the box names an adapter that was pulled out and the
// other programs that hold the port open, since a reader that opened it first takes the
// radio's replies.
void FailExchange(UpgradeState& state, const std::string& text) {
  Fail(state, text, text == kEnterDownloadFailed ? MessageIcon::Exclamation : MessageIcon::None,
       LineTroubleText(state.downloadPort.PortPath()));
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

ImageSettings SettingsOf(const UpgradeState& s) {
  return ImageSettings{s.installation->modelList,           s.installation->mainImageName,
                       s.installation->mainImageNameSelp,   s.installation->smallImageName,
                       s.installation->smallImageNameSelp,  s.installation->chipHexPath,
                       s.installation->chipHexPathSelp,     s.installation->smallChipHexPath,
                       s.installation->smallChipHexPathSelp};
}

// Asks the radio who it is: up to four requests "R", as one download exchange with three
// retries would send them, but a reply that arrives in full and is damaged fails its attempt
// like a short one. True with the fields taken (or with "====" in the information field)
// when a reply said who the radio is; false when no attempt did.
bool IdentifyRadio(UpgradeState& state, uint8_t* reply, IdentifyFields& id) {
  for (int attempt = 0; attempt <= kRetries && !state.job.clock.StopRequested(); ++attempt) {
    std::memset(reply, 0, kIdentifyReplySize);
    const bool arrived = attempt == 0
                             ? state.downloadPort.DownloadExchange(kIdentifyRequest, reply, 0) == 1
                             : state.downloadPort.DownloadAgain(kIdentifyRequest, reply) == 1;
    if (!arrived) {
      continue;  // the exchange has waited before its next request
    }
    if (JudgeIdentifyReply(reply, kIdentifyReplySize) != IdentifyVerdict::kDamaged) {
      id = ParseIdentifyReply(reply, kIdentifyReplySize);
      return true;
    }
    if (attempt == 0) {
      state.job.clock.Sleep(200);  // as the exchange waits after a first reply it refuses
    }
  }
  return false;
}

// The radio did not identify itself, so the image was chosen without knowing it. True when
// it may be sent: the consent was given in advance, or the technician gives it now. Without
// a technician to ask (or in run mode 5) the transfer ends (after the box).
bool MaySendUnidentified(UpgradeState& state) {
  if (state.allowUnidentified) {
    return true;
  }
  const std::string image = "\"" + state.selectedImageName + "\"";
  if (!state.askTechnician || state.installation->readWriteLog == kRunModeRepeat) {
    Fail(state, kUnidentifiedRefused, MessageIcon::Exclamation,
         std::string(kUnidentifiedDetail) + " The image chosen would have been " + image +
             ". To send it all the same, set AllowUnidentified=1 in the settings file or run "
             "the headless front end with --allow-unidentified.");
    return false;
  }
  if (state.job.clock.StopRequested() ||
      state.view->MessageBox(std::string(kUnidentifiedQuestion) + " " + image + " anyway?",
                             MessageIcon::Question, MessageButtons::OkCancel,
                             kUnidentifiedDetail) != MessageResult::Ok) {
    state.downloadPort.Close();
    return false;
  }
  return true;
}

// Sends one block and reads its answer; false when it was not accepted.
bool SendBlock(UpgradeState& state, const DownloadModeRequest& request, uint8_t* reply) {
  return state.downloadPort.DownloadExchange(request, reply, kRetries) == 1;
}

// Picks the image for the identified radio; false (after the box) when there is none.
bool SelectImage(UpgradeState& state, const IdentifyFields& id) {
  RadioIdentity radio{state.radioInfo, id.variant, id.modelCode, state.radioVersion,
                      state.familyOverride};
  ImageChoice choice = ChooseImage(SettingsOf(state), radio);
  state.familyOverride = choice.familyOverride;
  if (choice.result == ImageChoiceResult::kUnknownVariant) {
    Fail(state, text::kSoftwareFailed, MessageIcon::None);
    return false;
  }
  if (choice.result == ImageChoiceResult::kUnsupportedModel) {
    Fail(state, kUnsupportedModel, MessageIcon::Error);
    return false;
  }
  if (choice.imageName.empty()) {
    // The program folder alone is no file: say which key of the settings file is empty.
    Fail(state,
         std::string(kImageNotNamed) + " \"" + choice.imageKey + "\" is empty in " +
             state.installation->settingsPath,
         MessageIcon::Exclamation);
    return false;
  }
  state.selectedImageName = choice.imageName;
  state.hexFilePath = choice.hexPath;
  state.radioDataSize = choice.radioDataSize;
  state.writeDataSize = choice.radioDataSize;
  return true;
}

// Checks and loads the chosen image and builds the header block; false (after the box)
// when the image cannot be sent.
bool PrepareImage(UpgradeState& state, uint8_t header[kHeaderBlockSize]) {
  std::string ansiName = Utf8ToAnsi(state.selectedImageName);
  std::string path = state.installation->imageDir + state.selectedImageName;
  state.imageSize = ImageFileSize(path);
  int size = state.imageSize;
  if (size < 0) {
    Fail(state, std::string(kImageMissing) + " " + path, MessageIcon::Exclamation);
    return false;
  }
  if (static_cast<uint32_t>(size) > UpgradeState::kImageBufferSize) {
    Fail(state, kCacheTooSmall, MessageIcon::None);
    return false;
  }
  if (size == 0) {
    Fail(state, std::string(kImageEmpty) + " " + path, MessageIcon::Exclamation);
    return false;
  }
  if (!BuildHeaderBlock(ansiName, static_cast<uint32_t>(size), header)) {
    Fail(state, std::string(kNameTooLong) + " " + state.selectedImageName,
         MessageIcon::Exclamation);
    return false;
  }
  if (!LoadImageFile(state, path)) {
    Fail(state, std::string(kImageUnreadable) + " " + path, MessageIcon::Exclamation);
    return false;
  }
  ReloadChipHex(state);
  if (state.updateChip == 0) {
    state.chipImageSize = 0;
  }
  return true;
}

// The failed "Waiting" handshake: row 0 the failure, row 1 the hint, rowCount 1.
void FailDownloadRequest(UpgradeState& state) {
  const std::string holders = LineTroubleText(state.downloadPort.PortPath());
  state.downloadPort.Close();
  SetLastRow(state, kMarkFailed, kConnectRadioFailed);
  AddRow(state, kMarkBusy, kNotInDownloadMode);
  state.rowCount = 1;
  SetLastRow(state, kMarkFailed, kConnectRadioFailed);
  if (!state.job.clock.StopRequested()) {
    state.view->MessageBox(kNotInDownloadMode, MessageIcon::Exclamation, MessageButtons::Ok,
                           holders);
  }
}

// Data blocks of 1024 image bytes; the last one (or the only one of a short image) is
// padded with 0x1A. Every acknowledged block adds 1024 to bytesDone.
bool SendDataBlocks(UpgradeState& state, uint8_t* block, uint8_t* reply) {
  const uint32_t size = static_cast<uint32_t>(state.imageSize.load());
  uint32_t offset = 0;
  uint32_t number = 1;
  while (offset < size) {
    uint32_t length = std::min<uint32_t>(kBlockPayload, size - offset);
    std::memset(reply, 0, kIdentifyReplySize);
    BuildDataBlock(number, state.imageBuffer.data() + offset, length, block);
    if (!SendBlock(state, DataBlockRequest(block), reply)) {
      return false;
    }
    state.bytesDone += static_cast<int>(kBlockPayload);
    state.view->PostProgress(Phase::Firmware, state.bytesDone);
    SetStatusText(state, kUpdating);
    SetLastRow(state, kMarkBusy, kUpdating);
    offset += length;
    ++number;
  }
  return true;
}

}  // namespace

int ImageFileSize(const std::string& path) {
  std::error_code ec;
  std::filesystem::path p(path);
  if (!std::filesystem::is_regular_file(p, ec)) {
    return -1;
  }
  uintmax_t size = std::filesystem::file_size(p, ec);
  if (ec) {
    return -1;
  }
  return size > static_cast<uintmax_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
}

bool LoadImageFile(UpgradeState& state, const std::string& path) {
  std::fill(state.imageBuffer.begin(), state.imageBuffer.end(), 0);
  if (!RegularFileProblem(path).empty()) {
    return false;  // a FIFO or device would block the open or never end
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return false;
  }
  int size = state.imageSize;
  if (size <= 0) {
    return size == 0;
  }
  auto want = static_cast<std::streamsize>(
      std::min<uint32_t>(static_cast<uint32_t>(size), UpgradeState::kImageBufferSize));
  in.read(reinterpret_cast<char*>(state.imageBuffer.data()), want);
  return in.gcount() == want;
}

void ReloadChipHex(UpgradeState& state) {
  LoadHexFile(state);
}

int OpenDownloadPort(UpgradeState& state, int stopBits) {
  const int number = state.job.portNumber;
  const std::string& path = state.job.devicePath;
  std::string reason;
  bool open = false;
  if (path.empty()) {
    reason = "COM" + std::to_string(number) + " is not mapped to a serial device";
  } else if (state.downloadPort.Open(path) != 1) {
    reason = state.downloadPort.LastError();
  } else if (state.downloadPort.Configure(kBaud, 8, kParityNone, stopBits) != 1) {
    reason = "the port refused the line settings (115200 baud, 8 data bits, no parity)";
  } else {
    open = true;
  }
  if (!open) {
    state.view->MessageBox(kConnectFailed, MessageIcon::Exclamation, MessageButtons::Ok, reason);
    state.downloadPort.Close();
    state.view->EnableControl(Control::Upgrade, true);
    state.view->EnableControl(Control::HexFile, true);
    return 0;
  }
  state.downloadPort.SetReadTimeout(kReadDeadlineMs);
  state.job.clock.Sleep(100);
  return 1;
}

TransferResult TransferMainFirmware(UpgradeState& state) {
  if (OpenDownloadPort(state, kOneStopBit) != 1) {
    SetLastRow(state, kMarkFailed, kConnectFailed);
    return TransferResult::Failed;
  }
  uint8_t reply[kIdentifyReplySize];
  if (state.installation->autoTest == 1) {
    std::memset(reply, 0, sizeof reply);
    if (!SendBlock(state, kAutoDownloadRequest, reply)) {
      FailExchange(state, kEnterDownloadFailed);
      return TransferResult::Failed;
    }
    state.job.clock.Sleep(1000);
  }
  for (ProgressBar bar : {ProgressBar::Main, ProgressBar::Second}) {
    state.view->SetProgressRange(bar, 0, 100);
    state.view->SetProgressPos(bar, 0);
  }
  SetStatusText(state, text::kConnecting);

  IdentifyFields id = UnknownIdentity();
  state.radioInfo = id.info;
  state.radioModel = id.model;
  state.radioVersion = 0;
  const bool identified = IdentifyRadio(state, reply, id);
  if (identified) {
    state.radioInfo = id.info;
    state.radioModel = id.model;
  }
  if (Contains(state.radioInfo, "====")) {
    Fail(state, kNotInDownloadMode, MessageIcon::Exclamation);
    return TransferResult::Failed;
  }
  if (Contains(state.radioInfo, "MCU") && !Contains(state.installation->modelList, id.modelCode)) {
    Fail(state, kModelMismatch, MessageIcon::Error);
    return TransferResult::Failed;
  }
  state.radioVersion = id.version;
  if (!SelectImage(state, id)) {
    return TransferResult::Failed;
  }

  uint8_t header[kHeaderBlockSize];
  if (!PrepareImage(state, header)) {
    return TransferResult::Failed;
  }
  // Asked only about an image that can be sent.
  if (!identified && !MaySendUnidentified(state)) {
    return TransferResult::Failed;
  }

  if (state.job.clock.StopRequested()) {  // the job is being ended: ask the radio for nothing more
    FailExchange(state, text::kCommError);
    return TransferResult::Failed;
  }
  std::memset(reply, 0, sizeof reply);
  if (!SendBlock(state, kDownloadRequest, reply) || !DownloadReplySaysWaiting(reply)) {
    FailDownloadRequest(state);
    return TransferResult::Failed;
  }
  // The radio has dropped its old firmware: from here it is being written.
  RadioWriteScope writing(state.writingRadio);
  SetLastRow(state, kMarkDone, kConnectedOk);
  AddRow(state, kMarkBusy, kUpgradingMode);
  SetStatusText(state, kUpgradingMode);

  std::memset(reply, 0, sizeof reply);
  if (!SendBlock(state, HeaderBlockRequest(header), reply)) {
    FailExchange(state, text::kCommError);
    return TransferResult::Failed;
  }
  state.job.clock.Sleep(500);

  uint8_t block[kDataBlockSize];
  if (!SendDataBlocks(state, block, reply)) {
    FailExchange(state, text::kCommError);
    return TransferResult::Failed;
  }
  if (!SendBlock(state, kEndOfTransmissionRequest, reply)) {
    FailExchange(state, text::kCommError);
    return TransferResult::Failed;
  }
  BuildClosingBlock(header);
  if (!SendBlock(state, ClosingBlockRequest(header), reply)) {
    FailExchange(state, text::kCommError);
    return TransferResult::Failed;
  }

  writing.End();
  state.resultOk = 1;
  state.downloadPort.Close();
  SetStatusText(state, text::kRestarting);
  if (state.firmwareOnly != 0) {
    state.job.clock.Sleep(1000);
    state.view->MessageBox(text::kSoftwareCompleted, MessageIcon::None);
  }
  return TransferResult::Done;
}

}  // namespace fw
