#include "platform/code_page.h"

#include <gtest/gtest.h>

#include "platform/calendar.h"
#include "platform/regional.h"
#include "support/fake_clock.h"

namespace vorel {
namespace {

TEST(CodePage, CyrillicConstantsBecomeWindows1251AtCompileTime) {
  constexpr AnsiText kText("Не обнаружено Ёё №");
  EXPECT_EQ(kText.view(), "\xCD\xE5 \xEE\xE1\xED\xE0\xF0\xF3\xE6\xE5\xED\xEE \xA8\xB8 \xB9");
}

TEST(CodePage, CaseMappingCoversCyrillicAndYo) {
  EXPECT_EQ(ToUpperAnsi(AnsiText("петров ёлкин abc").view()), AnsiText("ПЕТРОВ ЁЛКИН ABC").view());
  EXPECT_EQ(ToLowerAnsi(AnsiText("ПЕТРОВ ЁЛКИН ABC").view()), AnsiText("петров ёлкин abc").view());
  EXPECT_EQ(ToUpperAnsi("\xB3\xBF"), "\xB2\xAF");  // і ї -> І Ї
  EXPECT_EQ(ToUpperAnsi("1-;\xB9"), "1-;\xB9");    // digits, punctuation and № stay
}

TEST(CodePage, AnsiToOemKeepsLengthAndMapsCyrillic) {
  EXPECT_EQ(AnsiToOem(AnsiText("C:\\Клиника Ёё\\").view()), "C:\\\x8A\xAB\xA8\xAD\xA8\xAA\xA0 \xF0\xF1\\");
  EXPECT_EQ(AnsiToOem("\x88"), "?");  // the euro sign has no place in 866
  EXPECT_EQ(AnsiToOem(""), "");
  EXPECT_EQ(OemToAnsi(AnsiToOem(AnsiText("Запись").view())), AnsiText("Запись").view());
}

TEST(CodePage, Utf8RoundTripAndBadSequences) {
  EXPECT_EQ(AnsiToUtf8(AnsiText("Запись №1").view()), "Запись №1");
  EXPECT_EQ(Utf8ToAnsi("Запись №1"), AnsiText("Запись №1").view());
  EXPECT_EQ(Utf8ToAnsi("a\xD0"), "a?");            // cut short
  EXPECT_EQ(Utf8ToAnsi("\x80z"), "?z");            // stray continuation byte
  EXPECT_EQ(Utf8ToAnsi("\xE2\x82\xAC"), "\x88");   // €
  EXPECT_EQ(Utf8ToAnsi("\xF0\x9F\x98\x80"), "?");  // outside 1251
}

TEST(Calendar, RoundTripsAndJulianDays) {
  EXPECT_EQ(JulianDayFromCivil(1970, 1, 1), 2440588);
  EXPECT_EQ(JulianDayFromCivil(1899, 12, 30), 2415019);
  EXPECT_EQ(CivilFromJulianDay(2449678), (CivilDate{1994, 11, 21}));
  for (int64_t d = -800000; d < 800000; d += 997)
    EXPECT_EQ(DaysFromCivil(CivilFromDays(d).year, CivilFromDays(d).month, CivilFromDays(d).day), d);
  EXPECT_TRUE(IsValidDate(2024, 2, 29));
  EXPECT_FALSE(IsValidDate(2026, 2, 29));
}

TEST(Regional, RussianProfileFormats) {
  RegionalSettings r;
  EXPECT_EQ(r.FormatDate(2026, 12, 7), "07.12.2026");
  EXPECT_EQ(r.FormatTime(7, 5, 9), "7:05:09");
  EXPECT_EQ(r.FormatTime(22, 38, 35), "22:38:35");
  EXPECT_EQ(r.FormatDate(5, 1, 2), "02.01.0005");
  EXPECT_EQ(r.FormatDate(9999, 10, 31), "31.10.9999");
  EXPECT_EQ(r.FormatTime(0, 0, 0), "0:00:00");
  r.shortDate = "d/M/yy";
  EXPECT_EQ(r.FormatDate(2005, 3, 4), "4/3/05");
  EXPECT_EQ(r.FormatDate(2010, 11, 12), "12/11/10");
}

// Stands just before midnight and moves on 1 ms at every reading.
class TickingClock final : public Clock {
 public:
  TimePoint Now() const override { return now_ += std::chrono::milliseconds(1); }
  LocalDateTime ToLocal(TimePoint t) const override { return testing::FakeClock().ToLocal(t); }

 private:
  mutable TimePoint now_ = testing::FakeClock::At(2026, 12, 31, 23, 59, 59, 998);
};

TEST(Regional, DateTimeTextTakesDateAndTimeFromOneReading) {
  TickingClock clock;
  EXPECT_EQ(DateTimeText(clock, RegionalSettings{}), "31.12.2026 23:59:59");
}

}  // namespace
}  // namespace vorel
