#include "portal_state.h"

#include <ctime>

#include "exchange/command_table.h"

namespace vorel::portal {
namespace {

std::string NowText() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char text[16];
  std::strftime(text, sizeof text, "%H:%M:%S", &tm);
  return text;
}

bool StartsWithCommandWord(const std::string& line) {
  const std::string first = line.substr(0, line.find('&'));
  for (std::string_view word : kCommandWords) {
    if (first == word) return true;
  }
  return false;
}

constexpr std::size_t kKeptRequests = 500;

}  // namespace

std::string PortalState::Queue(std::string line) {
  std::lock_guard lock(mu_);
  if (StartsWithCommandWord(line)) line = "s" + std::to_string(nextToken_++) + "&" + line;
  const std::string token = line.substr(0, line.find('&'));
  commands_.push_back({token, line, false, false, {}});
  queue_.push_back(std::move(line));
  changed_.notify_all();
  return token;
}

std::string PortalState::Exchange(ReceivedRequest request, std::chrono::milliseconds hold,
                                  const std::string& idleReply) {
  std::unique_lock lock(mu_);
  request.number = ++requestCount_;
  request.time = NowText();
  std::string sess, data;
  bool hasData = false;
  for (const auto& [name, value] : request.fields) {
    if (name == "spec" || name == "nomer" || name == "busynom") published_[name] = value;
    if (name == "sess") sess = value;
    if (name == "data") {
      data = value;
      hasData = true;
    }
  }
  for (auto it = commands_.rbegin(); it != commands_.rend(); ++it) {
    if (!it->answered && it->token == sess && !sess.empty()) {
      it->answered = true;
      it->hasData = hasData;
      it->answer = data;
      break;
    }
  }
  // Listed at once, so that a held request shows while it waits.
  const int number = request.number;
  request.held = true;
  requests_.push_back(std::move(request));
  if (requests_.size() > kKeptRequests) requests_.erase(requests_.begin());
  changed_.notify_all();

  const auto until = std::chrono::steady_clock::now() + hold;
  changed_.wait_until(lock, until, [&] { return !queue_.empty() || shutdown_; });
  std::string reply = idleReply;
  if (!queue_.empty()) {
    reply = std::move(queue_.front());
    queue_.pop_front();
  }
  for (auto it = requests_.rbegin(); it != requests_.rend(); ++it) {
    if (it->number == number) {
      it->reply = reply;
      it->held = false;
      break;
    }
  }
  return reply;
}

std::optional<CommandRecord> PortalState::WaitForAnswer(const std::string& token,
                                                        std::chrono::milliseconds timeout) {
  std::unique_lock lock(mu_);
  std::optional<CommandRecord> found;
  changed_.wait_for(lock, timeout, [&] {
    for (const CommandRecord& c : commands_) {
      if (c.token == token && c.answered) {
        found = c;
        return true;
      }
    }
    return shutdown_;
  });
  return found;
}

void PortalState::Shutdown() {
  std::lock_guard lock(mu_);
  shutdown_ = true;
  changed_.notify_all();
}

PortalState::Snapshot PortalState::Take(std::size_t lastRequests) {
  std::lock_guard lock(mu_);
  Snapshot s;
  s.published = published_;
  const std::size_t from = requests_.size() > lastRequests ? requests_.size() - lastRequests : 0;
  s.requests.assign(requests_.begin() + static_cast<std::ptrdiff_t>(from), requests_.end());
  s.commands = commands_;
  s.queued = queue_.size();
  s.requestCount = requestCount_;
  return s;
}

}  // namespace vorel::portal
