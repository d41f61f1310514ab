#pragma once

#include <string>

#include "platform/regional.h"
#include "sql/column.h"
#include "sql/value.h"

// The database layer's default text form of a column value: null -> empty text; character and memo values as
// stored (blank-filled to the width); numbers in plain decimal notation with the regional decimal separator
// and no trailing zeros; dates in the regional short date form; date-times as short date, one blank and long
// time (the time left out at midnight); logical values "True" / "False"; an empty date or date-time -> empty.
namespace vorel {

void AppendValueText(std::string& out, const sql::Value& value, const sql::Column& column,
                     const RegionalSettings& regional);
std::string ValueText(const sql::Value& value, const sql::Column& column, const RegionalSettings& regional);

}  // namespace vorel
