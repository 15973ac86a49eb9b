#pragma once
// Converting the radio's data to the new firmware's layout with the maker's converter.
//
// The converter libraries are loaded on first use, by absolute path from programDir
// ("mutaris.dll" / "mutarisV1.dll" on Windows, "libmutaris.so" / "libmutarisV1.so"
// elsewhere), never from the current directory or the library search path. A library
// that loaded stays loaded for the life of the process; one that failed is tried again
// on the next call, so a library installed while the program runs is picked up.

#include <string>

#include "core/StepResult.h"
#include "core/UpgradeState.h"
#include "radiodata/ConverterChoice.h"

namespace fw {

// The absolute path of a converter library for this installation.
std::string ConverterLibraryPath(const UpgradeState& state, ConverterKind kind);

// Runs the chosen converter over templateData (radioDataSize bytes, converted in place)
// and the radio data. Succeeds when the converter reports a conversion (a non-zero result);
// fails with the reason (which file, which symbol, the loader's text) when the library or
// its entry point is missing, the buffers do not hold radioDataSize bytes or the converter
// reports a failure.
StepResult ConvertRadioData(UpgradeState& state);

}  // namespace fw
