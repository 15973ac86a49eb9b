#pragma once
// The requests a radio in download mode answers, each with the rule by which the download
// exchange (DownloadPort) accepts its reply. These rules are the radio's contract as the
// transfer has always read it; they are fixed, oddities included:
//
//   request               bytes sent                read  accepted when
//   automatic download    5A A5 "AUTO IAP" (10 bytes)  20   exactly 20 bytes arrive
//   identify              52 ("R")                    100   52 bytes or more arrive
//   download              31 ("1")                     58   31 bytes or more arrive; silence
//                                                           at the first read fails at once
//   header block          01 00 FF ... (133 bytes)      2   exactly 2 bytes arrive
//   data block            02 nn ~nn ... (1029 bytes)    1   the acknowledgement 06
//   end of transmission   04                            1   the acknowledgement 06; 100 ms
//                                                           later one more byte is read and
//                                                           dropped (first attempt only)
//   closing block         01 00 FF 00... (133 bytes)   80   exactly 80 bytes arrive
//
// Deliberately unchecked, as the radio has always been answered: the values of the two
// bytes after the header block and of the 80 bytes after the closing block (so an echo of
// either block, cut to the bytes read, is accepted); the content of the automatic download
// reply; the bytes of the identification and "1" replies, which the transfer judges itself
// after the exchange (the information fields; "Waiting"), and which it never asks for again
// on that account alone; the byte dropped after the end of transmission. There is no echo
// test in download mode: an echo is refused only where its length or first byte fails the
// rule ("R", "1", "AUTO IAP", a data block, 04).

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace fw {

inline constexpr uint8_t kAck = 0x06;
inline constexpr uint8_t kEndOfTransmission = 0x04;

inline constexpr size_t kHeaderBlockSize = 133;  // 3 + 128 + 2; the closing block too
inline constexpr size_t kDataBlockSize = 1029;   // 3 + 1024 + 2

// The transfer's reply buffer, and the longest reply any download-mode request reads.
inline constexpr size_t kIdentifyReplySize = 100;

// How the reply to one download-mode request is judged.
struct DownloadReplyRule {
  uint32_t length = 0;              // bytes the read waits for (the caller's buffer holds them)
  uint32_t fewest = 0;              // fewest bytes received that accept the reply
  bool acknowledgement = false;     // the reply's first byte must be kAck
  bool silenceFailsAtOnce = false;  // nothing at the first read: fail, no wait, no repeat
  bool dropsTrailingByte = false;   // after an accepted first attempt, wait 100 ms and read
                                    // once more, dropping what arrives

  // True when `received` bytes read into `reply` answer the request.
  constexpr bool Accepts(const uint8_t* reply, uint32_t received) const {
    return received != 0 && received >= fewest && received <= length &&
           (!acknowledgement || reply[0] == kAck);
  }
};

// One download-mode request: the bytes written and the rule for its reply.
struct DownloadModeRequest {
  const uint8_t* bytes = nullptr;
  uint32_t length = 0;
  DownloadReplyRule reply;
};

namespace download_bytes {
inline constexpr uint8_t kAutoDownload[10] = {0x5A, 0xA5, 'A', 'U', 'T', 'O', ' ', 'I', 'A', 'P'};
inline constexpr uint8_t kIdentify[1] = {0x52};  // "R"
inline constexpr uint8_t kDownload[1] = {0x31};  // "1"
inline constexpr uint8_t kEndOfTransmission[1] = {fw::kEndOfTransmission};
}  // namespace download_bytes

// Asks a radio that runs normally to enter download mode by itself.
inline constexpr DownloadModeRequest kAutoDownloadRequest{download_bytes::kAutoDownload,
                                                          sizeof download_bytes::kAutoDownload,
                                                          {.length = 20, .fewest = 20}};

// Asks the radio who it is: text fields at fixed offsets (see firmware/IdentifyReply.h).
inline constexpr DownloadModeRequest kIdentifyRequest{
    download_bytes::kIdentify, 1, {.length = kIdentifyReplySize, .fewest = 52}};

// Asks the radio to receive an image; it answers "Waiting..." (see DownloadReplySaysWaiting).
// A radio outside download mode says nothing, so silence at the first read ends the exchange.
inline constexpr DownloadModeRequest kDownloadRequest{
    download_bytes::kDownload, 1, {.length = 58, .fewest = 31, .silenceFailsAtOnce = true}};

// Ends the batch's data; the radio acknowledges and then asks for the closing block.
inline constexpr DownloadModeRequest kEndOfTransmissionRequest{
    download_bytes::kEndOfTransmission,
    1,
    {.length = 1, .fewest = 1, .acknowledgement = true, .dropsTrailingByte = true}};

inline constexpr DownloadReplyRule kHeaderBlockReply{.length = 2, .fewest = 2};
inline constexpr DownloadReplyRule kDataBlockReply{
    .length = 1, .fewest = 1, .acknowledgement = true};
inline constexpr DownloadReplyRule kClosingBlockReply{.length = 80, .fewest = 80};

// The blocks of the batch (built by firmware/DownloadBlocks) as requests.
inline DownloadModeRequest HeaderBlockRequest(const uint8_t* block) {
  return {block, static_cast<uint32_t>(kHeaderBlockSize), kHeaderBlockReply};
}
inline DownloadModeRequest DataBlockRequest(const uint8_t* block) {
  return {block, static_cast<uint32_t>(kDataBlockSize), kDataBlockReply};
}
inline DownloadModeRequest ClosingBlockRequest(const uint8_t* block) {
  return {block, static_cast<uint32_t>(kHeaderBlockSize), kClosingBlockReply};
}

// The radio is ready for the batch: the accepted reply to "1" begins "Waiting", or "aiting"
// when its first byte was lost. `reply` is the transfer's buffer (kIdentifyReplySize bytes,
// cleared before the request). A reply without it ends the transfer; it is not asked again.
inline bool DownloadReplySaysWaiting(const uint8_t* reply) {
  return std::memcmp(reply, "Waiting", 7) == 0 || std::memcmp(reply, "aiting", 6) == 0;
}

static_assert(kAutoDownloadRequest.reply.length <= kIdentifyReplySize &&
              kIdentifyRequest.reply.length <= kIdentifyReplySize &&
              kDownloadRequest.reply.length <= kIdentifyReplySize &&
              kClosingBlockReply.length <= kIdentifyReplySize);

}  // namespace fw
