// The activity log: line layout, blocks and depth, and every way the file
// can refuse to be written.
#include <gtest/gtest.h>

#include <string>

#include "log/activity_log.h"
#include "support/simulated_os.h"

namespace zv {
namespace {

using test::SimulatedOs;

class LogTest : public ::testing::Test {
 protected:
  LogTest() {
    os.directories.insert("c:\\tqv");
    os.directories.insert("c:\\tqv\\logs");
  }
  std::string Log() const { return os.File(kLogPath); }

  SimulatedOs os;
  ActivityLog log{os};
};

TEST_F(LogTest, WorkedExampleGivesSixLinesWithCrLf) {
  log.WriteLog(+1, "--- System Information ---");
  log.WriteLog(0, "%s", "Windows XP");
  log.WriteLog(0, "%s", "Professional Edition");
  EXPECT_EQ(log.Depth(), 2);
  log.WriteLog(-1, "%s", "");
  EXPECT_EQ(log.Depth(), 0);
  EXPECT_EQ(Log(),
            "{\r\n"
            "  14-03-11 09:05:07 --- System Information ---\r\n"
            "  14-03-11 09:05:07 Windows XP\r\n"
            "  14-03-11 09:05:07 Professional Edition\r\n"
            "  14-03-11 09:05:07 \r\n"
            "}\r\n");
}

TEST_F(LogTest, OnlyTheSignOfTheBlockDeltaCounts) {
  log.WriteLog(+7, "%s", "in");
  EXPECT_EQ(log.Depth(), 2);
  log.WriteLog(-3, "%s", "out");
  EXPECT_EQ(log.Depth(), 0);
  EXPECT_EQ(Log(), "{\r\n  14-03-11 09:05:07 in\r\n  14-03-11 09:05:07 out\r\n}\r\n");
}

TEST_F(LogTest, DepthStopsAtOneHundredAndClosingStepsBackFromThere) {
  for (int i = 0; i < 50; ++i) log.WriteLog(+1, "%d", i);
  EXPECT_EQ(log.Depth(), 100);
  os.files.clear();
  os.files[SimulatedOs::Lower(kLogPath)];
  log.WriteLog(+1, "%s", "deep");
  EXPECT_EQ(log.Depth(), 100);
  log.WriteLog(-1, "%s", "back");
  EXPECT_EQ(log.Depth(), 98);
  const std::string d100(100, ' ');
  const std::string d98(98, ' ');
  EXPECT_EQ(Log(), d100 + "{\r\n" + d100 + "14-03-11 09:05:07 deep\r\n" + d100 +
                       "14-03-11 09:05:07 back\r\n" + d98 + "}\r\n");
}

TEST_F(LogTest, ClosingAtDepthZeroStaysAtZero) {
  log.WriteLog(-1, "%s", "x");
  EXPECT_EQ(log.Depth(), 0);
  EXPECT_EQ(Log(), "14-03-11 09:05:07 x\r\n}\r\n");
}

TEST_F(LogTest, MessageTextArrivesUnchanged) {
  struct Case {
    const char* message;
    const char* line;
  } cases[] = {
      {"", "14-03-11 09:05:07 \r\n"},
      {"100% done %d %s", "14-03-11 09:05:07 100% done %d %s\r\n"},
      // A line break inside a message starts a line of its own, and is
      // written as CR LF whether it came as LF or as CR LF.
      {"one\ntwo", "14-03-11 09:05:07 one\r\ntwo\r\n"},
      {"one\r\ntwo", "14-03-11 09:05:07 one\r\ntwo\r\n"},
      {"ends\r\n", "14-03-11 09:05:07 ends\r\n\r\n"},
      {"\n", "14-03-11 09:05:07 \r\n\r\n"},
      // A lone CR ends a line too, so no line ever ends in CR CR LF.
      {"ends in CR\r", "14-03-11 09:05:07 ends in CR\r\n\r\n"},
      {"a\rb", "14-03-11 09:05:07 a\r\nb\r\n"},
      {"a\r\r\nb", "14-03-11 09:05:07 a\r\n\r\nb\r\n"},
      {"\xE4\xF6\xFC bytes", "14-03-11 09:05:07 \xE4\xF6\xFC bytes\r\n"},
  };
  for (const Case& c : cases) {
    os.files.clear();
    os.files[SimulatedOs::Lower(kLogPath)];
    log.WriteLog(0, "%s", c.message);
    EXPECT_EQ(Log(), c.line) << "message: " << c.message;
  }
}

TEST_F(LogTest, FormatIsExpandedWithItsArguments) {
  log.WriteLog(0, "Process finished. ExitCode = %d", -1);
  EXPECT_EQ(Log(), "14-03-11 09:05:07 Process finished. ExitCode = -1\r\n");
}

TEST_F(LogTest, MessageIsCutAt2047Characters) {
  const std::string longText(5000, 'x');
  log.WriteLog(0, "%s", longText.c_str());
  EXPECT_EQ(Log(), "14-03-11 09:05:07 " + std::string(2047, 'x') + "\r\n");
}

TEST_F(LogTest, MessageOfLineBreaksOnlyStillFitsWhole) {
  const std::string breaks(2047, '\n');
  log.WriteLog(+1, "%s", breaks.c_str());
  std::string expected = "{\r\n  14-03-11 09:05:07 ";
  for (int i = 0; i < 2047; ++i) expected += "\r\n";
  EXPECT_EQ(Log(), expected + "\r\n");
}

TEST_F(LogTest, EarlierContentIsNeverChanged) {
  // A trailing Ctrl-Z of an old log stays; the new line follows it.
  const std::string old = "old run line\r\n\x1A";
  os.files[SimulatedOs::Lower(kLogPath)] = old;
  log.WriteLog(0, "%s", "new");
  EXPECT_EQ(Log(), old + "14-03-11 09:05:07 new\r\n");
}

TEST_F(LogTest, AllLinesOfOneCallGoOutInOneWrite) {
  log.WriteLog(+1, "%s", "a");
  log.WriteLog(-1, "%s", "b");
  EXPECT_EQ(os.appends, 2);
  EXPECT_EQ(os.OpenHandleCount(), 0u);
}

TEST_F(LogTest, StampsComeFromOneReadingOfTheClock) {
  // The day turns between two readings: both stamps must still agree.
  LocalTime before;
  before.year = 2011;
  before.month = 12;
  before.day = 31;
  before.hour = 23;
  before.minute = 59;
  before.second = 59;
  LocalTime after;
  after.year = 2012;
  after.month = 1;
  after.day = 1;
  os.clock = {before, after};
  log.WriteLog(0, "%s", "midnight");
  EXPECT_EQ(Log(), "31-12-11 23:59:59 midnight\r\n");
}

TEST(LogStamps, DateAndTimeLayout) {
  struct Case {
    LocalTime time;
    const char* date;
    const char* clock;
  } cases[] = {
      {{2011, 3, 14, 9, 5, 7}, "14-03-11", "09:05:07"},
      {{2000, 1, 1, 0, 0, 0}, "01-01-00", "00:00:00"},
      {{1999, 12, 31, 23, 59, 59}, "31-12-99", "23:59:59"},
      {{2026, 12, 11, 13, 4, 30}, "11-12-26", "13:04:30"},
  };
  for (const Case& c : cases) {
    char date[9];
    char clock[9];
    FormatDateStamp(c.time, date);
    FormatTimeStamp(c.time, clock);
    EXPECT_STREQ(date, c.date);
    EXPECT_STREQ(clock, c.clock);
  }
}

// --- The file refuses -------------------------------------------------------

TEST_F(LogTest, MissingFolderWritesNothingAndKeepsTheDepth) {
  os.directories.erase("c:\\tqv\\logs");
  log.WriteLog(+1, "%s", "lost");
  EXPECT_EQ(log.Depth(), 0);
  EXPECT_TRUE(os.files.empty());
  EXPECT_TRUE(os.pauses.empty()) << "a missing folder is not worth waiting for";
}

TEST_F(LogTest, AnOpeningCallThatFailsLeavesTheClosingCallAtTheOuterLevel) {
  log.WriteLog(+1, "%s", "outer");  // depth 2
  os.openFailuresLeft = 1;
  os.openError = kErrorAccessDenied;
  log.WriteLog(+1, "%s", "inner, lost");
  EXPECT_EQ(log.Depth(), 2);
  log.WriteLog(-1, "%s", "closing");
  EXPECT_EQ(log.Depth(), 0);
  EXPECT_EQ(Log(), "{\r\n  14-03-11 09:05:07 outer\r\n  14-03-11 09:05:07 closing\r\n}\r\n");
}

TEST_F(LogTest, FileHeldByAnotherProgramIsTriedAgainBriefly) {
  os.openError = kErrorSharingViolation;
  os.openFailuresLeft = 3;
  log.WriteLog(0, "%s", "patient");
  EXPECT_EQ(Log(), "14-03-11 09:05:07 patient\r\n");
  EXPECT_EQ(os.openAttempts, 4);
  EXPECT_EQ(os.pauses.size(), 3u);
}

TEST_F(LogTest, FileHeldForGoodGivesUpWellUnderASecond) {
  os.openError = kErrorSharingViolation;
  os.openFailuresLeft = -1;
  log.WriteLog(+1, "%s", "lost");
  EXPECT_EQ(log.Depth(), 0);
  EXPECT_EQ(os.openAttempts, kLogOpenAttempts);
  uint32_t waited = 0;
  for (uint32_t ms : os.pauses) waited += ms;
  EXPECT_GT(waited, 0u);
  EXPECT_LT(waited, 500u);
  EXPECT_TRUE(os.files.empty());
}

TEST_F(LogTest, RefusedAccessIsNotRetried) {
  os.openError = kErrorAccessDenied;
  os.openFailuresLeft = -1;
  log.WriteLog(0, "%s", "lost");
  EXPECT_EQ(os.openAttempts, 1);
}

TEST_F(LogTest, FailedWriteStillMovesTheDepth) {
  os.appendsFail = true;
  log.WriteLog(+1, "%s", "unwritten");
  EXPECT_EQ(log.Depth(), 2);
  EXPECT_EQ(os.OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace zv
