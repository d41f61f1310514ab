#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The journal of one statement: every byte range it is about to change in a table's files, with the bytes
// before and after, and what the files were like before it (sizes, record count, the index's change
// counter). It is written beside the table and flushed before the first byte of the table changes, and
// removed after the last; one found later belongs to a write that stopped part-way.
namespace vorel::dbf {

enum class JournalTarget : uint8_t { kTable = 0, kIndex = 1, kMemo = 2 };
inline constexpr size_t kJournalTargets = 3;

struct JournalFileSizes {
  bool touched = false;
  uint64_t before = 0;
  uint64_t after = 0;  // larger than `before` when the statement appends
};

struct JournalRegion {
  JournalTarget target = JournalTarget::kTable;
  uint64_t offset = 0;
  std::string before;  // the bytes that were there: shorter than `after` where it runs past the old end
  std::string after;
};

struct Journal {
  uint16_t headerLength = 0;  // the table layout the records were written in
  uint16_t recordLength = 0;
  uint32_t countBefore = 0;  // the table header's record count
  uint32_t countAfter = 0;
  uint32_t counterBefore = 0;  // the index's change counter
  uint32_t counterAfter = 0;
  std::array<JournalFileSizes, kJournalTargets> files;
  std::vector<JournalRegion> regions;  // in the order they are written

  JournalFileSizes& file(JournalTarget t) { return files[static_cast<size_t>(t)]; }
  const JournalFileSizes& file(JournalTarget t) const { return files[static_cast<size_t>(t)]; }
};

// What undoing a journal's statement did.
struct UndoReport {
  size_t regionsRestored = 0;
  std::vector<uint32_t> recordsLeft;  // changed by another program since: left as that program wrote them
  std::vector<uint32_t> recordsKept;  // appended, and another program appended after them: completed, kept
  size_t entriesReconciled = 0;       // index entries removed or added to match the records as they are now
  bool indexRebuilt = false;          // the index had been changed since as well: its tags were built anew
};

// The records whose bytes the statement wrote, wholly or in part, ascending.
std::vector<uint32_t> RecordsTouched(const Journal& journal);
// Whether the statement wrote the table header (record count, date, autoincrement counters).
bool HeaderTouched(const Journal& journal);

std::string EncodeJournal(const Journal& journal);
// std::nullopt for bytes that are not one whole journal (its writing stopped part-way, or it is not ours).
std::optional<Journal> DecodeJournal(std::string_view bytes);

// The journal's place: beside the table, named after the table file, its extension in the letter case of
// the table file's ("M2401.DBF" -> "M2401.JNL", "m2401.dbf" -> "m2401.jnl").
std::filesystem::path JournalPathFor(const std::filesystem::path& tablePath);

}  // namespace vorel::dbf
