// Sends a control request to an installed service and prints the state it then reports, for the end-to-end
// test (Wine's sc cannot pause or continue a service):
//   service_control_tool NAME pause|continue|interrogate
// Prints one of RUNNING, PAUSED, STOPPED, ... once the service has left its former state and any pending
// one (up to 30 s).
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

const char* StateName(DWORD state) {
  switch (state) {
    case SERVICE_STOPPED:
      return "STOPPED";
    case SERVICE_START_PENDING:
      return "START_PENDING";
    case SERVICE_STOP_PENDING:
      return "STOP_PENDING";
    case SERVICE_RUNNING:
      return "RUNNING";
    case SERVICE_CONTINUE_PENDING:
      return "CONTINUE_PENDING";
    case SERVICE_PAUSE_PENDING:
      return "PAUSE_PENDING";
    case SERVICE_PAUSED:
      return "PAUSED";
    default:
      return "UNKNOWN";
  }
}

bool Pending(DWORD state) {
  return state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING ||
         state == SERVICE_CONTINUE_PENDING || state == SERVICE_PAUSE_PENDING;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: service_control_tool NAME pause|continue|interrogate\n");
    return 2;
  }
  DWORD code = SERVICE_CONTROL_INTERROGATE;
  if (std::strcmp(argv[2], "pause") == 0) code = SERVICE_CONTROL_PAUSE;
  if (std::strcmp(argv[2], "continue") == 0) code = SERVICE_CONTROL_CONTINUE;
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = manager ? OpenServiceA(manager, argv[1], SERVICE_ALL_ACCESS) : nullptr;
  if (service == nullptr) {
    std::fprintf(stderr, "cannot open the service: error %lu\n", GetLastError());
    return 1;
  }
  SERVICE_STATUS status{};
  QueryServiceStatus(service, &status);
  const DWORD before = status.dwCurrentState;
  if (!ControlService(service, code, &status)) {
    std::fprintf(stderr, "the control request failed: error %lu\n", GetLastError());
    return 1;
  }
  // The service takes the request on its own control thread: until then it still reports the state it
  // had before.
  const bool changes = code != SERVICE_CONTROL_INTERROGATE;
  for (int i = 0; i < 300 && QueryServiceStatus(service, &status) &&
                  (Pending(status.dwCurrentState) || (changes && status.dwCurrentState == before));
       ++i) {
    Sleep(100);
  }
  std::printf("%s\n", StateName(status.dwCurrentState));
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return 0;
}
