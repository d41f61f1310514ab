#include <cstdio>

#include "service/operator_commands.h"

namespace vorel {

int RunSqlCommand(int argc, char** argv) {
  std::fputs("vorel_service sql: not available yet\n", stderr);
  return 1;
}

}  // namespace vorel
