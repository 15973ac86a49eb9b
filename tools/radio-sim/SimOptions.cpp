#include "SimOptions.h"

#include <cstdlib>
#include <cstring>

#include "DemoIdentity.h"

namespace fw::sim {
namespace {

// An option as given: the radio it is for (0: every radio), its name and value.
struct GivenOption {
  int radio = 0;
  std::string name;
  std::string value;
};

bool TakesValue(const std::string& name) {
  static const char* const withValue[] = {
      "--info",    "--variant",         "--model", "--line-rate",  "--restart-ms",
      "--link-id", "--link-model",      "--area",  "--fw-version", "--chip-enter",
      "--fault",   "--adapter-latency", "--device"};
  for (const char* n : withValue) {
    if (name == n) {
      return true;
    }
  }
  return false;
}

bool IsFlag(const std::string& name) {
  return name == "--lose-first-byte" || name == "--one-radio" || name == "--back-to-download" ||
         name == "--running";
}

// A whole decimal number in [low, high]; false for anything else ("3x", "", "-1").
bool ParseNumber(const std::string& text, long low, long high, long& out) {
  if (text.empty() || text.size() > 9) {
    return false;
  }
  for (char c : text) {
    if (c < '0' || c > '9') {
      return false;
    }
  }
  out = std::strtol(text.c_str(), nullptr, 10);
  return out >= low && out <= high;
}

bool Apply(const GivenOption& o, SimRadioSetup& radio, std::string& error) {
  RadioSimConfig& c = radio.config;
  const std::string& v = o.value;
  if (o.name == "--info") {
    c.download.info = v;
  } else if (o.name == "--variant") {
    c.download.variant = v;
  } else if (o.name == "--model") {
    c.download.model = v;
  } else if (o.name == "--line-rate") {
    if (v != "on" && v != "off") {
      error = "--line-rate takes on or off, not \"" + v + "\"";
      return false;
    }
    c.lineRate = v == "on" ? 115200 : 0;
  } else if (o.name == "--adapter-latency") {
    long ms = 0;
    if (!ParseNumber(v, 0, 255, ms)) {
      error = "--adapter-latency takes milliseconds (0 to 255), not \"" + v + "\"";
      return false;
    }
    c.adapterLatencyMs = static_cast<uint32_t>(ms);
  } else if (o.name == "--device") {
    c.device = v;
  } else if (o.name == "--lose-first-byte") {
    c.download.loseWaitingFirstByte = true;
  } else if (o.name == "--restart-ms") {
    long ms = 0;
    if (!ParseNumber(v, 0, 600000, ms)) {
      error = "--restart-ms takes milliseconds (0 to 600000), not \"" + v + "\"";
      return false;
    }
    c.download.restartMs = static_cast<uint32_t>(ms);
  } else if (o.name == "--one-radio") {
    c.download.nextRadioAfterUpgrade = false;
  } else if (o.name == "--back-to-download") {
    radio.backToDownload = true;
  } else if (o.name == "--running") {
    radio.running = true;
  } else if (o.name == "--link-id") {
    c.linkIdentifier = v;
  } else if (o.name == "--link-model") {
    c.linkModelText = v;
  } else if (o.name == "--area") {
    c.areaDigit = v.empty() ? '1' : v[0];
  } else if (o.name == "--fw-version") {
    c.firmwareVersionText = v;
  } else if (o.name == "--chip-enter") {
    c.chipEnterText = v;
  } else if (o.name == "--fault") {
    if (!ParseDownloadFault(v, c.download.fault)) {
      error = "bad --fault \"" + v + "\"";
      return false;
    }
  }
  return true;
}

}  // namespace

SimRadioSetup DemoRadioSetup() {
  // The radio of the demo installation, restarting quickly enough for a demo whose fixed
  // waits are scaled down (a real radio takes longer).
  SimRadioSetup setup;
  RadioSimConfig& config = setup.config;
  config.download.info = fw::demo::kInfoField;
  config.download.variant = fw::demo::kVariantAmbe;
  config.download.model = fw::demo::kDownloadModelText;
  config.download.restartMs = 1000;
  config.linkIdentifier = fw::demo::kIdentityText;
  config.linkModelText = fw::demo::kModelText;
  config.areaDigit = fw::demo::kAreaDigit;
  config.firmwareVersionText = fw::demo::kLinkVersionText;
  config.chipEnterText = fw::demo::kChipEnterText;
  return setup;
}

bool ParseSimOptions(const std::vector<std::string>& args, SimOptions& out, std::string& error) {
  out = SimOptions();
  long radios = 1;
  std::vector<GivenOption> given;
  int only = 0;  // the radio the next option is for
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      out.help = true;
      continue;
    }
    const bool takesValue = TakesValue(arg) || arg == "--radios" || arg == "--only";
    if (!takesValue && !IsFlag(arg)) {
      error = "unknown option \"" + arg + "\"";
      return false;
    }
    std::string value;
    if (takesValue) {
      if (i + 1 >= args.size()) {
        error = arg + " needs a value";
        return false;
      }
      value = args[++i];
    }
    if (arg == "--radios" || arg == "--only") {
      if (only != 0) {
        error = "--only " + std::to_string(only) + " must be followed by a radio's option";
        return false;
      }
      long n = 0;
      if (!ParseNumber(value, 1, kMaxRadios, n)) {
        error = arg + " takes a number from 1 to " + std::to_string(kMaxRadios) + ", not \"" +
                value + "\"";
        return false;
      }
      if (arg == "--radios") {
        radios = n;
      } else {
        only = static_cast<int>(n);
      }
      continue;
    }
    given.push_back({only, arg, value});
    only = 0;
  }
  if (only != 0) {
    error = "--only " + std::to_string(only) + " must be followed by a radio's option";
    return false;
  }
  out.radios.assign(static_cast<size_t>(radios), DemoRadioSetup());
  // The options for every radio first, then those for one radio, each in the order given.
  for (int pass = 0; pass < 2; ++pass) {
    for (const GivenOption& o : given) {
      if ((o.radio != 0) != (pass == 1)) {
        continue;
      }
      if (o.radio > radios) {
        error = "--only " + std::to_string(o.radio) + ": there are only " + std::to_string(radios) +
                " radios";
        return false;
      }
      for (long k = 1; k <= radios; ++k) {
        if ((o.radio == 0 || o.radio == k) &&
            !Apply(o, out.radios[static_cast<size_t>(k - 1)], error)) {
          return false;
        }
      }
    }
  }
  return true;
}

