#pragma once

#include <string>
#include <string_view>

#include "database/database_context.h"

// The read-only exports of the clinic's reference tables and appointment grid, each one or more Table XML
// texts rendered by RenderTableXml.
namespace vorel {

// ci003, c2402, c2404, c2403, c2406, c2409, ci007: seven Table XML texts one after the other.
std::string SpecExport(DatabaseContext& ctx);
// Free slots of today through today + 15 days, table "nomer".
std::string FreeSlotExport(DatabaseContext& ctx);
// ci004, table "ci004".
std::string GroupListExport(DatabaseContext& ctx);
// m2401 rows of today - daysBack through today + daysForward, table "nomer". An empty text counts as "0";
// a text that is not an optionally signed whole number runs nothing and answers a "nomer" table whose error
// element names the field.
std::string DateWindowView(DatabaseContext& ctx, std::string_view daysBack, std::string_view daysForward);
// All m2401 rows of one patient id, table "nomer"; a non-empty id that is not a whole number is refused as
// in DateWindowView.
std::string PatientView(DatabaseContext& ctx, std::string_view patientId);

}  // namespace vorel
