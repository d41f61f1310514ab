#include "booking/patient_admin_query.h"

#include "booking/sql_literal.h"
#include "database/table_xml.h"

namespace vorel {
namespace {

// The error form of Table XML for a statement that could not be built, so it was never run.
std::string UnrunnableTable(std::string_view tableName) {
  std::string out = "<table name=";
  out += tableName;
  out +=
      ">\r\n<field></field>\r\n<data>\r\n<error>The value holds every string delimiter (' \" ]) and cannot "
      "be "
      "put into a statement</error>\r\n</table>\r\n";
  return out;
}

std::string RunAdminQuery(DatabaseContext& db, const PatientCache& cache, std::string_view tableName,
                          std::string_view column, std::string_view value) {
  const auto statement = PatientAdminStatement(cache.columnList, column, value);
  if (!statement) return UnrunnableTable(tableName);
  return RenderTableXml(db, tableName, *statement);
}

}  // namespace

std::optional<std::string> PatientAdminStatement(const std::string& columnList, std::string_view column,
                                                 std::string_view value) {
  const auto delimiter = ChooseStringDelimiter(value);
  if (!delimiter) return std::nullopt;
  std::string statement = "select " + columnList + " from m1005 WHERE ";
  statement += column;
  statement += '=';
  statement += QuoteText(value, *delimiter);
  return statement;
}

std::string RunAdminUserCommand(DatabaseContext& db, const PatientCache& cache, const ReplyFields& fields) {
  return RunAdminQuery(db, cache, "useradm", "fiol", fields[2]);
}

std::string RunAdminPolicyCommand(DatabaseContext& db, const PatientCache& cache, const ReplyFields& fields) {
  return RunAdminQuery(db, cache, "polisadm", "npol", fields[2]);
}

}  // namespace vorel
