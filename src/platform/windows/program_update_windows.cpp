#include <string>

#include "platform/program_file.h"

// On Windows adm_update replaces the installed program itself: there is no separate update folder.
namespace vorel {

std::string UpdateFolder() {
  return {};
}

void RunNewerUpdate() {}

}  // namespace vorel
