#include "database/table_xml.h"

#include <algorithm>
#include <exception>

#include "database/run_query.h"
#include "database/value_text.h"

namespace vorel {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

// Appends the value text of the current row's column `index` to `out`: the default text form, trimmed of
// characters with codes up to 32, without CR and LF; "+++" when the value cannot be read.
void AppendCell(std::string& out, Query& query, size_t index, const RegionalSettings& regional) {
  const size_t start = out.size();
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

}  // namespace

std::string RenderTableXml(DatabaseContext& ctx, std::string_view tableName, std::string_view statement) {
  ctx.ADO.Connect();
  std::string out;
  out += "<table name=";
  out += tableName;
  out += ">";
  out += kLineEnd;
  try {
    RunQuery(ctx, statement);
    const std::vector<sql::Column>& fields = ctx.SQL.Fields();
    out += "<field>";
    for (const sql::Column& c : fields) {
      out += c.name;
      out += ';';
    }
    out += "</field>";
    out += kLineEnd;
    out += "<data>";
    out += kLineEnd;
    if (ctx.SQL.RecordCount() > 0) {
      out.reserve(out.size() + static_cast<size_t>(ctx.SQL.RecordCount()) * (fields.size() * 8 + 2));
      ctx.SQL.First();
      while (!ctx.SQL.Eof()) {
        for (size_t i = 0; i < fields.size(); ++i) {
          AppendCell(out, ctx.SQL, i, ctx.regional);
          out += '\t';
        }
        out += kLineEnd;
        ctx.SQL.Next();
      }
    }
    out += "</data>";
    out += kLineEnd;
  } catch (const std::exception& e) {
    out += "<error>";
    out += e.what();
    out += "</error>";
    out += kLineEnd;
  }
  out += "</table>";
  out += kLineEnd;
  ctx.log.Log("global", "SQLtextSize: " + std::to_string(out.size()));
  ctx.SQL.Close();
  ctx.ADO.Disconnect();
  return out;
}

}  // namespace vorel
