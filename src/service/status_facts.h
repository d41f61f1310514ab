#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The status record's content: what the running service says about itself for `status` and monitoring,
// without secrets. Texts are UTF-8; moments are seconds since the epoch, 0 for none.
namespace vorel {

struct StatusFacts {
  int64_t pid = 0;
  bool running = false;  // false once the service has stopped in order
  int64_t started = 0;
  int64_t heartbeat = 0;  // the main loop was last seen alive
  int64_t stopped = 0;
  bool configured = false;  // path, id and pass set
  std::string clinicFolder;
  std::string portal;  // the request address without id and password
  std::string tables;  // "ok", the reason they cannot be opened, or empty before the first test
  int64_t lastRequest = 0;
  int64_t lastAnswer = 0;
  std::string error;  // the error record and critical_error as the store holds them
  std::string errorMessage;
  std::string errorTime;
  std::string criticalError;
  std::string bookings;  // record_cnt and record_time
  std::string lastBooking;
};

// One "name=value" line per fact; line breaks in values become blanks.
std::string StatusRecordText(const StatusFacts& facts);
// The facts of a record; unknown lines are skipped, missing ones keep their defaults.
StatusFacts ParseStatusRecord(std::string_view text);

}  // namespace vorel
