#pragma once
// Loading the firmware-chip hex file into the state's record table.

#include <cstdint>
#include <string>

#include "core/UpgradeState.h"

namespace fw {

// Progress units of the chip update's fixed steps, added to the data byte count.
constexpr uint32_t kChipFixedStepUnits = 52;
// A larger file cannot be a chip hex file (1500 records of 255 bytes fit in well under
// 1 MiB); it is treated as a file that cannot be opened.
constexpr size_t kMaxHexFileSize = 16u * 1024 * 1024;

// Loads the file named by `hexFilePath` into `hexRecords`:
// - an empty path changes nothing (not even `chipImageSize`);
// - a file that cannot be opened keeps the table and `chipLoadedBytes` of the last load;
// - otherwise the table is rebuilt and `chipLoadedBytes` is the data records' byte count
//   plus 52.
// Either way past the empty-path test, `chipImageSize` becomes `chipLoadedBytes`.
// Returns true when the file was read and decoded.
bool LoadHexFile(UpgradeState& state);

// The "Hex File.." choice without its dialog: an empty path changes nothing; otherwise
// `hexFilePath` becomes `path` and the file is loaded. The caller shows the new path.
bool UseHexFile(UpgradeState& state, const std::string& path);

}  // namespace fw
