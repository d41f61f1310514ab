#include "booking/user_lookup.h"

#include <gtest/gtest.h>

#include "platform/code_page.h"
#include "test_doubles.h"

namespace vorel {
namespace {

using testing_support::ManualClock;
using testing_support::RecordingLogger;

constexpr AnsiText kPetrov("петров");
constexpr AnsiText kA("А");
constexpr AnsiText kS("С");

void AddPatient(PatientCache& cache, int32_t n, int32_t kl, std::string_view fiol, std::string_view npol,
                char im, char ot, uint16_t lpu1, uint8_t probc, std::string_view dataR) {
  pac_rec& r = cache.PrepareSlot(n);
  r.kl = kl;
  r.fiol = cache.Keep(fiol);
  r.npol = cache.Keep(npol);
  r.uch = cache.Keep("7");
  if (im) r.im = im, r.hasIm = true;
  if (ot) r.ot = ot, r.hasOt = true;
  r.lpu1 = lpu1;
  r.probc = probc;
  r.data_r = cache.Keep(dataR);
  cache.CommitSlot(n);
}

class UserLookupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cache_.BeginLoad();
    AddPatient(cache_, 1, 555, kPetrov.view(), "123", kA.view()[0], kS.view()[0], 4464, 44, "01.02.1980");
    AddPatient(cache_, 2, 12, "ivanov", "77", 0, 0, 0, 0, "");
    AddPatient(cache_, 3, 13, "ivanov", "77", 'P', 0, 1, 2, "03.04.1990");
    cache_.FinishLoad(3);
  }
  std::string Run(std::string fam, std::string polis) {
    ReplyFields f;
    f[1] = "user";
    f[2] = std::move(fam);
    f[3] = std::move(polis);
    return RunUserCommand(cache_, f, log_, clock_);
  }
  PatientCache cache_;
  RecordingLogger log_;
  ManualClock clock_;
};

const std::string kHead =
    "<table name=user>\r\n<field>kl;fiol;im;ot;npol;uch;lpu1;probc;data_r</field>\r\n<data>\r\n";
const std::string kTail = "</data>\r\n</table>\r\n";

TEST_F(UserLookupTest, OneMatchGivesItsLineAndTheLoginOkLine) {
  EXPECT_EQ(Run(kPetrov.str(), "123"), kHead + "555\t" + kPetrov.str() + "\t" + kA.str() + "\t" + kS.str() +
                                           "\t123\t7\t4464\t44\t01.02.1980\r\n" + kTail);
  ASSERT_EQ(log_.lines.size(), 1u);
  EXPECT_EQ(log_.lines[0].first, "login");
  EXPECT_EQ(log_.lines[0].second, " [0] User " + kPetrov.str() + ", 123 login ok");
}

TEST_F(UserLookupTest, NoMatchGivesTheEmptyTableAndTheNotFoundLine) {
  std::string fam = kPetrov.str();
  fam[0] = ToUpperAnsi(fam[0]);
  EXPECT_EQ(Run(fam, "123"), kHead + kTail);
  EXPECT_EQ(log_.Channel("login"), std::vector<std::string>{"User " + fam + ", 123 not found"});
  EXPECT_EQ(Run("", ""), kHead + kTail);
  EXPECT_EQ(log_.lines.back().second, "User ,  not found");
}

TEST_F(UserLookupTest, SeveralMatchesAreAllListedInSlotOrder) {
  EXPECT_EQ(Run("ivanov", "77"), kHead + "12\tivanov\t\t\t77\t7\t0\t0\t\r\n" +
                                     "13\tivanov\tP\t\t77\t7\t1\t2\t03.04.1990\r\n" + kTail);
  EXPECT_EQ(log_.Channel("login"), std::vector<std::string>{"Many  user found (ivanov, 77) + Count:2"});
}

}  // namespace
}  // namespace vorel
