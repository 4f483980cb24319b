#include "sysinfo/classify.h"

#include "common/text.h"

namespace zv {

namespace {

const char* const kOsKindNames[kOsKindCount] = {
    "Windows",
    "Windows 32s",
    "Windows 95",
    "Windows 95 SR2",
    "Windows 98",
    "Windows 98 SE",
    "Windows Me",
    "Windows NT 3.51",
    "Windows NT 4.0",
    "Windows NT 4.0 Server",
    "Windows 2000",
    "Windows XP",
    "Windows XP Professional x64",
    "Windows Home Server",
    "Windows Server 2003",
    "Windows Server 2003 R2",
    "Windows Vista",
    "Windows Server 2008",
    "Windows Server 2008 R2",
    "Windows 7",
};

const char* const kOsEditionNames[kOsEditionCount] = {
    "Edition unknown Edition",
    "Workstation Edition",
    "Server Edition",
    "Advanced Server Edition",
    "Home Edition",
    "Ultimate Edition",
    "Home Basic Edition",
    "Home Premium Edition",
    "Enterprise Edition",
    "Home Basic N Edition",
    "Business Edition",
    "Standard Server Edition",
    "Datacenter Server Edition",
    "Small Business Server Edition",
    "Enterprise Server Edition",
    "Starter Edition",
    "Datacenter Server Core Edition",
    "Standard Server Core Edition",
    "Enterprise Server Core Edition",
    "Enterprise Server IA64 Edition",
    "Business N Edition",
    "Web Server Edition",
    "Cluster Server Edition",
    "Home Server Edition",
    "Storage Express Server Edition",
    "Storage Standard Server Edition",
    "Storage Workgroup Server Edition",
    "Storage Enterprise Server Edition",
    "Server For Small Business Edition",
    "Small Business Server Premium Edition",
    "Home Premium N Edition",
    "Enterprise N Edition",
    "Ultimate N Edition",
    "Web Server Core Edition",
    "Medium Business Server Management Edition",
    "Medium Business Server Security Edition",
    "Medium Business Server Messaging Edition",
    "Server Foundation Edition",
    "Home Premium Server Edition",
    "Server For Small Business V Edition",
    "Standard Server V Edition",
    "Datacenter Server V Edition",
    "Enterprise Server V Edition",
    "Datacenter Server Core V Edition",
    "Standard Server Core V Edition",
    "Enterprise Server Core V Edition",
    "Hyper-V Edition",
    "Storage Express Server Core Edition",
    "Storage Standard Server Core Edition",
    "Storage Workgroup Server Core Edition",
    "Storage Enterprise Server Core Edition",
    "Starter N Edition",
    "Professional Edition",
    "Professional N Edition",
    "Small Business Solution Server Edition",
    "Server For Small Business Solution Edition",
    "Standard Server Solutions Edition",
    "Standard Server Solutions Core Edition",
    "Small Business Solution Server EM Edition",
    "Server For Small Business Solution EM Edition",
    nullptr,  // 60 has no name
    "Solution Embedded Server Core Edition",
    "Small Business Server Premium Core Edition",
    "Essential Business Server Management Edition",
    "Essential Business Server Additional Edition",
    "Essential Business Server Management Service Edition",
    "Essential Business Server Additinal Service Edition",
    "Cluster Server V Edition",
    "Embedded Edition",
    "Starter E Edition",
    "Home Basic E Edition",
    "Home Premium E Edition",
    "Professional E Edition",
    "Enterprise E Edition",
    "Ultimate E Edition",
};

}  // namespace

const char* OsKindName(int code) {
  return (code >= 0 && code < kOsKindCount) ? kOsKindNames[code] : nullptr;
}

const char* OsEditionName(int code) {
  return (code >= 0 && code < kOsEditionCount) ? kOsEditionNames[code] : nullptr;
}

bool IsArchitecture64Bit(uint16_t architecture) {
  return architecture == kArchitectureIa64 || architecture == kArchitectureAmd64 ||
         architecture == kArchitectureAlpha64;
}

char ServicePackLetter(const char* csdVersion) {
  while (*csdVersion == ' ') ++csdVersion;
  return *csdVersion;
}

void ClassifyProductLegacy(const char (&productType)[kProductTypeCapacity], uint32_t major,
                           uint32_t minor, int& osKind, int& osEdition) {
  // A value that fills all 80 bytes without a terminator is no word at all.
  if (BoundedLength(productType, kProductTypeCapacity) == kProductTypeCapacity) return;
  const bool v52 = major == 5 && minor == 2;
  const bool v50 = major == 5 && minor == 0;
  const bool nt4OrOlder = major <= 4;
  if (EqualIgnoringCase(productType, "WINNT")) {
    if (nt4OrOlder) {
      osKind = kWinNt40;
      osEdition = kEditionWorkstation;
    }
  } else if (EqualIgnoringCase(productType, "LANMANNT")) {
    if (v52) {
      osKind = kWinServer2003;
    } else if (v50) {
      osKind = kWin2000;
      osEdition = kEditionServer;
    } else if (nt4OrOlder) {
      osKind = kWinNt40;
      osEdition = kEditionServer;
    }
  } else if (EqualIgnoringCase(productType, "SERVERNT")) {
    if (v52) {
      osKind = kWinServer2003;
      osEdition = kEditionEnterpriseServer;
    } else if (v50) {
      osKind = kWin2000;
      osEdition = kEditionAdvancedServer;
    } else if (nt4OrOlder) {
      osKind = kWinNt40;
      osEdition = kEditionEnterpriseServer;
    }
  }
}

bool IsNt4ServicePack6(uint32_t major, const char* csdVersion) {
  return major == 4 && EqualIgnoringCase(csdVersion, "Service Pack 6");
}

void FormatServicePackText(const char* csdVersion, uint32_t buildNumber, bool servicePack6a,
                           char (&text)[kServicePackTextCapacity]) {
  const unsigned build = buildNumber & 0xFFFFu;
  if (servicePack6a) {
    FormatText(text, sizeof text, "Service Pack 6a (Build %u)", build);
  } else {
    // A service-pack string too long for the field is cut so that the
    // build number always stays whole.
    char suffix[24];
    const size_t suffixLength = FormatText(suffix, sizeof suffix, " (Build %u)", build);
    const size_t room = sizeof text - 1 - suffixLength;
    const size_t keep = BoundedLength(csdVersion, room);
    FormatText(text, sizeof text, "%.*s%s", static_cast<int>(keep), csdVersion, suffix);
  }
}

}  // namespace zv
