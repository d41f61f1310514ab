#include "dbf/index_seek.h"

#include "dbf/dbf_errors.h"
#include "dbf/field_encode.h"
#include "dbf/file_lookup.h"
#include "dbf/index_key.h"

namespace vorel::dbf {

IndexReader::IndexReader(const Table& table, const KeyExpressionCompiler& compiler) {
  const auto path = FindFileIgnoringCase(table.path().parent_path(), table.path().stem().string() + ".cdx");
  if (!path) throw TableFileError("Table " + table.name() + " has no structural index");
  cdx_ = std::make_unique<CdxFile>(SharedFile::Open(path->string(), SharedFile::Mode::kRead), table.name());
  const TableLayout& layout = table.layout();
  std::string blank(layout.recordLength, ' ');
  for (const Field& f : layout.allFields) EncodeBlank(f, blank);
  for (const CdxTag& t : cdx_->tags()) {
    tags_.push_back(
        {t.name, t.keyExpression, t.forExpression, t.candidate(), t.descending, t.keyLength, t.collation});
    auto key = compiler.Compile(layout, t.keyExpression);
    const bool character = key ? IsCharacterKey(key->Evaluate(blank))
                               : !(t.keyLength == 1 || t.keyLength == 4 || t.keyLength == 8);
    pads_.push_back(CdxFile::PadByte(t, character));
  }
}

const CdxTag& IndexReader::Tag(std::string_view name) const {
  if (const CdxTag* t = cdx_->FindTag(name)) return *t;
  throw TableFileError("Index of table " + cdx_->tableName() + " has no tag " + std::string(name));
}

std::string IndexReader::KeyOf(std::string_view tag, const KeyValue& value) const {
  return EncodeKey(Tag(tag), value);
}

void IndexReader::SeekFrom(std::string_view tag, const KeyValue& value,
                           const std::function<bool(uint32_t, std::string_view)>& visit) {
  const CdxTag& t = Tag(tag);
  const size_t index = static_cast<size_t>(&t - cdx_->tags().data());
  cdx_->SeekFrom(t, pads_[index], EncodeKey(t, value),
                 [&](const CdxEntry& e) { return visit(e.recno, e.key); });
}

std::vector<uint32_t> IndexReader::SeekEqual(std::string_view tag, const KeyValue& value) {
  const std::string key = KeyOf(tag, value);
  std::vector<uint32_t> recnos;
  SeekFrom(tag, value, [&](uint32_t recno, std::string_view stored) {
    if (stored != key) return false;
    recnos.push_back(recno);
    return true;
  });
  return recnos;
}

}  // namespace vorel::dbf
