#include "platform/service_events.h"

#include <string>

#include "platform/code_page.h"

namespace vorel {

std::string ServiceEventLine(EventPriority priority, std::string_view message) {
  std::string line(1, '<');
  line += std::to_string(static_cast<int>(priority));
  line += '>';
  for (char c : AnsiToUtf8(message)) line += (c == '\r' || c == '\n') ? ' ' : c;
  return line + "\n";
}

}  // namespace vorel
