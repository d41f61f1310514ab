#pragma once

#include <string>
#include <string_view>

#include "dbf/field.h"

namespace vorel::dbf {

// A field's value as a short text that does not depend on regional settings, for showing what a write
// changed: texts in Windows-1251 without trailing blanks, numbers as stored without blanks, dates
// YYYYMMDD, date-times "YYYYMMDD HH:MM:SS", logicals T or F, memos by block number ("memo 12"); an empty
// date, date-time or logical, and a blank number, give an empty text; NULL gives ".NULL.".
std::string FieldText(const Field& field, std::string_view record);

}  // namespace vorel::dbf
