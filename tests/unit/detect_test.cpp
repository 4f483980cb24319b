// Whether the framework counts as installed, for every shape the registry
// value can take.
#include <gtest/gtest.h>

#include <string>

#include "platform/os.h"
#include "provision/detect.h"
#include "support/simulated_os.h"

namespace zv {
namespace {

using test::SimulatedOs;

std::string Bytes(uint64_t value, size_t size) {
  return std::string(reinterpret_cast<const char*>(&value), size);
}

TEST(IsNetFx35Installed, AnswersFromTheSetupValue) {
  struct Case {
    const char* name;
    bool keyPresent;
    bool valuePresent;
    uint32_t type;
    std::string bytes;
    bool installed;
  } cases[] = {
      {"SP 1 as REG_DWORD", true, true, kRegDword, Bytes(1, 4), true},
      {"SP 0", true, true, kRegDword, Bytes(0, 4), false},
      {"SP 2 is not a lower bound", true, true, kRegDword, Bytes(2, 4), false},
      {"SP 0x101 whose low byte is 1", true, true, kRegDword, Bytes(0x101, 4), false},
      {"SP as the string \"1\"", true, true, kRegSz, std::string("1\0", 2), false},
      {"SP as an 8-byte number", true, true, kRegQword, Bytes(1, 8), false},
      {"SP as a 2-byte REG_DWORD", true, true, kRegDword, Bytes(1, 2), false},
      {"SP as a 4-byte REG_SZ holding 1", true, true, kRegSz, Bytes(1, 4), false},
      {"key without SP", true, false, 0, "", false},
      {"key missing", false, false, 0, "", false},
  };
  for (const Case& c : cases) {
    SimulatedOs os;
    if (c.keyPresent) os.keys[SimulatedOs::Lower(kNetFx35SetupKey)];
    if (c.valuePresent) os.SetValue(kNetFx35SetupKey, "SP", c.type, c.bytes);
    EXPECT_EQ(IsNetFx35Installed(os), c.installed) << c.name;
    EXPECT_EQ(IsNetFx35Installed(os), c.installed) << c.name << ", asked again";
    EXPECT_EQ(os.OpenHandleCount(), 0u) << c.name << ": the key must be closed";
  }
}

TEST(IsNetFx35Installed, RefusedOpenCountsAsMissing) {
  SimulatedOs os;
  os.SetDword(kNetFx35SetupKey, "SP", 1);
  os.keys[SimulatedOs::Lower(kNetFx35SetupKey)].openError = kErrorAccessDenied;
  EXPECT_FALSE(IsNetFx35Installed(os));
  EXPECT_EQ(os.OpenHandleCount(), 0u);
}

TEST(IsNetFx35Installed, AKeyThisProcessMayOnlyReadStillCounts) {
  SimulatedOs os;
  os.SetDword(kNetFx35SetupKey, "SP", 1);
  os.keys[SimulatedOs::Lower(kNetFx35SetupKey)].writable = false;
  EXPECT_TRUE(IsNetFx35Installed(os));
  ASSERT_EQ(os.keyAccess.size(), 1u);
  EXPECT_EQ(os.keyAccess[0], kKeyRead);
}

}  // namespace
}  // namespace zv
