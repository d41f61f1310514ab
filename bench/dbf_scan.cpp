// Full scan of an appointment table of 1,000,000 records of about 150 bytes (the shape of m2401), decoding a
// date, a numeric and two character fields per record (dates in runs of 500, as a schedule holds a day's
// slots together), against a plain sequential read() of the same file
// through a reused 1 MB buffer in the same run. The table is built once in a temporary folder.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "dbf/byte_order.h"
#include "dbf/field_readers.h"
#include "dbf/table.h"
#include "platform/calendar.h"

namespace {

using namespace vorel::dbf;

constexpr uint32_t kRecords = 1'000'000;

class SlotTable {
 public:
  SlotTable() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vorel_bench_XXXXXX").string();
    folder_ = mkdtemp(pattern.data());
    const std::vector<FieldSpec> specs = {
        {"kw", FieldType::kNumeric, 5},         {"dat", FieldType::kDate},
        {"tim", FieldType::kCharacter, 5},      {"kl", FieldType::kNumeric, 10},
        {"fiol", FieldType::kCharacter, 40},    {"polis", FieldType::kCharacter, 16},
        {"ist_zap", FieldType::kCharacter, 10}, {"filtr", FieldType::kNumeric, 1},
        {"phone", FieldType::kCharacter, 15},   {"fam_reg", FieldType::kCharacter, 10},
        {"dt_zap", FieldType::kDateTime},       {"data_naz", FieldType::kDate},
        {"ntal", FieldType::kNumeric, 5},       {"tel", FieldType::kCharacter, 10}};
    Table t = Table::Create(folder_, "m2401", specs);
    const TableLayout& layout = t.layout();
    recordLength_ = layout.recordLength;
    // Records are encoded in memory and written in one go; appending a million records one by one under
    // locks would only measure the set-up.
    std::string body(static_cast<size_t>(kRecords) * recordLength_, ' ');
    const int64_t first = vorel::JulianDayFromCivil(2020, 1, 1);
    for (uint32_t i = 0; i < kRecords; ++i) {
      std::span<char> r(body.data() + static_cast<size_t>(i) * recordLength_, recordLength_);
      for (const Field& f : layout.fields) EncodeBlank(f, r);
      EncodeInteger(t.GetField("kw"), i % 400, r);
      EncodeDate(t.GetField("dat"), first + i / 500, r);
      EncodeText(t.GetField("tim"), (i % 2) ? "08:30" : "14:15", r);
      if (i % 3 == 0) {
        EncodeInteger(t.GetField("kl"), 1000000 + i, r);
        EncodeText(t.GetField("fiol"), "IVANOV IVAN IVANOVICH", r);
        EncodeText(t.GetField("polis"), "7700123456789012", r);
      }
    }
    std::string header(layout.headerLength, '\0');
    std::ifstream(t.path(), std::ios::binary).read(header.data(), layout.headerLength);
    StoreLe32(&header[4], kRecords);
    std::ofstream out(t.path(), std::ios::binary | std::ios::trunc);
    out.write(header.data(), header.size());
    out.write(body.data(), static_cast<std::streamsize>(body.size()));
    out.put(kEndOfFile);
    path_ = t.path();
  }
  ~SlotTable() {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
  const std::filesystem::path& folder() const { return folder_; }
  const std::filesystem::path& path() const { return path_; }
  size_t fileSize() const { return std::filesystem::file_size(path_); }

 private:
  std::filesystem::path folder_, path_;
  size_t recordLength_ = 0;
};

const SlotTable& Slots() {
  static SlotTable table;
  return table;
}

// Baseline: open the file and read() it whole through one reused 1 MB buffer, touching nothing.
void BM_PlainSequentialRead(benchmark::State& state) {
  const SlotTable& slots = Slots();
  std::vector<char> buffer(1 << 20);
  for (auto _ : state) {
    int fd = open(slots.path().c_str(), O_RDONLY);
    size_t total = 0;
    ssize_t n;
    while ((n = read(fd, buffer.data(), buffer.size())) > 0) total += static_cast<size_t>(n);
    close(fd);
    benchmark::DoNotOptimize(total);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kRecords);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * slots.fileSize()));
}

