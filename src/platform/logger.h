#pragma once

#include <cstdint>
#include <string_view>

// The two diagnostic writers every layer uses: rolling logs per channel and the error record. The service
// module implements them over the state store; lower layers only see this interface.
namespace vorel {

class Logger {
 public:
  virtual ~Logger() = default;
  // Appends one line to "log_<channel>" (unless the channel is "global") and one line to "log_global".
  virtual void Log(std::string_view channel, std::string_view message) = 0;
  // Records the error ("error", "error_msg", "error_time"); nothing for an empty message; a code above 0
  // pauses the calling thread for 1000 ms.
  virtual void SetError(int32_t code, std::string_view message) = 0;
};

}  // namespace vorel
