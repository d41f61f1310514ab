#pragma once

#include <cstdint>
#include <string>

#include "dbf/field.h"

// A column of a statement's result: its name as the result gives it (lower case) and its type, width and
// decimals, so that callers can render each value by its type.
namespace vorel::sql {

struct Column {
  std::string name;  // lower case: "kw", "cnt", "sum_kw", "exp_2", or the alias
  dbf::FieldType type = dbf::FieldType::kCharacter;  // C, N, I, B, Y, D, T, L or M
  int width = 0;
  int decimals = 0;
};

}  // namespace vorel::sql
