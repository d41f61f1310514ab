#include <algorithm>
#include <cstring>

#include "dbf/byte_order.h"
#include "dbf/key_expression.h"
#include "dbf/table.h"
#include "dbf/table_changes.h"
#include "dbf/table_state.h"
#include "platform/code_page.h"

namespace vorel::dbf {

bool Table::writable() {
  try {
    CheckWritable();
    return true;
  } catch (const Error&) {
    return false;
  }
}

void Table::CheckWritable() {
  State& s = *state_;
  if (!s.fileWritable)
    throw TableFileError("Table " + s.name + " is open for reading only; nothing was written");
  if (s.recoveryPending) {
    UndoInterruptedWrite();
    if (s.recoveryPending)
      throw TableFileError("Table " + s.name +
                           " has a write that stopped part-way and cannot be undone yet (" +
                           s.recoveryProblem + "); nothing was written");
  }
  if (s.layout.hasStructuralIndex() && !s.index) {
    const BasicKeyExpressionCompiler basic;
    s.index = std::make_unique<TableIndex>(s.path, s.name, s.layout,
                                           s.options.keyCompiler ? *s.options.keyCompiler : basic);
  }
}

size_t Table::UpdateRecords(std::span<const uint32_t> recnos, const RecordChange& change) {
  CheckWritable();
  State& s = *state_;
  std::vector<uint32_t> order(recnos.begin(), recnos.end());
  std::sort(order.begin(), order.end());
  order.erase(std::unique(order.begin(), order.end()), order.end());
  const uint32_t count = Refresh();
  std::erase_if(order, [&](uint32_t n) { return n == 0 || n > count; });
  if (order.empty()) return 0;

  // Ascending order, as every cooperating writer does, so that two writers cannot deadlock.
  TableChanges changes(s);
  LockRecords(s.lockTarget(), changes.locks(), order, s.options.tableLockPast);

  const size_t length = s.layout.recordLength;
  std::string fresh(length, '\0');
  std::string changed(order.size() * length, '\0');
  std::string originals(order.size() * length, '\0');
  std::vector<size_t> toWrite;
  size_t accepted = 0;
  for (size_t i = 0; i < order.size(); ++i) {
    if (s.file.ReadAt(s.layout.RecordOffset(order[i]), fresh) < length)
      throw CorruptTableError("Table " + s.name + " is damaged: the file ends inside record " +
                              std::to_string(order[i]));
    std::span<char> slot(changed.data() + i * length, length);
    std::memcpy(slot.data(), fresh.data(), length);
    std::memcpy(originals.data() + i * length, fresh.data(), length);
    if (!change(order[i], fresh, slot)) continue;
    ++accepted;
    if (std::memcmp(slot.data(), fresh.data(), length) != 0) toWrite.push_back(i);
  }
  // Every record was checked and computed, and the index changes checked, before the first byte is written.
  if (s.index && !toWrite.empty()) {
    std::vector<RecordChangeForIndex> entries;
    for (size_t i : toWrite)
      entries.push_back({order[i], std::string_view(originals.data() + i * length, length),
                         std::string_view(changed.data() + i * length, length)});
    s.index->Stage(entries, *changes.index(), changes.locks(), s.timing());
  }
  for (size_t i : toWrite)
    changes.table().WriteAt(s.layout.RecordOffset(order[i]),
                            std::span<const char>(changed.data() + i * length, length));
  changes.Commit();
  if (s.options.observer && !toWrite.empty()) {
    std::vector<WrittenRecord> written;
    written.reserve(toWrite.size());
    for (size_t i : toWrite)
      written.push_back({order[i], std::string_view(originals.data() + i * length, length),
                         std::string_view(changed.data() + i * length, length)});
    s.options.observer->RecordsWritten(*this, written);
  }
  return accepted;
}

bool Table::UpdateRecord(uint32_t recno, const RecordChange& change) {
  return UpdateRecords(std::span<const uint32_t>(&recno, 1), change) > 0;
}

void Table::SetDeleted(uint32_t recno, bool deleted) {
  const bool found = UpdateRecord(recno, [&](uint32_t, std::string_view, std::span<char> record) {
    record[0] = deleted ? kRecordDeleted : kRecordActive;
    return true;
  });
  if (!found) throw TableFileError("Table " + state_->name + " has no record " + std::to_string(recno));
}

uint32_t Table::AppendRecord(const std::function<void(std::span<char> record)>& fill) {
  CheckWritable();
  State& s = *state_;
  TableLayout& layout = s.layout;
  TableChanges changes(s);
  LockHeader(s.lockTarget(), changes.locks());

  // Under the header lock the header and the file size are settled: count the records afresh.
  std::string header(layout.headerLength, '\0');
  if (s.file.ReadAt(0, header) < header.size())
    throw CorruptTableError("Table " + s.name + " is damaged: the header is truncated");
  if (LoadLe16(&header[8]) != layout.headerLength || LoadLe16(&header[10]) != layout.recordLength)
    throw TableFileError("Table " + s.name + " has changed its structure since it was opened");
  const uint32_t headerCount = LoadLe32(&header[4]);
  const uint64_t size = s.file.Size();
  const uint64_t fileCount =
      size < layout.headerLength ? 0 : (size - layout.headerLength) / layout.recordLength;
  if (headerCount > fileCount)
    throw CorruptTableError("Table " + s.name + " is damaged: the header counts " +
                            std::to_string(headerCount) + " records but the file holds " +
                            std::to_string(fileCount));
  const uint64_t recno64 = fileCount + 1;
  // Records must stay below the lock bytes (VFP's 2 GB limit).
  if (layout.headerLength + recno64 * layout.recordLength + 1 >= kVfpLockBase - recno64)
    throw TableFileError("Table " + s.name + " is full; nothing was written");
  const auto recno = static_cast<uint32_t>(recno64);

  std::string record(layout.recordLength, '\0');
  std::span<char> bytes(record);
  record[0] = kRecordActive;
  for (const Field& f : layout.allFields)
    if (f.type != FieldType::kNullFlags) EncodeBlank(f, bytes);
  // Autoincrement fields take the counter stored in their descriptor; the descriptor keeps counter + step.
  std::vector<std::pair<size_t, uint32_t>> counters;
  for (size_t i = 0; i < layout.allFields.size(); ++i) {
    const Field& f = layout.allFields[i];
    if (!f.autoIncrement() || f.type != FieldType::kInteger) continue;
    const size_t at = kTableHeaderSize + i * kFieldDescriptorSize;
    const uint32_t next = LoadLe32(&header[at + 19]);
    const auto step = static_cast<uint8_t>(header[at + 23]);
    EncodeInteger(f, static_cast<int32_t>(next), bytes);
    counters.emplace_back(at + 19, next + step);
  }
  fill(bytes);

  LockRecord(s.lockTarget(), changes.locks(), recno);
  if (s.index)
    s.index->Stage({{recno, std::string_view(), record}}, *changes.index(), changes.locks(), s.timing());
  record += kEndOfFile;
  changes.table().WriteAt(layout.RecordOffset(recno), record);
  for (auto [at, value] : counters) {
    char counter[4];
    StoreLe32(counter, value);
    changes.table().WriteAt(at, counter);
  }
  const LocalDateTime today = s.options.clock ? s.options.clock->LocalNow() : SystemClock().LocalNow();
  char stamp[7];
  stamp[0] = static_cast<char>(layout.isVisualFoxPro() ? today.year % 100 : today.year - 1900);
  stamp[1] = static_cast<char>(today.month);
  stamp[2] = static_cast<char>(today.day);
  StoreLe32(stamp + 3, recno);
  changes.table().WriteAt(1, stamp);
  changes.Commit();
  layout.recordCount = recno;
  if (s.options.observer) {
    const WrittenRecord appended{recno, {}, std::string_view(record).substr(0, layout.recordLength)};
    s.options.observer->RecordsWritten(*this, std::span<const WrittenRecord>(&appended, 1));
  }
  return recno;
}

void Table::SetStructuralIndexFlag() {
  State& s = *state_;
  if (!s.fileWritable)
    throw TableFileError("Table " + s.name + " is open for reading only; nothing was written");
  HeldLocks locks;
  LockHeader(s.lockTarget(), locks);
  char flags;
  if (s.file.ReadAt(28, std::span<char>(&flags, 1)) < 1)
    throw CorruptTableError("Table " + s.name + " is damaged: the header is truncated");
  flags = static_cast<char>(flags | kTableHasStructuralIndex);
  s.file.WriteAt(28, std::span<const char>(&flags, 1));
  s.file.Sync();
  s.layout.tableFlags = static_cast<uint8_t>(flags);
}

void Table::WriteMemo(const Field& field, std::string_view value, std::span<char> record) {
  CheckWritable();
  if (!field.isMemo())
    throw FieldValueError("Data type mismatch: field " + field.name + " is not a memo field");
  if (value.empty()) {
    EncodeMemoBlock(field, 0, record);
    return;
  }
  State& s = *state_;
  if (!s.memo) throw TableFileError("Table " + s.name + ": " + s.memoProblem);
  if (!s.changes)
    throw TableFileError("Table " + s.name + ": a memo value is written only as part of a record");
  const uint32_t type = field.type == FieldType::kMemo      ? kMemoTypeText
                        : field.type == FieldType::kPicture ? 0
                                                            : 2;
  EncodeMemoBlock(field, s.memo->Append(type, value, *s.changes->memo(), s.changes->locks(), s.timing()),
                  record);
}

void Table::WriteMemoAnsi(const Field& field, std::string_view ansiText, std::span<char> record) {
  if (field.oemText)
    WriteMemo(field, AnsiToOem(ansiText), record);
  else
    WriteMemo(field, ansiText, record);
}

}  // namespace vorel::dbf
