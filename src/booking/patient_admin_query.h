#pragma once

#include <optional>
#include <string>

#include "booking/patient_cache.h"
#include "booking/reply_fields.h"
#include "database/database_context.h"

namespace vorel {

// The statements of adm_user and adm_polis: "select " + column list + " from m1005 WHERE fiol='" + value +
// "'" (npol for adm_polis), with "..." or [...] in place of the apostrophes when the value holds one.
// Nothing when the value holds all three delimiters.
std::optional<std::string> PatientAdminStatement(const std::string& columnList, std::string_view column,
                                                 std::string_view value);

// Command adm_user: the Table XML "useradm" of the patients of m1005 whose surname is field 2.
std::string RunAdminUserCommand(DatabaseContext& db, const PatientCache& cache, const ReplyFields& fields);
// Command adm_polis: the Table XML "polisadm" of the patients of m1005 whose policy number is field 2.
std::string RunAdminPolicyCommand(DatabaseContext& db, const PatientCache& cache, const ReplyFields& fields);

}  // namespace vorel
