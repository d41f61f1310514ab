#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "exchange/exchange_context.h"
#include "platform/http_client_factory.h"
#include "support/local_http_server.h"

// Shared pieces of the exchange tests: in-memory state store, logger and settings, a temporary table folder,
// and a portal stub on 127.0.0.1 that answers from a queue and records every request.
namespace vorel::test {

class MemoryStateStore final : public StateStore {
 public:
  std::string Read(std::string_view name) override;
  void Write(std::string_view name, std::string_view value) override;
  std::map<std::string, std::string, std::less<>> Snapshot();
  std::atomic<bool> failWrites{false};

 private:
  std::mutex mu_;
  std::map<std::string, std::string, std::less<>> values_;
};

class RecordingLogger final : public Logger {
 public:
  struct Line {
    std::string channel, message;
  };
  void Log(std::string_view channel, std::string_view message) override;
  void SetError(int32_t code, std::string_view message) override;
  std::vector<Line> Lines();
  std::vector<std::pair<int32_t, std::string>> Errors();
  bool Has(std::string_view channel, std::string_view message);
  std::atomic<bool> keepLines{true};  // false: for runs of many polls

 private:
  std::mutex mu_;
  std::vector<Line> lines_;
  std::vector<std::pair<int32_t, std::string>> errors_;
};

class MapSettings final : public SettingsAccess {
 public:
  std::string Get(std::string_view name) const override;
  void Set(std::string_view name, std::string_view value) override;

 private:
  std::map<std::string, std::string, std::less<>> values_;
};

struct PortalRequest {
  std::string path;
  std::map<std::string, std::string> query;
  std::vector<std::pair<std::string, std::string>> fields;
  std::string contentType;
  std::string contentLength;
  std::multimap<std::string, std::string> headers;
  const std::string* Field(const std::string& name) const;
  std::vector<std::string> Names() const;
};

// Answers POSTs on /medic/server.php from a queue of replies; an empty queue answers `idleReply`.
class PortalStub {
 public:
  PortalStub();
  ~PortalStub();
  void Queue(std::string reply);
  std::vector<PortalRequest> Requests();
  // Waits until at least n requests have arrived (up to 10 s); false on time-out.
  bool WaitForRequests(std::size_t n);
  std::string Url() const { return http_.BaseUrl() + "/medic/server.php"; }
  std::string idleReply = "1";
  std::atomic<int> failStatus{0};  // non-zero: answer every request with this status
  std::atomic<int> holdMs{0};      // delay before each answer
  std::atomic<bool> closing_{false};
  std::atomic<bool> keepRequests{true};  // false: only counted, for runs of many requests
  std::atomic<long> requestCount{0};

 private:
  LocalHttpServer http_;
  std::mutex mu_;
  std::condition_variable cv_;
  std::deque<std::string> replies_;
  std::vector<PortalRequest> requests_;
};

// A temporary folder of table files with controllable write times.
class TableFolder {
 public:
  TableFolder();
  ~TableFolder();
  const std::string& path() const { return path_; }
  // Creates or rewrites the file and sets its write time `minutesAgo` minutes before now.
  void Write(const std::string& name, int minutesAgo = 60);
  void Remove(const std::string& name);
  void WriteAll();  // the seven reference tables, m2401.dbf and kestrum.exe

 private:
  std::string path_;
};

// A context over all the pieces above, with a fake clinic whose exports are fixed texts.
class ExchangeHarness {
 public:
  ExchangeHarness();
  ExchangeContext& ctx() { return ctx_; }

  ExchangeState state;
  RecordingLogger logger;
  MemoryStateStore store;
  MapSettings settings;
  PortalStub portal;  // before the client: the client's open connection must close before the server stops
  TableFolder tables;
  std::unique_ptr<HttpClient> client;
  ClinicAccess clinic;
  SystemClock clock;
  RegionalSettings regional;
  std::atomic<int32_t> stopFlag{0};
  CommandTable commands;
  PatientCacheHooks patientCache;
  std::atomic<int> connectionTests{0};
  std::atomic<int> failConnectionTests{0};  // this many tests fail first

 private:
  ExchangeContext ctx_;
};

}  // namespace vorel::test
