#include "platform/multipart_body.h"

#include <gtest/gtest.h>

namespace vorel {
namespace {

TEST(MultipartBody, EncodesFieldsInOrderByteForByte) {
  MultipartForm form;
  form.Add("version", "620");
  form.Add("spec", std::string("x\0\r\n\xff", 5));
  const std::string body = EncodeMultipartBody(form, "B");
  const std::string expected = std::string(
                                   "--B\r\nContent-Disposition: form-data; name=\"version\"\r\n\r\n620\r\n"
                                   "--B\r\nContent-Disposition: form-data; name=\"spec\"\r\n\r\n") +
                               std::string("x\0\r\n\xff", 5) + "\r\n--B--\r\n";
  EXPECT_EQ(body, expected);
  EXPECT_EQ(MultipartContentType("B"), "multipart/form-data; boundary=B");
}

TEST(MultipartBody, EmptyFormIsJustTheClosingDelimiter) {
  EXPECT_EQ(EncodeMultipartBody(MultipartForm{}, "B"), "--B--\r\n");
}

TEST(MultipartBody, BoundaryAvoidsValues) {
  MultipartForm plain;
  plain.Add("a", "1");
  EXPECT_EQ(ChooseBoundary(plain), kDefaultMultipartBoundary);

  MultipartForm clash;
  clash.Add("a", std::string("..") + kDefaultMultipartBoundary + "x0..");
  const std::string boundary = ChooseBoundary(clash);
  EXPECT_EQ(clash.fields()[0].second.find(boundary), std::string::npos);
}

}  // namespace
}  // namespace vorel
