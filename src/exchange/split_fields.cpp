#include "exchange/split_fields.h"

namespace vorel {

ReplyFields SplitFields(std::string_view text, char separator) {
  ReplyFields fields;
  std::size_t index = 0;
  std::string_view rest = text;
  for (std::size_t cut; index + 1 < fields.size() && (cut = rest.find(separator)) != std::string_view::npos;
       ++index) {
    fields[index].assign(rest.substr(0, cut));
    rest.remove_prefix(cut + 1);
  }
  fields[index].assign(rest);
  return fields;
}

}  // namespace vorel
