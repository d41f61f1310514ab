#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "dbf/cdx_file.h"
#include "dbf/key_expression.h"

// Index keys as VFP stores them: byte order equals VFP's order (unsigned memcmp, then record number).
namespace vorel::dbf {

// IEEE double big-endian with the sign bit set for values >= 0, all bits inverted for negative values.
std::string SortableDoubleKey(double value);
// int32 big-endian with the sign bit flipped.
std::string IntegerKey(int32_t value);
// int64 (value x 10000) big-endian with the sign bit flipped.
std::string CurrencyKey(int64_t scaled);

// The key of `value` for `tag`: character values padded (blank for MACHINE, zero otherwise) or cut to the
// key length, RUSSIAN collation weights for RUSSIAN tags, the NULL prefix for nullable tags. Throws
// FieldValueError when the value does not suit the tag (wrong length, a collation this layer lacks).
std::string EncodeKey(const CdxTag& tag, const KeyValue& value);

// The primary weight byte a RUSSIAN tag stores for a Windows-1251 character.
uint8_t RussianKeyWeight(unsigned char c);

// Whether a tag's keys are character keys (decides the trailing pad byte of its leaves).
inline bool IsCharacterKey(const KeyValue& sample) {
  return sample.type == KeyValue::Type::kCharacter;
}

}  // namespace vorel::dbf
