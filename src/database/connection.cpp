#include "database/connection.h"

#include <system_error>

#include "database/database_errors.h"
#include "platform/code_page.h"
#include "platform/path_text.h"

namespace vorel {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}

}  // namespace

ConnectionOptions ParseConnectionString(std::string_view text) {
  ConnectionOptions options;
  bool haveSource = false;
  size_t i = 0;
  while (i < text.size()) {
    size_t eq = text.find('=', i);
    size_t semi = text.find(';', i);
    if (eq == std::string_view::npos || (semi != std::string_view::npos && semi < eq)) {
      // A part without "=": only blanks are allowed there.
      size_t end = semi == std::string_view::npos ? text.size() : semi;
      if (!Trim(text.substr(i, end - i)).empty())
        throw ConnectionError("Connection string: option without a value: " +
                              std::string(Trim(text.substr(i, end - i))));
      i = end + 1;
      continue;
    }
    std::string key = ToUpperAnsi(Trim(text.substr(i, eq - i)));
    size_t v = eq + 1;
    while (v < text.size() && text[v] == ' ') ++v;
    std::string value;
    size_t next;
    if (v < text.size() && (text[v] == '"' || text[v] == '\'')) {
      // A quoted value may hold ";"; the quote itself is written twice inside it.
      const char quote = text[v];
      size_t k = v + 1;
      bool closed = false;
      while (k < text.size()) {
        if (text[k] == quote) {
          if (k + 1 < text.size() && text[k + 1] == quote) {
            value.push_back(quote);
            k += 2;
            continue;
          }
          closed = true;
          ++k;
          break;
        }
        value.push_back(text[k++]);
      }
      if (!closed) throw ConnectionError("Connection string: unterminated quoted value of " + key);
      next = text.find(';', k);
      if (!Trim(text.substr(k, next == std::string_view::npos ? std::string_view::npos : next - k)).empty())
        throw ConnectionError("Connection string: text after the quoted value of " + key);
    } else {
      next = text.find(';', v);
      value = std::string(
          Trim(text.substr(v, next == std::string_view::npos ? std::string_view::npos : next - v)));
    }
    if (key == "DATA SOURCE") {
      options.dataSource = value;
      haveSource = true;
    } else if (key == "COLLATING SEQUENCE") {
      if (!value.empty() && !sql::ParseCollation(value, options.collation))
        throw ConnectionError("Connection string: unknown collating sequence '" + value + "'");
    }
    i = next == std::string_view::npos ? text.size() : next + 1;
  }
  if (!haveSource || options.dataSource.empty())
    throw ConnectionError("Connection string names no Data Source");
  return options;
}

void Connection::Connect() {
  if (connected_) return;
  ConnectionOptions options = ParseConnectionString(connectionString_);
  std::filesystem::path folder(FileSystemPath(options.dataSource));
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec))
    throw ConnectionError("Invalid path or file name: '" + options.dataSource + "' is not a folder");
  std::filesystem::directory_iterator probe(folder, ec);
  if (ec) throw ConnectionError("Cannot read the folder '" + options.dataSource + "': " + ec.message());
  folder_ = std::move(folder);
  collation_ = options.collation;
  connected_ = true;
}

}  // namespace vorel
