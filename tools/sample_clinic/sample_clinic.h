#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

// A small but complete clinic database: every table the service reads, Cyrillic texts in Windows-1251,
// appointment slots around today, a few hundred patients.
namespace vorel::sample {

struct ClinicOptions {
  int patients = 300;
  int doctors = 8;
  int daysBack = 3;      // slots start this many days before today
  int daysForward = 20;  // and end this many days after it
  uint32_t seed = 1;
  bool indexed = false;  // give m2401 a structural index, as the reception desk program keeps one
};

// What a scripted scenario needs to know about the generated data (texts in Windows-1251).
struct ClinicFacts {
  int32_t patientId = 0;  // a registered patient
  std::string surname;    // as the portal's login sends it
  std::string policy;
  int32_t freeSlotDoctor = 0;  // a free slot offered to the portal: kw, yyyymmdd, hh:mm
  std::string freeSlotDate;
  std::string freeSlotTime;
  int slots = 0;
  int freeSlots = 0;
};

// Creates the tables in `folder` (replacing existing ones) and the reception desk program file.
ClinicFacts CreateSampleClinic(const std::filesystem::path& folder, const ClinicOptions& options);

}  // namespace vorel::sample
