#include "database/table_xml.h"

#include <exception>

#include "database/cell_text.h"
#include "database/run_query.h"

namespace vorel {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

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
    const sql::ResultSet& result = query.Result();
    TextCursor cursor(out, static_cast<size_t>(query.RecordCount()) * (fields.size() * 8 + 2));
    CellTextWriter writer(regional);
    for (size_t row = 0; row < result.rowCount(); ++row) {
      for (size_t i = 0; i < fields.size(); ++i) {
        // A value that cannot be read, or stored bytes that are no value of the column's type: "+++".
        if (result.Malformed(row, i) || result.Unreadable(row, i)) {
          cursor.Append("+++\t");
          continue;
        }
        try {
          writer.Append(cursor, result.Get(row, i), fields[i]);
        } catch (const std::exception&) {
          cursor.Append("+++\t");
        }
      }
      cursor.Append(kLineEnd);
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
