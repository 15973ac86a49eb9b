// Radio Flashwright. With --headless the job runs without a window and reports on the
// terminal.

#include <cstdio>
#include <cstring>

#include "app/HeadlessRun.h"

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--headless") == 0) {
      return fw::RunHeadless(argc, argv);
    }
  }
  std::fprintf(stderr, "The window is not part of this build; run with --headless.\n");
  fw::PrintHeadlessUsage(stderr);
  return 2;
}
