#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// What the simulated portal knows: the replies waiting to go out, every request received, the tables the
// clinic has published and the answers to the commands it sent. Texts are kept as received (Windows-1251).
namespace vorel::portal {

struct ReceivedRequest {
  int number = 0;
  std::string time;  // local time of arrival, hh:mm:ss
  std::map<std::string, std::string> query;
  std::vector<std::pair<std::string, std::string>> fields;  // compressed values already expanded
  std::string reply;                                        // what this request was answered with
  bool held = false;                                        // still waiting for its reply
};

struct CommandRecord {
  std::string token;
  std::string line;  // the reply line sent
  bool answered = false;
  bool hasData = false;
  std::string answer;
};

class PortalState {
 public:
  // Queues a reply line; a line without a session token (its first field a command word) gets one.
  // Returns the session token the answer will come back with.
  std::string Queue(std::string line);
  // Records a request and returns the reply for it: the next queued line, or after waiting up to `hold`
  // for one, the idle reply.
  std::string Exchange(ReceivedRequest request, std::chrono::milliseconds hold, const std::string& idleReply);
  // Waits until the command with this token has been answered; nullopt after `timeout`.
  std::optional<CommandRecord> WaitForAnswer(const std::string& token, std::chrono::milliseconds timeout);
  // Wakes every waiting request and waiter for shut-down.
  void Shutdown();

  struct Snapshot {
    std::map<std::string, std::string> published;  // form field ("spec", "nomer", "busynom") -> text
    std::vector<ReceivedRequest> requests;         // the most recent ones
    std::vector<CommandRecord> commands;
    std::size_t queued = 0;
    int requestCount = 0;
  };
  Snapshot Take(std::size_t lastRequests);

 private:
  std::mutex mu_;
  std::condition_variable changed_;
  std::deque<std::string> queue_;
  std::vector<ReceivedRequest> requests_;
  std::vector<CommandRecord> commands_;
  std::map<std::string, std::string> published_;
  int nextToken_ = 1;
  int requestCount_ = 0;
  bool shutdown_ = false;
};

}  // namespace vorel::portal
