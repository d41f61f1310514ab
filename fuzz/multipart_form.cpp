// Fuzzes the multipart body of a request: the input, cut at each 0x01 byte, gives the values of the form's
// fields (any bytes, among them lines that look like boundaries). The body must give every value back, byte
// for byte, when it is read as the portal reads it: parts between "--" boundary lines.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/multipart_body.h"

namespace {

// The values of the parts of `body` in order, as a reader that knows only the boundary finds them.
std::vector<std::string> ReadParts(std::string_view body, const std::string& boundary) {
  const std::string delimiter = "\r\n--" + boundary;
  std::vector<std::string> values;
  std::string_view rest = body;
  if (!rest.starts_with("--" + boundary + "\r\n")) std::abort();
  rest.remove_prefix(boundary.size() + 4);
  for (;;) {
    const size_t headerEnd = rest.find("\r\n\r\n");
    if (headerEnd == std::string_view::npos) std::abort();
    rest.remove_prefix(headerEnd + 4);
    const size_t end = rest.find(delimiter);
    if (end == std::string_view::npos) std::abort();
    values.emplace_back(rest.substr(0, end));
    rest.remove_prefix(end + delimiter.size());
    if (rest == "--\r\n") return values;
    if (!rest.starts_with("\r\n")) std::abort();
    rest.remove_prefix(2);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  vorel::MultipartForm form;
  std::vector<std::string> values;
  for (size_t start = 0;;) {
    const size_t cut = input.find('\x01', start);
    values.emplace_back(input.substr(start, cut == std::string_view::npos ? cut : cut - start));
    form.Add("f" + std::to_string(values.size()), values.back());
    if (cut == std::string_view::npos || values.size() == 16) break;
    start = cut + 1;
  }
  const std::string boundary = vorel::ChooseBoundary(form);
  if (ReadParts(vorel::EncodeMultipartBody(form, boundary), boundary) != values) std::abort();
  return 0;
}
