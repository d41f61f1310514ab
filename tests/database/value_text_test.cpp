// The default text form of column values.
#include <gtest/gtest.h>

#include "database/value_text.h"
#include "sql/number_text.h"
#include "sql/sql_test_tables.h"

namespace vorel {
namespace {

using FT = dbf::FieldType;
using namespace sqltest;

std::string Text(const sql::Value& v, FT type = FT::kNumeric, int decimals = 0) {
  RegionalSettings regional;
  return ValueText(v, sql::Column{"c", type, 10, decimals}, regional);
}

TEST(ValueText, NumbersArePlainDecimalsWithoutTrailingZeros) {
  EXPECT_EQ(Text(N(12.5), FT::kNumeric, 2), "12,5");
  EXPECT_EQ(Text(N(12), FT::kNumeric, 2), "12");
  EXPECT_EQ(Text(N(1203), FT::kNumeric, 0), "1203");
  EXPECT_EQ(Text(N(-0.5), FT::kNumeric, 1), "-0,5");
  EXPECT_EQ(Text(N(-0.001), FT::kNumeric, 2), "0");
  EXPECT_EQ(Text(N(0.1 + 0.2), FT::kNumeric, 2), "0,3");
  EXPECT_EQ(Text(N(1e15), FT::kNumeric, 0), "1000000000000000");
  EXPECT_EQ(Text(N(3.25), FT::kCurrency), "3,25");
  EXPECT_EQ(Text(N(0.1), FT::kDouble), "0,1");
  EXPECT_EQ(Text(N(1e20), FT::kDouble), "100000000000000000000");
  EXPECT_EQ(Text(N(-7), FT::kInteger), "-7");
}

// Whole numbers are written by hand: under every numeric type they read as the general fixed-point text.
TEST(ValueText, WholeNumbersMatchTheGeneralFormUnderEveryType) {
  for (double v : {0.0, -0.0, 1.0, -1.0, 9.0, 10.0, -10.0, 2147483648.0, -2147483649.0, 123456789012345.0,
                   999999999999999.0, -999999999999999.0}) {
    for (auto [type, decimals] : {std::pair{FT::kNumeric, 0},
                                  {FT::kNumeric, 3},
                                  {FT::kFloat, 18},
                                  {FT::kDouble, 0},
                                  {FT::kInteger, 0},
                                  {FT::kCurrency, 4}})
      EXPECT_EQ(Text(N(v), type, decimals), sql::FormatFixed(v, 0)) << v << ' ' << static_cast<char>(type);
  }
}

TEST(ValueText, DatesTimesLogicalsAndNulls) {
  EXPECT_EQ(Text(D(2026, 12, 7), FT::kDate), "07.12.2026");
  EXPECT_EQ(Text(DT(2026, 12, 7, 0, 0, 0), FT::kDateTime), "07.12.2026");
  EXPECT_EQ(Text(DT(2026, 12, 7, 9, 5, 3), FT::kDateTime), "07.12.2026 9:05:03");
  EXPECT_EQ(Text(EmptyDate(), FT::kDate), "");
  EXPECT_EQ(Text(sql::Value::DateTime(0), FT::kDateTime), "");
  EXPECT_EQ(Text(L(true), FT::kLogical), "True");
  EXPECT_EQ(Text(L(false), FT::kLogical), "False");
  EXPECT_EQ(Text(Null(), FT::kCharacter), "");
  EXPECT_EQ(Text(T("ab   "), FT::kCharacter), "ab   ");
}

}  // namespace
}  // namespace vorel
