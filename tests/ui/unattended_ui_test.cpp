// The answers of an unattended run: a fixed policy, each box in the log.
#include "ui/unattended_ui.h"

#include <gtest/gtest.h>

#include "common/scratch_dir.h"
#include "platform/clock.h"
#include "support/log_writer.h"

namespace {

TEST(UnattendedUITest, EveryBoxIsAnsweredByThePolicyAndLogged) {
  testing_support::ScratchDir dir;
  const std::string log = dir.Path() + "setup.log";
  support::InitLog(log, nullptr, 0, 0);
  platform::VirtualClock clock;
  platform::InstallClock(&clock);
  ui::UnattendedUI ui;
  struct Case {
    std::string text;
    unsigned flags;
    int answer;
  };
  const Case cases[] = {
      {"Install?", ui::kYesNo | ui::kIconQuestion, ui::kIdYes},
      {"Replace a newer version?", ui::kYesNo | ui::kDefaultButton2, ui::kIdNo},
      {"Warning", ui::kOk | ui::kIconWarning, ui::kIdOk},
      // The same copy error: three retries, then Cancel.
      {"File in use", ui::kRetryCancel, ui::kIdRetry},
      {"File in use", ui::kRetryCancel, ui::kIdRetry},
      {"File in use", ui::kRetryCancel, ui::kIdRetry},
      {"File in use", ui::kRetryCancel, ui::kIdCancel},
      // Another file starts its own count.
      {"Other file\r\nin use", ui::kRetryCancel, ui::kIdRetry},
  };
  const uint32_t start = platform::Tick();
  for (const Case& c : cases)
    EXPECT_EQ(ui.MessageBox(c.text, "Caption", c.flags), c.answer) << c.text;
  EXPECT_EQ(platform::Tick() - start, 4 * ui::UnattendedUI::kRetryPauseMs);
  platform::InstallClock(nullptr);
  support::InitLog("", nullptr, 0, 0);
  const std::string text = testing_support::ReadFile(log);
  EXPECT_NE(text.find("Message \"Caption\": File in use - answered Cancel\r\n"), std::string::npos);
  EXPECT_NE(text.find("Message \"Caption\": Other file in use - answered Retry\r\n"),
            std::string::npos)
      << text;
}

}  // namespace
