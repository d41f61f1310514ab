#include "platform/program_file.h"
#include "platform/service_host.h"
#include "service/message_loop.h"
#include "service/operator_commands.h"
#include "service/service_identity.h"
#include "service/service_module.h"

namespace vorel {

int RunServiceProcess() {
  // A program the portal sent that is newer than the installed one runs in its place.
  RunNewerUpdate();
  MessageLoop loop;
  TVorelService service(loop);
  ServiceHandlers handlers;
  handlers.start = [&] {
    bool started = true;
    service.ServiceStart(started);
  };
  handlers.stop = [&] {
    bool stopped = false;
    service.ServiceStop(stopped);
  };
  // The main thread leaves its loop once the main loop in progress has returned.
  handlers.runMainThread = [&] { loop.Run(); };
  handlers.quitMainThread = [&] { loop.Quit(); };
  return RunServiceHost(VorelServiceIdentity(), handlers);
}

}  // namespace vorel
