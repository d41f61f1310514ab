#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/cdx_file.h"
#include "dbf/held_locks.h"
#include "dbf/key_expression.h"
#include "dbf/table_layout.h"

// The structural index of a table as its writers keep it: every tag's key and FOR expression bound to the
// table's fields, and the changes of a write applied under the index lock.
namespace vorel::dbf {

struct RecordChangeForIndex {
  uint32_t recno = 0;
  std::string_view before;  // empty for a new record
  std::string_view after;
};

class TableIndex {
 public:
  // Opens <table>.cdx for writing and binds every tag. IndexedTableWriteError naming the table and the tag
  // when the index is missing or a tag's expression cannot be evaluated.
  TableIndex(const std::filesystem::path& dbfPath, const std::string& tableName, const TableLayout& layout,
             const KeyExpressionCompiler& compiler);

  // Under the index lock (byte 0x7FFFFFFE of the .cdx): checks that every old entry is there and that no
  // candidate key would appear twice (FieldValueError "Uniqueness of index ... is violated"), then removes
  // the old entries, inserts the new ones and bumps the change counter. Nothing is changed when a check
  // fails.
  void Apply(const std::vector<RecordChangeForIndex>& changes, const LockTiming& timing);

 private:
  struct BoundTag {
    std::string name;
    std::unique_ptr<KeyExpression> key;
    std::unique_ptr<KeyExpression> filter;
    char pad = ' ';
    bool dateTimeKey = false;  // VFP's datetime keys may lie one unit in the last place below ours
  };
  std::string tableName_;
  std::unique_ptr<CdxFile> cdx_;
  std::vector<BoundTag> bound_;
};

}  // namespace vorel::dbf