// Second baseline: the same reads, touching the first bytes of every record (the page-cache copy is not all
// that a scan pays: each record's cache line has to come in once).
void BM_PlainReadTouchingRecords(benchmark::State& state) {
  const SlotTable& slots = Slots();
  Table t = Table::Open(slots.folder(), "m2401");
  const size_t headerLength = t.layout().headerLength, recordLength = t.layout().recordLength;
  std::vector<char> buffer(((1 << 20) / recordLength) * recordLength);
  for (auto _ : state) {
    int fd = open(slots.path().c_str(), O_RDONLY);
    size_t sum = 0;
    ssize_t n;
    uint64_t offset = headerLength;
    while ((n = pread(fd, buffer.data(), buffer.size(), static_cast<off_t>(offset))) > 0) {
      offset += static_cast<uint64_t>(n);
      for (size_t at = 0; at + recordLength <= static_cast<size_t>(n); at += recordLength)
        sum += static_cast<unsigned char>(buffer[at + 6]);
    }
    close(fd);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kRecords);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * slots.fileSize()));
}

// Open the table afresh (as each statement does) and scan every record, decoding dat, kw, tim and fiol: the
// date through a DateReader (a run of equal dates is decoded once, as a scan of the schedule reads it).
void BM_TableScanDecode(benchmark::State& state) {
  const SlotTable& slots = Slots();
  for (auto _ : state) {
    Table t = Table::Open(slots.folder(), "m2401");
    DateReader dat(t.GetField("dat"));
    const Field& kw = t.GetField("kw");
    const Field& tim = t.GetField("tim");
    const Field& fiol = t.GetField("fiol");
    int64_t days = 0;
    double kws = 0;
    size_t text = 0;
    TableScanner scan = t.Scan();
    RecordRef rec;
    while (scan.Next(rec)) {
      if (rec.deleted) continue;
      days += dat(rec.bytes).value_or(0);
      kws += DecodeNumeric(kw, rec.bytes).value;
      text += static_cast<unsigned char>(DecodeText(tim, rec.bytes)[1]);
      text += DecodeText(fiol, rec.bytes)[0] != ' ';
    }
    benchmark::DoNotOptimize(days);
    benchmark::DoNotOptimize(kws);
    benchmark::DoNotOptimize(text);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kRecords);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * slots.fileSize()));
}

// The same scan with every date decoded afresh (DecodeDate on each record).
void BM_TableScanDecodeEachDate(benchmark::State& state) {
  const SlotTable& slots = Slots();
  for (auto _ : state) {
    Table t = Table::Open(slots.folder(), "m2401");
    const Field& dat = t.GetField("dat");
    const Field& kw = t.GetField("kw");
    const Field& tim = t.GetField("tim");
    const Field& fiol = t.GetField("fiol");
    int64_t days = 0;
    double kws = 0;
    size_t text = 0;
    TableScanner scan = t.Scan();
    RecordRef rec;
    while (scan.Next(rec)) {
      if (rec.deleted) continue;
      days += DecodeDate(dat, rec.bytes).value_or(0);
      kws += DecodeNumeric(kw, rec.bytes).value;
      text += static_cast<unsigned char>(DecodeText(tim, rec.bytes)[1]);
      text += DecodeText(fiol, rec.bytes)[0] != ' ';
    }
    benchmark::DoNotOptimize(days);
    benchmark::DoNotOptimize(kws);
    benchmark::DoNotOptimize(text);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kRecords);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * slots.fileSize()));
}

// The scanner alone: every record handed out, nothing decoded.
void BM_TableScanOnly(benchmark::State& state) {
  const SlotTable& slots = Slots();
  for (auto _ : state) {
    Table t = Table::Open(slots.folder(), "m2401");
    TableScanner scan = t.Scan();
    RecordRef rec;
    size_t live = 0;
    while (scan.Next(rec)) live += rec.deleted ? 0 : 1;
    benchmark::DoNotOptimize(live);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kRecords);
}

BENCHMARK(BM_PlainSequentialRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainReadTouchingRecords)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TableScanOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TableScanDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TableScanDecodeEachDate)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
