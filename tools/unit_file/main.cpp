// vorel_unit_file: prints the systemd unit of the service as /INSTALL writes it, for a program installed
// elsewhere (the Debian package, `make install`).
//
//   vorel_unit_file --program PATH --state PATH [--template] [--update-folder DIR]
//
// --template prints the template unit (VorelService@.service), whose instance NAME keeps its state store
// as NAME.db in the folder --state.
#include <cstdio>
#include <string>

#include "platform/posix/systemd_unit.h"
#include "service/service_identity.h"

int main(int argc, char** argv) {
  vorel::SystemdUnitOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--program" && hasValue) {
      options.programPath = argv[++i];
    } else if (arg == "--state" && hasValue) {
      options.stateLocation = argv[++i];
    } else if (arg == "--update-folder" && hasValue) {
      options.updateFolder = argv[++i];
    } else if (arg == "--template") {
      options.templateUnit = true;
    } else {
      std::fprintf(stderr, "vorel_unit_file: bad argument %s\n", arg.c_str());
      return 2;
    }
  }
  if (options.programPath.empty() || options.stateLocation.empty()) {
    std::fprintf(stderr,
                 "usage: vorel_unit_file --program PATH --state PATH [--template] "
                 "[--update-folder DIR]\n");
    return 2;
  }
  std::fputs(vorel::SystemdUnitText(vorel::VorelServiceIdentity(), options).c_str(), stdout);
  return 0;
}
