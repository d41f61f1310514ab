// vorel_sample_clinic FOLDER [--patients N] [--doctors N] [--seed N] [--indexed]
// Creates a sample clinic database in FOLDER and prints what a scenario needs, one NAME=VALUE a line (UTF-8).
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/code_page.h"
#include "sample_clinic.h"

int main(int argc, char** argv) {
  if (argc < 2 || argv[1][0] == '-') {
    std::fprintf(stderr, "usage: %s FOLDER [--patients N] [--doctors N] [--seed N] [--indexed]\n", argv[0]);
    return 2;
  }
  vorel::sample::ClinicOptions options;
  for (int i = 2; i < argc; i += 2) {
    if (std::strcmp(argv[i], "--indexed") == 0) {
      options.indexed = true;
      --i;
      continue;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "%s: option %s needs a value\n", argv[0], argv[i]);
      return 2;
    }
    const int value = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--patients") == 0 && value > 0) {
      options.patients = value;
    } else if (std::strcmp(argv[i], "--doctors") == 0 && value > 0) {
      options.doctors = value;
    } else if (std::strcmp(argv[i], "--seed") == 0) {
      options.seed = static_cast<uint32_t>(value);
    } else {
      std::fprintf(stderr, "%s: bad option %s %s\n", argv[0], argv[i], argv[i + 1]);
      return 2;
    }
  }
  try {
    const auto facts = vorel::sample::CreateSampleClinic(argv[1], options);
    // The portal's login sends the surname in lower case, as the patient cache holds it.
    std::printf("PATIENT_ID=%d\nSURNAME=%s\nLOGIN_SURNAME=%s\nPOLICY=%s\n", facts.patientId,
                vorel::AnsiToUtf8(facts.surname).c_str(),
                vorel::AnsiToUtf8(vorel::ToLowerAnsi(facts.surname)).c_str(), facts.policy.c_str());
    std::printf("FREE_KW=%d\nFREE_DATE=%s\nFREE_TIME=%s\nSLOTS=%d\nFREE_SLOTS=%d\n", facts.freeSlotDoctor,
                facts.freeSlotDate.c_str(), facts.freeSlotTime.c_str(), facts.slots, facts.freeSlots);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
    return 1;
  }
  return 0;
}
