// The record as built from what the system answers, including the answers
// that only old or odd systems give.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/simulated_os.h"
#include "sysinfo/report.h"
#include "sysinfo/system_info.h"

namespace zv {
namespace {

using test::SimulatedOs;

constexpr char kProductOptions[] = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions";
constexpr char kHotfix[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009";

void SetVersion(SimulatedOs& os, uint32_t platform, uint32_t major, uint32_t minor,
                uint32_t build, const char* csd, uint16_t spMajor = 0, uint16_t spMinor = 0,
                uint8_t productType = 1, uint16_t suite = 0) {
  os.version = VersionInfo();
  os.version.platformId = platform;
  os.version.majorVersion = major;
  os.version.minorVersion = minor;
  os.version.buildNumber = build;
  std::strcpy(os.version.csdVersion, csd);
  os.version.servicePackMajor = spMajor;
  os.version.servicePackMinor = spMinor;
  os.version.productType = productType;
  os.version.suiteMask = suite;
}

std::string ServicePackText(const SystemInfo& info) {
  char text[kServicePackTextCapacity];
  std::memset(text, '#', sizeof text);
  info.GetServicePackText(text);
  return text;
}

TEST(SystemInfo, XpProfessionalSp3) {
  SimulatedOs os;
  SetVersion(os, 2, 5, 1, 2600, "Service Pack 3", 3, 0, 1, 0x100);
  const SystemInfo info(os);
  EXPECT_EQ(info.GetOsKind(), kWinXp);
  EXPECT_EQ(info.GetOsEdition(), kEditionProfessional);
  EXPECT_TRUE(info.IsPlatformNt());
  EXPECT_FALSE(info.IsPlatformWindows());
  EXPECT_FALSE(info.IsPlatformWin32s());
  EXPECT_EQ(info.GetServicePackMajor(), 3u);
  EXPECT_EQ(ServicePackText(info), "Service Pack 3 (Build 2600)");
  EXPECT_TRUE(info.Is32Bit());
  EXPECT_EQ(os.trace.front(), "version extended");
  EXPECT_EQ(os.OpenHandleCount(), 0u);
}

TEST(SystemInfo, NativeArchitectureDecides64Bit) {
  struct Case {
    std::optional<uint16_t> native;
    uint16_t system;
    bool is64;
  } cases[] = {
      {uint16_t{9}, 0, true},      // 32-bit program on x64: the native answer counts
      {uint16_t{6}, 0, true},
      {uint16_t{7}, 0, true},
      {uint16_t{0}, 9, false},
      {uint16_t{65535}, 9, false},
      {std::nullopt, 9, true},  // before XP: GetSystemInfo stands in
      {std::nullopt, 0, false},
  };
  for (const Case& c : cases) {
    SimulatedOs os;
    SetVersion(os, 2, 6, 1, 7601, "Service Pack 1", 1);
    os.nativeArchitecture = c.native;
    os.systemArchitecture = c.system;
    const SystemInfo info(os);
    EXPECT_EQ(info.Is64Bit(), c.is64);
    EXPECT_EQ(info.Is32Bit(), !c.is64);
  }
}

TEST(SystemInfo, BuildNumberKeepsAllBitsWhileTheTextShowsTheLowSixteen) {
  SimulatedOs os;
  SetVersion(os, 1, 4, 10, 0x040A08AE, " A ");
  const SystemInfo info(os);
  EXPECT_EQ(info.GetBuildNumber(), 0x040A08AEu);
  EXPECT_EQ(ServicePackText(info), " A  (Build 2222)");
  EXPECT_EQ(info.GetOsKind(), kWin98Se);
}

TEST(SystemInfo, BothVersionQueriesFail) {
  SimulatedOs os;
  SetVersion(os, 2, 6, 1, 7601, "Service Pack 1", 1);
  os.extendedQueryWorks = false;
  os.basicQueryWorks = false;
  os.nativeArchitecture = uint16_t{9};
  const SystemInfo info(os);
  EXPECT_EQ(info.GetOsKind(), 0);
  EXPECT_EQ(info.GetOsEdition(), 0);
  EXPECT_EQ(ServicePackText(info), "");
  EXPECT_TRUE(info.IsPlatformWin32s());
  EXPECT_EQ(info.GetMajorVersion(), 0u);
  EXPECT_TRUE(info.Is64Bit());
  EXPECT_EQ(os.metricCalls + os.productInfoCalls, 0);

  ReportLines lines;
  BuildReportLines(info, lines);
  const char* expected[] = {"Windows",
                            "Edition unknown Edition",
                            "Platform type    : Win32s",
                            "Architecture     : 64-bit",
                            "Major version    : 0",
                            "Minor version    : 0",
                            "Build number     : 0",
                            "Service Pack info: ",
                            "SP (major.minor) : 0.0"};
  for (size_t i = 0; i < kReportLineCount; ++i) EXPECT_STREQ(lines.line[i], expected[i]) << i;
}

class LegacyWay : public ::testing::Test {
 protected:
  LegacyWay() {
    SetVersion(os, 2, 4, 0, 1381, "Service Pack 5", 5, 0, 1);
    os.extendedQueryWorks = false;
  }
  SimulatedOs os;
};

TEST_F(LegacyWay, ProductTypeWordsGiveProductAndEdition) {
  struct Case {
    uint32_t major;
    uint32_t minor;
    std::string value;
    uint32_t type;
    int kind;
    int edition;
  } cases[] = {
      {4, 0, std::string("WinNT\0", 6), kRegSz, kWinNt40, kEditionWorkstation},
      {5, 0, std::string("SERVERNT\0", 9), kRegSz, kWin2000, kEditionAdvancedServer},
      {5, 2, std::string("LANMANNT\0", 9), kRegSz, kWinServer2003, kEditionUnknown},
      {5, 1, std::string("WINNT\0", 6), kRegSz, kOsUnknown, kEditionUnknown},
      // A string stored without its terminator is still the word.
      {4, 0, std::string("LANMANNT"), kRegSz, kWinNt40, kEditionServer},
      // The type is not asked.
      {4, 0, std::string("WINNT\0", 6), kRegDword, kWinNt40, kEditionWorkstation},
      // Exactly 80 bytes without a terminator: no word.
      {4, 0, "WINNT" + std::string(75, ' '), kRegSz, kOsUnknown, kEditionUnknown},
      // Too large for the 80-byte buffer.
      {4, 0, "WINNT" + std::string(95, '\0'), kRegSz, kOsUnknown, kEditionUnknown},
  };
  for (const Case& c : cases) {
    SimulatedOs legacy;
    legacy.version = os.version;
    legacy.extendedQueryWorks = false;
    legacy.version.majorVersion = c.major;
    legacy.version.minorVersion = c.minor;
    legacy.SetValue(kProductOptions, "ProductType", c.type, c.value);
    const SystemInfo info(legacy);
    EXPECT_EQ(info.GetOsKind(), c.kind) << c.value;
    EXPECT_EQ(info.GetOsEdition(), c.edition) << c.value;
    // Without the extended answer there are no service-pack numbers.
    EXPECT_EQ(info.GetServicePackMajor(), 0u);
    EXPECT_EQ(info.GetServicePackMinor(), 0u);
    EXPECT_EQ(legacy.OpenHandleCount(), 0u);
    EXPECT_EQ(legacy.metricCalls + legacy.productInfoCalls, 0);
  }
}

TEST_F(LegacyWay, UnreadableRegistryLeavesBothCodesAtZero) {
  // Key missing.
  EXPECT_EQ(SystemInfo(os).GetOsKind(), 0);
  // Key refused.
  os.keys[SimulatedOs::Lower(kProductOptions)].openError = kErrorAccessDenied;
  EXPECT_EQ(SystemInfo(os).GetOsKind(), 0);
  // Key present, value missing.
  os.keys[SimulatedOs::Lower(kProductOptions)].openError = kErrorSuccess;
  const SystemInfo info(os);
  EXPECT_EQ(info.GetOsKind(), 0);
  EXPECT_EQ(info.GetOsEdition(), 0);
  EXPECT_EQ(ServicePackText(info), "Service Pack 5 (Build 1381)");
  EXPECT_EQ(os.OpenHandleCount(), 0u);
}

TEST_F(LegacyWay, KeyAccessIsQueryOnly) {
  os.SetValue(kProductOptions, "ProductType", kRegSz, std::string("WINNT\0", 6));
  const SystemInfo info(os);
  ASSERT_FALSE(os.keyAccess.empty());
  EXPECT_EQ(os.keyAccess[0], kKeyQueryValue);
}

TEST(SystemInfo, Nt4ServicePack6aThroughTheHotfixKey) {
  SimulatedOs os;
  SetVersion(os, 2, 4, 0, 1381, "Service Pack 6", 6, 0, 1);
  EXPECT_EQ(ServicePackText(SystemInfo(os)), "Service Pack 6 (Build 1381)");
  os.keys[SimulatedOs::Lower(kHotfix)];
  EXPECT_EQ(ServicePackText(SystemInfo(os)), "Service Pack 6a (Build 1381)");
  EXPECT_EQ(os.OpenHandleCount(), 0u);
}

TEST(SystemInfo, ProductInfoOfVersionSix) {
  struct Case {
    std::optional<uint32_t> productInfo;
    bool writesNothing;
    int edition;
  } cases[] = {
      {uint32_t{1}, false, 5},
      {uint32_t{7}, false, 11},
      {uint32_t{28}, false, 0},
      {std::nullopt, false, 0},  // GetProductInfo absent
      {uint32_t{6}, true, 0},    // present, but writes nothing
  };
  for (const Case& c : cases) {
    SimulatedOs os;
    SetVersion(os, 2, 6, 0, 6002, "Service Pack 2", 2, 0, 1);
    os.productInfo = c.productInfo;
    os.productInfoWritesNothing = c.writesNothing;
    const SystemInfo info(os);
    EXPECT_EQ(info.GetOsKind(), kWinVista);
    EXPECT_EQ(info.GetOsEdition(), c.edition);
  }
}

TEST(SystemInfo, ServerR2MetricIsAskedOnlyFor52) {
  SimulatedOs os;
  SetVersion(os, 2, 5, 2, 3790, "Service Pack 2", 2, 0, 3, 0x112);
  os.serverR2Metric = 1;
  EXPECT_EQ(SystemInfo(os).GetOsKind(), kWinServer2003R2);
  EXPECT_EQ(os.metricCalls, 1);
  SetVersion(os, 2, 5, 1, 2600, "Service Pack 2", 2, 0, 1);
  EXPECT_EQ(SystemInfo(os).GetOsKind(), kWinXp);
  EXPECT_EQ(os.metricCalls, 1);
}

TEST(SystemInfo, ServicePackTextCopyIsBounded) {
  SimulatedOs os;
  SetVersion(os, 2, 5, 1, 2600, "");
  std::memset(os.version.csdVersion, 'Z', sizeof os.version.csdVersion);  // no terminator
  const SystemInfo info(os);
  char buffer[kServicePackTextCapacity + 8];
  std::memset(buffer, '#', sizeof buffer);
  info.GetServicePackText(buffer);
  EXPECT_EQ(std::string(buffer + kServicePackTextCapacity, 8), std::string(8, '#'));
  EXPECT_EQ(std::strlen(buffer), kServicePackTextCapacity - 1);
  info.GetServicePackText(nullptr);  // does nothing
}

}  // namespace
}  // namespace zv
