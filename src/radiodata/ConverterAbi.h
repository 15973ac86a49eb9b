#pragma once
/* The C interface of the radio maker's converter libraries ("mutaris" with
 * RecastRadioData, "mutarisV1" with RecastRadioDataV1). Both entry points have this form,
 * plain C calling convention with the caller removing the arguments:
 *
 *   int RecastRadioData(unsigned char* templateData, uint32_t templateSize,
 *                       const unsigned char* radioData, uint32_t radioSize);
 *
 * templateData holds the new firmware's default data (templateSize bytes); the converter
 * merges the radio's settings from radioData into it in place. Both sizes are the same
 * value. A non-zero result means templateData now holds the data to write to the radio;
 * 0 means the conversion failed. The buffers are never reallocated. */

#include <stdint.h>

#if defined(_WIN32)
#define FW_CONVERTER_CALL __cdecl
#define FW_CONVERTER_EXPORT __declspec(dllexport)
#else
#define FW_CONVERTER_CALL
#define FW_CONVERTER_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef int(FW_CONVERTER_CALL* RecastRadioDataFn)(unsigned char* templateData,
                                                  uint32_t templateSize,
                                                  const unsigned char* radioData,
                                                  uint32_t radioSize);

#ifdef __cplusplus
}
#endif
