#pragma once
// What both windows' "History" shows, without Qt and without Win32 controls: the jobs of
// the job journal, newest first, for the filter the dialog's controls give (the journal
// server's, of every bench, when there is one and it can be read; else this bench's own,
// with a note saying so); the table's rows; the chosen job's details; whether and why
// "Write back" may write a job back; and the refusals of a write-back the window says. A
// window's dialog only puts these into its controls and passes clicks on.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/JobRecorder.h"
#include "core/UpgradeState.h"
#include "journal/Journal.h"
#include "journal/JournalRecorder.h"

namespace fw {

inline constexpr const char* kHistoryItemText = "History";
inline constexpr const char* kHistoryCaption = "History";
inline constexpr const char* kHistoryFilterHint = "Radio model, identity, model id or text";
inline constexpr const char* kHistorySinceText = "Since";
inline constexpr const char* kExportCsvButton = "Export CSV...";
inline constexpr const char* kExportCsvCaption = "Export CSV";
inline constexpr const char* kExportCsvFileName = "flashwright-history.csv";
inline constexpr const char* kWriteBackButton = "Write back";
inline constexpr const char* kExportFailedText = "The history could not be written.";
inline constexpr const char* kNoJournalKeptText = "No job journal is kept.";
inline constexpr const char* kWriteBackWhileRunningText =
    "A job is running. Write back when it has ended.";
inline constexpr const char* kWriteBackOnBenchText =
    "Write back runs in the single-port window: switch \"Bench mode\" off first.";

// Every field of a job's record, its files (size, SHA-256), steps (seconds) and boxes, one
// per line ("\n").
std::string JobDetailsText(const JournalJob& job);

// The filter of the dialog's controls: the text with its surrounding blanks dropped; with
// `sinceOn`, the day (a calendar date) as "YYYY-MM-DD". A day that is no date (month 13, the
// 30th of February) filters nothing by date.
HistoryFilter HistoryFilterFor(const std::string& text, bool sinceOn, int year, int month, int day);

// The jobs the History lists and what it says above them.
struct HistoryListing {
  std::vector<JournalJob> jobs;
  bool fromServer = false;  // the journal server's jobs, of every bench ("BENCH/JOB")
  std::string note;         // shown above the list when not empty
};

// Reads the jobs for `filter` from `journal` (nullptr: none is kept).
HistoryListing ReadHistory(const JournalHandle* journal, const HistoryFilter& filter);

// The table's rows (HistoryTableColumns' columns), one per job, in the listing's order.
std::vector<std::vector<std::string>> HistoryRows(const HistoryListing& listing);

// The row of job `id` in the listing, or -1.
int HistoryRowOf(const HistoryListing& listing, int64_t id);

// "Write back" for the chosen job (nullptr: none): whether it is enabled, and its tooltip
// (why another bench's job is written back elsewhere). `host` is this bench's name.
struct WriteBackButtonState {
  bool enabled = false;
  std::string tip;
};
WriteBackButtonState WriteBackButtonFor(const JournalJob* job, bool fromServer,
                                        const std::string& host);

// Why the window refuses a write-back now (nullopt: it may start one): a job runs, the
// bench is on, the installation has a problem (`installationProblem`, said as it is).
std::optional<std::string> WriteBackRefusal(bool anyJobRunning, bool benchOn,
                                            const std::string& installationProblem);

// The port question of "Write back": its text, and the entry of `ports` to preselect (the
// window's selected port, else the first).
std::string WriteBackPortQuestion(int64_t jobId);
int WriteBackPortIndex(const std::vector<int>& ports, int selectedPort);

// Sets up the window's own record for a write-back of job `jobId`'s saved data on `port`:
// the plan the recorder loads, no firmware, no chip. False, with the box's text and detail,
// when the saved data cannot be read; the record is left as it was.
bool PrepareWriteBack(UpgradeState& state, JobRecorder& recorder, int64_t jobId, int port,
                      std::string& box, std::string& detail);

// `text` with every line end "\r\n" (for a Win32 edit control, and CSV readers alike).
std::string WithCrLf(const std::string& text);

}  // namespace fw
