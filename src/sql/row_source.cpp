#include "sql/row_source.h"

namespace vorel::sql {

RowSource::RowSource(dbf::Table& table, Expr* where, const EvalEnv& env, const ExecutionOptions& options)
    : table_(table) {
  if (options.indexUse != IndexUse::kNever && where && table.layout().hasStructuralIndex()) {
    const uint32_t count = table.Refresh();
    IndexSeekOptions seek;
    seek.use = options.indexUse;
    seek.timing.wait = options.lockWait;
    if (auto recnos = FindIndexCandidates(table, where, env, count, seek)) {
      recnos_ = std::move(*recnos);
      return;
    }
  }
  scanner_.emplace(table.Scan());
}

bool RowSource::Next(dbf::RecordRef& record) {
  if (scanner_) return scanner_->Next(record);
  while (next_ < recnos_.size()) {
    const uint32_t recno = recnos_[next_++];
    if (!table_.ReadRecord(recno, buffer_)) continue;
    record.recno = recno;
    record.deleted = buffer_[0] == dbf::kRecordDeleted;
    record.bytes = buffer_;
    return true;
  }
  return false;
}

}  // namespace vorel::sql
