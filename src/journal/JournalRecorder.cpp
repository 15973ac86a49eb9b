#include "journal/JournalRecorder.h"

#include <cstdio>

#include "config/Installation.h"
#include "core/Status.h"
#include "journal/ServerJournal.h"
#include "radiodata/ConvertRadioData.h"
#include "radiodata/ConverterChoice.h"
#include "radiodata/LoadTemplate.h"
#include "radiodata/RadioInfo.h"
#include "serial/UsbAdapter.h"

namespace fw {
namespace {

std::string Hex(const uint8_t* p, size_t n) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    s += kHex[p[i] >> 4];
    s += kHex[p[i] & 15];
  }
  return s;
}

// A date of the block: year (16-bit little-endian), month, day, hour, minute.
std::string BlockDate(const uint8_t* p) {
  char text[40];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u", p[0] | (p[1] << 8), p[2], p[3], p[4],
                p[5]);
  return text;
}

std::string MarkName(const std::string& mark) {
  if (mark == kMarkDone) {
    return "done";
  }
  if (mark == kMarkFailed) {
    return "failed";
  }
  return "busy";
}

std::string KindOf(const UpgradeState& state) {
  if (state.writeBack != nullptr) {
    return "write-back";
  }
  if (state.chipOnly != 0) {
    return "chip";
  }
  return state.firmwareOnly != 0 ? "firmware" : "full";
}

// The write-back of the data `source` saved.
WriteBackPlan PlanFrom(const JournalJob& source, std::vector<uint8_t> converted) {
  WriteBackPlan plan;
  plan.sourceJob = source.id;
  plan.data = std::move(converted);
  plan.font = RecordedFont{source.fontSource, static_cast<uint16_t>(source.fontLanguage)};
  for (size_t i = 0; i < plan.identity.size() && 2 * i + 1 < source.identityHex.size(); ++i) {
    plan.identity[i] =
        static_cast<uint8_t>(std::stoi(source.identityHex.substr(2 * i, 2), nullptr, 16));
  }
  plan.modelId = source.modelId;
  plan.radioKey = source.radioKey;
  return plan;
}

}  // namespace

JournalHandle OpenJournal(const std::string& path, const std::string& localPath,
                          std::function<void(const std::string&)> notice) {
  JournalHandle handle;
  std::string local = path;
  if (IsServerJournal(path)) {
    handle.server = path;
    local = localPath;
  }
  handle.path = local.empty() ? DefaultJournalPath() : local;
  std::string error;
  std::unique_ptr<Journal> journal = Journal::Open(handle.path, error);
  if (!journal) {
    handle.problem = error;
    return handle;
  }
  journal->MarkInterrupted();
  handle.journal = std::move(journal);
  if (!handle.server.empty()) {
    handle.sender =
        std::make_shared<JournalSender>(handle.journal, handle.server, std::move(notice));
    handle.sender->Start();
  }
  return handle;
}

JournalRecorder::JournalRecorder(JournalHandle journal, UpgradeView* inner,
                                 std::string programVersion)
    : journal_(std::move(journal)), programVersion_(std::move(programVersion)), inner_(inner) {}

void JournalRecorder::SetInner(UpgradeView* inner) {
  std::lock_guard<std::mutex> lock(mutex_);
  inner_ = inner;
}

UpgradeView* JournalRecorder::Inner() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (inner_ == nullptr) {
    static UpgradeState nobody;  // its view ignores everything
    return nobody.view;
  }
  return inner_;
}

int64_t JournalRecorder::JobId() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return job_.id;
}

