// The classification rules, row by row, as plain functions of the facts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "sysinfo/classify.h"

namespace zv {
namespace {

VersionInfo Version(uint32_t platform, uint32_t major, uint32_t minor, uint8_t productType = 0,
                    uint16_t suite = 0, const char* csd = "") {
  VersionInfo v;
  v.platformId = platform;
  v.majorVersion = major;
  v.minorVersion = minor;
  v.productType = productType;
  v.suiteMask = suite;
  std::strncpy(v.csdVersion, csd, sizeof v.csdVersion - 1);
  return v;
}

constexpr uint8_t kWks = kNtWorkstation;
constexpr uint8_t kSrv = kNtServer;
constexpr uint8_t kDc = 2;

TEST(ClassifyProductExtended, EveryRowOfTheTable) {
  struct Case {
    const char* name;
    VersionInfo v;
    uint16_t architecture;
    int serverR2;
    int expected;
  } cases[] = {
      {"Win32s", Version(0, 3, 10), 0, 0, kWin32s},
      {"Win32s any version", Version(0, 9, 9), 0, 0, kWin32s},
      {"95", Version(1, 4, 0), 0, 0, kWin95},
      {"95 OSR2 B", Version(1, 4, 0, 0, 0, "B"), 0, 0, kWin95Sr2},
      {"95 OSR2 C", Version(1, 4, 0, 0, 0, "C"), 0, 0, kWin95Sr2},
      {"95 OSR2 as reported, after a blank", Version(1, 4, 0, 0, 0, " B"), 0, 0, kWin95Sr2},
      {"95 OSR2.5 as reported", Version(1, 4, 0, 0, 0, " C "), 0, 0, kWin95Sr2},
      {"95 lower-case b", Version(1, 4, 0, 0, 0, "b"), 0, 0, kWin95},
      {"95 letter A", Version(1, 4, 0, 0, 0, "A"), 0, 0, kWin95},
      {"95 blanks only", Version(1, 4, 0, 0, 0, "   "), 0, 0, kWin95},
      {"98", Version(1, 4, 10), 0, 0, kWin98},
      {"98 SE A", Version(1, 4, 10, 0, 0, "A"), 0, 0, kWin98Se},
      {"98 SE as reported", Version(1, 4, 10, 0, 0, " A "), 0, 0, kWin98Se},
      {"98 letter B", Version(1, 4, 10, 0, 0, " B "), 0, 0, kWin98},
      {"Me", Version(1, 4, 90, 0, 0, " "), 0, 0, kWinMe},
      {"platform 1, 4.20", Version(1, 4, 20), 0, 0, kOsUnknown},
      {"platform 1, 5.0", Version(1, 5, 0), 0, 0, kOsUnknown},
      {"NT 3.51", Version(2, 3, 51), 0, 0, kWinNt351},
      {"NT 4 workstation", Version(2, 4, 0, kWks), 0, 0, kWinNt40},
      {"NT 4 server", Version(2, 4, 0, kSrv), 0, 0, kWinNt40Server},
      {"NT 4 domain controller", Version(2, 4, 0, kDc), 0, 0, kOsUnknown},
      {"2000", Version(2, 5, 0, kSrv), 0, 0, kWin2000},
      {"XP", Version(2, 5, 1, kWks), 0, 0, kWinXp},
      {"Home Server: suite exactly 0x8000", Version(2, 5, 2, kWks, 0x8000), 9, 1, kWinHomeServer},
      {"suite 0x8000 plus another bit", Version(2, 5, 2, kSrv, 0x8100), 0, 0, kWinServer2003},
      {"XP x64", Version(2, 5, 2, kWks), kArchitectureAmd64, 1, kWinXpProX64},
      {"5.2 workstation on IA64", Version(2, 5, 2, kWks), kArchitectureIa64, 0, kWinServer2003},
      {"5.2 workstation on IA64, R2", Version(2, 5, 2, kWks), kArchitectureIa64, 7,
       kWinServer2003R2},
      {"Server 2003 R2", Version(2, 5, 2, kSrv), 9, 1, kWinServer2003R2},
      {"Server 2003", Version(2, 5, 2, kSrv), 9, 0, kWinServer2003},
      {"5.3", Version(2, 5, 3, kSrv), 0, 1, kOsUnknown},
      {"Vista", Version(2, 6, 0, kWks), 9, 0, kWinVista},
      {"Server 2008", Version(2, 6, 0, kSrv), 9, 0, kWinServer2008},
      {"6.0 domain controller", Version(2, 6, 0, kDc), 9, 0, kWinServer2008},
      {"7", Version(2, 6, 1, kWks), 9, 0, kWin7},
      {"Server 2008 R2", Version(2, 6, 1, kSrv), 9, 0, kWinServer2008R2},
      {"6.2", Version(2, 6, 2, kWks), 9, 0, kOsUnknown},
      {"10.0", Version(2, 10, 0, kWks), 9, 0, kOsUnknown},
      {"NT 2.0", Version(2, 2, 0, kWks), 9, 0, kOsUnknown},
      {"platform 3", Version(3, 5, 1, kWks), 9, 0, kOsUnknown},
  };
  for (const Case& c : cases) {
    int metricCalls = 0;
    const int kind = ClassifyProductExtended(c.v, c.architecture, [&] {
      ++metricCalls;
      return c.serverR2;
    });
    EXPECT_EQ(kind, c.expected) << c.name;
    const bool reachesMetricRow = c.v.platformId == 2 && c.v.majorVersion == 5 &&
                                  c.v.minorVersion == 2 && c.expected != kWinHomeServer &&
                                  c.expected != kWinXpProX64;
    EXPECT_EQ(metricCalls, reachesMetricRow ? 1 : 0) << c.name;
  }
}

TEST(ClassifyProductLegacy, EveryRowOfTheTable) {
  struct Case {
    const char* word;
    uint32_t major;
    uint32_t minor;
    int kind;
    int edition;
  } cases[] = {
      {"WINNT", 4, 0, kWinNt40, kEditionWorkstation},
      {"winnt", 3, 51, kWinNt40, kEditionWorkstation},
      {"WINNT", 0, 0, kWinNt40, kEditionWorkstation},
      {"WINNT", 5, 0, -1, -1},
      {"LANMANNT", 5, 2, kWinServer2003, -1},
      {"LANMANNT", 5, 0, kWin2000, kEditionServer},
      {"LanmanNt", 4, 0, kWinNt40, kEditionServer},
      {"LANMANNT", 5, 1, -1, -1},
      {"SERVERNT", 5, 2, kWinServer2003, kEditionEnterpriseServer},
      {"SERVERNT", 5, 0, kWin2000, kEditionAdvancedServer},
      {"SERVERNT", 4, 0, kWinNt40, kEditionEnterpriseServer},
      {"SERVERNT", 6, 0, -1, -1},
      {"WINNT ", 4, 0, -1, -1},
      {"", 4, 0, -1, -1},
      {"OTHER", 4, 0, -1, -1},
  };
  for (const Case& c : cases) {
    char value[kProductTypeCapacity] = {};
    std::strcpy(value, c.word);
    int kind = -1;
    int edition = -1;
    ClassifyProductLegacy(value, c.major, c.minor, kind, edition);
    EXPECT_EQ(kind, c.kind) << c.word << " " << c.major << "." << c.minor;
    EXPECT_EQ(edition, c.edition) << c.word << " " << c.major << "." << c.minor;
  }
}

TEST(ClassifyProductLegacy, ValueWithoutTerminatorIsNoWord) {
  char value[kProductTypeCapacity];
  std::memset(value, 'A', sizeof value);
  std::memcpy(value, "WINNT", 5);
  int kind = -1;
  int edition = -1;
  ClassifyProductLegacy(value, 4, 0, kind, edition);
  EXPECT_EQ(kind, -1);
  EXPECT_EQ(edition, -1);
}

TEST(ClassifyEditionExtended, EveryRule) {
  constexpr uint16_t E = kSuiteEnterprise;
  constexpr uint16_t D = kSuiteDatacenter;
  constexpr uint16_t P = kSuitePersonal;
  constexpr uint16_t B = kSuiteBlade;
  struct Case {
    const char* name;
    VersionInfo v;
    uint32_t productInfo;
    int expected;
  } cases[] = {
      {"NT4 workstation", Version(2, 4, 0, kWks), 0, 1},
      {"NT4 server", Version(2, 4, 0, kSrv), 0, 11},
      {"NT4 enterprise", Version(2, 4, 0, kSrv, E), 0, 14},
      {"NT4 domain controller", Version(2, 4, 0, kDc, E), 0, -1},
      {"major 4 on platform 1", Version(1, 4, 10, kWks), 0, 1},
      {"5 workstation", Version(2, 5, 1, kWks), 0, 52},
      {"5 home", Version(2, 5, 1, kWks, P), 0, 4},
      {"5 home, any other bits", Version(2, 5, 1, kWks, P | D | E | 0x100), 0, 4},
      {"5.0 server", Version(2, 5, 0, kSrv), 0, 2},
      {"5.0 blade is not looked at", Version(2, 5, 0, kSrv, B), 0, 2},
      {"5.0 advanced", Version(2, 5, 0, kSrv, E), 0, 3},
      {"5.0 datacenter", Version(2, 5, 0, kSrv, D | E), 0, 12},
      {"5.2 datacenter and enterprise", Version(2, 5, 2, kSrv, D | E), 0, 12},
      {"5.2 enterprise and blade", Version(2, 5, 2, kSrv, E | B), 0, 14},
      {"5.2 blade", Version(2, 5, 2, kSrv, B), 0, 21},
      {"5.2 standard", Version(2, 5, 2, kSrv, 0x100), 0, 11},
      {"5.1 server", Version(2, 5, 1, kSrv), 0, 11},
      {"5 domain controller", Version(2, 5, 2, kDc, E), 0, -1},
      {"6, product type 0", Version(2, 6, 0, kWks), 0, 0},
      {"6, product type 1", Version(2, 6, 1, kWks), 1, 5},
      {"6, product type 7", Version(2, 6, 0, kSrv), 7, 11},
      {"6, product type 25", Version(2, 6, 1, kSrv), 25, 29},
      {"6, product type 26", Version(2, 6, 1, kSrv), 26, -1},
      {"6, product type 48", Version(2, 6, 1, kWks), 48, -1},
      {"major 7", Version(2, 7, 0, kWks), 1, -1},
      {"major 3", Version(2, 3, 51, kWks), 1, -1},
  };
  for (const Case& c : cases) {
    int asked = 0;
    const int edition = ClassifyEditionExtended(c.v, -1, [&] {
      ++asked;
      return c.productInfo;
    });
    EXPECT_EQ(edition, c.expected) << c.name;
    EXPECT_EQ(asked, c.v.majorVersion == 6 ? 1 : 0) << c.name;
  }
}

TEST(ClassifyEditionExtended, ProductTypesOneToTwentyFiveMapOntoEditionsFiveToTwentyNine) {
  for (uint32_t type = 1; type <= 25; ++type) {
    EXPECT_EQ(ClassifyEditionExtended(Version(2, 6, 0, kWks), -1, [&] { return type; }),
              static_cast<int>(type) + 4);
  }
}

TEST(ServicePackText, Layout) {
  struct Case {
    const char* name;
    uint32_t major;
    const char* csd;
    uint32_t build;
    bool hotfix;
    const char* expected;
    bool asksForHotfix;
  } cases[] = {
      {"plain", 5, "Service Pack 3", 2600, false, "Service Pack 3 (Build 2600)", false},
      {"no service pack", 6, "", 7600, false, " (Build 7600)", false},
      {"high bits of the build", 4, " A ", 0x040A08AE, false, " A  (Build 2222)", false},
      {"NT4 SP6 with hotfix", 4, "Service Pack 6", 1381, true, "Service Pack 6a (Build 1381)",
       true},
      {"NT4 SP6 in lower case", 4, "service pack 6", 1381, true, "Service Pack 6a (Build 1381)",
       true},
      {"NT4 SP6 without hotfix", 4, "Service Pack 6", 1381, false, "Service Pack 6 (Build 1381)",
       true},
      {"NT4 SP6a", 4, "Service Pack 6a", 1381, true, "Service Pack 6a (Build 1381)", false},
      {"NT4 SP6 and more", 4, "Service Pack 6, RC 1.1", 1381, true,
       "Service Pack 6, RC 1.1 (Build 1381)", false},
      {"SP6 on major 5", 5, "Service Pack 6", 2195, true, "Service Pack 6 (Build 2195)", false},
      {"largest build", 6, "x", 0xFFFFFFFF, false, "x (Build 65535)", false},
  };
  for (const Case& c : cases) {
    int asked = 0;
    char text[kServicePackTextCapacity];
    BuildServicePackText(
        c.major, c.csd, c.build,
        [&] {
          ++asked;
          return c.hotfix;
        },
        text);
    EXPECT_STREQ(text, c.expected) << c.name;
    EXPECT_EQ(asked, c.asksForHotfix ? 1 : 0) << c.name;
  }
}

TEST(ServicePackText, OverlongServicePackIsCutButTheBuildStays) {
  const std::string csd(127, 'S');
  char text[kServicePackTextCapacity];
  BuildServicePackText(5, csd.c_str(), 2600, [] { return false; }, text);
  const std::string result = text;
  EXPECT_EQ(result.size(), 127u);
  EXPECT_EQ(result, std::string(127 - 13, 'S') + " (Build 2600)");
}

TEST(Names, EveryProductCodeHasItsName) {
  const char* const expected[kOsKindCount] = {
      "Windows",         "Windows 32s",         "Windows 95",
      "Windows 95 SR2",  "Windows 98",          "Windows 98 SE",
      "Windows Me",      "Windows NT 3.51",     "Windows NT 4.0",
      "Windows NT 4.0 Server", "Windows 2000",  "Windows XP",
      "Windows XP Professional x64", "Windows Home Server", "Windows Server 2003",
      "Windows Server 2003 R2", "Windows Vista", "Windows Server 2008",
      "Windows Server 2008 R2", "Windows 7"};
  for (int code = 0; code < kOsKindCount; ++code) EXPECT_STREQ(OsKindName(code), expected[code]);
  EXPECT_EQ(OsKindName(-1), nullptr);
  EXPECT_EQ(OsKindName(20), nullptr);
}

TEST(Names, EditionNamesAsTheReportSpellsThem) {
  struct Case {
    int code;
    const char* name;
  } cases[] = {
      {0, "Edition unknown Edition"},
      {1, "Workstation Edition"},
      {4, "Home Edition"},
      {5, "Ultimate Edition"},
      {11, "Standard Server Edition"},
      {14, "Enterprise Server Edition"},
      {21, "Web Server Edition"},
      {29, "Small Business Server Premium Edition"},
      {34, "Medium Business Server Management Edition"},
      {46, "Hyper-V Edition"},
      {52, "Professional Edition"},
      {59, "Server For Small Business Solution EM Edition"},
      {60, nullptr},
      {65, "Essential Business Server Management Service Edition"},
      {66, "Essential Business Server Additinal Service Edition"},
      {74, "Ultimate E Edition"},
      {75, nullptr},
      {-1, nullptr},
  };
  for (const Case& c : cases) {
    if (c.name == nullptr) {
      EXPECT_EQ(OsEditionName(c.code), nullptr) << c.code;
    } else {
      EXPECT_STREQ(OsEditionName(c.code), c.name) << c.code;
    }
  }
  for (int code = 0; code < kOsEditionCount; ++code) {
    if (code == 60) continue;
    const std::string name = OsEditionName(code);
    EXPECT_EQ(name.substr(name.size() - 8), " Edition") << code;
  }
}

TEST(Architecture, OnlyIa64Amd64AndAlpha64Are64Bit) {
  for (unsigned a : {0u, 1u, 2u, 3u, 4u, 5u, 8u, 10u, 12u, 65535u})
    EXPECT_FALSE(IsArchitecture64Bit(static_cast<uint16_t>(a))) << a;
  for (unsigned a : {6u, 7u, 9u}) EXPECT_TRUE(IsArchitecture64Bit(static_cast<uint16_t>(a))) << a;
}

}  // namespace
}  // namespace zv
