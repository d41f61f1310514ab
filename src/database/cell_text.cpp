#include "database/cell_text.h"

#include <algorithm>

#include "database/value_text.h"

namespace vorel {
namespace {

// Whether any of the `n` bytes at `s` is a CR or an LF, eight bytes a step.
bool HasLineBreak(const char* s, size_t n) {
  constexpr uint64_t kOnes = 0x0101010101010101u;
  constexpr uint64_t kHigh = 0x8080808080808080u;
  auto hasByte = [](uint64_t x, uint8_t b) {
    const uint64_t y = x ^ (kOnes * b);
    return ((y - kOnes) & ~y & kHigh) != 0;
  };
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t x;
    std::memcpy(&x, s + i, 8);
    if (hasByte(x, '\r') || hasByte(x, '\n')) return true;
  }
  for (; i < n; ++i) {
    if (s[i] == '\r' || s[i] == '\n') return true;
  }
  return false;
}

// Copies `text` trimmed of characters with codes up to 32 at both ends, without its CRs and LFs, to `to`,
// which has room for the whole text; returns the end of the copy.
char* CopyTrimmed(char* to, std::string_view text) {
  auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  size_t end = text.size();
  while (end > 0 && isBlank(text[end - 1])) --end;
  size_t first = 0;
  while (first < end && isBlank(text[first])) ++first;
  const char* const s = text.data() + first;
  const size_t n = end - first;
  if (!HasLineBreak(s, n)) {
    std::memcpy(to, s, n);
    return to + n;
  }
  for (size_t i = 0; i < n; ++i) {
    *to = s[i];
    to += s[i] != '\r' && s[i] != '\n';
  }
  return to;
}

// The text trimmed, then a TAB.
void AppendTrimmed(TextCursor& out, std::string_view text) {
  char* const start = out.Room(text.size() + 1);
  char* end = CopyTrimmed(start, text);
  *end++ = '\t';
  out.Wrote(static_cast<size_t>(end - start));
}

}  // namespace

void TextCursor::Grow(size_t n) {
  out_.resize(used_ + std::max(n, kStep));
}

void CellTextWriter::Append(TextCursor& out, const sql::Value& value, const sql::Column& column) {
  switch (value.kind) {
    case sql::ValueKind::kNull:
      out.Append("\t");
      return;
    case sql::ValueKind::kText:
      AppendTrimmed(out, value.text);
      return;
    case sql::ValueKind::kNumber: {
      WholeNumberBuffer buffer;
      if (const std::string_view whole = WholeNumberText(value.number, buffer); !whole.empty()) {
        char* const to = out.Room(buffer.size() + 1);
        std::memcpy(to, whole.data(), whole.size());
        to[whole.size()] = '\t';
        out.Wrote(whole.size() + 1);
      } else {
        AppendOther(out, value, column);
      }
      return;
    }
    case sql::ValueKind::kDate:
      AppendDate(out, value, column);
      return;
    default:
      AppendOther(out, value, column);
      return;
  }
}

void CellTextWriter::AppendDate(TextCursor& out, const sql::Value& value, const sql::Column& column) {
  DateText& known = dates_[static_cast<uint64_t>(value.moment) % kDateSlots];
  if (!known.used || known.day != value.moment) {
    scratch_.clear();
    AppendValueText(scratch_, value, column, regional_);
    if (scratch_.size() > sizeof known.text) {
      AppendTrimmed(out, scratch_);
      return;
    }
    known.length = static_cast<uint8_t>(CopyTrimmed(known.text, scratch_) - known.text);
    known.day = value.moment;
    known.used = true;
  }
  char* const to = out.Room(sizeof known.text + 1);
  std::memcpy(to, known.text, sizeof known.text);
  to[known.length] = '\t';
  out.Wrote(known.length + 1u);
}

void CellTextWriter::AppendOther(TextCursor& out, const sql::Value& value, const sql::Column& column) {
  scratch_.clear();
  AppendValueText(scratch_, value, column, regional_);
  AppendTrimmed(out, scratch_);
}

}  // namespace vorel
