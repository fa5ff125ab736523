// The one interface through which the system's logic talks to the user: message
// boxes, the status line, the progress bar and processing pending window messages.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace ui {

// Buttons and icons of a message box, and its answers, with the Windows values.
enum MessageBoxFlags : unsigned {
  kOk = 0x0,
  kOkCancel = 0x1,
  kAbortRetryIgnore = 0x2,
  kYesNoCancel = 0x3,
  kYesNo = 0x4,
  kRetryCancel = 0x5,
  kIconError = 0x10,
  kIconQuestion = 0x20,
  kIconWarning = 0x30,
  kIconInformation = 0x40,
  kDefaultButton2 = 0x100,
  kTaskModal = 0x2000,
};

enum Answer : int {
  kIdOk = 1,
  kIdCancel = 2,
  kIdAbort = 3,
  kIdRetry = 4,
  kIdIgnore = 5,
  kIdYes = 6,
  kIdNo = 7
};

class UserInterface {
 public:
  virtual ~UserInterface() = default;
  virtual int MessageBox(const std::string& text, const std::string& caption, unsigned flags) = 0;
  // Processes pending window messages, shows the text in the status label of the
  // installing page (clearing the work shown below it) and repaints it at once.
  virtual void ShowStatus(const std::string& text) = 0;
  // Advances the installing page's progress bar to the next of its steps.
  virtual void StepProgress() = 0;
  // Shows below the status line what the current step works on (a file or a
  // folder), and moves the progress bar towards the next step by the share
  // done of total; a total of 0 leaves the bar.
  virtual void ShowWork(const std::string& item, uint64_t done, uint64_t total) = 0;
  virtual void ProcessMessages() = 0;
};

// The longest time the window may go without processing its messages while
// setup works: far below the 5 s after which Windows calls it hung, and short
// enough that the bar moves smoothly.
inline constexpr uint32_t kPumpMs = 25;

// Calls ProcessMessages at its first call and then whenever kPumpMs or more
// have passed since it last did: cheap enough to call for every file of a long
// loop. The work it is given is shown at the same times.
class TMessagePump {
 public:
  explicit TMessagePump(UserInterface& ui);
  void operator()(const std::string& item, uint64_t done, uint64_t total);

 private:
  UserInterface& ui_;
  uint32_t last_;  // kPumpMs before the pump was made: the first call is due
};

// Work of a known size that spans several steps of the progress bar: each step
// is taken once the work has passed its share of total, and the work within a
// step moves the bar between them, as often as a TMessagePump lets it.
class TStepsProgress {
 public:
  TStepsProgress(UserInterface& ui, int steps, uint64_t total)
      : ui_(ui), pump_(ui), steps_(steps), total_(total) {}
  // done of total so far, working on item.
  void operator()(const std::string& item, uint64_t done);
  // Takes the steps not taken yet.
  void Finish();

 private:
  UserInterface& ui_;
  TMessagePump pump_;
  int steps_;
  int taken_ = 0;
  uint64_t total_;
};

// Waits ms milliseconds, processing messages every kPumpMs meanwhile.
void PumpingSleep(UserInterface& ui, uint32_t ms);
// Runs work on a thread of its own (it must not touch the user interface) and
// processes messages every kPumpMs until it has ended; an exception that ends
// the work is thrown again here.
void RunPumping(UserInterface& ui, const std::function<void()>& work);

}  // namespace ui
