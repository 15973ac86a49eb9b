#pragma once
// The program's entry, shared by every program that takes the command line: what the command
// line alone asks (--version, --help, options it does not know), the code-page check and the
// headless front end (--headless). Where it ends with "open the window", the caller opens
// its window (the Qt one on Linux, the Win32 one on Windows).

#include <string>
#include <vector>

namespace fw {

struct ProgramStart {
  bool openWindow = false;  // nothing was asked that the command line answers: open the window
  int exitStatus = 0;       // otherwise the program's exit status
};

// `argv[0]` is the program; the rest as the user gave them (the headless front end parses
// them). `args` are the arguments that the command-line check looks at: argv's without
// the program name, less the window's own options that the caller has taken out.
ProgramStart RunCommandLine(const std::vector<std::string>& args, int argc, char** argv);

// Whether a command line (without the program name) is one that RunCommandLine answers on
// the console rather than by opening the window: --headless with its options, --help,
// --version and any option or argument the window does not take. The Windows window
// program attaches to (or opens) a console for exactly these.
bool NeedsConsole(const std::vector<std::string>& args);

// The usage of both front ends.
void PrintProgramHelp();

}  // namespace fw

#ifdef _WIN32
namespace fw {

// The program's command line as Windows keeps it (UTF-16), each argument in UTF-8, the
// program's name first: the arguments as the rest of the program takes text, whatever the
// console's code page.
std::vector<std::string> Utf8CommandLine();

// Arguments in the form of main's argv (pointers into `args`, null-terminated).
std::vector<char*> ArgvOf(std::vector<std::string>& args);

}  // namespace fw
#endif
