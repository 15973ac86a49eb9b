#pragma once
// Status reporting of a job: rows of the status list and the status text. Row marks are exact
// strings.

#include <cstdint>
#include <string>

#include "core/UpgradeState.h"

namespace fw {

inline constexpr const char* kMarkBusy = "------>";
inline constexpr const char* kMarkDone = "   \u221A";    // "   √"
inline constexpr const char* kMarkFailed = "   \u00D7";  // "   ×"

// Inserts a row at rowCount, marks the row before it done, increments rowCount.
void AddRow(UpgradeState& state, const std::string& mark, const std::string& text);
// Inserts a failed row ("   ×") that reports a fault beside the job's steps (a log or a
// count that could not be saved) just above the last row, so that the last row stays the
// step's own row for SetLastRow and AddRow; the job goes on.
void AddWarningRow(UpgradeState& state, const std::string& text);
// Overwrites both columns of the row at rowCount - 1.
void SetLastRow(UpgradeState& state, const std::string& mark, const std::string& text);
void SetStatusText(UpgradeState& state, const std::string& text);
// Forgets the rows (the list was emptied for a new job).
void ClearRows(UpgradeState& state);
// The job has ended: a row still marked under way gets the job's outcome ("   √" when
// resultOk is 1, "   ×" otherwise), so no row claims work that is no longer going on.
void FinishRows(UpgradeState& state);
// Adds a row after the last one without marking the row before it done (a job's closing
// remark, such as its being stopped by the user).
void AppendEndRow(UpgradeState& state, const std::string& mark, const std::string& text);

}  // namespace fw
