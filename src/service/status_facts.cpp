#include "service/status_facts.h"

#include <charconv>

namespace vorel {
namespace {

// Every fact with its name, as text in either direction.
template <typename Visit>
void EachFact(StatusFacts& f, Visit visit) {
  visit("pid", f.pid);
  visit("running", f.running);
  visit("started", f.started);
  visit("heartbeat", f.heartbeat);
  visit("stopped", f.stopped);
  visit("configured", f.configured);
  visit("clinic_folder", f.clinicFolder);
  visit("portal", f.portal);
  visit("tables", f.tables);
  visit("last_request", f.lastRequest);
  visit("last_answer", f.lastAnswer);
  visit("error", f.error);
  visit("error_msg", f.errorMessage);
  visit("error_time", f.errorTime);
  visit("critical_error", f.criticalError);
  visit("bookings", f.bookings);
  visit("last_booking", f.lastBooking);
}

std::string Text(const std::string& value) {
  std::string out;
  for (char c : value) out += (c == '\r' || c == '\n') ? ' ' : c;
  return out;
}
std::string Text(int64_t value) {
  return std::to_string(value);
}
std::string Text(bool value) {
  return value ? "yes" : "no";
}

void Assign(std::string& target, std::string_view value) {
  target = std::string(value);
}
void Assign(bool& target, std::string_view value) {
  target = value == "yes";
}
void Assign(int64_t& target, std::string_view value) {
  int64_t number = 0;
  const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
  if (ec == std::errc() && end == value.data() + value.size()) target = number;
}

}  // namespace

std::string StatusRecordText(const StatusFacts& facts) {
  std::string text;
  StatusFacts copy = facts;
  EachFact(copy, [&](const char* name, const auto& value) {
    text += std::string(name) + "=" + Text(value) + "\n";
  });
  return text;
}

StatusFacts ParseStatusRecord(std::string_view text) {
  StatusFacts facts;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view name = line.substr(0, equals), value = line.substr(equals + 1);
    EachFact(facts, [&](const char* factName, auto& target) {
      if (name == factName) Assign(target, value);
    });
  }
  return facts;
}

}  // namespace vorel
