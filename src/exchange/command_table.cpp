#include "exchange/command_table.h"

namespace vorel {

void CommandTable::Bind(std::string_view word, CommandHandler handler) {
  for (std::size_t i = 0; i < kCommandWords.size(); ++i) {
    if (kCommandWords[i] == word) {
      handlers_[i] = std::move(handler);
      return;
    }
  }
  throw UnknownCommandWordError("Not a command word: " + std::string(word));
}

const CommandHandler* CommandTable::Find(std::string_view word) const {
  for (std::size_t i = 0; i < kCommandWords.size(); ++i) {
    if (kCommandWords[i] == word) return handlers_[i] ? &handlers_[i] : nullptr;
  }
  return nullptr;
}

}  // namespace vorel
