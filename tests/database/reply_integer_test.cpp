#include "database/reply_integer.h"

#include <gtest/gtest.h>

#include <utility>

namespace vorel {
namespace {

TEST(ReplyInteger, AnOptionalMinusAndDigitsWithin32Bits) {
  const std::pair<const char*, std::optional<int32_t>> cases[] = {{"0", 0},
                                                                  {"012", 12},
                                                                  {"00000000555", 555},
                                                                  {"-7", -7},
                                                                  {"2147483647", INT32_MAX},
                                                                  {"-2147483648", INT32_MIN},
                                                                  {"2147483648", std::nullopt},
                                                                  {"-2147483649", std::nullopt},
                                                                  {"99999999999999999999", std::nullopt},
                                                                  {"", std::nullopt},
                                                                  {"-", std::nullopt},
                                                                  {"+5", std::nullopt},
                                                                  {" 5", std::nullopt},
                                                                  {"5 ", std::nullopt},
                                                                  {"--5", std::nullopt},
                                                                  {"1e3", std::nullopt}};
  for (const auto& [field, number] : cases) EXPECT_EQ(ParseReplyInteger(field), number) << field;
}

}  // namespace
}  // namespace vorel
