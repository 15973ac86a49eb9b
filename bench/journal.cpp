// The job journal's cost: the backup's commit before the first block is written (the data as
// read and the data to write, 129976 bytes each, hashed, compressed, committed and synced),
// a whole job's journal work (its record begun, the radio named, the backup, the write's
// end, the record completed, the four files it used hashed), and the journal's size after
// 10,000 jobs of one model.
//
// The radio data is made to look like a radio's: a model's layout (channel and contact
// records, mostly blank 0xFF areas) that every radio of the model shares, and per radio a few
// hundred bytes of its own (names, frequencies, IDs). The converted data is the same with
// the new layout's version bytes. Figures go to the README.

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "journal/Journal.h"

namespace {

constexpr size_t kDataSize = 129976;

std::string ScratchFolder() {
  std::random_device rd;
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    ("flashwright-bench-journal-" + std::to_string(rd()));
  std::filesystem::create_directories(dir);
  return dir.string() + "/";
}

// One model's layout: 1024 channel records of 32 bytes, 512 contacts of 24, blank after.
std::vector<uint8_t> ModelLayout() {
  std::vector<uint8_t> data(kDataSize, 0xFF);
  for (size_t r = 0; r < 1024; ++r) {
    for (size_t b = 0; b < 32; ++b) {
      data[r * 32 + b] = static_cast<uint8_t>(b < 8 ? r >> (b % 2 * 8) : b < 16 ? 0x20 : b);
    }
  }
  for (size_t c = 0; c < 512; ++c) {
    for (size_t b = 0; b < 24; ++b) {
      data[32768 + c * 24 + b] = static_cast<uint8_t>(b < 4 ? c >> (b * 8 % 16) : 0x20);
    }
  }
  return data;
}

// Radio `n` of the model: about 600 bytes of its own at the places its settings live.
std::pair<std::vector<uint8_t>, std::vector<uint8_t>> RadioData(const std::vector<uint8_t>& model,
                                                                unsigned n) {
  std::mt19937 random(n);
  std::vector<uint8_t> read = model;
  for (int i = 0; i < 600; ++i) {
    const size_t at = random() % 45056;
    read[at] = static_cast<uint8_t>(0x20 + random() % 0x5F);
  }
  std::vector<uint8_t> converted = read;
  converted[766] = 0x09;
  converted[767] = 0x04;
  converted[4] = 0x02;  // the new layout's version
  return {read, converted};
}

fw::JournalJob NewJob() {
  fw::JournalJob job;
  job.kind = "full";
  job.result = "running";
  job.startedUtc = fw::UtcNow();
  job.host = fw::HostName();
  job.user = fw::UserName();
  job.pid = fw::ProcessId();
  job.port = 1;
  job.device = "/dev/ttyUSB0";
  return job;
}

void BM_BackupCommitBeforeTheFirstBlock(benchmark::State& st) {
  const std::string dir = ScratchFolder();
  std::string error;
  auto journal = fw::Journal::Open(dir + "journal.db", error);
  if (!journal) {
    st.SkipWithError(error.c_str());
    return;
  }
  const std::vector<uint8_t> model = ModelLayout();
  unsigned n = 0;
  for (auto _ : st) {
    st.PauseTiming();
    auto [read, converted] = RadioData(model, ++n);
    fw::JournalJob job = NewJob();
    journal->BeginJob(job);
    st.ResumeTiming();
    if (!journal->SaveBackup(job, read, converted)) {
      st.SkipWithError(journal->LastError().c_str());
      break;
    }
  }
  journal.reset();
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_BackupCommitBeforeTheFirstBlock)->Unit(benchmark::kMillisecond)->Iterations(200);

// A whole job's journal work, as the recorder does it, with the installation's files hashed.
void BM_WholeJobJournalCost(benchmark::State& st) {
  const std::string dir = ScratchFolder();
  std::string error;
  auto journal = fw::Journal::Open(dir + "journal.db", error);
  if (!journal) {
    st.SkipWithError(error.c_str());
    return;
  }
  std::mt19937 random(3);
  const std::vector<std::pair<std::string, size_t>> files = {
      {"image", 233017}, {"template", 171176}, {"converter", 16384}, {"chip hex", 10108}};
  for (const auto& [name, size] : files) {
    std::vector<char> bytes(size);
    for (char& c : bytes) {
      c = static_cast<char>(random());
    }
    std::FILE* f = std::fopen((dir + name).c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  const std::vector<uint8_t> model = ModelLayout();
  unsigned n = 0;
  for (auto _ : st) {
    st.PauseTiming();
    auto [read, converted] = RadioData(model, ++n);
    st.ResumeTiming();
    fw::JournalJob job = NewJob();
    journal->BeginJob(job);
    job.radioKey = "key-" + std::to_string(n);
    for (const auto& [name, size] : files) {
      job.files.push_back(fw::DescribeFile(name, dir + name));
    }
    journal->UpdateJob(job);
    journal->UnfinishedWrite(job.radioKey, job.id);
    journal->SaveBackup(job, read, converted);
    job.writeCompleted = true;
    journal->UpdateJob(job);
    for (int s = 0; s < 8; ++s) {
      job.steps.push_back({"done", "step " + std::to_string(s), 1.0});
    }
    job.result = "success";
    job.endedUtc = fw::UtcNow();
    journal->UpdateJob(job);
  }
  journal.reset();
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_WholeJobJournalCost)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(100)
    ->MeasureProcessCPUTime();

// The journal's size after 10,000 jobs of one model: bytes per job beyond the first.
void BM_JournalSizeAfterTenThousandJobs(benchmark::State& st) {
  for (auto _ : st) {
    const std::string dir = ScratchFolder();
    std::string error;
    auto journal = fw::Journal::Open(dir + "journal.db", error);
    if (!journal) {
      st.SkipWithError(error.c_str());
      return;
    }
    // The size does not depend on syncing each commit; without it the run takes minutes.
    journal->SkipSyncForMeasurement();
    const std::vector<uint8_t> model = ModelLayout();
    uintmax_t afterFirst = 0;
    constexpr unsigned kJobs = 10000;
    for (unsigned n = 1; n <= kJobs; ++n) {
      auto [read, converted] = RadioData(model, n);
      fw::JournalJob job = NewJob();
      journal->BeginJob(job);
      job.radioKey = "key-" + std::to_string(n);
      for (int s = 0; s < 8; ++s) {
        job.steps.push_back({"done", "Write the radio completed!", 1.0});
      }
      journal->SaveBackup(job, read, converted);
      job.result = "success";
      journal->UpdateJob(job);
      if (n == 1) {
        journal.reset();  // the write-ahead log folded into the file
        afterFirst = std::filesystem::file_size(dir + "journal.db");
        journal = fw::Journal::Open(dir + "journal.db", error);
        journal->SkipSyncForMeasurement();
      }
    }
    journal.reset();
    const uintmax_t total = std::filesystem::file_size(dir + "journal.db");
    st.counters["MiB"] = static_cast<double>(total) / (1024.0 * 1024.0);
    st.counters["KB_per_job"] = static_cast<double>(total - afterFirst) / (kJobs - 1) / 1000.0;
    std::filesystem::remove_all(dir);
  }
}
BENCHMARK(BM_JournalSizeAfterTenThousandJobs)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
