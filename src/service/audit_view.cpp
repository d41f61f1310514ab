#include "service/audit_view.h"

#include <charconv>
#include <cstdio>

#include "booking/text_trim.h"
#include "platform/code_page.h"

namespace vorel {
namespace {

std::string Trimmed(std::string_view text) {
  return std::string(TrimText(text));
}

// Slot numbers and patient ids compare as numbers when both are ("0555" is 555), else as trimmed texts.
bool SameNumber(std::string_view a, std::string_view b) {
  const std::string x = Trimmed(a), y = Trimmed(b);
  long long m = 0, n = 0;
  const auto rx = std::from_chars(x.data(), x.data() + x.size(), m);
  const auto ry = std::from_chars(y.data(), y.data() + y.size(), n);
  if (!x.empty() && !y.empty() && rx.ec == std::errc() && ry.ec == std::errc() &&
      rx.ptr == x.data() + x.size() && ry.ptr == y.data() + y.size())
    return m == n;
  return x == y;
}

std::string Quoted(std::string_view ansi) {
  return "\"" + AnsiToUtf8(ansi) + "\"";
}

std::string Json(std::string_view ansi) {
  std::string out = "\"";
  for (char c : AnsiToUtf8(ansi)) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      (out += '\\') += c;
    } else if (byte < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

}  // namespace

bool AuditEntryMatches(const AuditFilter& filter, const AuditEntry& entry) {
  if (!filter.since.empty() && entry.localTime.substr(0, 8) < filter.since) return false;
  if (filter.slot && !(SameNumber(entry.kw, filter.slot->kw) && entry.date == Trimmed(filter.slot->date) &&
                       entry.time == Trimmed(filter.slot->time)))
    return false;
  return filter.patient.empty() || SameNumber(entry.patient, filter.patient);
}

std::string AuditEntryText(const AuditEntry& e) {
  std::string text = e.localTime + "  " + e.command + "  answer " + Quoted(e.answer);
  if (!e.kw.empty() || !e.date.empty()) text += "  slot " + e.kw + " " + e.date + " " + e.time;
  if (!e.patient.empty()) text += "  patient " + e.patient;
  text += "  session " + Quoted(e.session) + "\n";
  text += "  command: " + AnsiToUtf8(e.line) + "\n";
  for (const std::string& line : e.log) text += "  log: " + AnsiToUtf8(line) + "\n";
  for (const AuditRecordChange& r : e.records) {
    text +=
        "  " + AnsiToUtf8(r.table) + " record " + std::to_string(r.recno) + (r.appended ? " (added):" : ":");
    for (size_t i = 0; i < r.fields.size(); ++i) {
      const AuditFieldChange& f = r.fields[i];
      text += (i == 0 ? " " : "; ") + AnsiToUtf8(f.field) + " " + Quoted(f.before) + " -> " + Quoted(f.after);
    }
    text += "\n";
  }
  if (e.recordsChanged > e.records.size())
    text += "  ... " + std::to_string(e.recordsChanged) + " records changed, the first " +
            std::to_string(e.records.size()) + " shown\n";
  return text;
}

std::string AuditEntryJson(const AuditEntry& e) {
  std::string json = "{\"time\":" + Json(e.localTime) + ",\"session\":" + Json(e.session) +
                     ",\"command\":" + Json(e.command) + ",\"line\":" + Json(e.line) +
                     ",\"answer\":" + Json(e.answer) + ",\"log\":[";
  for (size_t i = 0; i < e.log.size(); ++i) json += (i ? "," : "") + Json(e.log[i]);
  json += "],\"kw\":" + Json(e.kw) + ",\"date\":" + Json(e.date) + ",\"tim\":" + Json(e.time) +
          ",\"patient\":" + Json(e.patient) + ",\"records_changed\":" + std::to_string(e.recordsChanged) +
          ",\"records\":[";
  for (size_t i = 0; i < e.records.size(); ++i) {
    const AuditRecordChange& r = e.records[i];
    json += std::string(i ? "," : "") + "{\"table\":" + Json(r.table) +
            ",\"recno\":" + std::to_string(r.recno) + ",\"added\":" + (r.appended ? "true" : "false") +
            ",\"fields\":[";
    for (size_t f = 0; f < r.fields.size(); ++f)
      json += std::string(f ? "," : "") + "{\"name\":" + Json(r.fields[f].field) +
              ",\"before\":" + Json(r.fields[f].before) + ",\"after\":" + Json(r.fields[f].after) + "}";
    json += "]}";
  }
  return json + "]}";
}

}  // namespace vorel
