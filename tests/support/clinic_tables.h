#pragma once

// Builders and readers of the reception desk tables m1005 (patients) and m2401 (appointment slots) for
// tests and benchmarks: real VFP table files, written in one go.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "dbf/field_decode.h"
#include "dbf/field_encode.h"
#include "dbf/table.h"
#include "dbf/table_layout.h"
#include "platform/calendar.h"

namespace vorel::testing_support {

// Writes a whole table file: header, `count` records filled by `fill(i, record)`, end-of-file mark.
inline void WriteTable(const std::filesystem::path& file, const std::vector<dbf::FieldSpec>& specs,
                       size_t count,
                       const std::function<void(size_t, const dbf::TableLayout&, std::span<char>)>& fill) {
  std::string header = dbf::BuildTableHeader(specs, dbf::kCodePage1251, 2026, 12, 1);
  const dbf::TableLayout layout = dbf::ParseTableLayout(header, "test");
  const auto n = static_cast<uint32_t>(count);
  for (int b = 0; b < 4; ++b) header[4 + b] = static_cast<char>((n >> (8 * b)) & 0xFF);
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(header.data(), static_cast<std::streamsize>(header.size()));
  std::string record(layout.recordLength, ' ');
  std::string block;
  for (size_t i = 0; i < count; ++i) {
    record[0] = dbf::kRecordActive;
    for (const dbf::Field& f : layout.fields) dbf::EncodeBlank(f, record);
    fill(i, layout, record);
    block += record;
    if (block.size() > (1 << 20)) {
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
      block.clear();
    }
  }
  block += dbf::kEndOfFile;
  out.write(block.data(), static_cast<std::streamsize>(block.size()));
}

inline const dbf::Field& FieldOf(const dbf::TableLayout& layout, std::string_view name) {
  return *layout.FindField(name);
}

struct PatientRow {
  std::string npol;
  int64_t kl = 0;
  std::string fiol;
  std::string im;
  std::string ot;
  std::string uch;
  int64_t lpu1 = 0;
  int64_t probc = 0;
  std::optional<CivilDate> data_r;
};

inline void WriteM1005(const std::filesystem::path& folder, size_t count,
                       const std::function<PatientRow(size_t)>& row) {
  const std::vector<dbf::FieldSpec> specs = {
      {"npol", dbf::FieldType::kCharacter, 20}, {"kl", dbf::FieldType::kNumeric, 10},
      {"fiol", dbf::FieldType::kCharacter, 30}, {"im", dbf::FieldType::kCharacter, 20},
      {"ot", dbf::FieldType::kCharacter, 20},   {"uch", dbf::FieldType::kCharacter, 5},
      {"lpu1", dbf::FieldType::kNumeric, 6},    {"probc", dbf::FieldType::kNumeric, 4},
      {"data_r", dbf::FieldType::kDate, 8}};
  WriteTable(folder / "m1005.dbf", specs, count,
             [&](size_t i, const dbf::TableLayout& l, std::span<char> rec) {
               const PatientRow r = row(i);
               dbf::EncodeText(FieldOf(l, "npol"), r.npol, rec);
               dbf::EncodeInteger(FieldOf(l, "kl"), r.kl, rec);
               dbf::EncodeText(FieldOf(l, "fiol"), r.fiol, rec);
               dbf::EncodeText(FieldOf(l, "im"), r.im, rec);
               dbf::EncodeText(FieldOf(l, "ot"), r.ot, rec);
               dbf::EncodeText(FieldOf(l, "uch"), r.uch, rec);
               dbf::EncodeInteger(FieldOf(l, "lpu1"), r.lpu1, rec);
               dbf::EncodeInteger(FieldOf(l, "probc"), r.probc, rec);
               if (r.data_r)
                 dbf::EncodeDate(FieldOf(l, "data_r"),
                                 JulianDayFromCivil(r.data_r->year, r.data_r->month, r.data_r->day), rec);
             });
}

inline void WriteM1005(const std::filesystem::path& folder, const std::vector<PatientRow>& rows) {
  WriteM1005(folder, rows.size(), [&](size_t i) { return rows[i]; });
}

// One row of m2401 with every column the bookings and cancellations read or write.
struct SlotRow {
  int64_t kw = 0;
  std::optional<CivilDate> dat;
  std::string tim;
  int64_t kl = 0;
  std::string polis;
  std::string fiol;
  std::string ist_zap;
  std::string filtr;
  std::string phone;
  std::string fam_reg;
  std::optional<dbf::DateTimeValue> dt_zap;
  std::optional<dbf::DateTimeValue> data_naz;
  int64_t ntal = 0;
  int64_t tel = 0;
  bool operator==(const SlotRow&) const = default;
};

inline std::vector<dbf::FieldSpec> M2401Fields() {
  return {{"kw", dbf::FieldType::kNumeric, 6},         {"dat", dbf::FieldType::kDate, 8},
          {"tim", dbf::FieldType::kCharacter, 5},      {"kl", dbf::FieldType::kNumeric, 10},
          {"polis", dbf::FieldType::kCharacter, 20},   {"fiol", dbf::FieldType::kCharacter, 40},
          {"ist_zap", dbf::FieldType::kCharacter, 10}, {"filtr", dbf::FieldType::kCharacter, 10},
          {"phone", dbf::FieldType::kCharacter, 15},   {"fam_reg", dbf::FieldType::kCharacter, 20},
          {"dt_zap", dbf::FieldType::kDateTime, 8},    {"data_naz", dbf::FieldType::kDateTime, 8},
          {"ntal", dbf::FieldType::kNumeric, 6},       {"tel", dbf::FieldType::kNumeric, 2}};
}

inline void EncodeSlot(const SlotRow& r, const dbf::TableLayout& l, std::span<char> rec) {
  dbf::EncodeInteger(FieldOf(l, "kw"), r.kw, rec);
  if (r.dat)
    dbf::EncodeDate(FieldOf(l, "dat"), JulianDayFromCivil(r.dat->year, r.dat->month, r.dat->day), rec);
  dbf::EncodeText(FieldOf(l, "tim"), r.tim, rec);
  dbf::EncodeInteger(FieldOf(l, "kl"), r.kl, rec);
  dbf::EncodeText(FieldOf(l, "polis"), r.polis, rec);
  dbf::EncodeText(FieldOf(l, "fiol"), r.fiol, rec);
  dbf::EncodeText(FieldOf(l, "ist_zap"), r.ist_zap, rec);
  dbf::EncodeText(FieldOf(l, "filtr"), r.filtr, rec);
  dbf::EncodeText(FieldOf(l, "phone"), r.phone, rec);
  dbf::EncodeText(FieldOf(l, "fam_reg"), r.fam_reg, rec);
  dbf::EncodeDateTime(FieldOf(l, "dt_zap"), r.dt_zap, rec);
  dbf::EncodeDateTime(FieldOf(l, "data_naz"), r.data_naz, rec);
  dbf::EncodeInteger(FieldOf(l, "ntal"), r.ntal, rec);
  dbf::EncodeInteger(FieldOf(l, "tel"), r.tel, rec);
}

inline void WriteM2401(const std::filesystem::path& folder, size_t count,
                       const std::function<SlotRow(size_t)>& row) {
  WriteTable(folder / "m2401.dbf", M2401Fields(), count,
             [&](size_t i, const dbf::TableLayout& l, std::span<char> rec) { EncodeSlot(row(i), l, rec); });
}

inline void WriteM2401(const std::filesystem::path& folder, const std::vector<SlotRow>& rows) {
  WriteM2401(folder, rows.size(), [&](size_t i) { return rows[i]; });
}

// 600 slots over 12 days from 2026-12-10 (kw 1000..1299, times 08:00, 08:30, 09:00, 11:30), every ninth
// booked by a patient 20..24 ("Busy"): the schedule the indexed booking and crash tests start from.
inline std::vector<SlotRow> SpreadSlotRows() {
  const char* times[] = {"08:00", "08:30", "09:00", "11:30"};
  std::vector<SlotRow> rows;
  for (int i = 0; i < 600; ++i) {
    SlotRow r;
    r.kw = 1000 + (i * 7) % 300;
    r.dat = CivilFromJulianDay(JulianDayFromCivil(2026, 12, 10) + i % 12);
    r.tim = times[(i / 12) % 4];
    r.ist_zap = 'i';
    r.filtr = 'f';
    if (i % 9 == 0) {
      r.kl = 20 + i % 5;
      r.fiol = "Busy";
    }
    rows.push_back(r);
  }
  return rows;
}

inline std::string TrimmedRight(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return std::string(text);
}

// Every record of m2401 as stored (texts without their padding blanks).
inline std::vector<SlotRow> ReadM2401(const std::filesystem::path& folder) {
  dbf::Table table = dbf::Table::Open(folder, "m2401");
  const dbf::TableLayout& l = table.layout();
  std::vector<SlotRow> rows;
  dbf::TableScanner scan = table.Scan();
  dbf::RecordRef rec;
  while (scan.Next(rec)) {
    SlotRow r;
    r.kw = static_cast<int64_t>(dbf::DecodeNumber(FieldOf(l, "kw"), rec.bytes));
    if (auto jd = dbf::DecodeDate(FieldOf(l, "dat"), rec.bytes)) {
      const CivilDate d = CivilFromJulianDay(*jd);
      r.dat = d;
    }
    r.tim = TrimmedRight(dbf::DecodeText(FieldOf(l, "tim"), rec.bytes));
    r.kl = static_cast<int64_t>(dbf::DecodeNumber(FieldOf(l, "kl"), rec.bytes));
    r.polis = TrimmedRight(dbf::DecodeText(FieldOf(l, "polis"), rec.bytes));
    r.fiol = TrimmedRight(dbf::DecodeText(FieldOf(l, "fiol"), rec.bytes));
    r.ist_zap = TrimmedRight(dbf::DecodeText(FieldOf(l, "ist_zap"), rec.bytes));
    r.filtr = TrimmedRight(dbf::DecodeText(FieldOf(l, "filtr"), rec.bytes));
    r.phone = TrimmedRight(dbf::DecodeText(FieldOf(l, "phone"), rec.bytes));
    r.fam_reg = TrimmedRight(dbf::DecodeText(FieldOf(l, "fam_reg"), rec.bytes));
    r.dt_zap = dbf::DecodeDateTime(FieldOf(l, "dt_zap"), rec.bytes);
    r.data_naz = dbf::DecodeDateTime(FieldOf(l, "data_naz"), rec.bytes);
    r.ntal = static_cast<int64_t>(dbf::DecodeNumber(FieldOf(l, "ntal"), rec.bytes));
    r.tel = static_cast<int64_t>(dbf::DecodeNumber(FieldOf(l, "tel"), rec.bytes));
    rows.push_back(std::move(r));
  }
  return rows;
}

}  // namespace vorel::testing_support
