#pragma once
// Sends the jobs queued in the local journal to the journal server, on a thread of its own:
// a job never waits for the server. Each queued job is sent with its rows and saved data in
// one server transaction and then leaves the local queue; a job the server already has (a
// send whose answer was lost) is not stored twice. While the server cannot be reached the
// jobs stay queued and are tried again, a little less often each time, and when a job ends.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "journal/Journal.h"

namespace fw {

class ServerJournal;

class JournalSender {
 public:
  // `notice` is told each new problem (and, after one, that the server answers again), from
  // the sender's thread; it may be empty.
  JournalSender(std::shared_ptr<Journal> local, std::string conninfo,
                std::function<void(const std::string&)> notice = {});
  ~JournalSender();
  JournalSender(const JournalSender&) = delete;
  JournalSender& operator=(const JournalSender&) = delete;

  const std::string& Conninfo() const { return conninfo_; }
  // Starts the thread (once).
  void Start();
  // A job was queued: send it now.
  void Wake();
  // Waits at most `wait` for the queue to empty, then ends the thread (an exchange under way
  // is abandoned within a tenth of a second). Returns how many jobs stay queued.
  int Finish(std::chrono::milliseconds wait);
  // The last problem with the server, empty while it answers.
  std::string Problem();
  int SentCount() const { return sent_.load(); }
  // Whether the sender holds a working connection to the server (it answered last time).
  bool Connected() const { return connected_.load(); }

 private:
  void Run();
  bool SendOne(ServerJournal& server, int64_t id, std::string& error);
  void Say(const std::string& problem);

  std::shared_ptr<Journal> local_;
  std::string conninfo_;
  std::function<void(const std::string&)> notice_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  bool woken_ = false;
  bool queueEmpty_ = false;
  std::atomic<bool> stop_{false};
  std::atomic<int> sent_{0};
  std::atomic<bool> connected_{false};
  std::string problem_;
  std::thread thread_;
};

}  // namespace fw
