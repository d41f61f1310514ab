#include "platform/regional.h"

namespace vorel {

// The POSIX build carries a fixed Russian regional profile; the Windows build reads the system locale.
RegionalSettings SystemRegionalSettings() { return RegionalSettings{}; }

}  // namespace vorel
