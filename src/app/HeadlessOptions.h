#pragma once
// Command line of the headless front end:
//   Flashwright --headless [--program-dir DIR] [--port N ... | --ports N,M,... | --all-ports]
//               [--firmware-only | --chip-only] [--update-chip] [--vocoder AMBE|SELP]
//               [--allow-unidentified] [--journal PATH] [--no-backup] [--json]
//   Flashwright --headless --port N (--restore JOB | --restore-file FILE)
//               [--restore-to-other-radio]
//   Flashwright --headless --history [--format table|csv|json] [--since DATE] [--radio TEXT]

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fw {

struct HeadlessOptions {
  bool headless = false;
  bool help = false;        // --help: print the usage and stop
  std::string programDir;   // empty: the executable's folder
  std::optional<int> port;  // COM number 1..16: the first port named
  // Every port named by --port (which may be given several times) and --ports, in the
  // order given, each once. More than one runs one job per port at the same time.
  std::vector<int> ports;
  bool allPorts = false;  // --all-ports: every port the port map gives a device
  bool firmwareOnly = false;
  bool chipOnly = false;
  bool updateChip = false;
  std::optional<int> vocoder;  // 0 AMBE, 1 SELP
  // A radio that does not identify itself is sent the image chosen without knowing it
  // (without the option the job ends: nobody is there to ask).
  bool allowUnidentified = false;
  // --journal: the job journal, a file or a server "postgresql://..." (empty: the
  // settings', or the user's)
  std::string journalPath;
  std::string journalLocalPath;  // --journal-local: the local journal beside a server
  bool noBackup = false;         // --no-backup: write radios without a backup in the journal
  bool json = false;             // --json: one JSON object per line instead of text
  // --restore JOB: write back the settings job JOB saved; --restore-file FILE: a data dump.
  std::optional<int64_t> restoreJob;
  std::string restoreBench;  // --restore BENCH/JOB: job JOB of another bench, from the server
  std::string restoreFile;
  bool restoreToOtherRadio = false;
  // --history: list the journal's jobs and exit.
  bool history = false;
  std::string historyFormat = "table";  // table, csv or json
  std::string since;
  std::string radio;
};

// False with `error` set on a usage error.
bool ParseHeadlessOptions(const std::vector<std::string>& args, HeadlessOptions& out,
                          std::string& error);

}  // namespace fw