void PrintSimUsage(std::FILE* to) {
  std::fprintf(to,
               "usage: flashwright-radio-sim [options]\n"
               "  --radios N          play N radios (1 to 32), each on its own pseudo-terminal;\n"
               "                      the first N lines name them: \"radio K: DEVICE\"\n"
               "  --only K OPTION     the option that follows applies to radio K alone\n"
               "  --info TEXT         information field of the identification reply (MCU-0401;\n"
               "                      MCU-0399: a small-processor radio)\n"
               "  --variant TEXT      variant field (A: AMBE; S: SELP)\n"
               "  --model TEXT        model text (KV86000000N00000)\n"
               "  --line-rate on|off  emulate a 115200-baud line (off)\n"
               "  --device PATH       serve on this terminal (a USB gadget's tty) instead of a\n"
               "                      new pseudo-terminal\n"
               "  --adapter-latency MS\n"
               "                      answer through a modelled USB serial adapter: full\n"
               "                      62-byte packets at once, the rest when its free-running\n"
               "                      latency timer of MS milliseconds fires (0: none)\n"
               "  --lose-first-byte   the \"Waiting\" reply loses its first byte\n"
               "  --restart-ms N      deaf time after a transfer (1000)\n"
               "  --back-to-download  wait in download mode again after each restart\n"
               "  --one-radio         stay the upgraded radio: without it, once an upgrade has\n"
               "                      completed, the next identification request finds the\n"
               "                      next radio on the bench, in download mode\n"
               "  --running           start switched on and running normally (the data link\n"
               "                      and the firmware chip's loader answer), not in download\n"
               "                      mode: the radio a chip-only job updates\n"
               "  --link-id TEXT      model identifier in the data link's information block\n"
               "                      (KV86000000N02000)\n"
               "  --link-model TEXT   model text in the information block (KV86000000N00000)\n"
               "  --area DIGIT        area code in the information block (1)\n"
               "  --fw-version TEXT   answer to the firmware version query (0399)\n"
               "  --chip-enter TEXT   firmware chip's enter reply (A-enter: AMBE; S-enter: SELP)\n"
               "The defaults play the radio of the demo installation (make-demo-install).\n"
               "  --fault KIND:STEP[:ATTEMPTS[:BLOCK]]\n"
               "      KIND: silence short wrong hangup notdownload garbled\n"
               "      STEP: auto identify request header data end closing\n"
               "      ATTEMPTS: faulty attempts before normal answers (0: all)\n"
               "      BLOCK: data block number for STEP data (1)\n");
}

