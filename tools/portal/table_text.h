#pragma once

#include <string>
#include <string_view>
#include <vector>

// Reading the service's Table XML back into rows, for showing what the clinic has published.
namespace vorel::portal {

struct PublishedTable {
  std::string name;
  std::vector<std::string> columns;
  std::vector<std::vector<std::string>> rows;
  std::string error;  // the text of an <error> line, if any
};

// Every table of the text in order; lines that fit no part of the layout are skipped.
std::vector<PublishedTable> ParseTableText(std::string_view text);

}  // namespace vorel::portal
