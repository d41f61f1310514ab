#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/large_block.h"

namespace vorel {

class PatientCache;

// A text of a cached patient. Its bytes lie in the text store of the Patient cache that kept it and stay in
// place until that cache begins its next load; only a cache makes one (PatientCache::Keep), so a record
// never points at a text that is not the cache's own.
class PatientText {
 public:
  PatientText() = default;
  std::string_view view() const { return text_; }
  operator std::string_view() const { return text_; }
  std::size_t size() const { return text_.size(); }
  bool empty() const { return text_.empty(); }

 private:
  friend class PatientCache;
  explicit PatientText(std::string_view text) : text_(text) {}
  std::string_view text_;
};

// One slot of the Patient cache: a registered patient of m1005 as the load normalised it.
struct pac_rec {
  PatientText uch;   // trimmed
  PatientText npol;  // policy number, trimmed
  PatientText fiol;  // surname, trimmed and lower-cased
  char im = 0;       // first-name initial, upper-cased; hasIm false: empty text
  char ot = 0;       // patronymic initial, as im
  bool hasIm = false;
  bool hasOt = false;
  int32_t kl = 0;      // patient id
  uint16_t lpu1 = 0;   // low 16 bits of the column's value
  uint8_t probc = 0;   // low 8 bits of the column's value
  PatientText data_r;  // the column's text as the database gives it, untrimmed

  std::string_view imText() const { return hasIm ? std::string_view(&im, 1) : std::string_view(); }
  std::string_view otText() const { return hasOt ? std::string_view(&ot, 1) : std::string_view(); }
  void Clear() { *this = pac_rec(); }
};

// The slots of the Patient cache: a million patients fill them in large blocks.
using PatientSlots = std::vector<pac_rec, LargeBlockAllocator<pac_rec>>;

}  // namespace vorel
