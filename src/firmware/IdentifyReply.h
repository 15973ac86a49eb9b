#pragma once
// The radio's answer to the identification request "R" in download mode: text fields in
// the radio's code page at fixed offsets, each ending at its first zero byte or at its
// maximum length.
//
//   offset  2, at most 10 bytes: information field ("MCU-0401"; "====" outside download mode)
//   offset 12, at most 12 bytes: variant (its first letter: A, S or V)
//   offset 24, at most 28 bytes: model text (its first four characters: the model code)

#include <cstddef>
#include <cstdint>
#include <string>

#include "protocol/DownloadRequests.h"  // kIdentifyReplySize

namespace fw {

inline constexpr const char* kUnknownField = "FFFFF";

struct IdentifyFields {
  std::string info;       // UTF-8
  std::string variant;    // UTF-8, ASCII letters upper-cased
  std::string model;      // UTF-8
  std::string modelCode;  // first four characters of the model text, or "FFFFF"
  int version = 0;        // decimal value of the last four characters of info, or 0
};

// The fields before (or without) a reply: every text "FFFFF", version 0.
IdentifyFields UnknownIdentity();

// What a reply to "R" that arrived in full (52 bytes or more) says.
enum class IdentifyVerdict {
  kIdentified,         // the radio said who it is
  kNotInDownloadMode,  // the information field holds "====": the radio runs normally
  kDamaged,            // the fields cannot be the radio's: the attempt failed, ask again
};

// A reply identifies the radio when its information field is not empty, its three fields
// hold printable ASCII only, and its model text is longer than four characters with a model
// code of four letters or digits ("KV68"). A reply with "====" in its information field is
// the answer of a radio outside download mode, whatever its other fields hold.
IdentifyVerdict JudgeIdentifyReply(const uint8_t* reply, size_t length);

// Takes the fields from a reply buffer of `length` bytes (missing bytes count as zeros).
IdentifyFields ParseIdentifyReply(const uint8_t* reply, size_t length);

// The decimal value of the last four characters of an information field longer than four
// characters (leading digits only, as the radio's tools read numbers); 0 otherwise.
int VersionFromInfo(const std::string& ansiInfo);

}  // namespace fw
