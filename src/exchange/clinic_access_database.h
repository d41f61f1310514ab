#pragma once

#include "database/database_context.h"
#include "exchange/exchange_context.h"

namespace vorel {

// The exchange's view of the clinic database over the service's connection `ADO` and query object `SQL`.
// `db` must outlive the result.
ClinicAccess ClinicAccessFor(DatabaseContext& db);

}  // namespace vorel
