#include <system_error>

#include "dbf/memo_file.h"
#include "dbf/table.h"
#include "platform/file_lookup.h"
#include "platform/path_text.h"

namespace vorel::dbf {

Table Table::Create(const std::filesystem::path& folder, std::string_view name,
                    std::span<const FieldSpec> fields, const CreateOptions& createOptions,
                    const TableOptions& options) {
  const std::string base(name);
  if (!IsPlainFileName(base)) throw TableFileError("Invalid table name " + base);
  if (FindFileIgnoringCase(folder, base + ".dbf"))
    throw TableFileError("Table " + base + " already exists in " + PathText(folder));
  const LocalDateTime today =
      createOptions.clock ? createOptions.clock->LocalNow() : SystemClock().LocalNow();
  std::string header =
      BuildTableHeader(fields, createOptions.codePageMark, today.year, today.month, today.day);
  const bool memo = (header[28] & kTableHasMemo) != 0;
  const std::filesystem::path memoPath = folder / FileSystemPath(base + ".fpt");
  try {
    if (memo) {
      if (FindFileIgnoringCase(folder, base + ".fpt"))
        throw TableFileError("Memo file " + base + ".fpt already exists in " + PathText(folder));
      MemoFile::Create(NarrowPath(memoPath), createOptions.memoBlockSize);
    }
    SharedFile file = SharedFile::CreateNew(NarrowPath(folder / FileSystemPath(base + ".dbf")));
    header += kEndOfFile;
    file.WriteAt(0, header);
    file.Sync();
  } catch (const FileAccessError& e) {
    std::error_code ec;
    if (memo) std::filesystem::remove(memoPath, ec);
    throw TableFileError("Table " + base + " cannot be created: " + e.what());
  }
  return Open(folder, base, options);
}

}  // namespace vorel::dbf
