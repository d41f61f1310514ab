#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "database/connection.h"
#include "database/database_context.h"
#include "database/query.h"
#include "platform/regional.h"
#include "test_doubles.h"

namespace vorel::testing_support {

// A temporary table folder with the database objects over it, a recording logger, a manual clock and a
// memory state store.
class ClinicFixture : public ::testing::Test {
 protected:
  ClinicFixture()
      : folder_(std::filesystem::temp_directory_path() /
                ("vorel_booking_" + std::to_string(getpid()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name())),
        sql_(ado_, clock_, regional_),
        db_{ado_, sql_, log_, clock_, regional_} {
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    ado_.SetConnectionString(ConnectionString());
  }
  ~ClinicFixture() override { std::filesystem::remove_all(folder_); }

  std::string ConnectionString() const {
    return "Provider=VFPOLEDB;Data Source=" + folder_.string() +
           ";Mode=ReadWrite;Password=\"\";Collating Sequence=RUSSIAN";
  }

  std::filesystem::path folder_;
  RecordingLogger log_;
  ManualClock clock_;
  RegionalSettings regional_;
  MemoryStateStore store_;
  Connection ado_;
  Query sql_;
  DatabaseContext db_;
};

}  // namespace vorel::testing_support
