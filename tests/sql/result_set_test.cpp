// The result set keeps every value it was given, across many blocks of text and of cells (the first block
// of cells moved into a large one, rows that straddle two blocks), long texts in blocks of their own, rows
// given fewer values than columns, moves and reordering.
#include <gtest/gtest.h>

#include <memory>
#include <numeric>
#include <span>
#include <string>
#include <vector>

#include "sql/result_set.h"

namespace vorel::sql {
namespace {

std::string TextOf(size_t row) {
  if (row % 1000 == 7) return std::string(300'000 + row, static_cast<char>('a' + row % 26));  // memo-sized
  if (row % 10 == 3) return {};
  return "row " + std::to_string(row) + std::string(row % 50, '.');
}

TEST(ResultSetTexts, EveryTextReadsBackAfterMovesAndReordering) {
  std::vector<Column> columns(3);  // blocks of cells do not end at a row's end
  auto built = std::make_unique<ResultSet>(columns);
  const size_t rows = 70'000;  // some megabytes of text and three blocks of cells
  for (size_t r = 0; r < rows; ++r) {
    const std::string text = TextOf(r);
    const Value values[] = {Value::Text(text), Value::Number(static_cast<double>(r)),
                            Value::Date(static_cast<int64_t>(r))};
    built->AppendRow(std::span(values, r % 5 == 0 ? 2 : 3));
  }
  ResultSet result = std::move(*built);
  built.reset();  // the moved-from set gives back nothing the new one holds
  ResultSet other;
  other = std::move(result);
  // What was moved from starts again in memory of its own (the appended row is then left out again).
  const Value mine[] = {Value::Text("mine"), Value::Number(-1)};
  result.AppendRow(mine);
  const Value last[] = {Value::Text("last"), Value::Number(-2)};
  other.AppendRow(last);
  EXPECT_EQ(result.Get(0, 0).text, "mine");
  EXPECT_EQ(other.Get(rows, 0).text, "last");
  std::vector<size_t> first(rows);
  std::iota(first.begin(), first.end(), 0);
  other.Reorder(first);
  ASSERT_EQ(other.rowCount(), rows);
  for (size_t r = 0; r < rows; ++r) {
    ASSERT_EQ(other.Get(r, 0).text, TextOf(r)) << r;
    ASSERT_EQ(other.Get(r, 1).number, static_cast<double>(r));
    ASSERT_EQ(other.Get(r, 2).kind, r % 5 == 0 ? ValueKind::kNull : ValueKind::kDate) << r;
    if (r % 5 != 0) {
      ASSERT_EQ(other.Get(r, 2).moment, static_cast<int64_t>(r));
    }
  }
  std::vector<size_t> reversed;
  for (size_t r = rows; r-- > 0;) reversed.push_back(r);
  other.Reorder(reversed);
  for (size_t r = 0; r < rows; r += 997) EXPECT_EQ(other.Get(r, 0).text, TextOf(rows - 1 - r));
}

}  // namespace
}  // namespace vorel::sql
