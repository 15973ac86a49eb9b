#pragma once
// The simulated radio's framed data link: answers the connect frame, information requests
// for areas 0, 2, 4, 5, 7 and 8, block reads and writes on memory images for the data, font
// and voice areas, the end of an access, and the raw firmware version query.
//
// Requests are served only while the radio runs normally (RadioMode). Every request's
// frame and packet checksums are verified; a request with a bad one is counted and not
// answered. Faults can be injected per command, and the radio can be made unreachable for
// its first connect frames. Every request seen is recorded.
//
// Usable on its own with SimPty (AddResponder) or inside a composite simulated radio.
// Inspect its state from another thread only with SimPty::StateMutex() held.

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "RadioMode.h"
#include "Responder.h"

namespace fw::sim {

class FramedLinkResponder : public Responder {
 public:
  enum class Command { kConnect, kReadInfo, kEndAccess, kReadBlock, kWriteBlock, kVersionQuery };
  enum class Fault {
    kNone,
    kSilence,      // no answer at all
    kWrongLength,  // the reply's length byte is one too many
    kStatus1,      // the reply's status byte is 1
    kWrongArea,    // an information reply names another area
    kHangUp,       // the line is cut instead of answering
    kShortReply,   // a well-formed reply frame that carries only the status byte
  };
  // Memory areas that block reads and writes act on; an information request selects one
  // (area 5 right after the voice area keeps the voice area, open for writing).
  enum class Memory { kData, kFont, kVoice };

  struct SeenRequest {
    Command command;
    uint16_t sequence = 0;   // frame bytes 6-7
    uint8_t infoArea = 0;    // ReadInfo: the area; EndAccess: the mode
    uint16_t areaField = 0;  // ReadBlock / WriteBlock
    uint32_t offset = 0;
    uint16_t length = 0;  // block address length field
    Memory memory = Memory::kData;
  };

  static constexpr size_t kInfoSize = 185;
  static constexpr size_t kVersionReplySize = 128;
  using InfoBlock = std::array<uint8_t, kInfoSize>;

  // `mode` may be null: the radio then always runs normally.
  explicit FramedLinkResponder(const RadioMode* mode = nullptr);

  // An information block with the identity (the identifier's 16 characters as UTF-16LE),
  // the model text (at most 32 characters) and the area digit at their offsets.
  static InfoBlock MakeInfoBlock(const std::string& identifier, const std::string& modelText,
                                 char areaDigit);

  // The same block for every information area (0, 2, 4, 5, 7, 8), or one area's own.
  void SetInfoBlock(const InfoBlock& block);
  void SetInfoBlock(uint8_t area, const InfoBlock& block);
  // The status byte of information replies (default 0).
  void SetInfoStatus(uint8_t status) { infoStatus_ = status; }
  // The version query's reply: the text, then zeros up to 128 bytes. Empty: no answer.
  void SetVersionText(const std::string& text) { versionText_ = text; }

  // The memory image of an area (resizable; reads past its end give zeros, writes past it
  // are dropped and counted).
  std::vector<uint8_t>& MemoryImage(Memory m);
  // The 10-byte voice prompt header read with area field 170.
  std::array<uint8_t, 10>& VoiceHeader() { return voiceHeader_; }

  // From now on, requests of `command` after the next `skip` of them get `fault`, `times`
  // times (-1: from then on). A later call for the same command replaces the plan.
  void InjectFault(Command command, Fault fault, int skip = 0, int times = -1);
  void ClearFaults() { faults_.clear(); }
  // The first `n` connect frames get no answer.
  void SetUnreachableConnects(int n) { unreachableConnects_ = n; }

  const std::vector<SeenRequest>& Requests() const { return requests_; }
  int CountOf(Command command) const;
  int BadChecksums() const { return badChecksums_; }
  int DroppedWrites() const { return droppedWrites_; }
  void ClearRecord();

  bool Accepts(uint8_t first) const override;
  size_t Consume(const uint8_t* in, size_t n, std::vector<Action>& out) override;

 private:
  struct FaultPlan {
    Fault fault = Fault::kNone;
    int skip = 0;
    int times = -1;
  };

  Fault NextFault(Command command);
  size_t ConsumeFrame(const uint8_t* in, size_t n, std::vector<Action>& out);
  void Answer(Command command, Fault fault, uint16_t replyCode, const std::vector<uint8_t>& params,
              std::vector<Action>& out);
  void ServeCommand(uint16_t code, uint16_t sequence, const uint8_t* params, size_t p,
                    std::vector<Action>& out);

  const RadioMode* mode_;
  std::map<uint8_t, InfoBlock> info_;
  uint8_t infoStatus_ = 0;
  std::string versionText_ = "0300";
  std::vector<uint8_t> data_;
  std::vector<uint8_t> font_;
  std::vector<uint8_t> voice_;
  std::array<uint8_t, 10> voiceHeader_{};
  Memory selected_ = Memory::kData;
  std::map<Command, FaultPlan> faults_;
  std::map<Command, int> seenCount_;
  int unreachableConnects_ = 0;
  std::vector<SeenRequest> requests_;
  int badChecksums_ = 0;
  int droppedWrites_ = 0;
};

}  // namespace fw::sim
