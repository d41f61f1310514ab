#pragma once

#include <cstdint>
#include <span>
#include <string_view>

// Who hears of the records a statement has written, once its changes are made: the bytes of each record
// before and after, taken from the same staged write that went through the table's journal.
namespace vorel::dbf {

class Table;

struct WrittenRecord {
  uint32_t recno = 0;
  std::string_view before;  // empty for an appended record
  std::string_view after;
};

class WriteObserver {
 public:
  virtual ~WriteObserver() = default;
  // Called once per statement that wrote records, after they are on disk; must not throw (the write has
  // been made whatever it does).
  virtual void RecordsWritten(const Table& table, std::span<const WrittenRecord> records) noexcept = 0;
};

}  // namespace vorel::dbf
