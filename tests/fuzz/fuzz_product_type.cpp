// The registry's "ProductType" word of a system that answers only the
// basic version query: any 80 bytes (the rest of the buffer zero, as the
// program's buffer starts) with any version numbers. The bytes lie in a
// heap block of exactly 80 bytes, so that a read past them is caught.
#include <fuzzer/FuzzedDataProvider.h>
#include <strings.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <vector>

#include "fuzz_support.h"
#include "sysinfo/classify.h"

namespace zv::fuzz {
namespace {

bool IsOneOf(int code, std::initializer_list<int> codes) {
  for (int c : codes) {
    if (c == code) return true;
  }
  return false;
}

void Run(FuzzedDataProvider& in) {
  const uint32_t major = in.ConsumeIntegral<uint32_t>();
  const uint32_t minor = in.ConsumeIntegral<uint32_t>();
  const int kindBefore = in.ConsumeIntegral<int>();
  const int editionBefore = in.ConsumeIntegral<int>();
  const std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(kProductTypeCapacity);

  std::unique_ptr<char[]> buffer(new char[kProductTypeCapacity]());
  if (!bytes.empty()) std::memcpy(buffer.get(), bytes.data(), bytes.size());
  const char(&word)[kProductTypeCapacity] =
      *reinterpret_cast<const char(*)[kProductTypeCapacity]>(buffer.get());

  int kind = kindBefore;
  int edition = editionBefore;
  ClassifyProductLegacy(word, major, minor, kind, edition);
  const bool changed = kind != kindBefore || edition != editionBefore;

  ZV_FUZZ_CHECK(kind == kindBefore || IsOneOf(kind, {kWinNt40, kWin2000, kWinServer2003}));
  ZV_FUZZ_CHECK(edition == editionBefore ||
                IsOneOf(edition, {kEditionWorkstation, kEditionServer, kEditionAdvancedServer,
                                  kEditionEnterpriseServer}));
  if (kind != kindBefore) ZV_FUZZ_CHECK(OsKindName(kind) != nullptr);
  if (edition != editionBefore) ZV_FUZZ_CHECK(OsEditionName(edition) != nullptr);

  // Nothing but one of the three words, terminated inside the buffer, on
  // NT 4.0 or older, 5.0 or 5.2, changes a code.
  if (std::memchr(buffer.get(), '\0', kProductTypeCapacity) == nullptr) {
    ZV_FUZZ_CHECK(!changed);
    return;
  }
  const bool knownWord = strcasecmp(buffer.get(), "WINNT") == 0 ||
                         strcasecmp(buffer.get(), "LANMANNT") == 0 ||
                         strcasecmp(buffer.get(), "SERVERNT") == 0;
  const bool knownVersion = major <= 4 || (major == 5 && (minor == 0 || minor == 2));
  if (!knownWord || !knownVersion) ZV_FUZZ_CHECK(!changed);
}

}  // namespace
}  // namespace zv::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  zv::fuzz::Run(in);
  return 0;
}
