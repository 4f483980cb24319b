// The launcher against the simulated Windows: what it starts, the exit
// code it hands back, its console lines, and the handles it leaves.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "helper/helper.h"
#include "support/simulated_os.h"

namespace zv {
namespace {

constexpr char kPackagePath[] = "C:\\Deploy\\dotnetfx35.exe";

class HelperRun : public ::testing::Test {
 protected:
  HelperRun() {
    os.programPath = "C:\\Deploy\\helper.exe";
    // Exactly what Zelvantorix hands over.
    os.commandLine = " /p dotnetfx35.exe /l 1033 /v \"/qb /norestart\"";
    os.errorTexts[kErrorFileNotFound] = "The system cannot find the file specified.\r\n";
  }

  // The package beside the launcher; a program the simulation can start.
  test::SimProgram& Package() { return os.programs[test::SimulatedOs::Lower(kPackagePath)]; }
  void AddPackage(uint32_t exitCode) { Package().exitCode = exitCode; }

  test::SimulatedOs os;
};

TEST_F(HelperRun, StartsThePackageBesideItself) {
  AddPackage(0);
  EXPECT_EQ(RunHelper(os), 0);
  ASSERT_EQ(os.starts.size(), 1u);
  EXPECT_EQ(os.starts[0].application, kPackagePath);
  EXPECT_EQ(os.starts[0].commandLine, "\"C:\\Deploy\\dotnetfx35.exe\" /qb /norestart");
  EXPECT_EQ(os.standardOutput, "helper: running dotnetfx35.exe /qb /norestart (language 1033)\r\n");
  EXPECT_EQ(os.standardError, "");
  // Waited for before its code was read; process handle closed first.
  const std::vector<std::string> tail(os.trace.end() - 5, os.trace.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"start C:\\Deploy\\dotnetfx35.exe", "wait",
                                            "read exit code", "close process", "close thread"}));
  EXPECT_EQ(os.OpenHandleCount(), 0u);
}

TEST_F(HelperRun, WithoutArgumentsStartsThePathAlone) {
  os.programPath = "D:\\a folder\\helper.exe";
  os.commandLine = "\"D:\\a folder\\helper.exe\" /p \"my setup.exe\" /l 1031";
  os.programs["d:\\a folder\\my setup.exe"].exitCode = 0;
  EXPECT_EQ(RunHelper(os), 0);
  ASSERT_EQ(os.starts.size(), 1u);
  EXPECT_EQ(os.starts[0].application, "D:\\a folder\\my setup.exe");
  EXPECT_EQ(os.starts[0].commandLine, "\"D:\\a folder\\my setup.exe\"");
  EXPECT_EQ(os.standardOutput, "helper: running my setup.exe (language 1031)\r\n");
}

TEST_F(HelperRun, FindsItsFolderAtTheDriveRoot) {
  os.programPath = "C:\\helper.exe";
  os.programs["c:\\dotnetfx35.exe"].exitCode = 0;
  EXPECT_EQ(RunHelper(os), 0);
  ASSERT_EQ(os.starts.size(), 1u);
  EXPECT_EQ(os.starts[0].application, "C:\\dotnetfx35.exe");
}

class HelperExitCode : public HelperRun, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(HelperExitCode, PassesThePackagesCodeOnBitForBit) {
  AddPackage(GetParam());
  EXPECT_EQ(static_cast<uint32_t>(RunHelper(os)), GetParam());
  EXPECT_EQ(os.standardError, "");
  EXPECT_EQ(os.OpenHandleCount(), 0u);
}

// Including codes that read as the launcher's own: they are the package's
// and pass unchanged.
INSTANTIATE_TEST_SUITE_P(Codes, HelperExitCode,
                         ::testing::Values(0u, 1u, 5u, 1602u, 1603u, 1641u, 3010u, 0x80000000u,
                                           0xFFFFFFF6u, 0xFFFFFFFFu));

TEST_F(HelperRun, MissingPackageFailsWithTheSystemsText) {
  EXPECT_EQ(RunHelper(os), kHelperStartFailed);
  EXPECT_EQ(os.starts.size(), 1u);
  EXPECT_EQ(os.standardError,
            "helper: cannot start C:\\Deploy\\dotnetfx35.exe: The system cannot find the file "
            "specified.\r\n");
  EXPECT_EQ(os.OpenHandleCount(), 0u);
}

