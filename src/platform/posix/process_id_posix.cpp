#include <unistd.h>

#include "platform/status_record.h"

namespace vorel {

int64_t CurrentProcessId() {
  return static_cast<int64_t>(::getpid());
}

}  // namespace vorel
