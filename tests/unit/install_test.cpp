// Choosing, starting and judging the installer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "log/activity_log.h"
#include "provision/install.h"
#include "support/simulated_os.h"
#include "sysinfo/system_info.h"

namespace zv {
namespace {

using test::SimProgram;
using test::SimulatedOs;

TEST(ChooseInstaller, ByProductAndServicePack) {
  struct Case {
    int kind;
    unsigned sp;
    Installer expected;
  } cases[] = {
      {kWinXp, 0, Installer::kRefused},          {kWinXp, 1, Installer::kRefused},
      {kWinXp, 2, Installer::kLauncher},         {kWinXp, 3, Installer::kLauncher},
      {kWinXpProX64, 2, Installer::kRefused},    {kWinHomeServer, 2, Installer::kRefused},
      {kWinServer2003, 0, Installer::kLauncher}, {kWinServer2003R2, 0, Installer::kLauncher},
      {kWinVista, 0, Installer::kLauncher},      {kWinServer2008, 0, Installer::kLauncher},
      {kWinServer2008R2, 0, Installer::kPackageManager},
      {kWin7, 0, Installer::kPackageManager},    {kOsUnknown, 9, Installer::kRefused},
      {kWin2000, 4, Installer::kRefused},        {kWinNt40, 6, Installer::kRefused},
      {kWin98Se, 0, Installer::kRefused},        {20, 0, Installer::kRefused},
      {-1, 0, Installer::kRefused},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ChooseInstaller(c.kind, c.sp), c.expected) << c.kind << " SP" << c.sp;
}

TEST(ChooseInstaller, CommandLinesAreExact) {
  EXPECT_EQ(std::strlen(kLauncherArguments), 46u);
  EXPECT_EQ(std::strlen(kPackageManagerArguments), 57u);
}

TEST(NeedsRedirectionSwitch, OnlyA32BitProcessOn64BitVistaAndLater) {
  EXPECT_TRUE(NeedsRedirectionSwitch(6, true, false));
  EXPECT_TRUE(NeedsRedirectionSwitch(10, true, false));
  EXPECT_FALSE(NeedsRedirectionSwitch(5, true, false));  // Server 2003 x64
  EXPECT_FALSE(NeedsRedirectionSwitch(6, false, false));
  EXPECT_FALSE(NeedsRedirectionSwitch(6, true, true));  // a native 64-bit process
}

TEST(RestartCodes, MeanSuccessWithARestart) {
  EXPECT_TRUE(MeansRestartRequired(3010));
  EXPECT_TRUE(MeansRestartRequired(1641));
  EXPECT_FALSE(MeansRestartRequired(0));
  EXPECT_FALSE(MeansRestartRequired(1603));
}

// A machine without the framework; the test picks the product.
class InstallTest : public ::testing::Test {
 protected:
  InstallTest() {
    os.directories.insert("c:\\tqv");
    os.directories.insert("c:\\tqv\\logs");
    os.errorTexts[kErrorFileNotFound] = "The system cannot find the file specified.\r\n";
  }

  void Machine(uint32_t major, uint32_t minor, uint8_t productType, uint16_t spMajor,
               uint16_t architecture) {
    os.version.platformId = 2;
    os.version.majorVersion = major;
    os.version.minorVersion = minor;
    os.version.buildNumber = 2600;
    os.version.productType = productType;
    os.version.servicePackMajor = spMajor;
    os.nativeArchitecture = architecture;
  }
  void XpSp3() { Machine(5, 1, 1, 3, 0); }
  void Windows7x64() { Machine(6, 1, 1, 1, 9); }

  // Runs the launcher the way the run does, inside an open block.
  bool Install() {
    const SystemInfo info(os);
    ActivityLog log(os);
    log.WriteLog(+1, "%s", "--- Installing or activating .NET35 ---");
    os.trace.clear();
    const bool ran = InstallNetFx35(os, log, info, result);
    depthAfter = log.Depth();
    return ran;
  }

  // The log's messages, stamps and indentation taken off.
  std::vector<std::string> LogMessages() const {
    std::vector<std::string> messages;
    const std::string log = os.File(kLogPath);
    size_t start = 0;
    for (size_t end = log.find("\r\n"); end != std::string::npos;
         start = end + 2, end = log.find("\r\n", start)) {
      std::string line = log.substr(start, end - start);
      line.erase(0, line.find_first_not_of(' '));
      messages.push_back(line.size() >= 18 && line[2] == '-' ? line.substr(18) : line);
    }
    return messages;
  }

