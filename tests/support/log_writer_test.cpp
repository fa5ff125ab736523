#include "support/log_writer.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "common/scratch_dir.h"
#include "platform/clock.h"
#include "platform/datetime.h"
#include "platform/files.h"
#include "platform/system.h"

namespace {

using namespace support;
using testing_support::ReadFile;
using testing_support::ScratchDir;

// 2026-12-06 16:55:01 on a clock that stands still.
class LogWriterTest : public testing::Test {
 protected:
  void SetUp() override {
    platform::DateTimeFields f;
    f.year = 2026, f.month = 12, f.day = 6, f.hour = 16, f.minute = 55, f.second = 1;
    clock.SetNow(platform::EncodeDateTime(f));
    platform::InstallClock(&clock);
  }
  void TearDown() override { platform::InstallClock(nullptr); }

  platform::VirtualClock clock;
  ScratchDir dir;
};

TEST_F(LogWriterTest, InactiveLogWritesNothing) {
  TLogFile log;
  log.FileName = dir.Path() + "never.log";
  EXPECT_FALSE(WriteLog("hello", &log, lfTimeStamp));
  EXPECT_FALSE(platform::FileExists(log.FileName));
}

TEST_F(LogWriterTest, FirstWriteCreatesDirectoryChainAndStampsLines) {
  TLogFile log;
  // The doubled separator is stored as the setup writes it.
  std::string name = dir.Path() + "logs\\\\setup\\setup.log";
  EXPECT_TRUE(InitLog(name, &log, lfTimeStamp, 4));
  EXPECT_EQ(log.Reserved, 4);
  EXPECT_TRUE(WriteLog("Setup cancelled\r\n", &log));
  std::string expected = "2026-12-06 16:55:01 Setup cancelled\r\n\r\n";
  EXPECT_EQ(ReadFile(dir.Path() + "logs\\setup\\setup.log"), expected);

  // A second run appends.
  InitLog(name, &log, lfTimeStamp, 4);
  clock.Advance(2000);
  EXPECT_TRUE(WriteLog("again", &log));
  EXPECT_EQ(ReadFile(dir.Path() + "logs\\setup\\setup.log"),
            expected + "2026-12-06 16:55:03 again\r\n");
}

TEST_F(LogWriterTest, FlagsOfTheCallReplaceTheLogsFlags) {
  TLogFile log;
  InitLog(dir.Path() + "x.log", &log, lfTimeStamp, 0);
  EXPECT_TRUE(WriteLog("  first\nsecond", &log, lfFirstLineOnly));
  EXPECT_TRUE(WriteLog("  untouched  ", &log, lfFirstLineOnly));
  // High bits are not consulted: this is flags 0x1, a time stamp only.
  EXPECT_TRUE(WriteLog("high", &log, 0x10001));
  EXPECT_EQ(ReadFile(dir.Path() + "x.log"),
            "first\r\n  untouched  \r\n2026-12-06 16:55:01 high\r\n");
}

TEST_F(LogWriterTest, ThreadIdentifierIsHexPaddedToEvenDigits) {
  TLogFile log;
  InitLog(dir.Path() + "t.log", &log, lfTimeStamp | lfThreadId, 0);
  EXPECT_TRUE(WriteLog("x", &log));
  std::string line = ReadFile(dir.Path() + "t.log");
  ASSERT_EQ(line.substr(0, 21), "2026-12-06 16:55:01 [");
  size_t close = line.find("] x\r\n");
  ASSERT_NE(close, std::string::npos);
  std::string digits = line.substr(21, close - 21);
  EXPECT_EQ(digits.size() % 2, 0u);
  EXPECT_EQ(digits.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_EQ(std::stoul(digits, nullptr, 16), platform::CurrentThreadId());
}

TEST_F(LogWriterTest, ConsoleLinesDoNotReachTheFile) {
  TLogFile log;
  InitLog(dir.Path() + "c.log", &log, lfConsole, 0);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(WriteLog("to the console", &log));
#ifdef _WIN32
  // The capture reads its file in text mode there, turning CR LF into LF.
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "to the console\n");
#else
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "to the console\r\n");
#endif
  EXPECT_FALSE(platform::FileExists(dir.Path() + "c.log"));
}

