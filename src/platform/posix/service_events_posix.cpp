#include <unistd.h>

#include <cerrno>

#include "platform/service_events.h"

namespace vorel {

void ReportServiceEvent(const ServiceIdentity&, EventPriority priority, std::string_view message) {
  // One write per line keeps the lines of the two threads apart.
  const std::string line = ServiceEventLine(priority, message);
  std::string_view rest = line;
  while (!rest.empty()) {
    const ssize_t n = ::write(STDERR_FILENO, rest.data(), rest.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    rest.remove_prefix(static_cast<std::size_t>(n));
  }
}

}  // namespace vorel
