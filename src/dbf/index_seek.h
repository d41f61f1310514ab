#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/cdx_file.h"
#include "dbf/held_locks.h"
#include "dbf/key_expression.h"
#include "dbf/table.h"

// Finding records through a table's structural index: equality and range seeks on a tag, for the SQL layer to
// use when a condition compares a tag's exact key expression with a value.
namespace vorel::dbf {

struct IndexTagInfo {
  std::string name;
  std::string keyExpression;
  std::string forExpression;  // a tag with a FOR clause holds only some records
  bool candidate = false;
  bool unique = false;    // holds only the first record of each key value
  bool nullable = false;  // keys carry the NULL prefix byte
  bool descending = false;
  uint16_t keyLength = 0;
  std::string collation;
};

class IndexReader {
 public:
  // Opens <table>.cdx for reading; TableFileError when the table has none. Expressions are bound with
  // `compiler` to tell character tags (blank-padded keys) from the others.
  IndexReader(const Table& table, const KeyExpressionCompiler& compiler);

  const std::vector<IndexTagInfo>& tags() const { return tags_; }

  // Record numbers whose key equals the key of `value` for the tag, in index order (equal keys by record
  // number). Character values are padded to the key length, as VFP compares keys.
  std::vector<uint32_t> SeekEqual(std::string_view tag, const KeyValue& value);
  // Entries from the first key >= `value` on, in index order, until `visit` returns false. `visit` gets the
  // record number and the stored key bytes.
  void SeekFrom(std::string_view tag, const KeyValue& value,
                const std::function<bool(uint32_t recno, std::string_view key)>& visit);
  // The key bytes `value` has in the tag.
  std::string KeyOf(std::string_view tag, const KeyValue& value) const;
  // The tag as its header describes it.
  const CdxTag& RawTag(std::string_view tag) const { return Tag(tag); }

  // Record numbers of the entries whose keys lie between `low` and `high` (full-length keys, both included),
  // in index order, until `visit` returns false. Reads under a shared index lock, so that no writer changes
  // the tree meanwhile; false when that lock could not be had within `timing`.
  bool SeekRange(std::string_view tag, std::string_view low, std::string_view high,
                 const std::function<bool(uint32_t recno)>& visit, const LockTiming& timing);

 private:
  const CdxTag& Tag(std::string_view name) const;
  char PadOf(std::string_view name) const;
  std::unique_ptr<CdxFile> cdx_;
  std::vector<IndexTagInfo> tags_;
  std::vector<char> pads_;
};

}  // namespace vorel::dbf
