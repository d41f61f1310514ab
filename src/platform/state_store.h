#pragma once

#include <string>
#include <string_view>

#include "platform/error.h"

// The persistent key/value store of named string values through which the service is configured and watched
// (the registry key on Windows, an SQLite file on POSIX). Each call is one self-contained, atomic operation,
// safe to make from several threads and processes at once.
namespace vorel {

VOREL_DEFINE_ERROR(StateStoreError, Error);

class StateStore {
 public:
  virtual ~StateStore() = default;
  // An absent value reads as empty text. Only the two string types are accepted (other types fail with
  // "Invalid data type for '<name>'"); the text ends at its first NUL byte.
  virtual std::string Read(std::string_view name) = 0;
  // Replaces the value whole, as a plain string; a refused write fails with "Failed to set data for '<name>'".
  virtual void Write(std::string_view name, std::string_view value) = 0;
};

}  // namespace vorel
