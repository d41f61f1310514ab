#include "database/exports.h"

#include "database/reply_integer.h"
#include "database/table_xml.h"

namespace vorel {
namespace {

constexpr std::string_view kSlotTable = "nomer";

// The "nomer" table of a request that was refused before any statement ran.
std::string RefusedTable(std::string_view message) {
  std::string out;
  out += "<table name=";
  out += kSlotTable;
  out += ">\r\n<field></field>\r\n<data>\r\n<error>";
  out += message;
  out += "</error>\r\n</table>\r\n";
  return out;
}

}  // namespace

std::string SpecExport(DatabaseContext& ctx) {
  struct Piece {
    std::string_view table;
    std::string_view statement;
  };
  static constexpr Piece kPieces[] = {
      {"ci003", "SELECT * FROM ci003 order by NB"},
      {"c2402", "SELECT * FROM c2402 order by period"},
      {"c2404", "SELECT * FROM c2404 order by period"},
      {"c2403", "SELECT * FROM c2403"},
      {"c2406", "SELECT * FROM c2406 WHERE DATE()<=dat AND DATE()>dat-30 Order by kw,dat"},
      {"c2409", "SELECT * FROM c2409"},
      {"ci007", "SELECT * FROM ci007"},
  };
  std::string result;
  for (const Piece& p : kPieces) result += RenderTableXml(ctx, p.table, p.statement);
  return result;
}

std::string FreeSlotExport(DatabaseContext& ctx) {
  return RenderTableXml(
      ctx, kSlotTable,
      "select dat,tim,kw FROM m2401 where trim(tim)<>'' and (dat>=DATE()) and (dat<=DATE()+15) and "
      "(kl<1) and (allt(fiol)='') and (ist_zap like '%2%')");
}

std::string GroupListExport(DatabaseContext& ctx) {
  return RenderTableXml(ctx, "ci004", "SELECT * FROM ci004");
}

std::string DateWindowView(DatabaseContext& ctx, std::string_view daysBack, std::string_view daysForward) {
  // Only whole numbers are let in, written anew, so that a field can never change what the statement does.
  const auto back = daysBack.empty() ? std::optional<int32_t>(0) : ParseReplyInteger(daysBack);
  const auto forward = daysForward.empty() ? std::optional<int32_t>(0) : ParseReplyInteger(daysForward);
  if (!back) return RefusedTable("Field 2 (days back) is not a whole number");
  if (!forward) return RefusedTable("Field 3 (days forward) is not a whole number");
  return RenderTableXml(
      ctx, kSlotTable,
      "select kw,dat,tim,kl,filtr,phone,ist_zap,fiol,fam_reg,dt_zap,data_naz,polis FROM m2401 where "
      "(dat>=DATE()-" +
          std::to_string(*back) + ") and (dat<=DATE()+" + std::to_string(*forward) + ") ORDER by kw,dat,tim");
}

std::string PatientView(DatabaseContext& ctx, std::string_view patientId) {
  std::string id;  // an empty field stays empty, and the statement fails as it always did
  if (!patientId.empty()) {
    const auto parsed = ParseReplyInteger(patientId);
    if (!parsed) return RefusedTable("Field 2 (patient id) is not a whole number");
    id = std::to_string(*parsed);
  }
  return RenderTableXml(ctx, kSlotTable, "select * FROM m2401 where kl=" + id);
}

}  // namespace vorel