TEST_F(HelperRun, StartErrorWithoutTextGivesItsNumber) {
  Package().startError = 1234;
  EXPECT_EQ(RunHelper(os), kHelperStartFailed);
  EXPECT_EQ(os.standardError, "helper: cannot start C:\\Deploy\\dotnetfx35.exe: Error 1234.\r\n");
}

TEST_F(HelperRun, NotAProgramKeepsTheSystemsInsertAsText) {
  Package().startError = 193;
  os.errorTexts[193] = "%1 is not a valid Win32 application. \r\n";
  EXPECT_EQ(RunHelper(os), kHelperStartFailed);
  EXPECT_EQ(os.standardError,
            "helper: cannot start C:\\Deploy\\dotnetfx35.exe: %1 is not a valid Win32 "
            "application.\r\n");
}

TEST_F(HelperRun, UnreadableExitCodeIsNeverSuccess) {
  Package().exitCodeReadable = false;
  EXPECT_EQ(RunHelper(os), kHelperExitCodeUnknown);
  EXPECT_EQ(os.starts.size(), 1u);
  EXPECT_EQ(os.standardError,
            "helper: dotnetfx35.exe ended, but its exit code could not be read\r\n");
  EXPECT_EQ(os.OpenHandleCount(), 0u);
}

TEST_F(HelperRun, UsageErrorStartsNothing) {
  AddPackage(0);
  os.commandLine = "helper.exe /p dotnetfx35.exe /l 1033 /x";
  EXPECT_EQ(RunHelper(os), kHelperUsageError);
  EXPECT_TRUE(os.starts.empty());
  EXPECT_EQ(os.standardOutput, "");
  EXPECT_EQ(os.standardError,
            "helper: unknown option: /x\r\n"
            "usage: helper.exe /p <package.exe> /l <language id> [/v \"<arguments>\"]\r\n"
            "  Runs the package that lies beside helper.exe and exits with its exit code.\r\n");
}

TEST_F(HelperRun, UsageErrorForSomethingMissingNamesNoToken) {
  os.commandLine = "helper.exe";
  EXPECT_EQ(RunHelper(os), kHelperUsageError);
  EXPECT_EQ(os.standardError.substr(0, os.standardError.find('\n') + 1),
            "helper: the package (/p) is missing\r\n");
}

TEST_F(HelperRun, UsageErrorShowsALongTokenCutAndControlsMasked) {
  os.commandLine = " /p a.exe /l 1 \x01" + std::string(100, 'x');
  EXPECT_EQ(RunHelper(os), kHelperUsageError);
  const std::string firstLine = os.standardError.substr(0, os.standardError.find('\n') + 1);
  EXPECT_EQ(firstLine, "helper: unexpected text: ?" + std::string(59, 'x') + "...\r\n");
}

TEST_F(HelperRun, OwnPathUnknownStartsNothing) {
  AddPackage(0);
  os.programPath = "C:\\" + std::string(300, 'd') + "\\helper.exe";
  EXPECT_EQ(RunHelper(os), kHelperStartFailed);
  EXPECT_TRUE(os.starts.empty());
  EXPECT_EQ(os.standardError, "helper: cannot tell the folder helper.exe lies in\r\n");
}

TEST_F(HelperRun, PackagePathTooLongStartsNothing) {
  const std::string package = std::string(250, 'p') + ".exe";  // fits alone, not in C:\Deploy
  os.commandLine = " /p " + package + " /l 1033";
  EXPECT_EQ(RunHelper(os), kHelperStartFailed);
  EXPECT_TRUE(os.starts.empty());
  EXPECT_EQ(os.standardError,
            "helper: the path of " + package + " in C:\\Deploy\\ is too long\r\n");
}

TEST_F(HelperRun, LongestPathThatFitsIsStarted) {
  // 259 characters: the most an application name may have.
  const std::string package = std::string(259 - 10 - 4, 'p') + ".exe";
  os.commandLine = " /p " + package + " /l 1033 /v \"/q\"";
  const std::string path = "C:\\Deploy\\" + package;
  ASSERT_EQ(path.size(), 259u);
  os.programs[test::SimulatedOs::Lower(path)].exitCode = 7;
  EXPECT_EQ(RunHelper(os), 7);
  ASSERT_EQ(os.starts.size(), 1u);
  EXPECT_EQ(os.starts[0].application, path);
  EXPECT_EQ(os.starts[0].commandLine, "\"" + path + "\" /q");
}

}  // namespace
}  // namespace zv
