// The message pump of the run's long loops, and work run beside a window that
// keeps answering.
#include "product/user_interface.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/clock.h"

namespace ui {
namespace {

class CountingUI : public UserInterface {
 public:
  int MessageBox(const std::string&, const std::string&, unsigned) override { return kIdOk; }
  void ShowStatus(const std::string&) override {}
  void ShowWork(const std::string& item, uint64_t done, uint64_t) override {
    shown.push_back(item + " " + std::to_string(done));
  }
  void ProcessMessages() override { pumpedOn.push_back(std::this_thread::get_id()); }

  void StepProgress() override { ++steps; }

  std::vector<std::string> shown;
  std::vector<std::thread::id> pumpedOn;
  int steps = 0;
};

TEST(MessagePumpTest, PumpsAtOnceThenAtMostEveryInterval) {
  CountingUI ui;
  TMessagePump pump(ui);
  const uint32_t start = platform::Tick();
  pump("a", 1, 9);
  const uint32_t shown = platform::Tick();  // not before the pump's own reading
  pump("b", 2, 9);                          // too soon: neither shown nor pumped
  const bool soon = platform::Tick() - start < kPumpMs;
  // Past the interval on the pump's own clock, whose steps may be coarse.
  for (int turn = 0; turn < 100 && platform::Tick() - shown < kPumpMs; ++turn) platform::Sleep(5);
  pump("c", 3, 9);
  if (soon) {
    EXPECT_EQ(ui.shown, (std::vector<std::string>{"a 1", "c 3"}));
  }
  ASSERT_FALSE(ui.shown.empty());
  EXPECT_EQ(ui.shown.front(), "a 1");
  EXPECT_EQ(ui.shown.back(), "c 3");
  EXPECT_EQ(ui.pumpedOn.size(), ui.shown.size());
}

// Each step is taken once the work passes its share; the last one only at the end.
TEST(MessagePumpTest, WorkOfSeveralStepsTakesThemAsItPassesTheirShares) {
  CountingUI ui;
  TStepsProgress progress(ui, 4, 400);
  const std::pair<uint64_t, int> rows[] = {{0, 0}, {99, 0}, {100, 1}, {250, 2}, {399, 3}, {900, 3}};
  for (const auto& [done, steps] : rows) {
    progress("a", done);
    EXPECT_EQ(ui.steps, steps) << done;
  }
  ASSERT_FALSE(ui.shown.empty());
  EXPECT_EQ(ui.shown.front(), "a 0");
  progress.Finish();
  EXPECT_EQ(ui.steps, 4);
}

TEST(MessagePumpTest, WorkRunsBesideThePumpingThread) {
  CountingUI ui;
  std::thread::id worker;
  RunPumping(ui, [&] {
    worker = std::this_thread::get_id();
    platform::Sleep(2 * kPumpMs);
  });
  EXPECT_NE(worker, std::this_thread::get_id());
  EXPECT_THROW(RunPumping(ui, [] { throw std::runtime_error("disk gone"); }), std::runtime_error);
  ASSERT_FALSE(ui.pumpedOn.empty());
  for (std::thread::id id : ui.pumpedOn) EXPECT_EQ(id, std::this_thread::get_id());
}

// A window whose message processing fails while the work still runs.
class FailingUI : public CountingUI {
 public:
  void ProcessMessages() override {
    failed = true;
    throw std::runtime_error("window gone");
  }
  std::atomic<bool> failed{false};
};

// The work uses the caller's frame: the window's failure goes on only once the
// work has ended.
TEST(MessagePumpTest, AFailingWindowWaitsForTheWorkBeforeItThrows) {
  FailingUI ui;
  std::atomic<bool> finished{false};
  try {
    RunPumping(ui, [&] {
      for (int turn = 0; turn < 1000 && !ui.failed; ++turn) platform::Sleep(5);
      platform::Sleep(2 * kPumpMs);  // still working after the failure
      finished = true;
    });
    ADD_FAILURE() << "the window's failure was not thrown";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "window gone");
    EXPECT_TRUE(ui.failed);
    EXPECT_TRUE(finished);
  }
}

}  // namespace
}  // namespace ui
