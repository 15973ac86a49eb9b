#include "journal/JournalSender.h"

#include <algorithm>
#include <vector>

#include "journal/ServerJournal.h"

namespace fw {
namespace {

constexpr auto kFirstRetry = std::chrono::milliseconds(500);
constexpr auto kLongestRetry = std::chrono::seconds(5);
constexpr int kBatch = 32;

}  // namespace

JournalSender::JournalSender(std::shared_ptr<Journal> local, std::string conninfo,
                             std::function<void(const std::string&)> notice)
    : local_(std::move(local)), conninfo_(std::move(conninfo)), notice_(std::move(notice)) {}

JournalSender::~JournalSender() {
  Finish(std::chrono::milliseconds(0));
}

void JournalSender::Start() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!thread_.joinable() && !stop_) {
    thread_ = std::thread([this] { Run(); });
  }
}

void JournalSender::Wake() {
  std::lock_guard<std::mutex> lock(mutex_);
  woken_ = true;
  queueEmpty_ = false;
  wake_.notify_all();
}

int JournalSender::Finish(std::chrono::milliseconds wait) {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (thread_.joinable() && !stop_) {
      woken_ = true;
      wake_.notify_all();
      idle_.wait_for(lock, wait, [this] { return queueEmpty_; });
    }
    stop_ = true;
    wake_.notify_all();
  }
  if (thread_.joinable()) {
    thread_.join();
  }
  return local_ ? local_->ServerQueueSize() : 0;
}

std::string JournalSender::Problem() {
  std::lock_guard<std::mutex> lock(mutex_);
  return problem_;
}

void JournalSender::Say(const std::string& problem) {
  bool changed = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    changed = problem != problem_;
    problem_ = problem;
  }
  if (changed && notice_) {
    notice_(problem.empty() ? "the journal server " + ServerLabel(conninfo_) +
                                  " answers again; the queued jobs are sent"
                            : problem + "; the jobs stay in the local journal " + local_->Path() +
                                  " and are sent when the server answers");
  }
}

bool JournalSender::SendOne(ServerJournal& server, int64_t id, std::string& error) {
  const std::optional<JournalJob> job = local_->LoadJob(id);
  if (!job) {
    error = local_->LastError();
    return false;
  }
  std::vector<PackedBlob> blobs;
  for (const std::string& sha : {job->readSha256, job->convertedSha256}) {
    if (sha.empty() || std::any_of(blobs.begin(), blobs.end(),
                                   [&](const PackedBlob& b) { return b.sha256 == sha; })) {
      continue;
    }
    PackedBlob blob;
    blob.sha256 = sha;
    if (!local_->LoadPackedBlob(sha, blob.size, blob.zdata, error)) {
      return false;
    }
    blobs.push_back(std::move(blob));
  }
  if (!server.Send(*job, blobs, error)) {
    return false;
  }
  // Sent: should marking it fail, the next send finds it on the server and stores nothing.
  if (!local_->MarkSent(id)) {
    error = local_->LastError();
    return false;
  }
  sent_++;
  return true;
}

void JournalSender::Run() {
  std::unique_ptr<ServerJournal> server;
  auto retry = kFirstRetry;
  // The first connection is made at once, before any job has ended: when the first job ends
  // the server is known to answer, or known not to.
  bool tried = false;
  while (!stop_) {
    const std::vector<int64_t> queue = local_->ServerQueue(kBatch);
    std::string error;
    bool failed = false;
    if (!queue.empty() || !tried) {
      tried = true;
      if (server == nullptr || server->Broken()) {
        connected_ = false;
        server = ServerJournal::Connect(conninfo_, error, &stop_);
        failed = server == nullptr;
        connected_ = !failed;
      }
      for (size_t i = 0; !failed && !stop_ && i < queue.size(); ++i) {
        failed = !SendOne(*server, queue[i], error);
      }
    }
    if (stop_) {
      break;
    }
    if (failed) {
      if (server != nullptr && server->Broken()) {
        server.reset();
        connected_ = false;
      }
      Say(error);
    } else if (!queue.empty()) {
      Say(std::string());
      retry = kFirstRetry;
      continue;  // more may be queued
    }
    std::unique_lock<std::mutex> lock(mutex_);
    if (!failed && !woken_) {
      queueEmpty_ = true;
      idle_.notify_all();
    }
    if (failed) {
      wake_.wait_for(lock, retry, [this] { return stop_ || woken_; });
      retry = std::min<std::chrono::milliseconds>(retry * 2, kLongestRetry);
    } else {
      wake_.wait(lock, [this] { return stop_ || woken_; });
    }
    woken_ = false;
  }
}

}  // namespace fw
