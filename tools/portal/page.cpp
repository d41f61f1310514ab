#include "page.h"

#include <algorithm>

#include "platform/code_page.h"
#include "table_text.h"

namespace vorel::portal {
namespace {

std::string Html(std::string_view ansi) {
  std::string out;
  for (char c : AnsiToUtf8(ansi)) {
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

std::string Trimmed(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return std::string(text);
  return std::string(text.substr(0, limit)) + "...";
}

// "dd.MM.yyyy" -> "yyyymmdd" (the reply's slot date form); other texts unchanged.
std::string DateKey(const std::string& shown) {
  if (shown.size() == 10 && shown[2] == '.' && shown[5] == '.') {
    return shown.substr(6, 4) + shown.substr(3, 2) + shown.substr(0, 2);
  }
  return shown;
}

int Column(const PublishedTable& t, std::string_view name) {
  for (std::size_t i = 0; i < t.columns.size(); ++i) {
    if (t.columns[i] == name) return static_cast<int>(i);
  }
  return -1;
}

std::string QueueButton(const std::string& label, const std::string& lineAnsi, bool withPatient) {
  std::string form = "<form method=post action=/queue style='display:inline'>";
  if (withPatient) {
    form += "<input type=hidden name=prefix value=\"" + Html(lineAnsi) + "\">";
    form += "<input name=patient size=4 placeholder='kl'>";
  } else {
    form += "<input type=hidden name=line value=\"" + Html(lineAnsi) + "\">";
  }
  return form + "<button>" + label + "</button></form>";
}

void RenderTable(std::string& out, const PublishedTable& t, std::size_t maxRows, const std::string& action) {
  out += "<h3>" + Html(t.name) + " <small>(" + std::to_string(t.rows.size()) + " rows)</small></h3>";
  if (!t.error.empty()) out += "<p class=err>error: " + Html(t.error) + "</p>";
  out += "<table><tr>";
  for (const auto& c : t.columns) out += "<th>" + Html(c) + "</th>";
  if (!action.empty()) out += "<th></th>";
  out += "</tr>";
  const int dat = Column(t, "dat"), tim = Column(t, "tim"), kw = Column(t, "kw"), kl = Column(t, "kl");
  for (std::size_t r = 0; r < t.rows.size() && r < maxRows; ++r) {
    const auto& row = t.rows[r];
    out += "<tr>";
    for (const auto& v : row) out += "<td>" + Html(v) + "</td>";
    if (!action.empty() && dat >= 0 && tim >= 0 && kw >= 0 &&
        static_cast<int>(row.size()) > std::max({dat, tim, kw, kl})) {
      const std::string slot = "&&&" + row[kw] + "&" + DateKey(row[dat]) + "&" + row[tim];
      if (action == "book") {
        out += "<td>" + QueueButton("book", "zapis" + slot + "&2&", true) + "</td>";
      } else if (kl >= 0) {
        out += "<td>" + QueueButton("cancel", "delrec" + slot + "&" + row[kl], false) + "</td>";
      }
    }
    out += "</tr>";
  }
  out += "</table>";
}

}  // namespace

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

std::string RenderPage(const PortalState::Snapshot& s) {
  std::string out =
      "<!doctype html><html><head><meta charset=utf-8><title>Portal simulator</title><style>"
      "body{font-family:sans-serif;margin:1em}table{border-collapse:collapse;font-size:13px;margin-bottom:"
      "1em}"
      "td,th{border:1px solid #ccc;padding:2px 6px}th{background:#eee}.err{color:#b00}pre{background:#f6f6f6;"
      "padding:4px;max-height:12em;overflow:auto}</style></head><body><h1>Portal simulator</h1>";
  out += "<p>" + std::to_string(s.requestCount) + " requests received, " + std::to_string(s.queued) +
         " replies queued. <a href=/>refresh</a></p>";
  out +=
      "<form method=post action=/queue>Queue a reply line: <input name=line size=70 "
      "placeholder='user&amp;Иванов&amp;7700000000001037'><button>queue</button></form>";

  out += "<h2>Commands and answers</h2><table><tr><th>token</th><th>reply line</th><th>answer</th></tr>";
  for (std::size_t i = s.commands.size() > 20 ? s.commands.size() - 20 : 0; i < s.commands.size(); ++i) {
    const auto& c = s.commands[i];
    out += "<tr><td>" + Html(c.token) + "</td><td>" + Html(c.line) + "</td><td>";
    out += !c.answered  ? "<i>waiting</i>"
           : !c.hasData ? "<i>(no data)</i>"
                        : "<pre>" + Html(Trimmed(c.answer, 4000)) + "</pre>";
    out += "</td></tr>";
  }
  out += "</table>";

  auto published = [&](const char* field) -> std::vector<PublishedTable> {
    auto it = s.published.find(field);
    return it == s.published.end() ? std::vector<PublishedTable>{} : ParseTableText(it->second);
  };
  out += "<h2>Free slots (nomer)</h2>";
  for (const auto& t : published("nomer")) RenderTable(out, t, 300, "book");
  out += "<h2>Taken slots (busynom)</h2>";
  for (const auto& t : published("busynom")) RenderTable(out, t, 300, "cancel");
  out += "<h2>Reference tables (spec)</h2>";
  for (const auto& t : published("spec")) RenderTable(out, t, 100, "");

  out += "<h2>Latest requests</h2><pre>";
  for (auto it = s.requests.rbegin(); it != s.requests.rend(); ++it) {
    std::string line = DescribeRequest(*it);
    std::string escaped;
    for (char c : line)
      escaped += c == '<' ? std::string("&lt;") : c == '&' ? std::string("&amp;") : std::string(1, c);
    out += escaped + "\n";
  }
  return out + "</pre></body></html>";
}

}  // namespace vorel::portal
