#pragma once

#include <cstdint>
#include <string>

#include "platform/clock.h"

namespace vorel {

// The part of the service-wide state that the exchange with the portal lives on. Main thread only.
struct ExchangeState {
  std::string pendingAnswer = "pong";  // "pong": nothing to send
  std::string sessionToken;
  int32_t busySlotsFlag = 1;     // above 0: the busy-slot export is due
  int32_t lastSpecAge = 0;       // newest file age of the reference tables at the last "spec" send
  int32_t lastScheduleAge = 0;   // file age of m2401.dbf at the last "nomer" send
  Clock::TimePoint timeOfLastRequest{};
  std::string serverAddressOverride;  // "server_url" when non-empty at start
};

}  // namespace vorel
