#include "table_text.h"

namespace vorel::portal {
namespace {

std::vector<std::string> SplitAfter(std::string_view text, char separator) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  for (std::size_t at; (at = text.find(separator, start)) != std::string_view::npos; start = at + 1) {
    pieces.emplace_back(text.substr(start, at - start));
  }
  return pieces;
}

bool Between(std::string_view line, std::string_view open, std::string_view close, std::string_view& inner) {
  if (!line.starts_with(open) || !line.ends_with(close) || line.size() < open.size() + close.size())
    return false;
  inner = line.substr(open.size(), line.size() - open.size() - close.size());
  return true;
}

}  // namespace

std::vector<PublishedTable> ParseTableText(std::string_view text) {
  std::vector<PublishedTable> tables;
  bool inData = false;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(start, end - start);
    start = end + 2;
    std::string_view inner;
    if (Between(line, "<table name=", ">", inner)) {
      tables.push_back({std::string(inner), {}, {}, {}});
      inData = false;
    } else if (tables.empty()) {
      continue;
    } else if (Between(line, "<field>", "</field>", inner)) {
      tables.back().columns = SplitAfter(inner, ';');
    } else if (line == "<data>") {
      inData = true;
    } else if (line == "</data>" || line == "</table>") {
      inData = false;
    } else if (Between(line, "<error>", "</error>", inner)) {
      tables.back().error = std::string(inner);
      inData = false;
    } else if (inData) {
      tables.back().rows.push_back(SplitAfter(line, '\t'));
    }
  }
  return tables;
}

}  // namespace vorel::portal
