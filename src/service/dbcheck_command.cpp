#include <cstdio>

#include "service/operator_commands.h"

namespace vorel {

int RunDbcheckCommand(int argc, char** argv) {
  std::fputs("vorel_service dbcheck: not available yet\n", stderr);
  return 1;
}

}  // namespace vorel
