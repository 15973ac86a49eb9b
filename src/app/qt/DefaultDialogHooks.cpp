#include "app/qt/DialogHooks.h"

namespace fw {

// The steps of the other subsystems, as far as they exist. Steps not listed are skipped
// by the window.
DialogHooks DefaultDialogHooks() {
  DialogHooks hooks;
  // No system-wide profile off Windows: the port number stays.
  hooks.readSystemPort = [](UpgradeState&) {};
  return hooks;
}

}  // namespace fw
