#include "app/window/HistoryView.h"

#include <cstdio>
#include <memory>

#include "app/HeadlessHistory.h"

namespace fw {
namespace {

std::string Or(const std::string& text, const char* none = "-") {
  return text.empty() ? std::string(none) : text;
}

std::string YesNo(bool value) {
  return value ? "yes" : "no";
}

std::string Trimmed(const std::string& text) {
  const char* blanks = " \t\r\n\f\v";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

bool IsDate(int year, int month, int day) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) {
    return false;
  }
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

}  // namespace

std::string JobDetailsText(const JournalJob& j) {
  std::string s;
  const auto line = [&s](const std::string& name, const std::string& value) {
    s += name + ": " + Or(value) + "\n";
  };
  line("Job", std::to_string(j.id));
  line("Unique id", j.uid);
  line("Kind", j.kind);
  line("Result", j.result);
  line("Started (UTC)", j.startedUtc);
  line("Ended (UTC)", j.endedUtc);
  line("Host", j.host);
  line("User", j.user);
  line("Process", std::to_string(j.pid));
  line("Program version", j.programVersion);
  line("Installation", j.installation);
  line("Port", j.port > 0 ? "COM" + std::to_string(j.port) : std::string());
  line("Device", j.device);
  line("Adapter", j.adapter);
  line("Identify reply", j.identifyReply);
  line("Radio model", j.radioModel);
  line("Identity", j.identityText);
  line("Identity (hex)", j.identityHex);
  line("Model id", j.modelId);
  line("Area", j.area);
  line("Text 1", j.infoText1);
  line("Text 2", j.infoText2);
  line("Text 3", j.infoText3);
  line("Date 1", j.infoDate1);
  line("Date 2", j.infoDate2);
  line("Radio key", j.radioKey);
  line("Firmware version", j.firmwareVersion >= 0 ? std::to_string(j.firmwareVersion) : "");
  line("Read attempts", std::to_string(j.readAttempts));
  line("Chip attempts", std::to_string(j.chipAttempts));
  line("Backup", j.backup);
  line("Read data SHA-256", j.readSha256);
  line("Converted data SHA-256", j.convertedSha256);
  char font[64];
  std::snprintf(font, sizeof font, "source %d, language 0x%04X", j.fontSource, j.fontLanguage);
  line("Font", font);
  line("Write started", YesNo(j.writeStarted));
  line("Write completed", YesNo(j.writeCompleted));
  line("Write-back of",
       j.writeBackOf != 0 ? "job " + std::to_string(j.writeBackOf) : j.writeBackFile);
  line("Ended at row", j.failedRow);
  line("Last box", j.boxText);
  s += "Files:\n";
  for (const JournalFile& f : j.files) {
    s += "  " + f.role + ": " + f.path + ", " +
         (f.size >= 0 ? std::to_string(f.size) + " bytes, SHA-256 " + Or(f.sha256)
                      : std::string("could not be read")) +
         "\n";
  }
  s += "Steps:\n";
  for (const JournalStep& step : j.steps) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f s", step.seconds);
    s += "  " + step.mark + ", " + seconds + ": " + step.text + "\n";
  }
  s += "Boxes:\n";
  for (const JournalBox& b : j.boxes) {
    s += "  " + b.text + (b.detail.empty() ? std::string() : " (" + b.detail + ")") + "\n";
  }
  return s;
}

HistoryFilter HistoryFilterFor(const std::string& text, bool sinceOn, int year, int month,
                               int day) {
  HistoryFilter filter;
  filter.radio = Trimmed(text);
  if (sinceOn && IsDate(year, month, day)) {
    char date[32];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", year, month, day);
    filter.since = date;
  }
  return filter;
}

HistoryListing ReadHistory(const JournalHandle* journal, const HistoryFilter& filter) {
  HistoryListing listing;
  if (journal == nullptr) {
    listing.note = kNoJournalKeptText;
    return listing;
  }
  if (journal->journal == nullptr) {
    listing.note = journal->problem;
    return listing;
  }
  if (!journal->server.empty()) {
    // A line's journal server lists every bench's jobs; when it cannot be read, this
    // bench's own are shown, and said to be only those.
    std::string problem;
    if (auto jobs = ServerHistory(*journal, filter, problem)) {
      listing.jobs = std::move(*jobs);
      listing.fromServer = true;
      return listing;
    }
    listing.note = "Only the local journal " + journal->path +
                   " is shown (this bench's jobs, not the line's): " + problem;
  }
  listing.jobs = journal->journal->History(filter);
  return listing;
}

std::vector<std::vector<std::string>> HistoryRows(const HistoryListing& listing) {
  std::vector<std::vector<std::string>> rows;
  rows.reserve(listing.jobs.size());
  for (const JournalJob& job : listing.jobs) {
    rows.push_back(HistoryTableRow(job, listing.fromServer));
  }
  return rows;
}

int HistoryRowOf(const HistoryListing& listing, int64_t id) {
  for (size_t r = 0; r < listing.jobs.size(); ++r) {
    if (listing.jobs[r].id == id) {
      return static_cast<int>(r);
    }
  }
  return -1;
}

WriteBackButtonState WriteBackButtonFor(const JournalJob* job, bool fromServer,
                                        const std::string& host) {
  WriteBackButtonState state;
  if (job == nullptr) {
    return state;
  }
  // Another bench's job (from the journal server) is written back by its bench/job name
  // from the headless program; the window writes back this bench's own.
  if (fromServer && job->host != host) {
    state.tip = "A job of another bench: Flashwright --headless --port N --restore " + job->host +
                "/" + std::to_string(job->id);
    return state;
  }
  state.enabled = HasSavedBackup(*job);
  return state;
}

std::optional<std::string> WriteBackRefusal(bool anyJobRunning, bool benchOn,
                                            const std::string& installationProblem) {
  if (anyJobRunning) {
    return std::string(kWriteBackWhileRunningText);
  }
  if (benchOn) {
    return std::string(kWriteBackOnBenchText);
  }
  if (!installationProblem.empty()) {
    return installationProblem;
  }
  return std::nullopt;
}

std::string WriteBackPortQuestion(int64_t jobId) {
  return "Write the saved settings of job " + std::to_string(jobId) + " to the radio on:";
}

int WriteBackPortIndex(const std::vector<int>& ports, int selectedPort) {
  for (size_t i = 0; i < ports.size(); ++i) {
    if (ports[i] == selectedPort) {
      return static_cast<int>(i);
    }
  }
  return 0;
}

bool PrepareWriteBack(UpgradeState& state, JobRecorder& recorder, int64_t jobId, int port,
                      std::string& box, std::string& detail) {
  std::string problem;
  std::optional<WriteBackPlan> plan = recorder.LoadWriteBack(jobId, problem);
  if (!plan) {
    box = "The saved settings of job " + std::to_string(jobId) + " cannot be read.";
    detail = problem;
    return false;
  }
  // The job writes the saved data only: no firmware, no chip; on the port chosen.
  state.writeBack = std::make_shared<const WriteBackPlan>(std::move(*plan));
  state.chipOnly = 0;
  state.firmwareOnly = 0;
  state.updateChip = 0;
  state.selectedPort = port;
  return true;
}

std::string WithCrLf(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) {
      out += '\r';
    }
    out += text[i];
  }
  return out;
}

}  // namespace fw
