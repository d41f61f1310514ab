#include <gtest/gtest.h>

#include "exchange/command_table.h"
#include "exchange/compress_text.h"
#include "exchange/split_fields.h"

namespace vorel {
namespace {

TEST(SplitFields, KeepsEmptyPiecesAndEverythingUntrimmed) {
  EXPECT_EQ(SplitFields("a&b", '&')[1], "b");
  auto f = SplitFields("a&&b", '&');
  EXPECT_EQ(f[0], "a");
  EXPECT_EQ(f[1], "");
  EXPECT_EQ(f[2], "b");
  EXPECT_EQ(f[3], "");
  f = SplitFields("&b", '&');
  EXPECT_EQ(f[0], "");
  EXPECT_EQ(f[1], "b");
  f = SplitFields("1\r\n", '&');
  EXPECT_EQ(f[0], "1\r\n");
  EXPECT_EQ(f[1], "");
  f = SplitFields("s&load_user\r\n", '&');
  EXPECT_EQ(f[1], "load_user\r\n");
  for (const auto& field : SplitFields("", '&')) EXPECT_EQ(field, "");
}

TEST(SplitFields, TenthFieldKeepsTheRest) {
  const auto f = SplitFields("0&1&2&3&4&5&6&7&8&9&10&11", '&');
  EXPECT_EQ(f[8], "8");
  EXPECT_EQ(f[9], "9&10&11");
  EXPECT_EQ(SplitFields("0&1&2&3&4&5&6&7&8&", '&')[9], "");
}

TEST(CompressText, OneZlibStreamAtBestCompression) {
  std::string text;
  for (int i = 0; i < 2000; ++i)
    text += "<row dat=\"08.12.2026\" tim=\"09:30\" kw=\"" + std::to_string(i % 7) + "\"/>\n";
  text += std::string("\0\xff\xe0", 3);
  const std::string packed = CompressText(text);
  ASSERT_GE(packed.size(), 6u);
  EXPECT_EQ(static_cast<unsigned char>(packed[0]), 0x78);
  EXPECT_EQ(static_cast<unsigned char>(packed[1]), 0xDA);  // level 9
  EXPECT_LT(packed.size(), text.size() / 10);
  EXPECT_EQ(DecompressText(packed), text);
  EXPECT_EQ(DecompressText(CompressText("")), "");
  EXPECT_THROW(DecompressText(packed.substr(0, packed.size() / 2)), CompressError);
  EXPECT_THROW(DecompressText("not a stream"), CompressError);
}

TEST(CommandTable, BindsOnlyCommandWordsAndFindsThemExactly) {
  CommandTable table;
  EXPECT_THROW(table.Bind("USER", [](const ReplyFields&) { return std::string(); }), UnknownCommandWordError);
  EXPECT_EQ(table.Find("user"), nullptr);  // not bound yet
  table.Bind("user", [](const ReplyFields& f) { return "found " + f[2]; });
  ASSERT_NE(table.Find("user"), nullptr);
  ReplyFields f;
  f[2] = "ivanov";
  EXPECT_EQ((*table.Find("user"))(f), "found ivanov");
  EXPECT_EQ(table.Find("User"), nullptr);
  EXPECT_EQ(table.Find("user "), nullptr);
  EXPECT_EQ(table.Find(""), nullptr);
}

}  // namespace
}  // namespace vorel
