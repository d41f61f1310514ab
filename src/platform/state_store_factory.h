#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/state_store.h"

// Opening the platform's state store, and the editor's view of it that the operator commands use.
namespace vorel {

// The type of a stored value, numbered as the registry numbers its value types. Only the two string types
// can be read as text; every other number is "another type".
enum class StateValueType : int32_t {
  kString = 1,        // REG_SZ
  kExpandString = 2,  // REG_EXPAND_SZ (read as it is, never expanded)
  kBinary = 3,        // REG_BINARY, one of the other types
};

constexpr bool IsStringType(StateValueType type) {
  return type == StateValueType::kString || type == StateValueType::kExpandString;
}

// One stored value as it lies in the store: its bytes whole (NUL bytes included) and its type.
struct StoredValue {
  std::string name;
  std::string bytes;
  StateValueType type = StateValueType::kString;
};

// The state store with the operations of a registry editor besides the service's own read and write.
class EditableStateStore : public StateStore {
 public:
  // The service's read and write, the same over every store: through ReadRaw and WriteTyped.
  std::string Read(std::string_view name) final;
  void Write(std::string_view name, std::string_view value) final;

  // Every value, ordered by name.
  virtual std::vector<StoredValue> List() = 0;
  // The value as stored, whatever its type; nothing when absent.
  virtual std::optional<StoredValue> ReadRaw(std::string_view name) = 0;
  // Replaces the value whole with the bytes and the type given.
  virtual void WriteTyped(std::string_view name, std::string_view bytes, StateValueType type) = 0;
  // Removes the value; removing an absent value does nothing.
  virtual void Remove(std::string_view name) = 0;
};

// A value name as the store's error texts quote it: 'name'.
std::string QuotedStateName(std::string_view name);

struct StateStoreOptions {
  // How long a read or write waits for another thread or process that holds the store.
  std::chrono::milliseconds busyTimeout{10000};
  // Whether a missing store (POSIX: the file and its folder) is created; without, opening it fails. The
  // Windows registry key is created in either case.
  bool create = true;
};

// Where the platform's store lives. POSIX: the file named by the environment variable VOREL_STATE, or
// /var/lib/vorel_service/state.db when it is unset or empty; a relative path is made absolute.
std::string StateStoreLocation();

// The folder of the store file, with its trailing separator (where the POSIX restart script is written).
std::string StateStoreFolder();

// Opens the store at `location`, creating it and its folder when missing (and `options.create`). A store file
// made here can be read by its owner only: it holds the portal password. Fails with StateStoreError and a
// message naming the location when it cannot be opened.
std::unique_ptr<EditableStateStore> OpenStateStore(const std::string& location,
                                                   const StateStoreOptions& options = {});

// Opens the platform's store at StateStoreLocation().
std::unique_ptr<EditableStateStore> OpenStateStore();

}  // namespace vorel
