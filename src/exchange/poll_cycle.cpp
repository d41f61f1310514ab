#include "exchange/poll_cycle.h"

#include <array>
#include <chrono>
#include <cstdlib>

#include "exchange/compress_text.h"
#include "exchange/dispatch_reply.h"
#include "exchange/request_address.h"
#include "platform/code_page.h"
#include "platform/file_age.h"
#include "platform/multipart_body.h"

namespace vorel {
namespace {

constexpr AnsiText kReadFailed("Ошибка чтения таблиц");
constexpr std::array<const char*, 7> kReferenceFiles = {"ci003.dbf", "c2402.dbf", "c2403.dbf", "c2404.dbf",
                                                        "c2406.dbf", "c2409.dbf", "ci007.dbf"};

void AddSpec(ExchangeContext& ctx, MultipartForm& form, const std::string& folder) {
  try {
    int32_t newest = FileAgeInFolder(folder, kReferenceFiles[0]);
    for (std::size_t i = 1; i < kReferenceFiles.size(); ++i) {
      const int32_t age = FileAgeInFolder(folder, kReferenceFiles[i]);
      if (age > newest) newest = age;
    }
    if (newest > ctx.state.lastSpecAge) {
      const std::string xml = ctx.clinic.specExport();
      std::string packed = CompressText(xml);
      const std::size_t packedSize = packed.size();
      form.Add("spec", std::move(packed));
      ctx.state.lastSpecAge = newest;
      ctx.store.Write("reload_spec", DateTimeText(ctx.clock, ctx.regional));
      ctx.logger.Log("system",
                     "OK: Spec reload " + std::to_string(xml.size()) + " - " + std::to_string(packedSize));
    }
  } catch (const std::exception&) {
    ctx.store.Write("reload_spec", kReadFailed.str());
    ctx.logger.Log("system", "Error: spec reload");
  }
}

void ReloadPatientCacheWhenDue(ExchangeContext& ctx) {
  const PatientCacheHooks& cache = ctx.patientCache;
  if (!cache.load) return;
  int32_t interval = (cache.patientCount ? cache.patientCount() : 0) / 1000;
  if (interval < 30) interval = 30;
  const auto last = cache.timeOfLastLoad ? cache.timeOfLastLoad() : Clock::TimePoint{};
  const auto now = ctx.clock.Now();
  const auto gap = now > last ? now - last : last - now;
  const auto minutes = std::chrono::duration_cast<std::chrono::minutes>(gap).count();
  if (minutes > interval) cache.load();
}

void AddFreeSlots(ExchangeContext& ctx, MultipartForm& form, const std::string& folder) {
  try {
    const int32_t age = FileAgeInFolder(folder, "m2401.dbf");
    if (age > ctx.state.lastScheduleAge) {
      form.Add("nomer", CompressText(ctx.clinic.freeSlotExport()));
      ctx.state.lastScheduleAge = age;
      ctx.store.Write("reload_rasp", DateTimeText(ctx.clock, ctx.regional));
      ctx.logger.Log("system", "OK: Rasp reload");
    }
  } catch (const std::exception&) {
    ctx.store.Write("reload_rasp", kReadFailed.str());
    ctx.logger.Log("system", "Error: rasp reload");
  }
}

void AddBusySlots(ExchangeContext& ctx, MultipartForm& form) {
  try {
    if (ctx.state.busySlotsFlag > 0) {
      form.Add("busynom", CompressText(ctx.clinic.renderTableXml("nomer", kBusySlotStatement)));
      ctx.logger.Log("system", "Busy reload");
      ctx.state.busySlotsFlag = 0;
    } else {
      ctx.state.busySlotsFlag = 0;
    }
  } catch (const std::exception&) {
    ctx.logger.Log("system", "Error: send user nomer");
  }
}

}  // namespace

MultipartForm BuildRequestForm(ExchangeContext& ctx) {
  const std::string folder = ctx.settings.Get("path");
  MultipartForm form;
  form.Add("version", kVersionText);
  form.Add("soft", std::to_string(FileAgeInFolder(folder, "kestrum.exe")));
  AddSpec(ctx, form, folder);
  ReloadPatientCacheWhenDue(ctx);
  AddFreeSlots(ctx, form, folder);
  AddBusySlots(ctx, form);
  if (!ctx.state.sessionToken.empty()) form.Add("sess", ctx.state.sessionToken);
  ctx.state.sessionToken.clear();
  if (ctx.state.pendingAnswer == "pong") ctx.state.pendingAnswer.clear();
  if (!ctx.state.pendingAnswer.empty()) form.Add("data", ctx.state.pendingAnswer);
  ctx.state.pendingAnswer.clear();
  return form;
}

PollCycleResult RunPollCycle(ExchangeContext& ctx) {
  // Kept until the portal has taken them: a failed POST sends them again with the next request, and so
  // the exports it carried (their ages and the busy-slots flag go back to what they were).
  const std::string carriedToken = ctx.state.sessionToken;
  const std::string carriedAnswer = ctx.state.pendingAnswer;
  const int32_t specAgeBefore = ctx.state.lastSpecAge;
  const int32_t scheduleAgeBefore = ctx.state.lastScheduleAge;
  const int32_t busySlotsBefore = ctx.state.busySlotsFlag;

  PollCycleResult result;
  bool carriedSpec = false, carriedSchedule = false, carriedBusySlots = false;
  {
    MultipartForm form = BuildRequestForm(ctx);
    for (const auto& field : form.fields()) {
      carriedSpec |= field.first == "spec";
      carriedSchedule |= field.first == "nomer";
      carriedBusySlots |= field.first == "busynom";
    }
    try {
      const std::string boundary = ChooseBoundary(form);
      const std::string body = EncodeMultipartBody(form, boundary);
      ctx.logger.Log("global", "GET # SizeData: " + std::to_string(body.size()));
      ctx.state.timeOfLastRequest = ctx.clock.Now();
      const std::string address = RequestAddress(ctx.state.serverAddressOverride, ctx.portalHost,
                                                 ctx.settings.Get("id"), ctx.settings.Get("pass"));
      // A stop that came while the form was built breaks off the request before it starts, as a stop
      // during the request would.
      if (ctx.StopRequested()) throw HttpAbortedError("Request broken off: the service is stopping");
      result.reply = ctx.client.Post(address, MultipartContentType(boundary), body);
      result.posted = true;
      if (result.reply.empty()) ctx.state.pendingAnswer = std::string("OVR ver.") + kVersionText;
      if (result.reply == "1") ctx.state.pendingAnswer = "pong";
      ctx.logger.Log("system", "GET: " + result.reply);
      ctx.state.timeOfLastRequest = ctx.clock.Now();
      ctx.store.Write("query_in", result.reply);
    } catch (const std::exception& e) {
      ctx.logger.Log("global", std::string("POST.Error:") + KindOf(e) + " " + e.what());
    }
  }

  DispatchReply(ctx, result.reply);
  if (!result.posted) {
    ctx.state.sessionToken = carriedToken;
    ctx.state.pendingAnswer = carriedAnswer;
    if (carriedSpec) ctx.state.lastSpecAge = specAgeBefore;
    if (carriedSchedule) ctx.state.lastScheduleAge = scheduleAgeBefore;
    if (carriedBusySlots) ctx.state.busySlotsFlag = busySlotsBefore;
  }
  return result;
}

}  // namespace vorel
