#pragma once
// Status reporting of a job: rows of the status list, the status text, progress
// messages. Row marks are exact strings.

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
// Posts a progress message with the cumulative byte count.
void PostProgress(UpgradeState& state, uint32_t msg, int bytesDone);

}  // namespace fw
