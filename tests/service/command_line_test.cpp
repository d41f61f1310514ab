#include "service/command_line.h"

#include <gtest/gtest.h>

#include <vector>

namespace vorel {
namespace {

CommandLine Parse(std::vector<std::string> args) {
  args.insert(args.begin(), "vorel_service");
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  return ParseCommandLine(static_cast<int>(argv.size()), argv.data());
}

TEST(CommandLine, SwitchesInAnyCaseWithEitherIntroducer) {
  EXPECT_EQ(Parse({}).action, ProgramAction::kRunService);
  EXPECT_EQ(Parse({"/install"}).action, ProgramAction::kInstall);
  EXPECT_EQ(Parse({"-Install"}).action, ProgramAction::kInstall);
  EXPECT_EQ(Parse({"/UNINSTALL"}).action, ProgramAction::kUninstall);
  EXPECT_FALSE(Parse({"/UNINSTALL"}).silent);
  const CommandLine both = Parse({"-silent", "/uninstall", "-INSTALL"});
  EXPECT_EQ(both.action, ProgramAction::kInstall);
  EXPECT_TRUE(both.silent);
  EXPECT_EQ(Parse({"/SILENT"}).action, ProgramAction::kRunService);
}

TEST(CommandLine, OperatorCommandsAndBadArguments) {
  EXPECT_EQ(Parse({"state", "list"}).action, ProgramAction::kState);
  EXPECT_EQ(Parse({"sql", "/install"}).action, ProgramAction::kSql);
  EXPECT_EQ(Parse({"dbcheck"}).action, ProgramAction::kDbcheck);
  EXPECT_EQ(Parse({"status", "--warning", "60"}).action, ProgramAction::kStatus);
  EXPECT_EQ(Parse({"--help"}).action, ProgramAction::kHelp);
  EXPECT_EQ(Parse({"--version"}).action, ProgramAction::kVersion);
  EXPECT_EQ(Parse({"--version", "x"}).action, ProgramAction::kBadArguments);
  for (const char* bad : {"install", "//install", "/installx", "/", "-", "STATE", "/install extra"}) {
    const CommandLine line = Parse({"/install", bad});
    EXPECT_EQ(line.action, ProgramAction::kBadArguments) << bad;
    EXPECT_EQ(line.badArgument, bad);
  }
}

}  // namespace
}  // namespace vorel
