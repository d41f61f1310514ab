#pragma once

#include <array>
#include <string>
#include <string_view>

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
// The default text form of a whole number below 10^15 in magnitude, the same under every numeric column type
// (its digits, "-" before a negative one, "0" for -0), written into `buffer`; empty for any other number.
// Exact in a double, such numbers need none of the general formatting, which dominated large results.
using WholeNumberBuffer = std::array<char, 20>;
std::string_view WholeNumberText(double value, WholeNumberBuffer& buffer);

std::string ValueText(const sql::Value& value, const sql::Column& column, const RegionalSettings& regional);

}  // namespace vorel
