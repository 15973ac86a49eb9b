#pragma once
// Frames of the firmware chip's loader and the checks of its replies.
//
// Apart from the enter request and the 8-byte handshake, every loader message reads
//   84 A9 61 | L (2 bytes, big-endian) | payload | 2F | XOR
// where L counts the bytes from offset 5 through the end mark 2F, and the XOR covers the
// bytes from offset 3 through the end mark. A data frame carries one hex record and is
// followed by one extra 00 byte.
//
// Knows nothing of a job: no state record, no port.

#include <cstddef>
#include <cstdint>
#include <string>

namespace fw {

// The steps of a chip update, in the order the tool runs them.
enum ChipStep : int {
  kChipEnter = 1,
  kChipHandshake = 2,
  kChipErase = 3,
  kChipData = 4,
  kChipFinish = 5,
  kChipConfirm = 6,
  kChipLeave = 7,
};

inline constexpr uint8_t kChipFrameHeader[3] = {0x84, 0xA9, 0x61};
inline constexpr uint8_t kChipEndMark = 0x2F;

// Requests.
inline constexpr uint8_t kChipEnterRequest[4] = {0x02, 0x50, 0x88, 0x03};
inline constexpr uint8_t kChipHandshakeRequest[8] = {0x84, 0xA9, 0x61, 0x00,
                                                     0x02, 0x00, 0x16, 0x01};
inline constexpr uint8_t kChipEraseRequest[10] = {0x84, 0xA9, 0x61, 0x00, 0x04,
                                                  0x00, 0x93, 0x0F, 0x2F, 0xB7};
inline constexpr uint8_t kChipFinishRequest[10] = {0x84, 0xA9, 0x61, 0x00, 0x04,
                                                   0x00, 0x16, 0x01, 0x2F, 0x3C};
inline constexpr uint8_t kChipConfirmRequest[10] = {0x84, 0xA9, 0x61, 0x00, 0x04,
                                                    0x00, 0x93, 0x00, 0x2F, 0xB8};
inline constexpr uint8_t kChipLeaveRequest[10] = {0x84, 0xA9, 0x61, 0x00, 0x04,
                                                  0x00, 0x16, 0x00, 0x2F, 0x3D};

// Replies the loader gives when a step went through.
inline constexpr uint32_t kChipEnterReplyLength = 30;
inline constexpr uint8_t kChipHandshakeReply[8] = {0x84, 0xA9, 0x61, 0x00, 0x02, 0x00, 0x16, 0x00};
inline constexpr uint8_t kChipEraseReply[10] = {0x84, 0xA9, 0x61, 0x00, 0x04,
                                                0x00, 0x93, 0x00, 0x2F, 0xB8};
inline constexpr uint8_t kChipDataReply[10] = {0x84, 0xA9, 0x61, 0x00, 0x04,
                                               0x03, 0x94, 0x00, 0x2F, 0xBC};
inline constexpr uint8_t kChipFinishReply[10] = {0x84, 0xA9, 0x61, 0x00, 0x04,
                                                 0x00, 0x16, 0x00, 0x2F, 0x3D};
inline constexpr uint8_t kChipConfirmReply[10] = {0x84, 0xA9, 0x61, 0x00, 0x04,
                                                  0x00, 0x93, 0x00, 0x2F, 0xB8};
inline constexpr uint8_t kChipLeaveReply[10] = {0x84, 0xA9, 0x61, 0x00, 0x04,
                                                0x00, 0x16, 0x00, 0x2F, 0x3D};

// A data frame is the record's byte count plus this many bytes (the trailing 00 included).
inline constexpr uint32_t kChipDataFrameOverhead = 14;
inline constexpr uint32_t kChipMaxDataFrame = 255 + kChipDataFrameOverhead;

// The enter reply's text is read up to its first 0 byte, at most this many characters.
inline constexpr size_t kChipEnterTextMax = 25;

// XOR of `count` bytes.
uint8_t ChipXor(const uint8_t* bytes, size_t count);

// Builds the data frame for one hex record (n data bytes, 1..255) at address ah:al on page
// `page` into `frame` (room for n + 14 bytes). Returns the frame's length, n + 14, or 0
// when n is 0.
uint32_t BuildChipDataFrame(uint8_t page, uint8_t addressHigh, uint8_t addressLow,
                            const uint8_t* data, uint8_t n, uint8_t* frame);

// The reply the loader gives to `step` when it went through (nullptr for the enter step,
// whose reply is judged by its length only), and its length.
const uint8_t* ChipExpectedReply(int step, size_t* length);

// True when `count` bytes received into `reply` (asked for `replyLength`) answer `step`:
//  - 30 bytes asked for and exactly 30 received (the enter reply);
//  - the reply begins with the step's expected reply;
//  - the reply begins with the data acknowledgement (any step).
// A reply shorter than the bytes compared does not match: bytes left in the buffer by an
// earlier reply are never taken for part of this one. Where fewer bytes were asked for
// than the pattern holds (the 8-byte handshake answered by the 10-byte acknowledgement),
// the bytes asked for are compared.
bool ChipReplyMatches(int step, const uint8_t* reply, uint32_t count, uint32_t replyLength);

// The enter reply as text: its bytes as 8-bit characters, up to the first 0 byte, at most
// 25 characters, never past the `count` bytes received.
std::string ChipEnterText(const uint8_t* reply, uint32_t count);

// Which hex file the loader's enter reply asks for.
enum class ChipVocoder { kUnknown, kAmbe, kSelp };
// "A-enter" anywhere in the text: AMBE; else "S-enter": SELP; else unknown.
ChipVocoder ChipVocoderFromText(const std::string& text);

}  // namespace fw
