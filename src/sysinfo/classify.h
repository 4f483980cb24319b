// The rules that turn the system's version answers into a product code, an
// edition code and a service-pack text. Each is a plain function of plain
// data; where a rule needs one more answer of the system only in some
// cases, the caller passes a function that asks for it, and the rule calls
// it only in those cases.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/os.h"

namespace zv {

// --- Product codes (OsKind) -----------------------------------------------
enum OsKindCode : int {
  kOsUnknown = 0,
  kWin32s = 1,
  kWin95 = 2,
  kWin95Sr2 = 3,
  kWin98 = 4,
  kWin98Se = 5,
  kWinMe = 6,
  kWinNt351 = 7,
  kWinNt40 = 8,
  kWinNt40Server = 9,
  kWin2000 = 10,
  kWinXp = 11,
  kWinXpProX64 = 12,
  kWinHomeServer = 13,
  kWinServer2003 = 14,
  kWinServer2003R2 = 15,
  kWinVista = 16,
  kWinServer2008 = 17,
  kWinServer2008R2 = 18,
  kWin7 = 19,
};
constexpr int kOsKindCount = 20;

// --- Edition codes (OsEdition) used by the rules ---------------------------
constexpr int kEditionUnknown = 0;
constexpr int kEditionWorkstation = 1;
constexpr int kEditionServer = 2;
constexpr int kEditionAdvancedServer = 3;
constexpr int kEditionHome = 4;
constexpr int kEditionStandardServer = 11;
constexpr int kEditionDatacenterServer = 12;
constexpr int kEditionEnterpriseServer = 14;
constexpr int kEditionWebServer = 21;
constexpr int kEditionProfessional = 52;
constexpr int kOsEditionCount = 75;

// Names the report prints; null for a code without a name.
const char* OsKindName(int code);
const char* OsEditionName(int code);

// --- Values of the version answers ------------------------------------------
constexpr uint32_t kPlatformWin32s = 0;
constexpr uint32_t kPlatformWindows = 1;
constexpr uint32_t kPlatformNt = 2;
constexpr uint8_t kNtWorkstation = 1;
constexpr uint8_t kNtServer = 3;
constexpr uint16_t kSuiteEnterprise = 0x0002;
constexpr uint16_t kSuiteDatacenter = 0x0080;
constexpr uint16_t kSuitePersonal = 0x0200;
constexpr uint16_t kSuiteBlade = 0x0400;
constexpr uint16_t kSuiteHomeServer = 0x8000;
constexpr uint16_t kArchitectureIntel = 0;
constexpr uint16_t kArchitectureIa64 = 6;
constexpr uint16_t kArchitectureAlpha64 = 7;
constexpr uint16_t kArchitectureAmd64 = 9;
constexpr int kMetricServerR2 = 89;

bool IsArchitecture64Bit(uint16_t architecture);

// The first character of the service-pack string that is not a blank:
// Windows 95 OSR2 and 98 SE report their letter after a leading blank.
char ServicePackLetter(const char* csdVersion);

// Product code from the extended version answer. serverR2() answers the
// SM_SERVERR2 metric; it is asked only for a 5.2 system that none of the
// earlier rows placed.
template <class ServerR2>
int ClassifyProductExtended(const VersionInfo& v, uint16_t architecture, ServerR2&& serverR2) {
  const uint32_t major = v.majorVersion;
  const uint32_t minor = v.minorVersion;
  switch (v.platformId) {
    case kPlatformWin32s:
      return kWin32s;
    case kPlatformWindows: {
      if (major != 4) return kOsUnknown;
      const char letter = ServicePackLetter(v.csdVersion);
      if (minor == 0) return (letter == 'B' || letter == 'C') ? kWin95Sr2 : kWin95;
      if (minor == 10) return letter == 'A' ? kWin98Se : kWin98;
      if (minor == 90) return kWinMe;
      return kOsUnknown;
    }
    case kPlatformNt:
      if (major == 3) return kWinNt351;
      if (major == 4) {
        if (v.productType == kNtWorkstation) return kWinNt40;
        if (v.productType == kNtServer) return kWinNt40Server;
        return kOsUnknown;
      }
      if (major == 5) {
        if (minor == 0) return kWin2000;
        if (minor == 1) return kWinXp;
        if (minor != 2) return kOsUnknown;
        if (v.suiteMask == kSuiteHomeServer) return kWinHomeServer;
        if (v.productType == kNtWorkstation && architecture == kArchitectureAmd64)
          return kWinXpProX64;
        return serverR2() != 0 ? kWinServer2003R2 : kWinServer2003;
      }
      if (major == 6) {
        if (minor == 0) return v.productType == kNtWorkstation ? kWinVista : kWinServer2008;
        if (minor == 1) return v.productType == kNtWorkstation ? kWin7 : kWinServer2008R2;
      }
      return kOsUnknown;
    default:
      return kOsUnknown;
  }
}

// The registry's "ProductType" buffer as read: 80 bytes.
constexpr size_t kProductTypeCapacity = 80;

// Product and edition codes from the registry's product-type word, for a
// system that answered only the basic version query. Leaves both codes as
// they are when no row applies, and when the value holds no terminator
// within its 80 bytes.
void ClassifyProductLegacy(const char (&productType)[kProductTypeCapacity], uint32_t major,
                           uint32_t minor, int& osKind, int& osEdition);

// Edition code from the extended version answer; productInfo() answers the
// product type of GetProductInfo (0 for none) and is asked for version 6
// only. Returns current when no rule applies.
template <class ProductInfo>
int ClassifyEditionExtended(const VersionInfo& v, int current, ProductInfo&& productInfo) {
  const uint16_t suite = v.suiteMask;
  if (v.majorVersion == 4) {
    if (v.productType == kNtWorkstation) return kEditionWorkstation;
    if (v.productType == kNtServer)
      return (suite & kSuiteEnterprise) ? kEditionEnterpriseServer : kEditionStandardServer;
    return current;
  }
  if (v.majorVersion == 5) {
    if (v.productType == kNtWorkstation)
      return (suite & kSuitePersonal) ? kEditionHome : kEditionProfessional;
    if (v.productType != kNtServer) return current;
    if (suite & kSuiteDatacenter) return kEditionDatacenterServer;
    if (v.minorVersion == 0)
      return (suite & kSuiteEnterprise) ? kEditionAdvancedServer : kEditionServer;
    if (suite & kSuiteEnterprise) return kEditionEnterpriseServer;
    if (suite & kSuiteBlade) return kEditionWebServer;
    return kEditionStandardServer;
  }
  if (v.majorVersion == 6) {
    const uint32_t type = productInfo();
    if (type == 0) return kEditionUnknown;
    if (type <= 25) return static_cast<int>(type) + 4;
    return current;
  }
  return current;
}

// The service-pack text: "<service pack> (Build <low 16 bits>)", or
// "Service Pack 6a (Build n)" for Windows NT 4.0 with "Service Pack 6"
// when hotfixQ246009() says the hotfix key is there (asked only then).
constexpr size_t kServicePackTextCapacity = 128;
template <class HotfixPresent>
void BuildServicePackText(uint32_t major, const char* csdVersion, uint32_t buildNumber,
                          HotfixPresent&& hotfixQ246009, char (&text)[kServicePackTextCapacity]);

void FormatServicePackText(const char* csdVersion, uint32_t buildNumber, bool servicePack6a,
                           char (&text)[kServicePackTextCapacity]);
bool IsNt4ServicePack6(uint32_t major, const char* csdVersion);

template <class HotfixPresent>
void BuildServicePackText(uint32_t major, const char* csdVersion, uint32_t buildNumber,
                          HotfixPresent&& hotfixQ246009, char (&text)[kServicePackTextCapacity]) {
  const bool sp6a = IsNt4ServicePack6(major, csdVersion) && hotfixQ246009();
  FormatServicePackText(csdVersion, buildNumber, sp6a, text);
}

}  // namespace zv
