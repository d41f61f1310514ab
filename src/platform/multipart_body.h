#pragma once

#include <string>

#include "platform/http_client.h"

// The multipart/form-data body the portal reads: one part per field, values byte for byte (compressed
// values travel as raw binary), no Content-Type per part and no transfer encoding.
namespace vorel {

// The boundary the service uses; ChooseBoundary only departs from it when a value happens to contain it.
inline constexpr const char* kDefaultMultipartBoundary = "--------VorelFormBoundary7MA4YWxkTrZu0gW";

// A boundary that occurs in none of the form's values (a value containing the boundary would end its part).
std::string ChooseBoundary(const MultipartForm& form);

// Per field: "--" boundary CR LF, Content-Disposition: form-data; name="<name>" CR LF, CR LF, value, CR LF;
// then the closing "--" boundary "--" CR LF.
std::string EncodeMultipartBody(const MultipartForm& form, const std::string& boundary);

// "multipart/form-data; boundary=" + boundary.
std::string MultipartContentType(const std::string& boundary);

}  // namespace vorel
