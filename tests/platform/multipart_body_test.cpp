#include "platform/multipart_body.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

TEST(MultipartBody, BoundaryIsTheFirstCandidateNoValueContains) {
  const std::string base = kDefaultMultipartBoundary;
  // A session token made of 20,000 candidates (0.9 MB) in one pass, not one pass per candidate.
  std::string hostile;
  for (int i = 0; i < 20000; ++i) hostile += base + "x" + std::to_string(i);
  const struct {
    std::vector<std::string> values;
    std::string chosen;
  } cases[] = {
      {{"1", ""}, base},
      {{".." + base + ".."}, base + "x0"},
      {{base + "x0", "-" + base + "x"}, base + "x1"},
      {{base + "x0" + base + "x1", base + "x10"}, base + "x2"},
      {{base + "x01"}, base + "x1"},
      {{base + "x3", base + "x0", base + "x12"}, base + "x2"},
      {{hostile}, base + "x20000"},
  };
  for (const auto& c : cases) {
    MultipartForm form;
    for (const std::string& value : c.values) form.Add("f", value);
    const std::string boundary = ChooseBoundary(form);
    EXPECT_EQ(boundary, c.chosen);
    for (const std::string& value : c.values) EXPECT_EQ(value.find(boundary), std::string::npos);
  }
}

}  // namespace
}  // namespace vorel
