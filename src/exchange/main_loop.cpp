#include "exchange/main_loop.h"

#include <algorithm>
#include <charconv>
#include <thread>

#include "exchange/poll_cycle.h"
#include "platform/code_page.h"

namespace vorel {
namespace {

constexpr AnsiText kNotFound("Не обнаружено");
constexpr AnsiText kLoopFailed("Ошибка выполнения основного цикла");

int ParsePort(const std::string& text) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
    throw Error("'" + text + "' is not a valid integer value");
  }
  return value;
}

void ResetPerRunState(ExchangeContext& ctx) {
  if (ctx.patientCache.resetTimeOfLastLoad) ctx.patientCache.resetTimeOfLastLoad();
  ctx.state.lastSpecAge = 0;
  ctx.state.lastScheduleAge = 0;
  ctx.state.busySlotsFlag = 1;
}

// The kind and message of a caught failure, as the hooks report it.
std::string Reason(const std::exception& e) {
  return std::string(KindOf(e)) + ": " + e.what();
}

bool DatabaseReachable(ExchangeContext& ctx) {
  try {
    ctx.clinic.testConnection(ConnectionString(ctx.settings.Get("path")));
  } catch (const std::exception& e) {
    ctx.store.Write("critical_error", kCheckPathText.str());
    Notify(ctx.hooks.databaseTested, Reason(e));
    return false;
  }
  Notify(ctx.hooks.databaseTested, std::string());
  return true;
}

std::chrono::milliseconds Doubled(std::chrono::milliseconds wait, std::chrono::milliseconds max) {
  return std::min(wait * 2, max);
}

// Runs passes until a stop or a failed pass; returns false after a failed pass. `anyCompleted` tells
// whether at least one pass ran through.
bool RunPasses(ExchangeContext& ctx, bool& anyCompleted) {
  std::chrono::milliseconds postWait{0};
  while (!ctx.StopRequested()) {
    PollCycleResult cycle;
    Notify(ctx.hooks.alive);
    try {
      ctx.logger.Log("global", "Go.");
      ctx.store.Write("query_time", DateTimeText(ctx.clock, ctx.regional));
      cycle = RunPollCycle(ctx);
      ctx.store.Write("query_out", ctx.state.pendingAnswer);
      ctx.logger.Log("global", "End.");
    } catch (const std::exception& e) {
      try {
        Notify(ctx.hooks.failed, Reason(e));
        ctx.logger.Log("system", "CRITICAL ERROR!");
        ctx.logger.SetError(4, kLoopFailed.view());
      } catch (const std::exception&) {
        // The state store itself failed; the wait before the next set-up is all that is left to do.
      }
      return false;
    }
    anyCompleted = true;
    Notify(ctx.hooks.passEnded, cycle.posted);
    // With the portal out of reach, wait before trying again instead of spinning.
    if (cycle.posted) {
      postWait = std::chrono::milliseconds{0};
    } else {
      postWait =
          postWait.count() == 0 ? ctx.timing.postRetryFirst : Doubled(postWait, ctx.timing.postRetryMax);
      WaitUnlessStopped(ctx, postWait);
    }
  }
  return true;
}

}  // namespace

std::string ConnectionString(const std::string& path) {
  return "Provider=VFPOLEDB;Data Source=" + path + ";Mode=ReadWrite;Password=\"\";Collating Sequence=RUSSIAN";
}

void ApplyProxySettings(ExchangeContext& ctx) {
  try {
    if (ctx.store.Read("proxy").empty()) {
      ctx.client.proxy().basicAuth = false;
      return;
    }
    for (const char* name : {"proxy", "proxylogin", "proxypass", "proxyport"}) {
      ctx.settings.Set(name, ctx.store.Read(name));
    }
    ProxySettings& proxy = ctx.client.proxy();
    proxy.host = ctx.settings.Get("proxy");
    proxy.password = ctx.settings.Get("proxypass");
    proxy.user = ctx.settings.Get("proxylogin");
    proxy.port = ParsePort(ctx.settings.Get("proxyport"));
    proxy.basicAuth = true;
  } catch (const std::exception&) {
    // Left as far as it got, without a trace.
  }
}

bool WaitUnlessStopped(const ExchangeContext& ctx, std::chrono::milliseconds duration) {
  const auto until = std::chrono::steady_clock::now() + duration;
  auto nextAlive = std::chrono::steady_clock::time_point{};
  while (!ctx.StopRequested()) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= until) return true;
    if (now >= nextAlive) {
      Notify(ctx.hooks.alive);
      nextAlive = now + std::chrono::seconds(1);
    }
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(until - now, ctx.timing.stopCheck));
  }
  return false;
}

void RunMainLoop(ExchangeContext& ctx) {
  std::chrono::milliseconds recoveryWait = ctx.timing.recoveryFirst;
  bool databaseFailed = false;
  while (!ctx.StopRequested()) {
    bool failed = false;
    bool anyCompleted = false;
    try {
      ResetPerRunState(ctx);
      ApplyProxySettings(ctx);
      if (DatabaseReachable(ctx)) {
        if (databaseFailed) {
          ctx.store.Write("critical_error", kNotFound.str());
          databaseFailed = false;
        }
        failed = !RunPasses(ctx, anyCompleted);
      } else {
        databaseFailed = true;
        failed = true;
      }
    } catch (const std::exception&) {
      failed = true;  // the state store refused a write during the set-up
    }
    if (!failed) break;                                         // a stop request ended the passes
    if (anyCompleted) recoveryWait = ctx.timing.recoveryFirst;  // the trouble is new, not a lasting one
    WaitUnlessStopped(ctx, recoveryWait);
    recoveryWait = Doubled(recoveryWait, ctx.timing.recoveryMax);
  }
}

}  // namespace vorel
