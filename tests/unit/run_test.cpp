// Whole runs against the simulated Windows: console, log and exit code.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/run.h"
#include "log/activity_log.h"
#include "provision/detect.h"
#include "provision/install.h"
#include "support/simulated_os.h"

namespace zv {
namespace {

using test::SimProgram;
using test::SimulatedOs;

const char kReport[] =
    "Windows XP\r\n"
    "Professional Edition\r\n"
    "Platform type    : NT\r\n"
    "Architecture     : 32-bit\r\n"
    "Major version    : 5\r\n"
    "Minor version    : 1\r\n"
    "Build number     : 2600\r\n"
    "Service Pack info: Service Pack 3 (Build 2600)\r\n"
    "SP (major.minor) : 3.0\r\n";

const char kReportLog[] =
    "{\r\n"
    "  14-03-11 09:05:07 --- System Information ---\r\n"
    "  14-03-11 09:05:07 Windows XP\r\n"
    "  14-03-11 09:05:07 Professional Edition\r\n"
    "  14-03-11 09:05:07 Platform type    : NT\r\n"
    "  14-03-11 09:05:07 Architecture     : 32-bit\r\n"
    "  14-03-11 09:05:07 Major version    : 5\r\n"
    "  14-03-11 09:05:07 Minor version    : 1\r\n"
    "  14-03-11 09:05:07 Build number     : 2600\r\n"
    "  14-03-11 09:05:07 Service Pack info: Service Pack 3 (Build 2600)\r\n"
    "  14-03-11 09:05:07 SP (major.minor) : 3.0\r\n"
    "  14-03-11 09:05:07 \r\n"
    "}\r\n";

class RunTest : public ::testing::Test {
 protected:
  RunTest() {
    os.version.platformId = 2;
    os.version.majorVersion = 5;
    os.version.minorVersion = 1;
    os.version.buildNumber = 2600;
    std::strcpy(os.version.csdVersion, "Service Pack 3");
    os.version.servicePackMajor = 3;
    os.version.productType = 1;
  }
  void FrameworkPresent() { os.SetDword(kNetFx35SetupKey, "SP", 1); }
  void Installer(uint32_t exitCode) { os.programs["helper.exe"] = SimProgram{exitCode, true, 0}; }
  std::string Log() const { return os.File(kLogPath); }