void JournalRecorder::CollectLocked(const UpgradeState& state) {
  job_.kind = KindOf(state);
  job_.port = state.job.portNumber;
  job_.device = state.job.devicePath;
  // The USB adapter as it was when the job opened it (named also once it is pulled out).
  if (!state.job.devicePath.empty()) {
    AdapterInfo adapter = RememberedAdapter(state.job.devicePath);
    if (!adapter.IsUsb() && adapter.driver.empty() && job_.adapter.empty()) {
      adapter = DescribeAdapter(state.job.devicePath);
    }
    if (const std::string summary = AdapterSummary(adapter); !summary.empty()) {
      job_.adapter = summary;
    }
  }
  job_.identifyReply = state.radioInfo;
  job_.radioModel = state.radioModel;
  job_.firmwareVersion = state.queriedFirmwareVersion;
  job_.readAttempts = state.readAttempts;
  job_.chipAttempts = state.chipAttempts;
  if (state.radioInfoRead) {
    const uint8_t* b = state.radioInfoBlock.data();
    job_.identityHex = Hex(state.radioIdentity.data(), state.radioIdentity.size());
    job_.identityText = IdentityBlockText(state.radioIdentity);
    job_.modelId = state.radioModelId;
    job_.area = state.radioAreaCode >= 0x20 && state.radioAreaCode < 0x7F
                    ? std::string(1, static_cast<char>(state.radioAreaCode))
                    : PrintableInfoText(&state.radioAreaCode, 1);
    job_.infoText1 = PrintableInfoText(b + 81, 16);
    job_.infoText2 = PrintableInfoText(b + 97, 16);
    job_.infoText3 = PrintableInfoText(b + 113, 16);
    job_.infoDate1 = BlockDate(b + 137);
    job_.infoDate2 = BlockDate(b + 143);
    job_.radioKey = RadioKey(state.radioIdentity, state.radioModelId, b);
  }
  const Installation& inst = *state.installation;
  std::vector<JournalFile> files;
  if (!state.selectedImageName.empty() && job_.kind != "chip" && job_.kind != "write-back") {
    files.push_back(DescribeFile("image", inst.imageDir + state.selectedImageName));
  }
  if (!state.hexFilePath.empty() && (job_.kind == "chip" || state.updateChip != 0) &&
      state.chipAttempts > 0) {
    files.push_back(DescribeFile("chip hex", state.hexFilePath));
  }
  if (job_.kind == "full" && state.radioInfoRead && !state.templateData.empty()) {
    files.push_back(DescribeFile("template", TemplatePathFor(state)));
    files.push_back(DescribeFile(
        "converter",
        ConverterLibraryPath(state, ChooseConverter(state.radioDataSize, inst.modelList))));
  }
  // A file described once keeps what it was when the job used it.
  for (JournalFile& f : files) {
    bool known = false;
    for (const JournalFile& k : job_.files) {
      known = known || (k.role == f.role && k.path == f.path);
    }
    if (!known) {
      job_.files.push_back(std::move(f));
    }
  }
  StepsLocked();
}

void JournalRecorder::StepsLocked() {
  job_.steps.clear();
  const SteadyTime now = std::chrono::steady_clock::now();
  for (const Row& r : rows_) {
    const SteadyTime end = r.open ? now : r.ended;
    job_.steps.push_back(
        {MarkName(r.mark), r.text, std::chrono::duration<double>(end - r.begun).count()});
  }
  job_.failedRow.clear();
  for (const Row& r : rows_) {
    if (r.mark == kMarkFailed) {
      job_.failedRow = r.text;
    }
  }
}

bool JournalRecorder::UpdateLocked() {
  return recording_ && journal_.journal && journal_.journal->UpdateJob(job_);
}

void JournalRecorder::JobBegun(const UpgradeState& state) {
  std::lock_guard<std::mutex> lock(mutex_);
  job_ = JournalJob();
  rows_.clear();
  recording_ = false;
  job_.result = "running";
  job_.startedUtc = UtcNow();
  job_.host = HostName();
  job_.user = UserName();
  job_.pid = ProcessId();
  job_.programVersion = programVersion_;
  job_.installation = state.installation->programDir;
  if (state.writeBack != nullptr) {
    // A backup of another bench is named by its bench and job there, not by a number here.
    job_.writeBackOf = state.writeBack->sourceFile.empty() ? state.writeBack->sourceJob : 0;
    job_.writeBackFile = state.writeBack->sourceFile;
  }
  CollectLocked(state);
  if (journal_.journal) {
    recording_ = journal_.journal->BeginJob(job_);
  }
}

