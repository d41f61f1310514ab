#include "exchange/dispatch_reply.h"

#include "exchange/split_fields.h"
#include "platform/code_page.h"

namespace vorel {
namespace {
constexpr AnsiText kCommandFailed("Ошибка обработки команды ");
}  // namespace

void DispatchReply(ExchangeContext& ctx, std::string_view reply) {
  std::string word;
  try {
    const ReplyFields fields = SplitFields(reply, '&');
    ctx.state.sessionToken = fields[0];
    word = fields[1];
    if (const CommandHandler* handler = ctx.commands.Find(word)) {
      if (ctx.audit) ctx.audit->Begin(reply, fields);
      std::string answer = (*handler)(fields);
      // The entry is in the audit trail before the answer can go out with the next request.
      if (ctx.audit) ctx.audit->Finish(answer);
      ctx.state.pendingAnswer = std::move(answer);
    }
  } catch (const std::exception& e) {
    const std::string failure = std::string(KindOf(e)) + ": " + e.what();
    Notify(ctx.hooks.failed, failure);
    ctx.logger.SetError(11, kCommandFailed.str() + word);
    if (ctx.audit) ctx.audit->Finish("Error", failure);
    ctx.state.pendingAnswer = "Error";
    ctx.logger.Log("system", "EXEPTION");
  }
}

void BindExchangeCommands(ExchangeContext& ctx) {
  CommandTable& table = ctx.commands;
  ClinicAccess& clinic = ctx.clinic;
  ExchangeState& state = ctx.state;
  table.Bind("nomer", [&clinic](const ReplyFields&) { return clinic.freeSlotExport(); });
  table.Bind("get_spec", [&clinic](const ReplyFields&) { return clinic.specExport(); });
  table.Bind("get_grup", [&clinic](const ReplyFields&) { return clinic.groupListExport(); });
  table.Bind("post_spec", [&state](const ReplyFields&) {
    state.lastSpecAge = 0;
    return std::string("spec reload");
  });
  table.Bind("post_nomer", [&state](const ReplyFields&) {
    state.lastScheduleAge = 0;
    state.busySlotsFlag = 0;
    return std::string("nomer reload");
  });
  table.Bind("adm_sql", [&clinic](const ReplyFields& f) { return clinic.renderTableXml("sql", f[2]); });
  StateStore& store = ctx.store;
  table.Bind("adm_log", [&store](const ReplyFields& f) { return store.Read("log_" + f[2]); });
  table.Bind("adm_nomer", [&clinic](const ReplyFields& f) { return clinic.dateWindowView(f[2], f[3]); });
  table.Bind("adm_nomer_user", [&clinic](const ReplyFields& f) { return clinic.patientView(f[2]); });
}

}  // namespace vorel
