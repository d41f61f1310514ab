#include "platform/state_store_factory.h"

namespace vorel {

std::string QuotedStateName(std::string_view name) {
  return "'" + std::string(name) + "'";
}

std::string EditableStateStore::Read(std::string_view name) {
  const std::optional<StoredValue> value = ReadRaw(name);
  if (!value) return {};
  if (!IsStringType(value->type)) throw StateStoreError("Invalid data type for " + QuotedStateName(name));
  // A stored string ends at its first NUL, as a registry string does.
  return value->bytes.substr(0, value->bytes.find('\0'));
}

void EditableStateStore::Write(std::string_view name, std::string_view value) {
  WriteTyped(name, value, StateValueType::kString);
}

}  // namespace vorel