BackupOutcome JournalRecorder::SaveBackup(const UpgradeState& state,
                                          std::span<const uint8_t> readData,
                                          std::span<const uint8_t> converted, RecordedFont font) {
  std::lock_guard<std::mutex> lock(mutex_);
  CollectLocked(state);
  job_.fontSource = font.source;
  job_.fontLanguage = font.language;
  BackupOutcome out;
  out.jobId = job_.id;
  if (state.skipBackup) {
    job_.backup = "skipped";
    job_.writeStarted = true;
    UpdateLocked();
    out.kind = BackupOutcome::Kind::Skipped;
    return out;
  }
  if (!journal_.journal) {
    out.problem = journal_.problem;
  } else if (!recording_) {
    out.problem = "the journal " + journal_.path +
                  " could not record the job: " + journal_.journal->LastError();
  } else if (!journal_.journal->SaveBackup(job_, readData, converted)) {
    out.problem = journal_.journal->LastError();
  } else {
    out.kind = BackupOutcome::Kind::Saved;
    return out;
  }
  job_.backup = "failed";
  UpdateLocked();
  out.kind = BackupOutcome::Kind::Failed;
  return out;
}

void JournalRecorder::WriteCompleted(const UpgradeState& state) {
  std::lock_guard<std::mutex> lock(mutex_);
  CollectLocked(state);
  job_.writeCompleted = true;
  UpdateLocked();
}

std::optional<int64_t> JournalRecorder::UnfinishedWrite(const UpgradeState& state) {
  std::lock_guard<std::mutex> lock(mutex_);
  CollectLocked(state);
  if (!journal_.journal || job_.radioKey.empty()) {
    return std::nullopt;
  }
  // Without any text of its own in its block (a serial number, an owner) a radio cannot be
  // told from another of its model: another radio's settings must never be offered for it.
  if (job_.infoText1.empty() && job_.infoText2.empty() && job_.infoText3.empty()) {
    UpdateLocked();
    return std::nullopt;
  }
  UpdateLocked();  // the radio is named in the record from here on
  return journal_.journal->UnfinishedWrite(job_.radioKey, job_.id);
}

std::optional<WriteBackPlan> JournalRecorder::LoadWriteBack(int64_t jobId, std::string& problem) {
  if (!journal_.journal) {
    problem = journal_.problem;
    return std::nullopt;
  }
  const std::optional<JournalJob> source = journal_.journal->LoadJob(jobId);
  if (!source) {
    problem = journal_.journal->LastError();
    return std::nullopt;
  }
  std::optional<JournalBackup> backup = journal_.journal->LoadBackup(jobId, problem);
  if (!backup) {
    return std::nullopt;
  }
  return PlanFrom(*source, std::move(backup->converted));
}

std::optional<std::vector<JournalJob>> ServerHistory(const JournalHandle& journal,
                                                     const HistoryFilter& filter,
                                                     std::string& problem) {
  if (journal.server.empty()) {
    problem = "no journal server is set";
    return std::nullopt;
  }
  std::unique_ptr<ServerJournal> server = ServerJournal::Connect(journal.server, problem);
  if (!server) {
    return std::nullopt;
  }
  return server->History(filter, problem);
}

std::optional<WriteBackPlan> LoadServerWriteBack(const JournalHandle& journal,
                                                 const std::string& bench, int64_t jobId,
                                                 std::string& problem) {
  if (journal.server.empty()) {
    problem = "job " + bench + "/" + std::to_string(jobId) +
              " is another bench's: it is read from the journal server, and none is set "
              "(\"Journal\" in the settings file, or --journal postgresql://...)";
    return std::nullopt;
  }
  std::unique_ptr<ServerJournal> server = ServerJournal::Connect(journal.server, problem);
  if (!server) {
    return std::nullopt;
  }
  const std::optional<JournalJob> source = server->LoadJob(bench, jobId, problem);
  if (!source) {
    return std::nullopt;
  }
  if (source->convertedSha256.empty() || !HasSavedBackup(*source)) {
    problem = "job " + bench + "/" + std::to_string(jobId) + " on the journal server " +
              server->Label() + " saved no data (it did not come to writing a radio)";
    return std::nullopt;
  }
  std::vector<uint8_t> converted;
  if (!server->LoadBlob(source->convertedSha256, converted, problem)) {
    return std::nullopt;
  }
  WriteBackPlan plan = PlanFrom(*source, std::move(converted));
  plan.sourceFile = bench + "/" + std::to_string(jobId);
  return plan;
}

