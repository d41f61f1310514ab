#pragma once

#include <string>

#include "exchange/exchange_context.h"
#include "platform/http_client.h"

namespace vorel {

inline constexpr const char* kVersionText = "620";

// The busy-slot export: every slot of today through today + 15 days that holds a patient.
inline constexpr const char* kBusySlotStatement =
    "select dat,tim,kw,kl,polis FROM m2401 where (dat>=DATE()) and (dat<=DATE()+15) and ((kl>0) or "
    "(trim(polis)<>'')) ORDER by kw,dat,tim";

struct PollCycleResult {
  bool posted = false;  // the POST got an answer (an empty one included)
  std::string reply;
};

// Builds the request form of one cycle and updates the exchange state for what it carries. Reloads the
// patient cache when due (a failure there escapes). Takes the session token and the pending answer.
MultipartForm BuildRequestForm(ExchangeContext& ctx);

// One exchange with the portal: build the form, POST it, record the reply and dispatch it. When the POST
// fails, the session token and the answer it carried are kept for the next request.
PollCycleResult RunPollCycle(ExchangeContext& ctx);

}  // namespace vorel
