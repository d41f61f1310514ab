#include <charconv>

#include "platform/audit_store.h"

// An entry is a list of texts joined by tabs, each with backslash, tab, CR and LF escaped; each changed
// record is such a list itself, escaped once more as one item of the entry's list.
namespace vorel {
namespace {

constexpr std::string_view kFormat = "A1";
constexpr size_t kFixedItems = 13;

std::string Escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string JoinList(const std::vector<std::string>& items) {
  std::string out;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) out += '\t';
    out += Escape(items[i]);
  }
  return out;
}

std::optional<std::vector<std::string>> SplitList(std::string_view text) {
  std::vector<std::string> items(1);
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\t') {
      items.emplace_back();
    } else if (c == '\n' || c == '\r') {
      return std::nullopt;
    } else if (c != '\\') {
      items.back() += c;
    } else if (++i < text.size()) {
      const char e = text[i];
      if (e == '\\')
        items.back() += '\\';
      else if (e == 't')
        items.back() += '\t';
      else if (e == 'n')
        items.back() += '\n';
      else if (e == 'r')
        items.back() += '\r';
      else
        return std::nullopt;
    } else {
      return std::nullopt;
    }
  }
  return items;
}

template <typename Number>
bool ParseNumber(const std::string& text, Number& out) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size();
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string out;
  for (size_t i = 0; i < lines.size(); ++i) (i > 0 ? out += '\n' : out) += lines[i];
  return out;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  if (text.empty()) return lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  lines.push_back(text.substr(start));
  return lines;
}

}  // namespace

std::string EncodeAuditEntry(const AuditEntry& e) {
  std::vector<std::string> items = {std::string(kFormat),
                                    std::to_string(e.unixMillis),
                                    e.localTime,
                                    e.session,
                                    e.command,
                                    e.line,
                                    e.answer,
                                    JoinLines(e.log),
                                    e.kw,
                                    e.date,
                                    e.time,
                                    e.patient,
                                    std::to_string(e.recordsChanged)};
  for (const AuditRecordChange& r : e.records) {
    std::vector<std::string> record = {r.table, std::to_string(r.recno), r.appended ? "1" : "0"};
    for (const AuditFieldChange& f : r.fields) {
      record.push_back(f.field);
      record.push_back(f.before);
      record.push_back(f.after);
    }
    items.push_back(JoinList(record));
  }
  return JoinList(items);
}

std::optional<AuditEntry> DecodeAuditEntry(std::string_view text) {
  const auto items = SplitList(text);
  if (!items || items->size() < kFixedItems || (*items)[0] != kFormat) return std::nullopt;
  const std::vector<std::string>& v = *items;
  AuditEntry e;
  if (!ParseNumber(v[1], e.unixMillis) || !ParseNumber(v[12], e.recordsChanged)) return std::nullopt;
  e.localTime = v[2];
  e.session = v[3];
  e.command = v[4];
  e.line = v[5];
  e.answer = v[6];
  e.log = SplitLines(v[7]);
  e.kw = v[8];
  e.date = v[9];
  e.time = v[10];
  e.patient = v[11];
  for (size_t i = kFixedItems; i < v.size(); ++i) {
    const auto record = SplitList(v[i]);
    if (!record || record->size() < 3 || (record->size() - 3) % 3 != 0) return std::nullopt;
    AuditRecordChange r;
    r.table = (*record)[0];
    if (!ParseNumber((*record)[1], r.recno)) return std::nullopt;
    r.appended = (*record)[2] == "1";
    for (size_t f = 3; f < record->size(); f += 3)
      r.fields.push_back({(*record)[f], (*record)[f + 1], (*record)[f + 2]});
    e.records.push_back(std::move(r));
  }
  return e;
}

}  // namespace vorel
