#pragma once

#include <string>
#include <string_view>

namespace vorel {

// Appends `text` with every byte that may not stand in a URL as it is (controls, blank, bytes above 0x7E and
// the characters " < > \ ^ ` { | }) written as %XX; everything else, "%" and "&" included, stays as given.
void AppendUrlSafeBytes(std::string& out, std::string_view text);

// Appends `text` as one value of a URL's query: every byte but the unreserved ones (letters, digits and
// "-._~") written as %XX, so that "#", "&", "+", "=" and "%" in a value mean themselves.
void AppendUrlQueryValue(std::string& out, std::string_view text);

}  // namespace vorel
