#pragma once

#include <string>
#include <string_view>

namespace vorel {

// Appends `text` with every byte that may not stand in a URL as it is (controls, blank, bytes above 0x7E and
// the characters " < > \ ^ ` { | }) written as %XX; everything else, "%" and "&" included, stays as given.
void AppendUrlSafeBytes(std::string& out, std::string_view text);

}  // namespace vorel
