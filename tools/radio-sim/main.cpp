// flashwright-radio-sim: a simulated radio on a pseudo-terminal, for demos and manual
// runs. Prints the device path to open as the radio's serial port and what the radio
// received, until interrupted.

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "DemoIdentity.h"
#include "FramedLinkResponder.h"
#include "RadioSim.h"

namespace {

volatile sig_atomic_t g_stop = 0;

void OnSignal(int) {
  g_stop = 1;
}

void Usage() {
  std::fprintf(stderr,
               "usage: flashwright-radio-sim [options]\n"
               "  --info TEXT         information field of the identification reply (MCU-0401;\n"
               "                      MCU-0399: a small-processor radio)\n"
               "  --variant TEXT      variant field (A: AMBE; S: SELP)\n"
               "  --model TEXT        model text (KV86000000N00000)\n"
               "  --line-rate on|off  emulate a 115200-baud line (off)\n"
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

bool ParseFault(const std::string& text, fw::sim::DownloadFault& fault) {
  using fw::sim::DownloadStep;
  using fw::sim::FaultKind;
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

// Prints the data and font blocks written since the last report once an access has
// ended, and the chip's programming once it completed.
void ReportLinkAndChip(fw::sim::RadioSim& radio, int& writesReported, bool& chipReported) {
  using Link = fw::sim::FramedLinkResponder;
  radio.WithLink([&](Link& link) {
    const auto& requests = link.Requests();
    if (requests.empty() || requests.back().command != Link::Command::kEndAccess ||
        static_cast<int>(requests.size()) <= writesReported) {
      return;
    }
    unsigned dataBytes = 0;
    unsigned fontBytes = 0;
    for (size_t i = static_cast<size_t>(writesReported); i < requests.size(); ++i) {
      const auto& q = requests[i];
      if (q.command == Link::Command::kWriteBlock) {
        (q.memory == Link::Memory::kFont ? fontBytes : dataBytes) += q.length;
      }
    }
    if (dataBytes + fontBytes > 0) {
      std::printf("written: %u data bytes, %u font bytes\n", dataBytes, fontBytes);
      std::fflush(stdout);
    }
    writesReported = static_cast<int>(requests.size());
  });
  radio.WithChip([&](fw::sim::ChipLoaderResponder& chip) {
    if (chip.Completed() && !chipReported) {
      std::printf("firmware chip programmed: %zu bytes in %d records\n", chip.Flash().size(),
                  chip.GetLog().dataFrames);
      std::fflush(stdout);
    }
    chipReported = chip.Completed();
  });
}

}  // namespace

int main(int argc, char** argv) {
  // By default the radio of the demo installation, restarting quickly enough for a demo
  // whose fixed waits are scaled down (a real radio takes longer).
  fw::sim::RadioSimConfig config;
  config.download.info = fw::demo::kInfoField;
  config.download.variant = fw::demo::kVariantAmbe;
  config.download.model = fw::demo::kDownloadModelText;
  config.download.restartMs = 1000;
  config.linkIdentifier = fw::demo::kIdentityText;
  config.linkModelText = fw::demo::kModelText;
  config.areaDigit = fw::demo::kAreaDigit;
  config.firmwareVersionText = fw::demo::kLinkVersionText;
  config.chipEnterText = fw::demo::kChipEnterText;
  bool backToDownload = false;
  bool running = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](const char* name) -> const char* {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "%s needs a value\n", name);
        std::exit(2);
      }
      return argv[++i];
    };
    if (arg == "--info") {
      config.download.info = value("--info");
    } else if (arg == "--variant") {
      config.download.variant = value("--variant");
    } else if (arg == "--model") {
      config.download.model = value("--model");
    } else if (arg == "--line-rate") {
      std::string v = value("--line-rate");
      if (v != "on" && v != "off") {
        Usage();
        return 2;
      }
      config.lineRate = v == "on" ? 115200 : 0;
    } else if (arg == "--lose-first-byte") {
      config.download.loseWaitingFirstByte = true;
    } else if (arg == "--restart-ms") {
      config.download.restartMs =
          static_cast<uint32_t>(std::strtoul(value("--restart-ms"), nullptr, 10));
    } else if (arg == "--one-radio") {
      config.download.nextRadioAfterUpgrade = false;
    } else if (arg == "--back-to-download") {
      backToDownload = true;
    } else if (arg == "--running") {
      running = true;
    } else if (arg == "--link-id") {
      config.linkIdentifier = value("--link-id");
    } else if (arg == "--link-model") {
      config.linkModelText = value("--link-model");
    } else if (arg == "--area") {
      const char* area = value("--area");
      config.areaDigit = area[0] != 0 ? area[0] : '1';
    } else if (arg == "--fw-version") {
      config.firmwareVersionText = value("--fw-version");
    } else if (arg == "--chip-enter") {
      config.chipEnterText = value("--chip-enter");
    } else if (arg == "--fault") {
      if (!ParseFault(value("--fault"), config.download.fault)) {
        Usage();
        return 2;
      }
    } else {
      Usage();
      return arg == "--help" || arg == "-h" ? 0 : 2;
    }
  }

  // Download mode, then (after the restart) the framed data link and the chip loader; or,
  // with --running, the data link and the chip loader from the start.
  fw::sim::RadioSim radio(config);
  if (running) {
    radio.SetMode(fw::sim::RadioMode::kNormal);
  }
  if (!radio.Start()) {
    std::fprintf(stderr, "cannot start: %s\n", radio.Error().c_str());
    return 1;
  }
  signal(SIGINT, OnSignal);
  signal(SIGTERM, OnSignal);
  std::printf("%s\n", radio.DevicePath().c_str());
  std::fflush(stdout);

  bool reported = false;
  int writesReported = 0;
  bool chipReported = false;
  while (!g_stop) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    fw::sim::DownloadRecord r = radio.DownloadSnapshot();
    if (r.completed && !reported) {
      std::printf("received \"%s\": %lld bytes in %u blocks (%u refused, %u repeated)\n",
                  r.fileName.c_str(), static_cast<long long>(r.declaredSize), r.blocksAccepted,
                  r.badBlocks, r.duplicateBlocks);
      std::fflush(stdout);
      reported = true;
    }
    if (!r.completed) {
      reported = false;
    }
    ReportLinkAndChip(radio, writesReported, chipReported);
    if (radio.Pty().HungUp()) {
      std::printf("line hung up\n");
      break;
    }
    if (backToDownload && radio.CurrentMode() == fw::sim::RadioMode::kNormal) {
      radio.SetMode(fw::sim::RadioMode::kDownload);
      radio.WithDownload([](fw::sim::DownloadModeResponder& d) { d.ResetRecord(); });
    }
  }
  radio.Stop();
  return 0;
}
