#include "exchange/exchange_fixture.h"

#include <sys/stat.h>
#include <utime.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>

#include "exchange/dispatch_reply.h"

namespace vorel::test {

std::string MemoryStateStore::Read(std::string_view name) {
  std::lock_guard lock(mu_);
  auto it = values_.find(name);
  return it == values_.end() ? std::string() : it->second;
}

void MemoryStateStore::Write(std::string_view name, std::string_view value) {
  if (failWrites) throw StateStoreError("Failed to set data for '" + std::string(name) + "'");
  std::lock_guard lock(mu_);
  values_[std::string(name)] = std::string(value);
}

std::map<std::string, std::string, std::less<>> MemoryStateStore::Snapshot() {
  std::lock_guard lock(mu_);
  return values_;
}

void RecordingLogger::Log(std::string_view channel, std::string_view message) {
  std::lock_guard lock(mu_);
  if (keepLines) lines_.push_back({std::string(channel), std::string(message)});
}

void RecordingLogger::SetError(int32_t code, std::string_view message) {
  std::lock_guard lock(mu_);
  errors_.emplace_back(code, std::string(message));
}

std::vector<RecordingLogger::Line> RecordingLogger::Lines() {
  std::lock_guard lock(mu_);
  return lines_;
}

std::vector<std::pair<int32_t, std::string>> RecordingLogger::Errors() {
  std::lock_guard lock(mu_);
  return errors_;
}

bool RecordingLogger::Has(std::string_view channel, std::string_view message) {
  std::lock_guard lock(mu_);
  for (const auto& line : lines_) {
    if (line.channel == channel && line.message == message) return true;
  }
  return false;
}

std::string MapSettings::Get(std::string_view name) const {
  auto it = values_.find(name);
  return it == values_.end() ? std::string() : it->second;
}

void MapSettings::Set(std::string_view name, std::string_view value) {
  values_[std::string(name)] = value;
}

const std::string* PortalRequest::Field(const std::string& name) const {
  for (const auto& [n, v] : fields) {
    if (n == name) return &v;
  }
  return nullptr;
}

std::vector<std::string> PortalRequest::Names() const {
  std::vector<std::string> names;
  for (const auto& field : fields) names.push_back(field.first);
  return names;
}

PortalStub::PortalStub() {
  http_.server().Post("/medic/server.php", [this](const httplib::Request& req, httplib::Response& res,
                                                  const httplib::ContentReader& reader) {
    const auto holdUntil = std::chrono::steady_clock::now() + std::chrono::milliseconds(holdMs.load());
    while (!closing_ && std::chrono::steady_clock::now() < holdUntil) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    PortalRequest request;
    request.path = req.path;
    for (const auto& [k, v] : req.params) request.query[k] = v;
    for (const auto& [k, v] : req.headers) request.headers.emplace(k, v);
    request.contentType = req.get_header_value("Content-Type");
    request.contentLength = req.get_header_value("Content-Length");
    request.fields = ReadBody(req, reader).fields;
    std::string reply;
    {
      std::lock_guard lock(mu_);
      if (keepRequests) requests_.push_back(std::move(request));
      ++requestCount;
      if (!replies_.empty()) {
        reply = std::move(replies_.front());
        replies_.pop_front();
      } else {
        reply = idleReply;
      }
    }
    cv_.notify_all();
    if (failStatus != 0) {
      res.status = failStatus;
      return;
    }
    res.set_content(reply, "text/html");
  });
  http_.Start();
}

PortalStub::~PortalStub() {
  closing_ = true;
  http_.Stop();
}

void PortalStub::Queue(std::string reply) {
  std::lock_guard lock(mu_);
  replies_.push_back(std::move(reply));
}

std::vector<PortalRequest> PortalStub::Requests() {
  std::lock_guard lock(mu_);
  return requests_;
}

bool PortalStub::WaitForRequests(std::size_t n) {
  std::unique_lock lock(mu_);
  return cv_.wait_for(lock, std::chrono::seconds(10), [&] { return requests_.size() >= n; });
}

TableFolder::TableFolder() {
  char tmpl[] = "/tmp/vorel_tables_XXXXXX";
  path_ = mkdtemp(tmpl);
}

TableFolder::~TableFolder() {
  std::filesystem::remove_all(path_);
}

void TableFolder::Write(const std::string& name, int minutesAgo) {
  const std::string file = path_ + "/" + name;
  std::ofstream(file) << name;
  const std::time_t when = std::time(nullptr) - static_cast<std::time_t>(minutesAgo) * 60;
  const utimbuf times{when, when};
  utime(file.c_str(), &times);
}

void TableFolder::Remove(const std::string& name) {
  std::filesystem::remove(path_ + "/" + name);
}

void TableFolder::WriteAll() {
  for (const char* name : {"ci003.dbf", "c2402.dbf", "c2403.dbf", "c2404.dbf", "c2406.dbf", "c2409.dbf",
                           "ci007.dbf", "m2401.dbf", "kestrum.exe"}) {
    Write(name);
  }
}

ExchangeHarness::ExchangeHarness()
    : client(CreateHttpClient()), ctx_{state, logger,   store,    settings, *client,      clinic,
                                       clock, regional, stopFlag, commands, patientCache, "127.0.0.1"} {
  settings.Set("path", tables.path());
  settings.Set("id", "15");
  settings.Set("pass", "secret");
  state.serverAddressOverride = portal.Url();
  clinic.testConnection = [this](const std::string&) {
    ++connectionTests;
    if (failConnectionTests > 0) {
      --failConnectionTests;
      throw std::runtime_error("cannot open the folder");
    }
  };
  clinic.specExport = [] { return std::string("<spec export>"); };
  clinic.freeSlotExport = [] { return std::string("<free slots>"); };
  clinic.groupListExport = [] { return std::string("<groups>"); };
  clinic.renderTableXml = [](const std::string& table, const std::string& statement) {
    return "<" + table + ":" + statement + ">";
  };
  clinic.dateWindowView = [](const std::string& back, const std::string& forward) {
    return "<window " + back + "," + forward + ">";
  };
  clinic.patientView = [](const std::string& id) { return "<patient " + id + ">"; };
  ctx_.timing.postRetryFirst = std::chrono::milliseconds(100);
  ctx_.timing.postRetryMax = std::chrono::milliseconds(400);
  ctx_.timing.recoveryFirst = std::chrono::milliseconds(100);
  ctx_.timing.recoveryMax = std::chrono::milliseconds(400);
  ctx_.timing.stopCheck = std::chrono::milliseconds(5);
  BindExchangeCommands(ctx_);
}

}  // namespace vorel::test
