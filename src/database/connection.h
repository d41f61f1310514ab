#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>

#include "dbf/write_observer.h"
#include "sql/collation.h"

// The connection `ADO` to the clinic's table folder. Its connection string has the form of the provider's:
//   Provider=VFPOLEDB;Data Source=<folder>;Mode=ReadWrite;Password="";Collating Sequence=RUSSIAN
// Only Data Source and Collating Sequence matter; the other options are accepted as they are.
namespace vorel {

class Connection {
 public:
  explicit Connection(std::string name = "ADO") : name_(std::move(name)) {}

  const std::string& name() const { return name_; }
  const std::string& connectionString() const { return connectionString_; }
  // Takes effect at the next Connect.
  void SetConnectionString(std::string_view text) { connectionString_ = std::string(text); }

  // Reads the connection string and checks that its data source is a readable folder. Connecting a
  // connection that is already open is no failure (and changes nothing). Throws ConnectionError.
  void Connect();
  void Disconnect() { connected_ = false; }
  bool Connected() const { return connected_; }

  // The open connection's folder (as the file system names it) and collating sequence (MACHINE when the
  // string names none).
  const std::filesystem::path& folder() const { return folder_; }
  sql::Collation collation() const { return collation_; }

  // How long a write waits for a record lock held by another program before failing.
  std::chrono::milliseconds lockWait() const { return lockWait_; }
  void SetLockWait(std::chrono::milliseconds wait) { lockWait_ = wait; }

  // Whether writes go through a journal that keeps each statement whole across a crash (on unless switched
  // off, which only measurements do).
  bool journal() const { return journal_; }
  void SetJournal(bool on) { journal_ = on; }

  // Who hears of the records each write through this connection changed (nullptr: nobody).
  dbf::WriteObserver* writeObserver() const { return writeObserver_; }
  void SetWriteObserver(dbf::WriteObserver* observer) { writeObserver_ = observer; }

 private:
  std::string name_;
  std::string connectionString_;
  bool connected_ = false;
  std::filesystem::path folder_;
  sql::Collation collation_ = sql::Collation::kMachine;
  std::chrono::milliseconds lockWait_{5000};
  bool journal_ = true;
  dbf::WriteObserver* writeObserver_ = nullptr;
};

// The parts of a connection string the connection uses; throws ConnectionError for a string without a data
// source or with an unknown collating sequence.
struct ConnectionOptions {
  std::string dataSource;
  sql::Collation collation = sql::Collation::kMachine;
};
ConnectionOptions ParseConnectionString(std::string_view text);

}  // namespace vorel
