#include "booking/patient_admin_query.h"

#include <gtest/gtest.h>

#include "clinic_fixture.h"
#include "support/clinic_tables.h"

namespace vorel {
namespace {

using AdminQueryTest = testing_support::ClinicFixture;

TEST_F(AdminQueryTest, StatementsPickADelimiterTheValueLacks) {
  testing_support::WriteM1005(
      folder_, {testing_support::PatientRow{"77", 12, "IVANOV", "", "", "3", 1, 2, std::nullopt}});
  PatientCache cache_;
  const std::string list = cache_.columnList;
  EXPECT_EQ(PatientAdminStatement(list, "fiol", "ivanov"),
            "select " + list + " from m1005 WHERE fiol='ivanov'");
  EXPECT_EQ(PatientAdminStatement(list, "fiol", "d'arc"),
            "select " + list + " from m1005 WHERE fiol=\"d'arc\"");
  EXPECT_EQ(PatientAdminStatement(list, "npol", "a'b\"c"),
            "select " + list + " from m1005 WHERE npol=[a'b\"c]");
  EXPECT_EQ(PatientAdminStatement(list, "npol", "a'b\"c]"), std::nullopt);

  ReplyFields f;
  f[2] = "77";
  const std::string polis = RunAdminPolicyCommand(db_, cache_, f);
  EXPECT_EQ(polis.rfind("<table name=polisadm>\r\n<field>npol;kl;fiol;", 0), 0u) << polis;
  EXPECT_NE(polis.find("\r\n77\t12\tIVANOV\t"), std::string::npos) << polis;
  f[2] = "x'\"]";
  const size_t before = log_.lines.size();
  EXPECT_EQ(RunAdminUserCommand(db_, cache_, f)
                .rfind("<table name=useradm>\r\n<field></field>\r\n<data>\r\n<error>", 0),
            0u);
  EXPECT_EQ(log_.lines.size(), before);  // nothing ran
}

}  // namespace
}  // namespace vorel
