#include <windows.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "platform/state_store_factory.h"
#include "platform/windows/registry_key.h"
#include "platform/windows/system_text.h"

// The Windows state store: string values of one key under HKEY_LOCAL_MACHINE, through the ANSI registry
// functions, so that the values are read and written in the process's ANSI code page (1251 on the clinics'
// machines) and the registry keeps them as Unicode. Each read and write is one registry call on the key that
// stays open, which the registry makes atomic and safe beside other threads and processes.
namespace vorel {
namespace {

// The bytes a string value carries besides its text: the terminating NUL the registry keeps.
std::string WithoutTerminator(std::string bytes, DWORD type) {
  if ((type == REG_SZ || type == REG_EXPAND_SZ) && !bytes.empty() && bytes.back() == '\0') bytes.pop_back();
  return bytes;
}

bool LessIgnoringCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
  });
}

class RegistryStateStore final : public EditableStateStore {
 public:
  explicit RegistryStateStore(const std::string& location) : key_(windows::RegistryKey::Create(location)) {}

  std::optional<StoredValue> ReadRaw(std::string_view name) override {
    const std::string valueName(name);
    std::string data;
    DWORD type = REG_NONE;
    // The value may grow between asking its size and reading it; then ask again.
    for (;;) {
      DWORD size = static_cast<DWORD>(data.size());
      const LONG rc = RegQueryValueExA(key_.get(), valueName.c_str(), nullptr, &type,
                                       data.empty() ? nullptr : reinterpret_cast<BYTE*>(data.data()), &size);
      if (rc == ERROR_FILE_NOT_FOUND) return std::nullopt;
      if (rc == ERROR_MORE_DATA || (rc == ERROR_SUCCESS && data.empty() && size > 0)) {
        data.resize(std::max<size_t>(size, data.size() * 2));
        continue;
      }
      if (rc != ERROR_SUCCESS) {
        throw StateStoreError("Failed to get data for " + QuotedStateName(name) + ": " +
                              windows::SystemErrorText(rc));
      }
      data.resize(size);
      break;
    }
    return StoredValue{valueName, WithoutTerminator(std::move(data), type),
                       static_cast<StateValueType>(type)};
  }

  void WriteTyped(std::string_view name, std::string_view bytes, StateValueType type) override {
    const std::string valueName(name);
    std::string data(bytes);
    if (IsStringType(type)) data.push_back('\0');  // a registry string keeps its terminator
    const LONG rc =
        RegSetValueExA(key_.get(), valueName.c_str(), 0, static_cast<DWORD>(type),
                       reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()));
    if (rc != ERROR_SUCCESS) throw StateStoreError("Failed to set data for " + QuotedStateName(name));
  }

  void Remove(std::string_view name) override {
    const std::string valueName(name);
    const LONG rc = RegDeleteValueA(key_.get(), valueName.c_str());
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) {
      throw StateStoreError("Failed to delete value " + QuotedStateName(name) + ": " +
                            windows::SystemErrorText(rc));
    }
  }

  std::vector<StoredValue> List() override {
    std::vector<std::string> names;
    for (DWORD index = 0;; ++index) {
      // Value names are at most 16383 characters.
      std::string name(16384, '\0');
      DWORD length = static_cast<DWORD>(name.size());
      const LONG rc =
          RegEnumValueA(key_.get(), index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
      if (rc == ERROR_NO_MORE_ITEMS) break;
      if (rc != ERROR_SUCCESS) {
        throw StateStoreError("State store: cannot list the values of " + key_.path() + ": " +
                              windows::SystemErrorText(rc));
      }
      name.resize(length);
      names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end(), LessIgnoringCase);
    std::vector<StoredValue> values;
    for (const std::string& name : names) {
      // A value removed since the enumeration is simply left out.
      if (std::optional<StoredValue> value = ReadRaw(name)) values.push_back(std::move(*value));
    }
    return values;
  }

 private:
  windows::RegistryKey key_;
};

}  // namespace

std::unique_ptr<EditableStateStore> OpenStateStore(const std::string& location,
                                                   const StateStoreOptions& /*options*/) {
  return std::make_unique<RegistryStateStore>(location);
}

std::unique_ptr<EditableStateStore> OpenStateStore() {
  return OpenStateStore(StateStoreLocation());
}

}  // namespace vorel
