#pragma once
// The headless front end: runs one job exactly as the "Upgrade" button would, on the
// installation in the program folder, and reports on standard output.
// Exit status: 0 when the job succeeded, 1 when it failed, 2 for a usage error or a
// program folder that lacks what the job reads.

#include <cstdio>
#include <string>

#include "config/Installation.h"

namespace fw {

int RunHeadless(int argc, char** argv);
void PrintHeadlessUsage(std::FILE* out);

// The last line of the report: whether the radio on the port was upgraded and with what, or
// what it failed on (the failed step's row, or else the last message), or that the user
// stopped it.
std::string HeadlessVerdict(bool ok, InstallationUse use, bool updateChip, int portNumber,
                            const std::string& device, const std::string& whatFailed,
                            bool stoppedByUser = false);

}  // namespace fw