  SimulatedOs os;
};

TEST_F(RunTest, FrameworkPresent) {
  FrameworkPresent();
  EXPECT_EQ(RunZelvantorix(os), 0);
  EXPECT_EQ(os.standardOutput, std::string(kReport) +
                                   "\r\nThe .NET Framework 3.5 is already installed.\r\n"
                                   "\r\nYou may close me now.\r\n\r\n");
  EXPECT_EQ(Log(), "14-03-11 09:05:07 ---------- Zelvantorix started ----------\r\n" +
                       std::string(kReportLog) +
                       "14-03-11 09:05:07 The .NET Framework 3.5 is already installed.\r\n"
                       "14-03-11 09:05:07 You may close me now.\r\n"
                       "14-03-11 09:05:07 ---------- Finished ----------\r\n");
  EXPECT_TRUE(os.starts.empty());
  EXPECT_EQ(os.OpenHandleCount(), 0u);
}

TEST_F(RunTest, FrameworkMissingAndInstalled) {
  Installer(0);
  EXPECT_EQ(RunZelvantorix(os), 0);
  EXPECT_EQ(os.standardOutput, std::string(kReport) +
                                   "\r\n--- Installing or activating .NET35 ---\r\n"
                                   "Process was created. Waiting for it to finish...\r\n"
                                   "\r\nExitcode : 0\r\n"
                                   "\r\nSucceeded, you may close me now.\r\n\r\n");
  EXPECT_EQ(Log(), "14-03-11 09:05:07 ---------- Zelvantorix started ----------\r\n" +
                       std::string(kReportLog) +
                       "{\r\n"
                       "  14-03-11 09:05:07 --- Installing or activating .NET35 ---\r\n"
                       "  14-03-11 09:05:07 Process was created. Waiting for it to finish...\r\n"
                       "  14-03-11 09:05:07 Process finished. ExitCode = 0\r\n"
                       "  14-03-11 09:05:07 \r\n"
                       "}\r\n"
                       "14-03-11 09:05:07 Exitcode : 0\r\n"
                       "14-03-11 09:05:07 Succeeded, you may close me now.\r\n"
                       "14-03-11 09:05:07 ---------- Finished ----------\r\n");
}

TEST_F(RunTest, VerdictAndExitCodeFollowTheInstallResult) {
  struct Case {
    uint32_t installerCode;
    int32_t exitCode;
    const char* exitLine;
    const char* verdict;
  } cases[] = {
      {5, 5, "Exitcode : 5", "Failed, you may close me now."},
      {0xFFFFFFFF, -1, "Exitcode : -1", "Failed, you may close me now."},
      {0x80000000, INT32_MIN, "Exitcode : -2147483648", "Failed, you may close me now."},
      {3010, 3010, "Exitcode : 3010", "Succeeded, Windows must restart, you may close me now."},
      {1641, 1641, "Exitcode : 1641", "Succeeded, Windows must restart, you may close me now."},
  };
  for (const Case& c : cases) {
    SimulatedOs run;
    run.version = os.version;
    run.programs["helper.exe"] = SimProgram{c.installerCode, true, 0};
    EXPECT_EQ(RunZelvantorix(run), c.exitCode);
    const std::string tail = std::string("\r\n") + c.exitLine + "\r\n\r\n" + c.verdict + "\r\n\r\n";
    EXPECT_EQ(run.standardOutput.substr(run.standardOutput.size() - tail.size()), tail);
    EXPECT_NE(run.File(kLogPath).find(std::string("\r\n") + "14-03-11 09:05:07 " + c.verdict),
              std::string::npos);
  }
}

TEST_F(RunTest, UnsupportedSystem) {
  os.version.servicePackMajor = 1;
  EXPECT_EQ(RunZelvantorix(os), kResultUnsupportedSystem);
  EXPECT_NE(os.standardOutput.find("\r\n--- Installing or activating .NET35 ---\r\n"
                                   "\r\nNot a supported OS! Windows XP SP2 is minimum.\r\n"
                                   "\r\nExitcode : -4\r\n"
                                   "\r\nFailed, you may close me now.\r\n\r\n"),
            std::string::npos);
}

TEST_F(RunTest, LostLogChangesNeitherConsoleNorExitCode) {
  Installer(5);
  SimulatedOs noLog;
  noLog.version = os.version;
  noLog.programs = os.programs;
  noLog.uncreatableDirectories.insert("c:\\tqv");
  EXPECT_EQ(RunZelvantorix(os), 5);
  EXPECT_EQ(RunZelvantorix(noLog), 5);
  EXPECT_EQ(noLog.standardOutput, os.standardOutput);
  EXPECT_TRUE(noLog.files.empty());
}

TEST_F(RunTest, FoldersAreMadeThenTheBannerThenTheWindowIsMinimized) {
  FrameworkPresent();
  RunZelvantorix(os);
  std::vector<std::string> start(os.trace.begin(), os.trace.end());
  const auto at = [&](const std::string& call) {
    for (size_t i = 0; i < start.size(); ++i)
      if (start[i].rfind(call, 0) == 0) return i;
    return start.size();
  };
  EXPECT_LT(at("version extended"), at("mkdir C:\\TQV"));
  EXPECT_LT(at("mkdir C:\\TQV"), at("mkdir C:\\TQV\\Logs"));
  EXPECT_LT(at("mkdir C:\\TQV\\Logs"), at("read title"));
  EXPECT_LT(at("minimize"), at("open key Software\\Microsoft\\NET"));
  // Only the two waits of the window handling, then the final pause.
  EXPECT_EQ(os.pauses, (std::vector<uint32_t>{40, 250, 5000}));
  EXPECT_EQ(os.trace.back(), "pause 5000");
  // Nothing on the console before the first report line.
  EXPECT_EQ(os.standardOutput.rfind("Windows XP\r\n", 0), 0u);
}

TEST_F(RunTest, EveryRunStartsAtDepthZero) {
  FrameworkPresent();
  os.directories.insert("c:\\tqv");
  os.directories.insert("c:\\tqv\\logs");
  os.files[SimulatedOs::Lower(kLogPath)] = "{\r\n  unfinished block of a crashed run\r\n";
  RunZelvantorix(os);
  EXPECT_NE(Log().find("block of a crashed run\r\n14-03-11 09:05:07 ---------- Zelvantorix"),
            std::string::npos);
}

}  // namespace
}  // namespace zv
