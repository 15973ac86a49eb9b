#include "app/HeadlessOptions.h"

#include <cstdlib>

#include "serial/PortMap.h"

namespace fw {
namespace {

bool ParsePortNumber(const std::string& v, int& n) {
  if (v.empty()) {
    return false;
  }
  char* end = nullptr;
  const long value = std::strtol(v.c_str(), &end, 10);
  if (*end != '\0' || value < 1 || value > PortMap::kMaxMappedPort) {
    return false;
  }
  n = static_cast<int>(value);
  return true;
}

bool AddPort(HeadlessOptions& out, int n, std::string& error) {
  for (int p : out.ports) {
    if (p == n) {
      error = "COM" + std::to_string(n) + " is named twice";
      return false;
    }
  }
  out.ports.push_back(n);
  if (!out.port) {
    out.port = n;
  }
  return true;
}

}  // namespace

bool ParseHeadlessOptions(const std::vector<std::string>& args, HeadlessOptions& out,
                          std::string& error) {
  out = HeadlessOptions();
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& v) {
      if (i + 1 >= args.size()) {
        error = a + " needs a value";
        return false;
      }
      v = args[++i];
      return true;
    };
    std::string v;
    if (a == "--headless") {
      out.headless = true;
    } else if (a == "--help" || a == "-h") {
      out.help = true;
    } else if (a == "--program-dir" || a.rfind("--program-dir=", 0) == 0) {
      // "--program-dir DIR" or "--program-dir=DIR", as the window takes it.
      if (a.size() > 13) {
        v = a.substr(14);
      } else if (!value(v)) {
        v.clear();
      }
      if (v.empty()) {
        error = "--program-dir needs a folder";
        return false;
      }
      out.programDir = v;
    } else if (a == "--port") {
      if (!value(v)) {
        return false;
      }
      int n = 0;
      if (!ParsePortNumber(v, n)) {
        error = "--port takes a COM number from 1 to 64";
        return false;
      }
      if (!AddPort(out, n, error)) {
        return false;
      }
    } else if (a == "--ports") {
      if (!value(v)) {
        return false;
      }
      // "1,2,5": COM numbers separated by commas, no empty item.
      size_t start = 0;
      for (;;) {
        const size_t comma = v.find(',', start);
        const std::string item = v.substr(start, comma - start);
        int n = 0;
        if (!ParsePortNumber(item, n)) {
          error = "--ports takes COM numbers from 1 to 64 separated by commas (\"" + v + "\")";
          return false;
        }
        if (!AddPort(out, n, error)) {
          return false;
        }
        if (comma == std::string::npos) {
          break;
        }
        start = comma + 1;
      }
    } else if (a == "--all-ports") {
      out.allPorts = true;
    } else if (a == "--firmware-only") {
      out.firmwareOnly = true;
    } else if (a == "--chip-only") {
      out.chipOnly = true;
    } else if (a == "--update-chip") {
      out.updateChip = true;
    } else if (a == "--allow-unidentified") {
      out.allowUnidentified = true;
    } else if (a == "--journal" || a.rfind("--journal=", 0) == 0) {
      if (a.size() > 9) {
        v = a.substr(10);
      } else if (!value(v)) {
        v.clear();
      }
      if (v.empty()) {
        error = "--journal needs a file";
        return false;
      }
      out.journalPath = v;
    } else if (a == "--journal-local") {
      if (!value(v) || v.empty()) {
        error = "--journal-local needs a file";
        return false;
      }
      out.journalLocalPath = v;
    } else if (a == "--no-backup") {
      out.noBackup = true;
    } else if (a == "--json") {
      out.json = true;
    } else if (a == "--restore") {
      if (!value(v)) {
        return false;
      }
      // "BENCH/JOB": a job of the bench BENCH, as the journal server's history names it.
      const size_t slash = v.rfind('/');
      if (slash != std::string::npos) {
        out.restoreBench = v.substr(0, slash);
        v = v.substr(slash + 1);
      }
      char* end = nullptr;
      const long long job = std::strtoll(v.c_str(), &end, 10);
      if (v.empty() || *end != '\0' || job < 1 || (slash != std::string::npos && slash == 0)) {
        error =
            "--restore takes a job number from the journal, or BENCH/JOB from the "
            "journal server's (see --history)";
        return false;
      }
      out.restoreJob = job;
    } else if (a == "--restore-file") {
      if (!value(v) || v.empty()) {
        error = "--restore-file needs a file";
        return false;
      }
      out.restoreFile = v;
    } else if (a == "--restore-to-other-radio") {
      out.restoreToOtherRadio = true;
    } else if (a == "--history") {
      out.history = true;
    } else if (a == "--format") {
      if (!value(v)) {
        return false;
      }
      if (v != "table" && v != "csv" && v != "json") {
        error = "--format takes table, csv or json";
        return false;
      }
      out.historyFormat = v;
    } else if (a == "--since") {
      if (!value(v)) {
        return false;
      }
      // YYYY-MM-DD, optionally followed by Thh:mm[:ss]: compared with the records' UTC times.
      const bool date = v.size() >= 10 && v[4] == '-' && v[7] == '-' &&
                        v.find_first_not_of("0123456789-T:.Z") == std::string::npos;
      if (!date) {
        error = "--since takes a UTC date, YYYY-MM-DD or YYYY-MM-DDThh:mm:ss (\"" + v + "\")";
        return false;
      }
      out.since = v;
    } else if (a == "--radio") {
      if (!value(v) || v.empty()) {
        error = "--radio needs a text";
        return false;
      }
      out.radio = v;
    } else if (a == "--vocoder") {
      if (!value(v)) {
        return false;
      }
      if (v == "AMBE") {
        out.vocoder = 0;
      } else if (v == "SELP") {
        out.vocoder = 1;
      } else {
        error = "--vocoder takes AMBE or SELP";
        return false;
      }
    } else {
      error = "unknown option " + a;
      return false;
    }
  }
  if (out.allPorts && !out.ports.empty()) {
    error = "--all-ports excludes --port and --ports";
    return false;
  }
  const bool restore = out.restoreJob.has_value() || !out.restoreFile.empty();
  if (out.restoreJob && !out.restoreFile.empty()) {
    error = "--restore and --restore-file exclude each other";
    return false;
  }
  if (restore && (out.firmwareOnly || out.chipOnly || out.updateChip)) {
    error = "a write-back (--restore, --restore-file) writes the radio's data only";
    return false;
  }
  if (restore && (out.allPorts || out.ports.size() > 1)) {
    error = "a write-back (--restore, --restore-file) runs on one port";
    return false;
  }
  if (out.restoreToOtherRadio && !out.restoreJob) {
    error = "--restore-to-other-radio goes with --restore JOB";
    return false;
  }
  if (!out.history && (out.historyFormat != "table" || !out.since.empty() || !out.radio.empty())) {
    error = "--format, --since and --radio go with --history";
    return false;
  }
  if (out.firmwareOnly && out.chipOnly) {
    error = "--firmware-only and --chip-only exclude each other";
    return false;
  }
  return true;
}

}  // namespace fw
