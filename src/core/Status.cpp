#include "core/Status.h"

#include <algorithm>

namespace fw {
namespace {

void RememberMark(UpgradeState& state, int index, const std::string& mark) {
  if (index < 0) {
    return;
  }
  if (state.rowMarks.size() <= static_cast<size_t>(index)) {
    state.rowMarks.resize(static_cast<size_t>(index) + 1);
  }
  state.rowMarks[static_cast<size_t>(index)] = mark;
}

}  // namespace

void AddRow(UpgradeState& state, const std::string& mark, const std::string& text) {
  state.view->InsertRow(state.rowCount, mark, text);
  const size_t at =
      std::min(static_cast<size_t>(std::max(state.rowCount, 0)), state.rowMarks.size());
  state.rowMarks.insert(state.rowMarks.begin() + static_cast<long>(at), mark);
  if (state.rowCount > 0) {
    state.view->SetRowText(state.rowCount - 1, Column::Mark, kMarkDone);
    RememberMark(state, state.rowCount - 1, kMarkDone);
  }
  ++state.rowCount;
}

void AddWarningRow(UpgradeState& state, const std::string& text) {
  const int at = state.rowCount > 0 ? state.rowCount - 1 : 0;
  state.view->InsertRow(at, kMarkFailed, text);
  const size_t markAt = std::min(static_cast<size_t>(at), state.rowMarks.size());
  state.rowMarks.insert(state.rowMarks.begin() + static_cast<long>(markAt), kMarkFailed);
  ++state.rowCount;
}

void ClearRows(UpgradeState& state) {
  state.rowMarks.clear();
  state.rowCount = 0;
}

void FinishRows(UpgradeState& state) {
  const char* outcome = state.resultOk == 1 ? kMarkDone : kMarkFailed;
  for (size_t i = 0; i < state.rowMarks.size(); ++i) {
    if (state.rowMarks[i] == kMarkBusy) {
      state.view->SetRowText(static_cast<int>(i), Column::Mark, outcome);
      state.rowMarks[i] = outcome;
    }
  }
}

void AppendEndRow(UpgradeState& state, const std::string& mark, const std::string& text) {
  const int at = static_cast<int>(
      std::max(state.rowMarks.size(), static_cast<size_t>(std::max(state.rowCount, 0))));
  state.view->InsertRow(at, mark, text);
  RememberMark(state, at, mark);
  state.rowCount = at + 1;
}

void SetLastRow(UpgradeState& state, const std::string& mark, const std::string& text) {
  state.view->SetRowText(state.rowCount - 1, Column::Mark, mark);
  state.view->SetRowText(state.rowCount - 1, Column::Text, text);
  RememberMark(state, state.rowCount - 1, mark);
}

void SetStatusText(UpgradeState& state, const std::string& text) {
  state.view->SetStatusText(text);
}

}  // namespace fw
