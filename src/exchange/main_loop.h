#pragma once

#include <chrono>
#include <string>

#include "exchange/exchange_context.h"
#include "platform/code_page.h"

namespace vorel {

// The value of "critical_error" once the database test has failed.
inline constexpr AnsiText kCheckPathText("Проверьте путь к регистратуре и драйвер FoxPro");

// The connection string of the reception desk tables in the folder "path" (inserted unchanged).
std::string ConnectionString(const std::string& path);

// Copies the proxy values of the state store into the settings list and the client. Any failure ends the
// step silently where it happened (a bad "proxyport" leaves the port and basic authentication as they were).
void ApplyProxySettings(ExchangeContext& ctx);

// Waits up to `duration`; returns false at once when a stop is requested.
bool WaitUnlessStopped(const ExchangeContext& ctx, std::chrono::milliseconds duration);

// The main loop, entered from the tick of Timer1 (which the caller has switched off): set up, test the
// database, then poll cycles back to back until a stop is requested. After a failed POST it waits (1 s,
// doubling to 60 s); after a failed pass or database test it records the failure, waits (3 s, doubling to
// 5 min) and sets up again. Returns only when a stop is requested.
void RunMainLoop(ExchangeContext& ctx);

}  // namespace vorel
