// Fuzzes the state store with values of every byte: the input, cut at its first 0x01 byte, is a value name
// and a value. Written with each value type, the value must read back whole (ReadRaw) and, as text, up to its
// first NUL byte (Read); a name or value the store refuses gives a clean error and changes nothing.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/error.h"
#include "platform/state_store_factory.h"

using namespace vorel;

namespace {

EditableStateStore& Store() {
  static const std::string location =
      (std::filesystem::temp_directory_path() / ("vorel_fuzz_state_" + std::to_string(getpid()) + ".db"))
          .string();
  static const auto store = [] {
    std::atexit([] {
      for (const char* suffix : {"", "-wal", "-shm", "-journal"}) std::filesystem::remove(location + suffix);
    });
    return OpenStateStore(location);
  }();
  return *store;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t cut = input.find('\x01');
  const std::string name(input.substr(0, cut));
  const std::string value(cut == std::string_view::npos ? std::string_view() : input.substr(cut + 1));
  EditableStateStore& store = Store();
  for (StateValueType type : {StateValueType::kString, StateValueType::kBinary}) {
    const auto before = store.ReadRaw(name);
    try {
      store.WriteTyped(name, value, type);
    } catch (const Error&) {
      if (store.ReadRaw(name).has_value() != before.has_value()) std::abort();
      continue;
    }
    const auto back = store.ReadRaw(name);
    if (!back || back->bytes != value || back->type != type) std::abort();
    if (type == StateValueType::kString && store.Read(name) != value.substr(0, value.find('\0')))
      std::abort();
  }
  store.Remove(name);
  return 0;
}
