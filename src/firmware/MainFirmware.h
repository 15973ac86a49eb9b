#pragma once
// The main firmware transfer in download mode, on the job's worker thread: open the
// download port, identify the radio, choose and load its image, send the batch (header,
// 1024-byte data blocks, end of transmission, closing block). Sets resultOk to 1 when the
// radio accepted the whole batch; every other ending leaves it as it was and the port closed.

#include <string>

#include "core/UpgradeState.h"

namespace fw {

// Opens the download port of the selected COM port at 115200 baud, 8 data bits, no parity
// and the given stop bits (kOneStopBit for the transfer, kTwoStopBits for the chip
// update), with a 1000 ms read deadline. 1 if open; 0 after telling the user why.
int OpenDownloadPort(UpgradeState& state, int stopBits);

// How a transfer ended. A failed transfer has said why in its own row or box already.
enum class TransferResult { Done, Failed };

// Sets resultOk to 1 as well when the radio accepted the whole batch.
TransferResult TransferMainFirmware(UpgradeState& state);

// The size of a file in bytes; -1 when it is missing or not a regular file (sizes beyond
// the int range count as the largest int).
int ImageFileSize(const std::string& path);

// Clears all of imageBuffer, then reads imageSize bytes (at most the buffer) of the file
// into it. False when the file cannot be opened or holds fewer bytes.
bool LoadImageFile(UpgradeState& state, const std::string& path);

// Reloads the firmware-chip hex file named by hexFilePath before a transfer (the chip
// update later in the job sends what it holds); sets chipImageSize from it.
void ReloadChipHex(UpgradeState& state);

}  // namespace fw