  SimulatedOs os;
  int32_t result = 0;
  int depthAfter = -1;
};

TEST_F(InstallTest, XpStartsTheLauncherAndPassesItsCodeOn) {
  XpSp3();
  os.programs["helper.exe"] = SimProgram{0, true, 0};
  EXPECT_TRUE(Install());
  EXPECT_EQ(result, 0);
  ASSERT_EQ(os.starts.size(), 1u);
  EXPECT_EQ(os.starts[0].application, "helper.exe");
  EXPECT_EQ(os.starts[0].commandLine, " /p dotnetfx35.exe /l 1033 /v \"/qb /norestart\"");
  EXPECT_EQ(os.standardOutput, "Process was created. Waiting for it to finish...\r\n");
  EXPECT_EQ(LogMessages(), (std::vector<std::string>{
                               "{", "--- Installing or activating .NET35 ---",
                               "Process was created. Waiting for it to finish...",
                               "Process finished. ExitCode = 0"}));
  EXPECT_EQ(depthAfter, 2);
  EXPECT_EQ(os.trace, (std::vector<std::string>{"start helper.exe", "wait", "read exit code",
                                                 "close process", "close thread"}));
  EXPECT_EQ(os.OpenHandleCount(), 0u);
}

TEST_F(InstallTest, ExitCodesArePassedOnBitForBit) {
  struct Case {
    uint32_t code;
    int32_t result;
    const char* logged;
  } cases[] = {
      {5, 5, "Process finished. ExitCode = 5"},
      {3010, 3010, "Process finished. ExitCode = 3010"},
      {0xFFFFFFFF, -1, "Process finished. ExitCode = -1"},
      {0x80070005, static_cast<int32_t>(0x80070005), "Process finished. ExitCode = -2147024891"},
  };
  for (const Case& c : cases) {
    os.files.clear();
    os.programs["helper.exe"] = SimProgram{c.code, true, 0};
    XpSp3();
    EXPECT_TRUE(Install());
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(LogMessages().back(), c.logged);
  }
}

TEST_F(InstallTest, RefusedProducts) {
  struct Case {
    const char* name;
    uint32_t major, minor;
    uint8_t type;
    uint16_t sp;
    uint16_t architecture;
  } cases[] = {
      {"XP SP1", 5, 1, 1, 1, 0},   {"XP without SP", 5, 1, 1, 0, 0},
      {"XP x64", 5, 2, 1, 2, 9},   {"2000", 5, 0, 1, 4, 0},
      {"NT 4.0", 4, 0, 1, 6, 0},   {"Windows 8", 6, 2, 1, 0, 9},
  };
  for (const Case& c : cases) {
    os.files.clear();
    os.standardOutput.clear();
    Machine(c.major, c.minor, c.type, c.sp, c.architecture);
    EXPECT_FALSE(Install()) << c.name;
    EXPECT_EQ(result, kResultUnsupportedSystem) << c.name;
    EXPECT_EQ(os.standardOutput, "\r\nNot a supported OS! Windows XP SP2 is minimum.\r\n");
    EXPECT_EQ(LogMessages().back(), "Not a supported OS! Windows XP SP2 is minimum.");
    EXPECT_TRUE(os.starts.empty()) << c.name;
    EXPECT_TRUE(os.trace.empty()) << c.name << ": nothing is started or switched";
  }
}

TEST_F(InstallTest, XpWithoutTheExtendedAnswerIsRefused) {
  XpSp3();
  os.extendedQueryWorks = false;
  os.SetValue("SYSTEM\\CurrentControlSet\\Control\\ProductOptions", "ProductType", kRegSz,
              std::string("WINNT\0", 6));
  Install();
  EXPECT_EQ(result, kResultUnsupportedSystem);
}

TEST_F(InstallTest, Windows7x64StartsThePackageManagerWithRedirectionOff) {
  Windows7x64();
  os.programs["c:\\windows\\system32\\pkgmgr.exe"] = SimProgram{0, true, 0};
  EXPECT_TRUE(Install());
  ASSERT_EQ(os.starts.size(), 1u);
  EXPECT_EQ(os.starts[0].application, "C:\\Windows\\system32\\pkgmgr.exe");
  EXPECT_EQ(os.starts[0].commandLine,
            " /l:C:\\TQV\\Logs\\NetFx3.log /iu:NetFx3;WCF-HTTP-Activation");
  EXPECT_TRUE(os.starts[0].redirectionOff);
  EXPECT_FALSE(os.redirectionOff);
  EXPECT_EQ(os.trace, (std::vector<std::string>{
                          "disable redirection", "start C:\\Windows\\system32\\pkgmgr.exe",
                          "revert redirection", "wait", "read exit code", "close process",
                          "close thread"}));
  EXPECT_EQ(LogMessages(), (std::vector<std::string>{
                               "{", "--- Installing or activating .NET35 ---",
                               "Disabling FileSystemRedirection...",
                               "Process was created. Waiting for it to finish...",
                               "Process finished. ExitCode = 0"}));
  EXPECT_EQ(os.standardOutput, "Process was created. Waiting for it to finish...\r\n");
}

TEST_F(InstallTest, NoRedirectionSwitchWhereThereIsNone) {
  struct Case {
    const char* name;
    uint32_t major, minor;
    uint8_t type;
    uint16_t architecture;
    bool process64;
  } cases[] = {
      {"Server 2003 x64", 5, 2, 3, 9, false},
      {"32-bit Vista", 6, 0, 1, 0, false},
      {"32-bit Windows 7", 6, 1, 1, 0, false},
      {"64-bit Windows 7, native 64-bit process", 6, 1, 1, 9, true},
  };
  for (const Case& c : cases) {
    os.files.clear();
    Machine(c.major, c.minor, c.type, 2, c.architecture);
    os.process64 = c.process64;
    os.programs["helper.exe"] = SimProgram{7, true, 0};
    os.programs["c:\\windows\\system32\\pkgmgr.exe"] = SimProgram{7, true, 0};
    EXPECT_TRUE(Install()) << c.name;
    EXPECT_EQ(result, 7) << c.name;
    for (const std::string& call : os.trace)
      EXPECT_EQ(call.find("redirection"), std::string::npos) << c.name;
    for (const std::string& line : LogMessages())
      EXPECT_EQ(line.find("FileSystemRedirection"), std::string::npos) << c.name;
  }
}

TEST_F(InstallTest, RedirectionSwitchFailures) {
  struct Case {
    const char* name;
    RedirectionResult disable;
    RedirectionResult revert;
    bool exitCodeReadable;
    int32_t result;
    bool started;
  } cases[] = {
      {"disable missing", RedirectionResult::kMissing, RedirectionResult::kDone, true, -1, false},
      {"disable refused", RedirectionResult::kRefused, RedirectionResult::kDone, true, -1, false},
      {"revert missing, code read", RedirectionResult::kDone, RedirectionResult::kMissing, true,
       42, true},
      {"revert refused, code read", RedirectionResult::kDone, RedirectionResult::kRefused, true,
       42, true},
      {"revert refused, code unreadable", RedirectionResult::kDone, RedirectionResult::kRefused,
       false, kResultRedirectionNotRestored, true},
      {"revert done, code unreadable", RedirectionResult::kDone, RedirectionResult::kDone, false,
       kResultExitCodeUnknown, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    os.files.clear();
    os.standardOutput.clear();
    os.starts.clear();
    Windows7x64();
    os.disableAnswer = c.disable;
    os.revertAnswer = c.revert;
    os.redirectionError = 127;
    os.errorTexts[127] = "The specified procedure could not be found.\r\n";
    os.programs["c:\\windows\\system32\\pkgmgr.exe"] = SimProgram{42, c.exitCodeReadable, 0};
    EXPECT_EQ(Install(), c.started && c.exitCodeReadable);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(os.starts.size(), c.started ? 1u : 0u);
    EXPECT_EQ(os.OpenHandleCount(), 0u);
    if (!c.started) {
      EXPECT_EQ(LogMessages(),
                (std::vector<std::string>{
                    "{", "--- Installing or activating .NET35 ---",
                    "Disabling FileSystemRedirection...", "Reverted to FileSystemRedirection.",
                    "ERROR: CreateProcess failed. The specified procedure could not be found."}));
      EXPECT_EQ(os.standardOutput,
                "ERROR: CreateProcess failed. The specified procedure could not be found.\r\n");
    }
  }
}

TEST_F(InstallTest, LauncherMissingGivesTheSystemsReasonOnOneLine) {
  XpSp3();
  EXPECT_FALSE(Install());
  EXPECT_EQ(result, kResultStartFailed);
  EXPECT_EQ(os.standardOutput,
            "ERROR: CreateProcess failed. The system cannot find the file specified.\r\n");
  EXPECT_EQ(LogMessages().back(),
            "ERROR: CreateProcess failed. The system cannot find the file specified.");
  EXPECT_EQ(os.OpenHandleCount(), 0u);
}

TEST_F(InstallTest, ReasonsWithoutTextOrTooLongStayInsideTheMessage) {
  XpSp3();
  os.errorTexts.clear();
  os.programs["helper.exe"] = SimProgram{0, true, 193};
  Install();
  EXPECT_EQ(os.standardOutput, "ERROR: CreateProcess failed. Error 193.\r\n");

  // A system text with an insert and a long one: kept as text, cut to fit.
  os.standardOutput.clear();
  os.errorTexts[193] = "%1 is not a valid Win32 application. " + std::string(400, 'x');
  Install();
  EXPECT_EQ(os.standardOutput.substr(0, 66),
            "ERROR: CreateProcess failed. %1 is not a valid Win32 application. ");
  EXPECT_LE(os.standardOutput.size(), 199u + 2u);
  EXPECT_EQ(result, kResultStartFailed);
}

TEST_F(InstallTest, SystemFolderUnknownFailsTheStart) {
  Windows7x64();
  os.systemFolder.reset();
  EXPECT_FALSE(Install());
  ASSERT_EQ(os.starts.size(), 1u);
  EXPECT_EQ(os.starts[0].application, "");
  EXPECT_EQ(result, kResultStartFailed);
  EXPECT_EQ(os.trace.back(), "revert redirection");
}

TEST_F(InstallTest, UnreadableExitCodeIsNeverASuccess) {
  XpSp3();
  os.programs["helper.exe"] = SimProgram{0, false, 0};
  EXPECT_FALSE(Install());
  EXPECT_EQ(result, kResultExitCodeUnknown);
  EXPECT_EQ(LogMessages().back(), "Process was created. Waiting for it to finish...");
  EXPECT_EQ(os.OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace zv
