#pragma once

// Small tables for the SQL tests: created through the table layer, filled row by row with typed values.
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/table.h"
#include "platform/calendar.h"
#include "platform/code_page.h"
#include "sql/executor.h"
#include "sql/statement_runners.h"
#include "sql/value.h"

namespace vorel::sqltest {

inline sql::Value T(std::string_view text) {
  return sql::Value::Text(text);
}
inline sql::Value N(double n) {
  return sql::Value::Number(n);
}
inline sql::Value D(int y, int m, int d) {
  return sql::Value::Date(JulianDayFromCivil(y, m, d));
}
inline sql::Value DT(int y, int m, int d, int h, int mi, int s) {
  return sql::Value::DateTime(JulianDayFromCivil(y, m, d) * sql::kMillisecondsPerDay +
                              (h * 3600 + mi * 60 + s) * 1000LL);
}
inline sql::Value L(bool b) {
  return sql::Value::Logical(b);
}
inline sql::Value Null() {
  return sql::Value::Null();
}
inline sql::Value EmptyDate() {
  return sql::Value::Date(0);
}

inline dbf::FieldSpec F(std::string name, dbf::FieldType type, int length = 0, int decimals = 0,
                        bool nullable = false) {
  dbf::FieldSpec s;
  s.name = std::move(name);
  s.type = type;
  s.length = static_cast<uint8_t>(length);
  s.decimals = static_cast<uint8_t>(decimals);
  s.nullable = nullable;
  return s;
}

// Creates `name` in `folder` and appends the rows (values in field order; fewer values leave the rest blank).
inline void MakeTable(const std::filesystem::path& folder, std::string_view name,
                      const std::vector<dbf::FieldSpec>& fields,
                      const std::vector<std::vector<sql::Value>>& rows) {
  dbf::TableOptions unjournaled;  // fixtures are written straight; the statements under test journal
  unjournaled.journal = false;
  dbf::Table table = dbf::Table::Create(folder, name, fields, {}, unjournaled);
  for (const auto& row : rows) {
    table.AppendRecord([&](std::span<char> record) {
      for (size_t i = 0; i < row.size(); ++i) sql::StoreValue(table, table.fields()[i], row[i], record);
    });
  }
}

inline void MarkDeleted(const std::filesystem::path& folder, std::string_view name, uint32_t recno) {
  dbf::Table table = dbf::Table::Open(folder, name);
  table.SetDeleted(recno);
}

// The m2401 appointment grid with the columns the service names.
inline std::vector<dbf::FieldSpec> M2401Fields() {
  using FT = dbf::FieldType;
  return {F("kw", FT::kNumeric, 5),         F("dat", FT::kDate),
          F("tim", FT::kCharacter, 5),      F("kl", FT::kNumeric, 10),
          F("polis", FT::kCharacter, 20),   F("fiol", FT::kCharacter, 30),
          F("ist_zap", FT::kCharacter, 10), F("filtr", FT::kCharacter, 10),
          F("phone", FT::kCharacter, 20),   F("fam_reg", FT::kCharacter, 20),
          F("dt_zap", FT::kDateTime),       F("data_naz", FT::kDateTime),
          F("ntal", FT::kNumeric, 5),       F("tel", FT::kNumeric, 3)};
}

// Windows-1251 bytes of a UTF-8 text (test data in readable form).
inline std::string A(std::string_view utf8) {
  return Utf8ToAnsi(utf8);
}

}  // namespace vorel::sqltest
