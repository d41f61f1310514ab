#include "dbf/table.h"

#include <algorithm>
#include <thread>

#include "dbf/byte_order.h"
#include "dbf/table_state.h"
#include "platform/code_page.h"
#include "platform/file_lookup.h"
#include "platform/path_text.h"

namespace vorel::dbf {

namespace {

constexpr size_t kScanBufferBytes = 1 << 20;
// How far ahead a scan's loop asks for records: about as far as memory answers while it tests the ones
// between.
constexpr uint32_t kPrefetchBytes = 5 << 10;

bool EndsWithDbf(std::string_view name) {
  if (name.size() < 4) return false;
  std::string_view tail = name.substr(name.size() - 4);
  return tail[0] == '.' && (tail[1] | 0x20) == 'd' && (tail[2] | 0x20) == 'b' && (tail[3] | 0x20) == 'f';
}

// Opens for reading and writing unless asked not to or the file allows reading only.
SharedFile OpenShared(const std::filesystem::path& path, bool readOnly, bool& writable) {
  if (!readOnly) {
    try {
      SharedFile file = SharedFile::Open(NarrowPath(path), SharedFile::Mode::kReadWrite);
      writable = true;
      return file;
    } catch (const FileAccessError&) {
      // fall back to reading; writes will say the table is read-only
    }
  }
  writable = false;
  return SharedFile::Open(NarrowPath(path), SharedFile::Mode::kRead);
}

// The stored header (record count etc.) and the file size must agree: every counted record must be there.
uint32_t CheckedRecordCount(const SharedFile& file, const TableLayout& layout, const std::string& name) {
  for (int attempt = 0;; ++attempt) {
    char header[kTableHeaderSize];
    if (file.ReadAt(0, header) < sizeof header)
      throw CorruptTableError("Table " + name + " is damaged: the header is truncated");
    if (LoadLe16(header + 8) != layout.headerLength || LoadLe16(header + 10) != layout.recordLength)
      throw TableFileError("Table " + name + " has changed its structure since it was opened");
    const uint32_t count = LoadLe32(header + 4);
    const uint64_t size = file.Size();
    const uint64_t needed = layout.headerLength + static_cast<uint64_t>(count) * layout.recordLength;
    if (size >= needed) return count;
    // Another program may be between writing the header and the record of an append: look once more.
    if (attempt == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      continue;
    }
    const uint64_t present =
        size < layout.headerLength ? 0 : (size - layout.headerLength) / layout.recordLength;
    throw CorruptTableError("Table " + name + " is damaged: the header counts " + std::to_string(count) +
                            " records but the file holds " + std::to_string(present));
  }
}

}  // namespace

TableScanner::TableScanner(const SharedFile& file, const TableLayout& layout, const std::string& tableName,
                           uint32_t count)
    : file_(&file),
      layout_(&layout),
      tableName_(&tableName),
      count_(count),
      recordLength_(layout.recordLength),
      prefetchAhead_(std::max<uint32_t>(kPrefetchBytes / layout.recordLength, 1) * layout.recordLength),
      buffer_(std::max<size_t>(kScanBufferBytes / layout.recordLength, 1) * layout.recordLength) {}

void TableScanner::Fill() {
  const size_t capacity = buffer_.size() / recordLength_;
  const size_t wanted = std::min<size_t>(capacity, count_ - nextRecno_ + 1);
  const size_t got =
      file_->ReadAt(layout_->RecordOffset(nextRecno_), std::span(buffer_.data(), wanted * recordLength_));
  bufferFirst_ = nextRecno_;
  bufferCount_ = static_cast<uint32_t>(got / recordLength_);
  if (bufferCount_ == 0)
    throw CorruptTableError("Table " + *tableName_ + " is damaged: the file ends inside record " +
                            std::to_string(nextRecno_));
}

Table::Table(std::unique_ptr<State> state) : state_(std::move(state)) {}
Table::Table(Table&&) noexcept = default;
Table& Table::operator=(Table&&) noexcept = default;
Table::~Table() = default;

Table Table::Open(const std::filesystem::path& folder, std::string_view name, const TableOptions& options) {
  std::string base(name);
  if (EndsWithDbf(base)) base.resize(base.size() - 4);
  if (!IsPlainFileName(base)) throw TableNotFoundError("Table " + std::string(name) + " does not exist");
  auto path = FindFileIgnoringCase(folder, base + ".dbf");
  if (!path)
    throw TableNotFoundError("Table " + std::string(name) + " does not exist in " + PathText(folder));

  auto state = std::make_unique<State>();
  state->name = std::string(name);
  state->path = *path;
  state->journalPath = JournalPathFor(*path);
  state->options = options;
  try {
    state->file = OpenShared(*path, options.readOnly, state->fileWritable);
  } catch (const FileAccessError& e) {
    throw TableFileError("Table " + state->name + " cannot be opened: " + e.what());
  }
  char first[kTableHeaderSize];
  const size_t got = state->file.ReadAt(0, first);
  const size_t headerLength = StoredHeaderLength(std::span<const char>(first, got), state->name);
  std::string header(std::max(headerLength, kTableHeaderSize), '\0');
  header.resize(state->file.ReadAt(0, header));
  state->layout = ParseTableLayout(header, state->name);

  if (state->layout.hasMemoFields()) {
    if (state->layout.version == 0x83) {
      state->memoProblem = "dBase III memo files (.dbt) are not supported";
    } else if (auto memoPath = FindCompanionFile(*path, "fpt")) {
      bool memoWritable = false;
      try {
        SharedFile memo = OpenShared(*memoPath, options.readOnly || !state->fileWritable, memoWritable);
        state->memo.emplace(std::move(memo), state->name);
      } catch (const FileAccessError& e) {
        state->memoProblem = e.what();
      }
    } else {
      state->memoProblem = "the memo file " + base + ".fpt is missing";
    }
  }
  // An interrupted write is undone before the record count is trusted.
  Table table(std::move(state));
  table.UndoInterruptedWrite();
  table.Refresh();
  return table;
}

const std::string& Table::name() const {
  return state_->name;
}
const std::filesystem::path& Table::path() const {
  return state_->path;
}
const TableLayout& Table::layout() const {
  return state_->layout;
}
uint32_t Table::recordCount() const {
  return state_->layout.recordCount;
}

const Field* Table::FindField(std::string_view fieldName) const {
  return state_->layout.FindField(fieldName);
}

const Field& Table::GetField(std::string_view fieldName) const {
  if (const Field* f = FindField(fieldName)) return *f;
  throw FieldValueError("Table " + state_->name + " has no field " + std::string(fieldName));
}

uint32_t Table::Refresh() {
  state_->layout.recordCount = CheckedRecordCount(state_->file, state_->layout, state_->name);
  return state_->layout.recordCount;
}

TableScanner Table::Scan() {
  const uint32_t count = Refresh();
  return TableScanner(state_->file, state_->layout, state_->name, count);
}

bool Table::ReadRecord(uint32_t recno, std::string& out) {
  if (recno == 0) return false;
  if (recno > state_->layout.recordCount && recno > Refresh()) return false;
  out.resize(state_->layout.recordLength);
  if (state_->file.ReadAt(state_->layout.RecordOffset(recno), out) < out.size())
    throw CorruptTableError("Table " + state_->name + " is damaged: the file ends inside record " +
                            std::to_string(recno));
  return true;
}

std::string Table::ReadMemo(const Field& field, std::string_view record) {
  const uint32_t block = DecodeMemoBlock(field, record);
  if (block == 0) return {};
  if (!state_->memo) throw TableFileError("Table " + state_->name + ": " + state_->memoProblem);
  return state_->memo->Read(block);
}

std::string Table::ReadMemoAnsi(const Field& field, std::string_view record) {
  std::string value = ReadMemo(field, record);
  return field.oemText ? OemToAnsi(value) : value;
}

}  // namespace vorel::dbf
