#pragma once

#include <string>

// Decimal text of numbers as VFP writes them: fixed decimals, rounded half away from zero on the number's
// decimal digits (so 1.005 rounds to 1.01 although its binary value lies just below).
namespace vorel::sql {

// Fixed-point text with `decimals` digits after '.', "-" for negatives (never "-0"). Not finite: "*".
std::string FormatFixed(double value, int decimals);
// The value rounded to `decimals` places (negative: to tens, hundreds ...), half away from zero.
double RoundHalfAway(double value, int decimals);
// STR(n, length, decimals): right-aligned in `length` characters; decimals are dropped one by one while the
// text is too long; `length` asterisks when the integer part does not fit.
std::string StrText(double value, int length, int decimals);
// The shortest plain decimal text that reads back as the same double ("0.1", "123", "-2.5").
std::string ShortestText(double value);

}  // namespace vorel::sql
