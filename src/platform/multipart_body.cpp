#include "platform/multipart_body.h"

namespace vorel {

std::string ChooseBoundary(const MultipartForm& form) {
  std::string boundary = kDefaultMultipartBoundary;
  for (int attempt = 0;; ++attempt) {
    bool clash = false;
    for (const auto& [name, value] : form.fields()) {
      if (value.find(boundary) != std::string::npos) {
        clash = true;
        break;
      }
    }
    if (!clash) return boundary;
    boundary = std::string(kDefaultMultipartBoundary) + "x" + std::to_string(attempt);
  }
}

std::string EncodeMultipartBody(const MultipartForm& form, const std::string& boundary) {
  std::size_t size = boundary.size() + 8;
  for (const auto& [name, value] : form.fields()) size += boundary.size() + name.size() + value.size() + 52;
  std::string body;
  body.reserve(size);
  for (const auto& [name, value] : form.fields()) {
    body += "--";
    body += boundary;
    body += "\r\nContent-Disposition: form-data; name=\"";
    body += name;
    body += "\"\r\n\r\n";
    body += value;
    body += "\r\n";
  }
  body += "--";
  body += boundary;
  body += "--\r\n";
  return body;
}

std::string MultipartContentType(const std::string& boundary) {
  return "multipart/form-data; boundary=" + boundary;
}

}  // namespace vorel
