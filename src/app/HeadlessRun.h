#pragma once
// The headless front end: runs one job exactly as the "Upgrade" button would, on the
// installation in the program folder, and reports on standard output.
// Exit status: 0 when the job succeeded, 1 when it failed, 2 for a usage error.

#include <cstdio>

namespace fw {

int RunHeadless(int argc, char** argv);
void PrintHeadlessUsage(std::FILE* out);

}  // namespace fw
