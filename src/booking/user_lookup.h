#pragma once

#include <string>

#include "booking/patient_cache.h"
#include "booking/reply_fields.h"
#include "platform/clock.h"
#include "platform/logger.h"

namespace vorel {

// The user table of the login lookup: every cached patient whose surname is field 2 and whose policy number
// is field 3 (exact texts), one TAB-separated line each, in CR LF lines:
//   <table name=user> / <field>kl;fiol;im;ot;npol;uch;lpu1;probc;data_r</field> / <data> / rows / </data> /
//   </table>
std::string BuildUserTable(const std::vector<const pac_rec*>& patients);

// Command user: the user table, with one line on channel "login" (not found / login ok with the elapsed
// milliseconds / many found); "error user" when the answer cannot be built.
std::string RunUserCommand(const PatientCache& cache, const ReplyFields& fields, Logger& logger,
                           const Clock& clock);

}  // namespace vorel
