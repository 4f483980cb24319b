// The nine report lines, on the console and then in the log.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "log/activity_log.h"
#include "support/simulated_os.h"
#include "sysinfo/report.h"
#include "sysinfo/system_info.h"

namespace zv {
namespace {

using test::SimulatedOs;

TEST(Report, WindowsXpProfessionalSp3LineForLine) {
  SimulatedOs os;
  os.version.platformId = 2;
  os.version.majorVersion = 5;
  os.version.minorVersion = 1;
  os.version.buildNumber = 2600;
  std::strcpy(os.version.csdVersion, "Service Pack 3");
  os.version.servicePackMajor = 3;
  os.version.productType = 1;
  os.directories.insert("c:\\tqv");
  os.directories.insert("c:\\tqv\\logs");
  const SystemInfo info(os);
  ActivityLog log(os);
  log.WriteLog(+1, "--- System Information ---");
  ReportSystemInfo(os, log, info);

  EXPECT_EQ(os.standardOutput,
            "Windows XP\r\n"
            "Professional Edition\r\n"
            "Platform type    : NT\r\n"
            "Architecture     : 32-bit\r\n"
            "Major version    : 5\r\n"
            "Minor version    : 1\r\n"
            "Build number     : 2600\r\n"
            "Service Pack info: Service Pack 3 (Build 2600)\r\n"
            "SP (major.minor) : 3.0\r\n");
  EXPECT_EQ(os.File(kLogPath),
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
            "  14-03-11 09:05:07 SP (major.minor) : 3.0\r\n");
}

TEST(Report, ConsoleLinesComeBeforeTheLogAndSurviveALostLog) {
  SimulatedOs os;  // no log folder: every log write fails
  os.version.platformId = 7;
  const SystemInfo info(os);
  ActivityLog log(os);
  ReportSystemInfo(os, log, info);
  EXPECT_TRUE(os.files.empty());
  EXPECT_NE(os.standardOutput.find("Platform type    : Unknown\r\n"), std::string::npos);
  size_t lines = 0;
  for (size_t at = os.standardOutput.find("\r\n"); at != std::string::npos;
       at = os.standardOutput.find("\r\n", at + 2))
    ++lines;
  EXPECT_EQ(lines, kReportLineCount);
}

TEST(Report, LinesHoldEveryNameAndNumberWhole) {
  SimulatedOs os;
  os.version.platformId = 1;
  os.version.majorVersion = 0xFFFFFFFF;
  os.version.minorVersion = 0x80000000;
  os.version.buildNumber = 65538;
  os.version.servicePackMajor = 65535;
  os.version.servicePackMinor = 65535;
  std::memset(os.version.csdVersion, 'C', sizeof os.version.csdVersion - 1);
  const SystemInfo info(os);
  ReportLines lines;
  BuildReportLines(info, lines);
  EXPECT_STREQ(lines.line[2], "Platform type    : Windows");
  // The numbers print as signed decimals, whole.
  EXPECT_STREQ(lines.line[4], "Major version    : -1");
  EXPECT_STREQ(lines.line[5], "Minor version    : -2147483648");
  EXPECT_STREQ(lines.line[6], "Build number     : 65538");
  EXPECT_STREQ(lines.line[8], "SP (major.minor) : 65535.65535");
  const std::string sp = lines.line[7];
  EXPECT_EQ(sp.size(), 19u + 127u);
  EXPECT_EQ(sp.substr(sp.size() - 10), " (Build 2)");
}

}  // namespace
}  // namespace zv
