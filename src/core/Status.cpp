#include "core/Status.h"

namespace fw {

void AddRow(UpgradeState& state, const std::string& mark, const std::string& text) {
  state.view->InsertRow(state.rowCount, mark, text);
  if (state.rowCount > 0) {
    state.view->SetRowText(state.rowCount - 1, 0, kMarkDone);
  }
  ++state.rowCount;
}

void AddWarningRow(UpgradeState& state, const std::string& text) {
  state.view->InsertRow(state.rowCount > 0 ? state.rowCount - 1 : 0, kMarkFailed, text);
  ++state.rowCount;
}

void SetLastRow(UpgradeState& state, const std::string& mark, const std::string& text) {
  state.view->SetRowText(state.rowCount - 1, 0, mark);
  state.view->SetRowText(state.rowCount - 1, 1, text);
}

void SetStatusText(UpgradeState& state, const std::string& text) {
  state.view->SetStatusText(text);
}

void PostProgress(UpgradeState& state, uint32_t msg, int bytesDone) {
  state.view->PostMessage(msg, 0, bytesDone);
}

}  // namespace fw
