#include "platform/windows/event_source_registration.h"

#include <windows.h>

#include "platform/error.h"
#include "platform/windows/system_text.h"

namespace vorel::windows {
namespace {

[[noreturn]] void Fail(const std::string& what, LSTATUS status) {
  throw Error(what + ": " + SystemErrorText(static_cast<unsigned long>(status)));
}

}  // namespace

std::string EventSourceKey(const std::string& sourceName) {
  return "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" + sourceName;
}

void WriteEventSource(const std::string& sourceName, const std::string& messageFile) {
  const std::string path = EventSourceKey(sourceName);
  HKEY key = nullptr;
  LSTATUS status =
      RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) Fail("cannot register the event log source", status);
  const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
  status = RegSetValueExA(key, "EventMessageFile", 0, REG_EXPAND_SZ,
                          reinterpret_cast<const BYTE*>(messageFile.c_str()),
                          static_cast<DWORD>(messageFile.size() + 1));
  if (status == ERROR_SUCCESS) {
    status = RegSetValueExA(key, "TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types),
                            sizeof types);
  }
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) Fail("cannot register the event log source", status);
}

bool RemoveEventSource(const std::string& sourceName) {
  const LSTATUS status = RegDeleteKeyA(HKEY_LOCAL_MACHINE, EventSourceKey(sourceName).c_str());
  if (status == ERROR_FILE_NOT_FOUND) return false;
  if (status != ERROR_SUCCESS) Fail("cannot remove the event log source", status);
  return true;
}

}  // namespace vorel::windows
