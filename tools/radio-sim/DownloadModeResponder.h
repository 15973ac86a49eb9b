#pragma once
// The radio's side of download mode: the automatic-download request, identification "R",
// the download request "1", then a YMODEM-style batch (header block, 1024-byte data
// blocks, end of transmission, empty closing block) checked with CRC-16. Keeps the image
// and file name it received; after the closing block the radio restarts.
//
// Faults can be injected at any step: silence, a short reply, a wrong first byte, a
// hang-up, the "not in download mode" answer, or a reply garbled after its first two bytes; for the
// first N attempts of the step or for every attempt.
//
// A radio that runs normally answers the automatic-download request too and enters
// download mode (its record of the last batch is cleared), as the unattended repeat
// mode expects before each job.
//
// Once it has taken a whole image, the radio on the bench is the next one to upgrade:
// running normally, it answers the identification request as a radio that the
// technician has put in download mode would (nextRadioAfterUpgrade), so that the tool
// can upgrade again and again without restarting the simulator.

#include <cstdint>
#include <string>
#include <vector>

#include "RadioMode.h"
#include "Responder.h"

namespace fw::sim {

enum class DownloadStep {
  kAutoDownload,
  kIdentify,
  kDownloadRequest,
  kHeader,
  kData,
  kEnd,
  kClosing
};

enum class FaultKind {
  kNone,
  kSilence,        // the request gets no answer
  kShortReply,     // fewer bytes than the tool waits for (nothing for an acknowledgement)
  kWrongByte,      // the reply's first byte is wrong (a NAK instead of an ACK)
  kHangUp,         // the line is cut instead of answering
  kNotInDownload,  // the identification reply says "====" (radio not in download mode)
  kGarbled,        // the reply arrives in full, every byte after its first two inverted
                   // (an identification whose text fields line noise has damaged)
};

struct DownloadFault {
  FaultKind kind = FaultKind::kNone;
  DownloadStep step = DownloadStep::kIdentify;
  int attempts = 0;        // faulty attempts before the radio answers normally; 0: every one
  uint32_t dataBlock = 1;  // for kData: the block number (as sent, 1-based) that is faulted
};

struct DownloadModeConfig {
  std::string info = "MCU-0401";      // information field (offset 2, at most 10 bytes)
  std::string variant = "A";          // variant (offset 12, at most 12 bytes)
  std::string model = "KV680DEMO";    // model text (offset 24, at most 28 bytes)
  size_t identifyReplyLength = 100;   // bytes of the identification reply
  bool loseWaitingFirstByte = false;  // the "Waiting..." reply arrives without its "W"
  uint32_t restartMs = 25000;         // deaf this long after the closing block
  bool nextRadioAfterUpgrade = true;  // after a completed upgrade, "R" finds download mode
  DownloadFault fault;
};

// What the radio received, for tests and benchmarks.
struct DownloadRecord {
  std::string fileName;           // from the header block (code-page bytes)
  int64_t declaredSize = -1;      // from the header block; -1 before one arrived
  std::vector<uint8_t> received;  // payload of the accepted data blocks, padding included
  uint32_t blocksAccepted = 0;
  uint32_t badBlocks = 0;        // CRC, number or complement wrong
  uint32_t duplicateBlocks = 0;  // a block repeated after its ACK was lost
  uint32_t requests[7] = {0};    // per DownloadStep
  bool endReceived = false;
  bool completed = false;  // closing block accepted
  // How many transfers this radio has completed since it started; a new batch keeps it, so
  // that a reporter polling now and then sees a second transfer even when it began and
  // completed between two polls.
  uint32_t completedTransfers = 0;
  // The image as declared: `received` cut to `declaredSize`.
  std::vector<uint8_t> Image() const;
};

class DownloadModeResponder : public Responder {
 public:
  DownloadModeResponder(RadioMode& mode, const DownloadModeConfig& config);

  bool Accepts(uint8_t first) const override;
  size_t Consume(const uint8_t* in, size_t n, std::vector<Action>& out) override;

  const DownloadRecord& Record() const { return record_; }
  DownloadModeConfig& Config() { return config_; }
  // Sets the fault to inject from now on (its attempt count starts again).
  void SetFault(const DownloadFault& fault) {
    config_.fault = fault;
    faultsDone_ = 0;
  }
  // Forgets the last batch (a new transfer begins).
  void ResetRecord();

  // Reply texts (the tool checks lengths and the first bytes only).
  static std::vector<uint8_t> AutoDownloadReply();
  std::vector<uint8_t> IdentifyReply() const;
  static std::vector<uint8_t> WaitingReply();

 private:
  // Running normally after a completed upgrade, with the next radio in download mode.
  bool NextRadioWaiting() const;
  // True when the fault applies to this attempt of `step`; fills `out` with its action.
  bool Faulted(DownloadStep step, uint32_t block, const std::vector<uint8_t>& normal,
               std::vector<Action>& out);
  size_t ConsumeHeader(const uint8_t* in, size_t n, std::vector<Action>& out);
  size_t ConsumeData(const uint8_t* in, size_t n, std::vector<Action>& out);

  RadioMode& mode_;
  DownloadModeConfig config_;
  DownloadRecord record_;
  int faultsDone_ = 0;
  uint32_t expectedBlock_ = 1;  // next data block number (not wrapped)
};

}  // namespace fw::sim
