#pragma once

#include <cstdint>

#include "booking/inline_text.h"

namespace vorel {

// One slot of the Patient cache: a registered patient of m1005 as the load normalised it. The short texts
// live inside the record (a value longer than its inline room still fits, on the heap).
struct pac_rec {
  InlineText<15> uch;   // trimmed
  InlineText<23> npol;  // policy number, trimmed
  InlineText<39> fiol;  // surname, trimmed and lower-cased
  char im = 0;          // first-name initial, upper-cased; hasIm false: empty text
  char ot = 0;          // patronymic initial, as im
  bool hasIm = false;
  bool hasOt = false;
  int32_t kl = 0;         // patient id
  uint16_t lpu1 = 0;      // low 16 bits of the column's value
  uint8_t probc = 0;      // low 8 bits of the column's value
  InlineText<15> data_r;  // the column's text as the database gives it, untrimmed

  std::string_view imText() const { return hasIm ? std::string_view(&im, 1) : std::string_view(); }
  std::string_view otText() const { return hasOt ? std::string_view(&ot, 1) : std::string_view(); }
  void Clear() {
    uch.clear();
    npol.clear();
    fiol.clear();
    im = ot = 0;
    hasIm = hasOt = false;
    kl = 0;
    lpu1 = 0;
    probc = 0;
    data_r.clear();
  }
};

}  // namespace vorel
