#include "database/table_xml.h"

#include <algorithm>
#include <exception>

#include "database/run_query.h"
#include "database/value_text.h"

namespace vorel {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

// Appends the value text of the current row's column `index` to `out`: the default text form, trimmed of
// characters with codes up to 32, without CR and LF; "+++" when the value cannot be read or the stored bytes
// are no value of the column's type.
void AppendCell(std::string& out, Query& query, size_t index, const RegionalSettings& regional) {
  const size_t start = out.size();
  if (query.FieldMalformed(index)) {
    out += "+++";
    return;
  }
  try {
    AppendValueText(out, query.FieldValue(index), query.Fields()[index], regional);
  } catch (const std::exception&) {
    out.resize(start);
    out += "+++";
    return;
  }
  auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  size_t end = out.size();
  while (end > start && isBlank(out[end - 1])) --end;
  size_t first = start;
  while (first < end && isBlank(out[first])) ++first;
  // Compact in place: drop the leading blanks and every CR and LF.
  size_t write = start;
  for (size_t read = first; read < end; ++read) {
    char c = out[read];
    if (c != '\r' && c != '\n') out[write++] = c;
  }
  out.resize(write);
}

// The field line and the data section of the result `query` is open on; a failure passes to the caller.
void AppendResult(std::string& out, Query& query, const RegionalSettings& regional) {
  const std::vector<sql::Column>& fields = query.Fields();
  out += "<field>";
  for (const sql::Column& c : fields) {
    out += c.name;
    out += ';';
  }
  out += "</field>";
  out += kLineEnd;
  out += "<data>";
  out += kLineEnd;
  if (query.RecordCount() > 0) {
    out.reserve(out.size() + static_cast<size_t>(query.RecordCount()) * (fields.size() * 8 + 2));
    query.First();
    while (!query.Eof()) {
      for (size_t i = 0; i < fields.size(); ++i) {
        AppendCell(out, query, i, regional);
        out += '\t';
      }
      out += kLineEnd;
      query.Next();
    }
  }
  out += "</data>";
  out += kLineEnd;
}

void AppendTableLine(std::string& out, std::string_view tableName) {
  out += "<table name=";
  out += tableName;
  out += ">";
  out += kLineEnd;
}

void AppendTableEnd(std::string& out) {
  out += "</table>";
  out += kLineEnd;
}

}  // namespace

std::string RenderResultXml(Query& query, std::string_view tableName, const RegionalSettings& regional) {
  std::string out;
  AppendTableLine(out, tableName);
  AppendResult(out, query, regional);
  AppendTableEnd(out);
  return out;
}

std::string RenderTableXml(DatabaseContext& ctx, std::string_view tableName, std::string_view statement) {
  ctx.ADO.Connect();
  std::string out;
  AppendTableLine(out, tableName);
  try {
    RunQuery(ctx, statement);
    AppendResult(out, ctx.SQL, ctx.regional);
  } catch (const std::exception& e) {
    out += "<error>";
    out += e.what();
    out += "</error>";
    out += kLineEnd;
  }
  AppendTableEnd(out);
  ctx.log.Log("global", "SQLtextSize: " + std::to_string(out.size()));
  ctx.SQL.Close();
  ctx.ADO.Disconnect();
  return out;
}

}  // namespace vorel
