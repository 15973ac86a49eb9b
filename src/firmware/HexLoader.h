#pragma once
// Loading the firmware-chip hex file into the state's record table.

#include <cstdint>
#include <string>

#include "core/UpgradeState.h"
#include "firmware/HexRecordTable.h"

namespace fw {

// Progress units of the chip update's fixed steps, added to the data byte count.
constexpr uint32_t kChipFixedStepUnits = 52;
// A larger file cannot be a chip hex file (1500 records of 255 bytes fit in well under
// 1 MiB); it is treated as a file that cannot be opened.
constexpr size_t kMaxHexFileSize = 16u * 1024 * 1024;

// The job's hex record table (UpgradeState::hexRecords): made empty on first use.
HexRecordTable& HexRecords(UpgradeState& state);
// The table as last loaded; an empty table when the job has loaded none.
const HexRecordTable& HexRecords(const UpgradeState& state);

// Loads the file named by `hexFilePath` into `hexRecords`:
// - an empty path changes nothing (not even `chipImageSize`);
// - a file that cannot be opened keeps the table and `chipLoadedBytes` of the last load;
// - a file with any bad record (or no end record, or more records than the table holds) is
//   refused: the table is left empty, `hexRecords.Refusal()` says why and `chipLoadedBytes`
//   is 52;
// - otherwise the table is rebuilt and `chipLoadedBytes` is the data records' byte count
//   plus 52.
// Either way past the empty-path test, `chipImageSize` becomes `chipLoadedBytes`.
// Returns true when the file was read and taken.
bool LoadHexFile(UpgradeState& state);

// The message for a refused hex file, naming the file (by its name, without its folder) and
// the line: "The firmware chip hex file chip.hex is refused: line 7: its checksum is 3C, but
// its bytes need 3D. Please choose another hex file!", or "... is too large: ...".
std::string HexRefusalText(const HexRefusal& refusal);

// The refusal of the file `hexFilePath` names, when the last load of that file refused it.
const HexRefusal* HexFileRefusal(const UpgradeState& state);

// The "Hex File.." choice without its dialog: an empty path changes nothing; otherwise
// `hexFilePath` becomes `path` and the file is loaded. The caller shows the new path.
bool UseHexFile(UpgradeState& state, const std::string& path);

}  // namespace fw
