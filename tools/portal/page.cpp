#include "page.h"

#include <algorithm>

#include "platform/calendar.h"
#include "platform/code_page.h"
#include "schedule_grid.h"
#include "table_text.h"

namespace vorel::portal {
namespace {

constexpr std::size_t kCommandsShown = 20;
constexpr std::size_t kReferenceRowsShown = 100;

// UTF-8 text with the characters HTML gives a meaning escaped.
std::string Escaped(std::string_view utf8) {
  std::string out;
  for (char c : utf8) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// A Windows-1251 text for the page.
std::string Html(std::string_view ansi) {
  return Escaped(AnsiToUtf8(ansi));
}

std::string Trimmed(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return std::string(text);
  return std::string(text.substr(0, limit)) + "...";
}

std::string Showing(std::size_t shown, std::size_t all, const char* what) {
  if (shown >= all) return std::to_string(all) + " " + what;
  return "showing " + std::to_string(shown) + " of " + std::to_string(all) + " " + what;
}

// "yyyymmdd" -> "Mon 09.12"
std::string DayHeading(const std::string& key) {
  if (key.size() != 8) return key;
  const int y = std::atoi(key.substr(0, 4).c_str()), m = std::atoi(key.substr(4, 2).c_str()),
            d = std::atoi(key.substr(6, 2).c_str());
  if (!IsValidDate(y, m, d)) return key;
  constexpr const char* kWeekdays[] = {"Thu", "Fri", "Sat", "Sun", "Mon", "Tue", "Wed"};  // from 1970-01-01
  const int64_t days = DaysFromCivil(y, m, d);
  return std::string(kWeekdays[((days % 7) + 7) % 7]) + " " + key.substr(6, 2) + "." + key.substr(4, 2);
}

constexpr const char* kStyle =
    "body{font-family:sans-serif;margin:0 1em 1em;max-width:1260px}"
    "nav{position:sticky;top:0;background:#fff;padding:.5em 0;border-bottom:1px solid #ccc;z-index:1}"
    "nav a{margin-right:1.2em}h1{font-size:1.3em;margin:.4em 0}h2{font-size:1.1em;margin-top:1.4em}"
    "table{border-collapse:collapse;font-size:13px;margin-bottom:1em}td,th{border:1px solid #ccc;padding:2px "
    "5px;"
    "vertical-align:top}th{background:#eee}.wide{overflow-x:auto;max-width:100%}"
    "table.grid{table-layout:fixed;width:100%}table.grid th.doc{width:170px;text-align:left}"
    "table.grid td{padding:3px}.slot{font-size:11px;margin:1px;padding:1px 3px;border:1px solid;"
    "border-radius:3px;cursor:pointer;width:44px}.free{background:#dff5df;border-color:#5a5}"
    ".taken{background:#f6d8d8;border-color:#c66}.err{color:#b00}small{color:#555}"
    "pre{background:#f6f6f6;padding:4px;max-height:14em;overflow:auto;white-space:pre-wrap;"
    "word-break:break-all;margin:0}input[name=line]{width:40em;max-width:60%}";

// Reloads the page every 10 seconds unless the operator is typing into it.
constexpr const char* kRefresh =
    "<script>setInterval(function(){var a=document.activeElement;"
    "if(!a||a.tagName!=='INPUT')location.reload();},10000);</script>";

void RenderSchedule(std::string& out, const Schedule& s, const PageView& view) {
  out += "<h2 id=schedule>Schedule</h2>";
  const std::size_t first = std::min(view.firstDay, s.days.empty() ? 0 : s.days.size() - 1);
  const std::size_t last = std::min(first + kDaysShown, s.days.size());
  out += "<p>" + std::to_string(s.freeSlots) + " free and " + std::to_string(s.takenSlots) +
         " taken slots of " + std::to_string(s.doctors.size()) + " doctors; " +
         Showing(last - first, s.days.size(), "days");
  if (first > 0)
    out += " &middot; <a href='/?from=" + std::to_string(first >= kDaysShown ? first - kDaysShown : 0) +
           "#schedule'>&larr; earlier days</a>";
  if (last < s.days.size())
    out += " &middot; <a href='/?from=" + std::to_string(last) + "#schedule'>later days &rarr;</a>";
  out += "</p>";
  if (s.days.empty()) {
    out += "<p><i>No slots published yet.</i></p>";
    return;
  }
  // One form books (with the patient id typed here), one cancels; every slot button submits one of them.
  out +=
      "<form id=book method=post action=/queue>Patient id (kl) for a booking: <input name=patient size=8 "
      "id=patient required> then click a <span class='slot free'>free</span> slot; a "
      "<span class='slot taken'>taken</span> slot cancels its booking.</form>"
      "<form id=cancel method=post action=/queue></form>";
  out += "<table class=grid><tr><th class=doc>Doctor</th>";
  for (std::size_t d = first; d < last; ++d) out += "<th>" + DayHeading(s.days[d]) + "</th>";
  out += "</tr>";
  for (const ScheduleDoctor& doctor : s.doctors) {
    out += "<tr><th class=doc>" + Html(doctor.name);
    if (!doctor.detail.empty()) out += "<br><small>" + Html(doctor.detail) + "</small>";
    out += "</th>";
    for (std::size_t d = first; d < last; ++d) {
      out += "<td>";
      auto it = s.cells.find({doctor.kw, s.days[d]});
      if (it != s.cells.end()) {
        for (const ScheduleSlot& slot : it->second) {
          const std::string key = "&&&" + doctor.kw + "&" + s.days[d] + "&" + slot.time;
          if (slot.patient.empty()) {
            out += "<button class='slot free' form=book name=prefix value=\"" + Html("zapis" + key + "&2&") +
                   "\" title='book'>" + Html(slot.time) + "</button>";
          } else {
            out += "<button class='slot taken' form=cancel name=line value=\"" +
                   Html("delrec" + key + "&" + slot.patient) + "\" title='patient " + Html(slot.patient) +
                   ": cancel'>" + Html(slot.time) + "</button>";
          }
        }
      }
      out += "</td>";
    }
    out += "</tr>";
  }
  out += "</table>";
}

void RenderReferenceTable(std::string& out, const PublishedTable& t) {
  out += "<h3>" + Html(t.name) + " <small>(" +
         Showing(std::min(t.rows.size(), kReferenceRowsShown), t.rows.size(), "rows") + ")</small></h3>";
  if (!t.error.empty()) out += "<p class=err>error: " + Html(t.error) + "</p>";
  out += "<div class=wide><table><tr>";
  for (const auto& c : t.columns) out += "<th>" + Html(c) + "</th>";
  out += "</tr>";
  for (std::size_t r = 0; r < t.rows.size() && r < kReferenceRowsShown; ++r) {
    out += "<tr>";
    for (const auto& v : t.rows[r]) out += "<td>" + Html(v) + "</td>";
    out += "</tr>";
  }
  out += "</table></div>";
}

// The service's audit entries of the commands sent from here: what each changed, before and after.
void RenderAudit(std::string& out, const std::vector<AuditEntry>& audit, const std::string& problem) {
  out += "<h2 id=audit>Audit trail of the commands sent from here <small>(" +
         Showing(std::min(audit.size(), kCommandsShown), audit.size(), "entries") +
         ", newest first, as <code>vorel_service audit</code> shows them)</small></h2>";
  if (!problem.empty()) out += "<p class=err>" + Html(problem) + "</p>";
  out +=
      "<table class=grid id=audit><tr><th style='width:9em'>time</th><th style='width:4em'>token</th>"
      "<th style='width:5em'>command</th><th style='width:4em'>answer</th><th style='width:11em'>slot</th>"
      "<th>what changed</th></tr>";
  for (std::size_t i = 0; i < audit.size() && i < kCommandsShown; ++i) {
    const AuditEntry& e = audit[i];
    const std::string slot = e.kw + " " + e.date + " " + e.time;
    out += "<tr data-slot=\"" + Html(slot) + "\" data-answer=\"" + Html(e.answer) + "\"><td>" +
           Html(e.localTime) + "</td><td>" + Html(e.session) + "</td><td>" + Html(e.command) + "</td><td>" +
           Html(e.answer) + "</td><td>" + Html(slot) + "</td><td>";
    for (const AuditRecordChange& r : e.records) {
      out += Html(r.table) + " #" + std::to_string(r.recno) + ":";
      for (const AuditFieldChange& f : r.fields)
        out += " " + Html(f.field) + " &quot;" + Html(f.before) + "&quot; &rarr; &quot;" + Html(f.after) +
               "&quot;;";
      out += "<br>";
    }
    if (e.records.empty() && !e.log.empty()) out += "<i>" + Html(e.log.back()) + "</i>";
    out += "</td></tr>";
  }
  out += "</table>";
}

}  // namespace

std::vector<AuditEntry> EntriesOfCommands(const std::vector<AuditEntry>& trail,
                                          const std::vector<CommandRecord>& commands) {
  std::vector<AuditEntry> ours;
  for (const AuditEntry& e : trail) {
    for (const CommandRecord& c : commands) {
      if (c.line == e.line) {
        ours.push_back(e);
        break;
      }
    }
  }
  return ours;
}

std::string DescribeRequest(const ReceivedRequest& request) {
  std::string line = "#" + std::to_string(request.number) + " " + request.time + " ->";
  for (const auto& [name, value] : request.fields) {
    line += " " + name + "=";
    if (name == "spec" || name == "nomer" || name == "busynom") {
      const auto tables = ParseTableText(value);
      std::size_t rows = 0;
      for (const auto& t : tables) rows += t.rows.size();
      line += "[" + std::to_string(tables.size()) + " table(s), " + std::to_string(rows) + " rows]";
    } else {
      line += "\"" + AnsiToUtf8(Trimmed(value, 60)) + "\"";
    }
  }
  if (request.held) return line + "  <- (held)";
  return line + "  <- \"" + AnsiToUtf8(request.reply) + "\"";
}

std::string RenderPage(const PortalState::Snapshot& s, const PageView& view,
                       const std::vector<AuditEntry>& audit, const std::string& auditProblem) {
  auto published = [&](const char* field) -> std::vector<PublishedTable> {
    auto it = s.published.find(field);
    return it == s.published.end() ? std::vector<PublishedTable>{} : ParseTableText(it->second);
  };
  const std::vector<PublishedTable> reference = published("spec");

  std::string out =
      std::string("<!doctype html><html><head><meta charset=utf-8>") +
      "<meta name=viewport content='width=device-width'><title>Portal simulator</title><style>" + kStyle +
      "</style></head><body><nav><b>Portal simulator</b> &middot; " + std::to_string(s.requestCount) +
      " requests, " + std::to_string(s.queued) +
      " replies queued &middot; <a href=#schedule>Schedule</a><a href=#commands>Commands</a>"
      "<a href=#audit>Audit trail</a>"
      "<a href=#reference>Reference tables</a><a href=#requests>Requests</a>"
      "<small>refreshes every 10 s</small></nav>";
  out +=
      "<form method=post action=/queue><p>Queue a reply line: <input name=line "
      "placeholder='user&amp;Иванов&amp;7700000000001037'> <button>queue</button></p></form>";

  RenderSchedule(out, BuildSchedule(published("nomer"), published("busynom"), reference), view);

  const std::size_t shownCommands = std::min(s.commands.size(), kCommandsShown);
  out += "<h2 id=commands>Commands and answers <small>(" +
         Showing(shownCommands, s.commands.size(), "commands") +
         ", newest first)</small></h2><table class=grid><tr><th style='width:4em'>token</th><th "
         "style='width:30%'>"
         "reply line</th><th>answer</th></tr>";
  for (std::size_t i = 0; i < shownCommands; ++i) {
    const auto& c = s.commands[s.commands.size() - 1 - i];
    out += "<tr><td>" + Html(c.token) + "</td><td><pre>" + Html(c.line) + "</pre></td><td>";
    out += !c.answered  ? "<i>waiting</i>"
           : !c.hasData ? "<i>(no data)</i>"
                        : "<pre>" + Html(Trimmed(c.answer, 4000)) + "</pre>";
    out += "</td></tr>";
  }
  out += "</table>";

  RenderAudit(out, audit, auditProblem);

  out += "<h2 id=reference>Reference tables (spec)</h2>";
  if (reference.empty()) out += "<p><i>Not published yet.</i></p>";
  for (const auto& t : reference) RenderReferenceTable(out, t);

  out += "<h2 id=requests>Latest requests <small>(" +
         Showing(s.requests.size(), static_cast<std::size_t>(s.requestCount), "requests") +
         ", newest first)</small></h2><pre>";
  for (auto it = s.requests.rbegin(); it != s.requests.rend(); ++it)
    out += Escaped(DescribeRequest(*it)) + "\n";
  return out + "</pre>" + kRefresh + "</body></html>";
}

}  // namespace vorel::portal
