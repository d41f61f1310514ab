#include "database/exports.h"

#include "database/table_xml.h"

namespace vorel {
namespace {

constexpr std::string_view kSlotTable = "nomer";

// An optionally signed whole number: what may stand after "DATE()-", "DATE()+" or "kl=" in a statement.
bool IsWholeNumber(std::string_view text) {
  size_t i = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
  if (i == text.size()) return false;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

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
  // The texts go into the statement as they are; only whole numbers are let in, so that a field can never
  // change what the statement does.
  std::string back = daysBack.empty() ? "0" : std::string(daysBack);
  std::string forward = daysForward.empty() ? "0" : std::string(daysForward);
  if (!IsWholeNumber(back)) return RefusedTable("Field 2 (days back) is not a whole number");
  if (!IsWholeNumber(forward)) return RefusedTable("Field 3 (days forward) is not a whole number");
  return RenderTableXml(
      ctx, kSlotTable,
      "select kw,dat,tim,kl,filtr,phone,ist_zap,fiol,fam_reg,dt_zap,data_naz,polis FROM m2401 where "
      "(dat>=DATE()-" +
          back + ") and (dat<=DATE()+" + forward + ") ORDER by kw,dat,tim");
}

std::string PatientView(DatabaseContext& ctx, std::string_view patientId) {
  if (!patientId.empty() && !IsWholeNumber(patientId))
    return RefusedTable("Field 2 (patient id) is not a whole number");
  return RenderTableXml(ctx, kSlotTable, "select * FROM m2401 where kl=" + std::string(patientId));
}

}  // namespace vorel
