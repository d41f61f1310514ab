#pragma once

#include <string_view>

#include "exchange/exchange_context.h"

namespace vorel {

// Splits the reply at "&", keeps field 0 as the next session token and runs the handler bound to field 1;
// its answer becomes the pending answer. A failing handler leaves the answer "Error", error record 11 and
// the log line "EXEPTION" on "system".
void DispatchReply(ExchangeContext& ctx, std::string_view reply);

// Binds the commands that the dispatcher owns: nomer, get_spec, get_grup, post_spec, post_nomer, adm_sql,
// adm_log, adm_nomer, adm_nomer_user. (load_user is the booking layer's RunLoadUserCommand.)
void BindExchangeCommands(ExchangeContext& ctx);

}  // namespace vorel
