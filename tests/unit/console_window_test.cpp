// Minimizing the console window by its temporary title.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/console_window.h"
#include "support/simulated_os.h"

namespace zv {
namespace {

using test::SimulatedOs;

const std::string kTemporary = "Zelvantorix-{5D2E8A61-93C4-4B7F-8E06-C1F47A9B3D52}";

TEST(MinimizeConsoleWindow, FindsTheWindowByItsTemporaryTitleAndRestoresTheOldOne) {
  SimulatedOs os;
  os.consoleTitle = "Administrator: deploy";
  os.windows[kTemporary] = 0x4242;
  MinimizeConsoleWindow(os);
  EXPECT_EQ(os.trace, (std::vector<std::string>{
                          "read title", "set title " + kTemporary, "pause 40",
                          "find window " + kTemporary, "set title Administrator: deploy",
                          "minimize 16962", "minimize 16962", "pause 250"}));
  EXPECT_EQ(os.consoleTitle, "Administrator: deploy");
  EXPECT_EQ(os.minimized, (std::vector<OsHandle>{0x4242, 0x4242}));
  EXPECT_TRUE(os.standardOutput.empty());
  EXPECT_TRUE(os.files.empty());
}

TEST(MinimizeConsoleWindow, WithoutAWindowNothingIsMinimizedButTheCallRunsToItsEnd) {
  SimulatedOs os;
  os.consoleTitle = "deploy";
  MinimizeConsoleWindow(os);
  EXPECT_EQ(os.minimized, (std::vector<OsHandle>{0, 0}));
  EXPECT_EQ(os.consoleTitle, "deploy");
  EXPECT_EQ(os.pauses, (std::vector<uint32_t>{40, 250}));
}

TEST(MinimizeConsoleWindow, UnreadableTitleNeverLeavesTheTemporaryOneBehind) {
  SimulatedOs os;
  os.consoleTitle = "whatever was there";
  os.titleReadable = false;
  os.windows[kTemporary] = 0x10;
  MinimizeConsoleWindow(os);
  EXPECT_EQ(os.consoleTitle, "");
  EXPECT_EQ(os.minimized.size(), 2u);
}

TEST(MinimizeConsoleWindow, OverlongTitleIsRestoredAsReadWithinTheBuffer) {
  SimulatedOs os;
  os.consoleTitle = std::string(3000, 't');
  MinimizeConsoleWindow(os);
  EXPECT_EQ(os.consoleTitle, std::string(kConsoleTitleCapacity - 1, 't'));
}

}  // namespace
}  // namespace zv