void JournalRecorder::JobEnded(const UpgradeState& state) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (Row& r : rows_) {
    if (r.open) {
      r.open = false;
      r.ended = std::chrono::steady_clock::now();
    }
  }
  CollectLocked(state);
  job_.endedUtc = UtcNow();
  if (state.resultOk == 1) {
    job_.result = "success";
  } else if (state.job.clock.StopRequested()) {
    job_.result = "stopped";
  } else {
    job_.result = "failed";
  }
  // The job's last state and its place in the queue for the server, together.
  if (recording_ && journal_.journal &&
      journal_.journal->FinishJob(job_, journal_.sender != nullptr) && journal_.sender) {
    journal_.sender->Wake();
  }
}

void JournalRecorder::InsertRow(int index, const std::string& mark, const std::string& text) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const SteadyTime now = std::chrono::steady_clock::now();
    const size_t at = std::min(rows_.size(), static_cast<size_t>(std::max(index, 0)));
    // A new step row ends the step before it.
    if (at == rows_.size() && !rows_.empty() && rows_.back().open) {
      rows_.back().open = false;
      rows_.back().ended = now;
    }
    rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(at), Row{mark, text, now, now, true});
    if (mark != kMarkBusy) {
      rows_[at].open = false;
    }
  }
  Inner()->InsertRow(index, mark, text);
}

void JournalRecorder::SetRowText(int index, Column column, const std::string& text) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index >= 0 && static_cast<size_t>(index) < rows_.size()) {
      Row& r = rows_[static_cast<size_t>(index)];
      if (column == Column::Mark) {
        r.mark = text;
        if (text != kMarkBusy && r.open) {
          r.open = false;
          r.ended = std::chrono::steady_clock::now();
        }
      } else {
        r.text = text;
      }
    }
  }
  Inner()->SetRowText(index, column, text);
}

void JournalRecorder::DeleteAllRows() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    rows_.clear();
  }
  Inner()->DeleteAllRows();
}

MessageResult JournalRecorder::MessageBox(const std::string& text, MessageIcon icon,
                                          MessageButtons buttons, const std::string& detail) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    job_.boxes.push_back({text, detail});
    job_.boxText = text;
  }
  return Inner()->MessageBox(text, icon, buttons, detail);
}

void JournalRecorder::SetStatusText(const std::string& text) {
  Inner()->SetStatusText(text);
}
void JournalRecorder::EnableControl(Control control, bool enable) {
  Inner()->EnableControl(control, enable);
}
void JournalRecorder::SetProgressRange(ProgressBar bar, int lower, int upper) {
  Inner()->SetProgressRange(bar, lower, upper);
}
void JournalRecorder::SetProgressPos(ProgressBar bar, int pos) {
  Inner()->SetProgressPos(bar, pos);
}
void JournalRecorder::SetWaitCursor(bool wait) {
  Inner()->SetWaitCursor(wait);
}
void JournalRecorder::Post(const JobEvent& event) {
  Inner()->Post(event);
}
void JournalRecorder::SetTimer(Timer timer, uint32_t periodMs) {
  Inner()->SetTimer(timer, periodMs);
}
void JournalRecorder::KillTimer(Timer timer) {
  Inner()->KillTimer(timer);
}
void JournalRecorder::HoldThen(JobClock& clock, uint32_t ms, std::function<void()> then) {
  Inner()->HoldThen(clock, ms, std::move(then));
}

std::shared_ptr<JournalRecorder> AttachJournal(UpgradeState& state, const JournalHandle& journal,
                                               UpgradeView* view,
                                               const std::string& programVersion) {
  auto recorder = std::make_shared<JournalRecorder>(journal, view, programVersion);
  state.recorder = recorder;
  state.SetView(recorder.get());
  return recorder;
}

}  // namespace fw
