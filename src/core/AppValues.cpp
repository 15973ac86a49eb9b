#include "core/AppValues.h"

namespace fw {

AppValues& App() {
  static AppValues values;
  return values;
}

}  // namespace fw
