#include "ExchangeFaults.h"

namespace fw::sim {

const char* ReplyFaultName(ReplyFault fault) {
  switch (fault) {
    case ReplyFault::kNone:
      return "none";
    case ReplyFault::kNoReply:
      return "no reply";
    case ReplyFault::kShort:
      return "short";
    case ReplyFault::kCorrupt:
      return "corrupt";
    case ReplyFault::kEcho:
      return "echo";
    case ReplyFault::kLineError:
      return "line error";
    case ReplyFault::kHangUp:
      return "hang-up";
    case ReplyFault::kNotReady:
      return "not ready";
    case ReplyFault::kBitFlip:
      return "bit flip";
  }
  return "?";
}

void ExchangeFaults::SetPlan(const ExchangeFaultPlan& plan) {
  std::lock_guard<std::mutex> lock(mutex_);
  plan_ = plan;
}

void ExchangeFaults::SetPhase(const std::string& phase) {
  std::lock_guard<std::mutex> lock(mutex_);
  phase_ = phase;
}

SimPty::FaultHook ExchangeFaults::Hook() {
  return [this](const char* exchange, const uint8_t* request, size_t n,
                std::vector<Action>& actions) { OnRequest(exchange, request, n, actions); };
}

std::vector<std::pair<std::string, std::string>> ExchangeFaults::Seen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return seen_;
}

int ExchangeFaults::Injected() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return injected_;
}

void ExchangeFaults::OnRequest(const char* exchange, const uint8_t* request, size_t n,
                               std::vector<Action>& actions) {
  if (exchange == nullptr) {
    return;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  seen_.emplace_back(phase_, exchange);
  const int index = ++counts_[{phase_, exchange}];
  if (plan_.fault == ReplyFault::kNone || plan_.exchange != exchange ||
      (!plan_.phase.empty() && plan_.phase != phase_)) {
    return;
  }
  if (index < plan_.first || (plan_.count >= 0 && index >= plan_.first + plan_.count)) {
    return;
  }
  if (plan_.every > 1 && (index - plan_.first) % plan_.every != 0) {
    return;
  }
  Apply(plan_.fault, request, n, actions, injected_);
  ++injected_;
}

void ExchangeFaults::Apply(ReplyFault fault, const uint8_t* request, size_t n,
                           std::vector<Action>& actions, int injection) {
  // The radio's answer as one run of bytes (responders send one action per request).
  std::vector<uint8_t> reply;
  uint32_t delayMs = 0;
  for (const Action& a : actions) {
    reply.insert(reply.end(), a.bytes.begin(), a.bytes.end());
    delayMs += a.delayMs;
  }
  Action out;
  out.delayMs = delayMs;
  switch (fault) {
    case ReplyFault::kNone:
      return;
    case ReplyFault::kNoReply:
    case ReplyFault::kNotReady:
      actions.clear();
      return;
    case ReplyFault::kShort:
      reply.resize(reply.size() / 2);
      out.bytes = std::move(reply);
      break;
    case ReplyFault::kCorrupt:
      if (reply.size() >= 10 && reply[0] == 0x7E) {
        ++reply[9];
      } else if (!reply.empty()) {
        reply[0] = static_cast<uint8_t>(~reply[0]);
      }
      out.bytes = std::move(reply);
      break;
    case ReplyFault::kEcho:
      out.bytes.assign(request, request + n);
      break;
    case ReplyFault::kLineError:
      out.bytes = std::move(reply);
      out.lineError = true;
      break;
    case ReplyFault::kHangUp:
      reply.resize(reply.size() / 2);
      out.bytes = std::move(reply);
      out.hangUp = true;
      break;
    case ReplyFault::kBitFlip:
      if (!reply.empty()) {
        const size_t k = static_cast<size_t>(injection < 0 ? 0 : injection);
        const size_t at = (reply.size() / 2 + 37 * k) % reply.size();
        reply[at] = static_cast<uint8_t>(reply[at] ^ (1u << ((3 * k) % 8)));
      }
      out.bytes = std::move(reply);
      break;
  }
  actions.clear();
  if (!out.bytes.empty() || out.hangUp || out.lineError) {
    actions.push_back(std::move(out));
  }
}

}  // namespace fw::sim