TEST_F(LogWriterTest, DeleteOnInitRemovesTheOldFile) {
  testing_support::WriteFile(dir.Path() + "old.log", "old\r\n");
  TLogFile log;
  InitLog(dir.Path() + "old.log", &log, lfDeleteOnInit, 0);
  EXPECT_FALSE(platform::FileExists(dir.Path() + "old.log"));
  WriteLog("new", &log, 0);
  EXPECT_EQ(ReadFile(dir.Path() + "old.log"), "new\r\n");
}

TEST_F(LogWriterTest, UnwritableFileGivesFalse) {
  TLogFile log;
  platform::CreateDirectory(dir.Path() + "adir");
  InitLog(dir.Path() + "adir", &log, 0, 0);  // a directory, not a file
  EXPECT_FALSE(WriteLog("x", &log));
}

TEST_F(LogWriterTest, DatePatternsExpand) {
  EXPECT_EQ(ExpandDatePatterns("C:\\logs\\plain.log"), "C:\\logs\\plain.log");
  EXPECT_EQ(ExpandDatePatterns("C:\\logs\\\"yyyymmdd\".log"), "C:\\logs\\20261206.log");
  EXPECT_EQ(ExpandDatePatterns("\"yyyy\"-\" hh'h'nn \".log"), "2026-16h55.log");
  // Letters that are no code stand as written; the codes around them still count.
  EXPECT_EQ(ExpandDatePatterns("a\"qqq\"b"), "aqqqb");
  EXPECT_EQ(ExpandDatePatterns("\"yyyymmdd-week\".log"), "20261206-week.log");
  // An unpaired quote takes the rest as its pattern and the loop ends.
  EXPECT_EQ(ExpandDatePatterns("x\"dd"), "x06");
}

TEST_F(LogWriterTest, PatternCodes) {
  const double when = clock.Now();  // Sunday
  EXPECT_EQ(FormatDateTime("yy/m/d h:m:s zzz mmm mmmm", when), "26/12/6 16:55:1 000 Dec December");
  EXPECT_EQ(FormatDateTime("\"lit\"dd ddd dddd", when), "lit06 Sun Sunday");
  EXPECT_EQ(FormatDateTime("dddd", when + 6), "Saturday");
  EXPECT_EQ(FormatDateTime("ddd", 0), "Sat");     // 1899-12-30
  EXPECT_EQ(FormatDateTime("ddd", -1.5), "Fri");  // 1899-12-29 12:00
  EXPECT_EQ(FormatDateTime("yyyyq", when), "2026q");
}

TEST_F(LogWriterTest, DateChangeSwitchesFiles) {
  TLogFile log;
  InitLog(dir.Path() + "day-\"dd\".log", &log, 0, 0);
  WriteLog("one", &log);
  clock.Advance(24 * 3600 * 1000);
  WriteLog("two", &log);
  EXPECT_EQ(ReadFile(dir.Path() + "day-06.log"), "one\r\n");
  EXPECT_EQ(ReadFile(dir.Path() + "day-07.log"), "two\r\n");
}

TEST(LogWriterConcurrency, LinesFromManyThreadsStayWhole) {
  platform::InstallClock(nullptr);
  ScratchDir dir;
  TLogFile log;
  InitLog(dir.Path() + "many.log", &log, lfTimeStamp | lfThreadId, 0);
  const int kThreads = 6, kLines = 150;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&log, t] {
      std::string body(200, static_cast<char>('a' + t));
      for (int i = 0; i < kLines; ++i) WriteLog(body + std::to_string(i), &log);
    });
  for (auto& th : threads) th.join();

  std::string content = ReadFile(dir.Path() + "many.log");
  std::set<std::string> seen;
  size_t pos = 0, lines = 0;
  while (pos < content.size()) {
    size_t end = content.find("\r\n", pos);
    ASSERT_NE(end, std::string::npos);
    std::string line = content.substr(pos, end - pos);
    size_t body = line.find("] ");
    ASSERT_NE(body, std::string::npos) << line;
    std::string text = line.substr(body + 2);
    char c = text[0];
    ASSERT_EQ(text.find_first_not_of(c), 200u) << line;  // no interleaving
    seen.insert(text);
    ++lines;
    pos = end + 2;
  }
  EXPECT_EQ(lines, size_t{kThreads * kLines});
  EXPECT_EQ(seen.size(), size_t{kThreads * kLines});
}

}  // namespace
