#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>

#include "booking/reply_fields.h"
#include "platform/error.h"

namespace vorel {

// A command handler reads its arguments from the reply fields and returns the answer text (empty: the next
// request carries no "data").
using CommandHandler = std::function<std::string(const ReplyFields&)>;

// The portal's command words in the order the dispatcher tests them.
inline constexpr std::array<std::string_view, 20> kCommandWords = {
    "nomer",      "user",      "zapis",      "zapis2",    "delrec",    "delrec2",       "get_spec",
    "get_grup",   "post_spec", "post_nomer", "load_user", "adm_user",  "adm_polis",     "adm_restart",
    "adm_update", "adm_info",  "adm_sql",    "adm_log",   "adm_nomer", "adm_nomer_user"};

VOREL_DEFINE_ERROR(UnknownCommandWordError, Error);

// The dispatcher's command table: each command word bound to at most one handler. The layers that own a
// command bind it; a word without a handler is treated like a word the portal does not have.
class CommandTable {
 public:
  // Binds (or rebinds) a handler; fails with UnknownCommandWordError for a word that is not a command word.
  void Bind(std::string_view word, CommandHandler handler);
  // The handler of a command word (exact, case-sensitive comparison), or nullptr when unknown or unbound.
  const CommandHandler* Find(std::string_view word) const;
  bool IsBound(std::string_view word) const { return Find(word) != nullptr; }

 private:
  std::array<CommandHandler, kCommandWords.size()> handlers_;
};

}  // namespace vorel
