#pragma once
// The journal's jobs as the headless front end prints them (--history): a table for people,
// CSV for spreadsheets, JSON for programs; and the text of a JSON string.

#include <cstdio>
#include <string>
#include <vector>

#include "journal/Journal.h"

namespace fw {

// `text` as a JSON string, quotes included.
std::string JsonQuote(const std::string& text);

// One job as a JSON object (one line).
std::string JobJson(const JournalJob& job);

// The CSV file of the jobs: a header line, then one line per job (RFC 4180 quoting).
std::string HistoryCsv(const std::vector<JournalJob>& jobs);

// The table of jobs for people (--history, the window's History): its header, and a job's
// row ("-" where a value is missing; the job's end is its failed row, else its last box).
const std::vector<std::string>& HistoryTableColumns();
// With `benches` (the journal server's jobs), a job is named "BENCH/JOB".
std::vector<std::string> HistoryTableRow(const JournalJob& job, bool benches = false);

// Prints the jobs in `format` ("table", "csv" or "json").
void PrintHistory(const std::vector<JournalJob>& jobs, const std::string& format, std::FILE* out,
                  bool benches = false);

}  // namespace fw
