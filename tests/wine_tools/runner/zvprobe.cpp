// zvprobe: prints what the running Windows answers to the questions that
// Zelvantorix classifies the system from, one "key=value" line each.
//
//   extended_ok   GetVersionExA with OSVERSIONINFOEXA succeeded (1) or not (0)
//   major, minor, build, platform          dwMajorVersion ... dwPlatformId
//   csd           szCSDVersion as it stands (up to the line end)
//   csd_hex       the same bytes in hexadecimal, so that blanks show
//   sp_major, sp_minor, suite, product_type   the extended part
//   arch          GetNativeSystemInfo's wProcessorArchitecture, or "absent"
//   product_info  GetProductInfo's product type for the version answered,
//                 or "absent" when kernel32 does not export it
//   serverr2      GetSystemMetrics(SM_SERVERR2)
//   pointer_bits  32 or 64: the probe's own build
//   cwd           the current folder the probe was started in
//   cmdline       the whole command line it was given
//   wine          the Wine version, or "none" on Windows
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

template <class Function>
Function Lookup(const char* module, const char* name) {
  HMODULE handle = GetModuleHandleA(module);
  if (handle == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(handle, name)));
}

}  // namespace

int main() {
  OSVERSIONINFOEXA version;
  std::memset(&version, 0, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  const BOOL extended = GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version));
  version.szCSDVersion[sizeof version.szCSDVersion - 1] = '\0';

  std::printf("extended_ok=%d\n", extended ? 1 : 0);
  std::printf("major=%lu\n", static_cast<unsigned long>(version.dwMajorVersion));
  std::printf("minor=%lu\n", static_cast<unsigned long>(version.dwMinorVersion));
  std::printf("build=%lu\n", static_cast<unsigned long>(version.dwBuildNumber));
  std::printf("platform=%lu\n", static_cast<unsigned long>(version.dwPlatformId));
  std::printf("csd=%s\n", version.szCSDVersion);
  std::printf("csd_hex=");
  for (const char* p = version.szCSDVersion; *p != '\0'; ++p)
    std::printf("%02x", static_cast<unsigned>(static_cast<unsigned char>(*p)));
  std::printf("\n");
  std::printf("sp_major=%u\n", static_cast<unsigned>(version.wServicePackMajor));
  std::printf("sp_minor=%u\n", static_cast<unsigned>(version.wServicePackMinor));
  std::printf("suite=0x%04x\n", static_cast<unsigned>(version.wSuiteMask));
  std::printf("product_type=%u\n", static_cast<unsigned>(version.wProductType));

  using NativeInfoFunction = void(WINAPI*)(LPSYSTEM_INFO);
  auto native = Lookup<NativeInfoFunction>("kernel32.dll", "GetNativeSystemInfo");
  if (native != nullptr) {
    SYSTEM_INFO info;
    std::memset(&info, 0, sizeof info);
    native(&info);
    std::printf("arch=%u\n", static_cast<unsigned>(info.wProcessorArchitecture));
  } else {
    std::printf("arch=absent\n");
  }

  using ProductInfoFunction = BOOL(WINAPI*)(DWORD, DWORD, DWORD, DWORD, PDWORD);
  auto productInfo = Lookup<ProductInfoFunction>("kernel32.dll", "GetProductInfo");
  if (productInfo != nullptr) {
    DWORD type = 0;
    productInfo(version.dwMajorVersion, version.dwMinorVersion, version.wServicePackMajor,
                version.wServicePackMinor, &type);
    std::printf("product_info=%lu\n", static_cast<unsigned long>(type));
  } else {
    std::printf("product_info=absent\n");
  }

  std::printf("serverr2=%d\n", GetSystemMetrics(SM_SERVERR2));
  std::printf("pointer_bits=%u\n", static_cast<unsigned>(sizeof(void*) * 8));
  char folder[MAX_PATH + 1] = {};
  const DWORD folderLength = GetCurrentDirectoryA(sizeof folder, folder);
  std::printf("cwd=%s\n", folderLength > 0 && folderLength < sizeof folder ? folder : "");
  std::printf("cmdline=%s\n", GetCommandLineA());

  using WineVersionFunction = const char*(CDECL*)(void);
  auto wineVersion = Lookup<WineVersionFunction>("ntdll.dll", "wine_get_version");
  std::printf("wine=%s\n", wineVersion != nullptr ? wineVersion() : "none");
  std::fflush(stdout);
  return 0;
}
