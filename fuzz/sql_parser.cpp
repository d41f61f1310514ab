// Statement text from outside (adm_sql, reply fields placed into statements) through the lexer and parser:
// any bytes give a statement or a SyntaxError, never a crash.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "sql/lexer.h"
#include "sql/parser.h"
#include "sql/sql_errors.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    vorel::sql::Tokenize(text);
  } catch (const vorel::sql::SyntaxError&) {
  }
  try {
    vorel::sql::ParseStatement(text);
  } catch (const vorel::sql::SyntaxError&) {
  }
  return 0;
}
