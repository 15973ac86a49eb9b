#pragma once
// The simulated radio's firmware chip loader.
//
// While the radio runs normally it answers the enter request 02 50 88 03 with a 30-byte
// text naming the chip's vocoder ("A-enter", "S-enter" or anything else), and the loader
// frames beginning 84 A9 61: the handshake, erase, data frames (one hex record each),
// finish, confirm and leave. Data frames are checked for their layout and XOR; the bytes
// of every accepted frame are kept per page and address, as the chip's flash would hold
// them. Steps must come in order (a step is answered once the step before it has been
// seen at least once; repeats are answered again, as after a lost reply).
//
// Faults can be set per step: silence, a short reply, a reply with a wrong byte, or a
// hang-up of the line. The chip can also be "not ready": the first N enter requests get
// no answer.
//
// Requests beginning 02 that are not the enter request (the radio link's version query
// 02 50 00 03) are handed to the responder set with PassOtherRequestsTo, if any.

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "RadioMode.h"
#include "Responder.h"

namespace fw::sim {

class ChipLoaderResponder : public Responder {
 public:
  enum class FaultKind { kNone, kSilence, kShortReply, kWrongByte, kHangUp };

  struct Fault {
    FaultKind kind = FaultKind::kNone;
    int skip = 0;    // requests of the step answered normally before the fault starts
    int times = -1;  // requests the fault applies to (-1: all from then on)
  };

  // One accepted data frame.
  struct Record {
    uint8_t page;
    uint16_t address;
    std::vector<uint8_t> data;
  };

  // What the loader saw.
  struct Log {
    int enterRequests = 0;
    int handshakes = 0;
    int erases = 0;
    int dataFrames = 0;  // accepted (repeats included)
    int badFrames = 0;   // loader frames refused for layout, XOR or order
    int finishes = 0;
    int confirms = 0;
    int leaves = 0;
    std::vector<int> steps;  // every request received, as its step number (bad ones: 0)
  };

  // `mode` may be null: the loader then answers in every mode.
  explicit ChipLoaderResponder(const RadioMode* mode = nullptr);

  bool Accepts(uint8_t first) const override;
  size_t Consume(const uint8_t* in, size_t n, std::vector<Action>& out) override;

  // The enter reply: the text, zero-padded (or cut) to 30 bytes. Default "A-enter".
  void SetEnterText(const std::string& text);
  // The enter reply as 30 raw bytes (shorter input is zero-padded).
  void SetEnterReply(const std::vector<uint8_t>& bytes);
  // The first `attempts` enter requests get no answer.
  void SetNotReady(int attempts) { notReadyLeft_ = attempts; }
  // Delay of the erase reply (the flash takes its time).
  void SetEraseDelayMs(uint32_t ms) { eraseDelayMs_ = ms; }
  void SetFault(int step, const Fault& fault);
  void PassOtherRequestsTo(Responder* other) { other_ = other; }

  // The programmed flash: (page, address) -> byte. Erase empties it.
  const std::map<std::pair<int, int>, uint8_t>& Flash() const { return flash_; }
  // Accepted data frames in the order received.
  const std::vector<Record>& Records() const { return records_; }
  const Log& GetLog() const { return log_; }
  // True once finish, confirm and leave were seen in order after an erase.
  bool Completed() const { return completed_; }

 private:
  // Which step a complete request is; 0 for a malformed loader frame. Sets `length` to the
  // request's length, or 0 when more bytes are needed.
  int Classify(const uint8_t* in, size_t n, size_t* length) const;
  bool DataFrameValid(const uint8_t* in, size_t length) const;
  void Answer(std::vector<uint8_t> reply, uint32_t delayMs, std::vector<Action>& out);

  const RadioMode* mode_;
  Responder* other_ = nullptr;
  std::vector<uint8_t> enterReply_;
  int notReadyLeft_ = 0;
  uint32_t eraseDelayMs_ = 0;
  std::map<int, Fault> faults_;
  std::map<int, int> seen_;  // requests per step (for the faults)
  int reached_ = 0;          // the furthest step done so far in this session
  std::map<std::pair<int, int>, uint8_t> flash_;
  std::vector<Record> records_;
  Log log_;
  bool completed_ = false;
};

}  // namespace fw::sim
