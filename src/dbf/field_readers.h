#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

#include "dbf/field.h"
#include "dbf/field_decode.h"

// Readers of one field, record after record, for a scan. Each gives exactly what the decoder of its type
// gives (DecodeDate, DecodeNumeric) but keeps the stored bytes it last decoded with their value: the tables a
// scan reads hold long runs of equal values (the dates of a schedule, the cabinet of a day's slots), and a
// run is then decoded once. The record view must cover the field, as for the decoders.
namespace vorel::dbf {

// A date field (D) as DecodeDate reads it; other types are passed on to DecodeDate every time.
class DateReader {
 public:
  explicit DateReader(const Field& field) : field_(&field), remember_(field.type == FieldType::kDate) {}

  std::optional<int64_t> operator()(std::string_view record) {
    if (!remember_) return DecodeDate(*field_, record);
    uint64_t v;
    std::memcpy(&v, FieldBytes(*field_, record).data(), sizeof v);
    if (!known_ || v != bytes_) {
      bytes_ = v;
      value_ = decode_detail::JulianDayOfDigits(v);
      known_ = true;
    }
    if (value_ == 0) return std::nullopt;
    return value_;
  }

 private:
  const Field* field_;
  bool remember_;
  bool known_ = false;
  uint64_t bytes_ = 0;
  int64_t value_ = 0;  // 0: no date
};

// A numeric field (N, F) of up to 16 characters as DecodeNumeric reads it; wider fields and other types are
// decoded every time.
class NumericReader {
 public:
  explicit NumericReader(const Field& field) : field_(&field) {
    if ((field.type == FieldType::kNumeric || field.type == FieldType::kFloat) && field.length <= 16) {
      mask_[0] = field.length >= 8 ? ~0ull : ~0ull >> (8 * (8 - field.length));
      mask_[1] = field.length <= 8 ? 0 : ~0ull >> (8 * (16 - field.length));
      end_ = field.offset + 16;
    }
  }

  NumericValue operator()(std::string_view record) {
    if (end_ == 0 || record.size() < end_) return DecodeNumeric(*field_, record);
    uint64_t a, b;
    std::memcpy(&a, record.data() + field_->offset, 8);
    std::memcpy(&b, record.data() + field_->offset + 8, 8);
    a &= mask_[0];
    b &= mask_[1];
    if (!known_ || a != bytes_[0] || b != bytes_[1]) {
      value_ = DecodeNumeric(*field_, record);
      bytes_[0] = a;
      bytes_[1] = b;
      known_ = true;
    }
    return value_;
  }

 private:
  const Field* field_;
  uint64_t mask_[2] = {0, 0};
  size_t end_ = 0;  // the 16 bytes read from the field's start must lie in the record; 0: no memory
  bool known_ = false;
  uint64_t bytes_[2] = {0, 0};
  NumericValue value_;
};

}  // namespace vorel::dbf
