// Substitute for the maker's converter library: same C interface, no conversion. The
// template data is left as it is and the call reports success, so the radio receives
// the new firmware's default data for its model.

#include "radiodata/ConverterAbi.h"

extern "C" FW_CONVERTER_EXPORT int FW_CONVERTER_CALL
RecastRadioDataV1(unsigned char* templateData, uint32_t templateSize,
                  const unsigned char* radioData, uint32_t radioSize) {
  (void)templateData;
  (void)templateSize;
  (void)radioData;
  (void)radioSize;
  return 1;
}
