#pragma once
// The radio's 185-byte information block and the model text fix-up.
//
// The block carries the radio's 32-byte identity block (the UTF-16LE text of its model
// identifier, compared as raw bytes by the model table), its model text and its area
// code. The model text is rewritten so that it names the model variant: characters 16-20
// are replaced by a 5-character variant code chosen from the text itself.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace fw {

inline constexpr size_t kRadioInfoSize = 185;
inline constexpr size_t kIdentitySize = 32;
inline constexpr size_t kIdentityOffset = 1;
inline constexpr size_t kModelTextOffset = 49;
inline constexpr size_t kModelTextSize = 32;
inline constexpr size_t kAreaCodeOffset = 149;

struct RadioInfo {
  std::array<uint8_t, kIdentitySize> identity{};
  uint8_t areaCode = 0;  // an ASCII digit: '0' + area number
  std::string modelId;   // fixed-up model text (UTF-8)
};

// The 5-character variant code for a model text (the first matching row of the table).
std::string ModelVariantCode(const std::string& modelText);

// The first 16 characters of the text, the variant code, then the 7 characters from
// index 21 (fewer when the text is shorter). Works on 8-bit characters.
std::string FixUpModelText(const std::string& modelText);

// Takes a 185-byte information block apart. The model text ends at the first zero byte or
// after 32 bytes; its 8-bit characters are widened one by one (Latin-1) into UTF-8.
RadioInfo DecodeRadioInfoBlock(const uint8_t* block);

// The identity block's UTF-16LE text, for people: ASCII characters, any other as '?'; it ends
// at the first zero character.
std::string IdentityBlockText(const std::array<uint8_t, kIdentitySize>& identity);

// An 8-bit text field of the block as printable text: it ends at its first zero byte;
// printable ASCII stays, any other byte (and '\\') is written "\\xNN".
std::string PrintableInfoText(const uint8_t* field, size_t size);

// What tells one radio from another in its information block: the identity block, the
// fixed-up model identifier and the three 16-byte text fields (offsets 81, 97, 113).
std::string RadioKey(const std::array<uint8_t, kIdentitySize>& identity, const std::string& modelId,
                     const uint8_t* block);

}  // namespace fw