bool ParseDownloadFault(const std::string& text, DownloadFault& fault) {
  char kind[32] = {0};
  char step[32] = {0};
  int attempts = 0;
  unsigned block = 1;
  if (std::sscanf(text.c_str(), "%31[a-z]:%31[a-z]:%d:%u", kind, step, &attempts, &block) < 2) {
    return false;
  }
  const struct {
    const char* name;
    FaultKind kind;
  } kinds[] = {{"silence", FaultKind::kSilence},           {"short", FaultKind::kShortReply},
               {"wrong", FaultKind::kWrongByte},           {"hangup", FaultKind::kHangUp},
               {"notdownload", FaultKind::kNotInDownload}, {"garbled", FaultKind::kGarbled}};
  const struct {
    const char* name;
    DownloadStep step;
  } steps[] = {{"auto", DownloadStep::kAutoDownload},
               {"identify", DownloadStep::kIdentify},
               {"request", DownloadStep::kDownloadRequest},
               {"header", DownloadStep::kHeader},
               {"data", DownloadStep::kData},
               {"end", DownloadStep::kEnd},
               {"closing", DownloadStep::kClosing}};
  bool kindOk = false;
  bool stepOk = false;
  for (const auto& k : kinds) {
    if (std::strcmp(k.name, kind) == 0) {
      fault.kind = k.kind;
      kindOk = true;
    }
  }
  for (const auto& s : steps) {
    if (std::strcmp(s.name, step) == 0) {
      fault.step = s.step;
      stepOk = true;
    }
  }
  fault.attempts = attempts;
  fault.dataBlock = block;
  return kindOk && stepOk;
}

std::string RadioLine(int radio, int radios, const std::string& text) {
  return radios > 1 ? "radio " + std::to_string(radio) + ": " + text : text;
}

std::vector<std::string> RadioReporter::Poll() {
  std::vector<std::string> lines;
  if (ended_) {
    return lines;
  }
  char line[256];
  const DownloadRecord r = radio_.DownloadSnapshot();
  if (r.completed && r.completedTransfers != transfersReported_) {
    std::snprintf(line, sizeof line,
                  "received \"%s\": %lld bytes in %u blocks (%u refused, %u repeated)",
                  r.fileName.c_str(), static_cast<long long>(r.declaredSize), r.blocksAccepted,
                  r.badBlocks, r.duplicateBlocks);
    lines.emplace_back(line);
    transfersReported_ = r.completedTransfers;
  }
  // The data and font blocks written since the last report, once an access has ended.
  using Link = FramedLinkResponder;
  radio_.WithLink([&](Link& link) {
    const auto& requests = link.Requests();
    if (requests.empty() || requests.back().command != Link::Command::kEndAccess ||
        static_cast<int>(requests.size()) <= writesReported_) {
      return;
    }
    unsigned dataBytes = 0;
    unsigned fontBytes = 0;
    for (size_t i = static_cast<size_t>(writesReported_); i < requests.size(); ++i) {
      const auto& q = requests[i];
      if (q.command == Link::Command::kWriteBlock) {
        (q.memory == Link::Memory::kFont ? fontBytes : dataBytes) += q.length;
      }
    }
    if (dataBytes + fontBytes > 0) {
      std::snprintf(line, sizeof line, "written: %u data bytes, %u font bytes", dataBytes,
                    fontBytes);
      lines.emplace_back(line);
    }
    writesReported_ = static_cast<int>(requests.size());
  });
  radio_.WithChip([&](ChipLoaderResponder& chip) {
    if (chip.Completed() && !chipReported_) {
      std::snprintf(line, sizeof line, "firmware chip programmed: %zu bytes in %d records",
                    chip.Flash().size(), chip.GetLog().dataFrames);
      lines.emplace_back(line);
    }
    chipReported_ = chip.Completed();
  });
  if (radio_.Pty().HungUp()) {
    lines.emplace_back("line hung up");
    ended_ = true;
    return lines;
  }
  if (backToDownload_ && radio_.CurrentMode() == RadioMode::kNormal) {
    radio_.SetMode(RadioMode::kDownload);
    radio_.WithDownload([](DownloadModeResponder& d) { d.ResetRecord(); });
  }
  return lines;
}

}  // namespace fw::sim
