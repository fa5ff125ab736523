// The user interface without windows, for tests and unattended runs. Message
// boxes are answered from a script, or with their default button when the script
// is empty; every box answered is logged. Forms need no renderer to work: their
// model is all there is; HeadlessRenderer records what a screen would show.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "product/user_interface.h"
#include "ui/form.h"
#include "ui/renderer.h"

namespace ui {

class HeadlessUI : public UserInterface {
 public:
  struct Box {
    std::string text, caption;
    unsigned flags;
    int answer;
  };

  int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
  void ShowStatus(const std::string& text) override;
  void StepProgress() override;
  void ShowWork(const std::string& item, uint64_t done, uint64_t total) override;
  void ProcessMessages() override {}

  // The next message boxes take these answers, in order.
  void ScriptAnswers(std::vector<int> answers);
  const std::vector<Box>& Boxes() const { return boxes_; }
  const std::string& Status() const { return status_; }
  const std::vector<std::string>& StatusHistory() const { return statusHistory_; }
  int Progress() const { return progress_; }
  struct Work {
    std::string Item;
    uint64_t Done, Total;
  };
  const std::vector<Work>& WorkShown() const { return work_; }

  // The progress bar of the installing page in steps: 0 to 24, step 1.
  static constexpr int kProgressMax = 24;

 private:
  std::deque<int> script_;
  std::vector<Box> boxes_;
  std::string status_;
  std::vector<std::string> statusHistory_;
  int progress_ = 0;
  std::vector<Work> work_;
};

// Stands where a window renderer would: records every change of the forms
// attached to it, in order, which is what a renderer would have redrawn. A form
// shown modally runs the script given for its class (the user's actions); when
// the script leaves it open, it closes with the cancel result. Its message
// boxes are answered as HeadlessUI answers them.
class HeadlessRenderer : public TRenderer {
 public:
  using Script = std::function<void(TForm&)>;

  // Answers and records the message boxes.
  HeadlessUI Boxes;

  struct Update {
    std::string Form;       // class name
    std::string Component;  // "" for the form itself
    Change What;
  };

  HeadlessRenderer() = default;
  ~HeadlessRenderer() override;
  HeadlessRenderer(const HeadlessRenderer&) = delete;
  HeadlessRenderer& operator=(const HeadlessRenderer&) = delete;

  void Attach(TForm& form) override;
  void Detach(TForm& form);
  void FormChanged(TForm& form, TComponent* component, Change what) override;
  void FormDestroyed(TForm& form) override;
  int RunModal(TForm& form) override;
  int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override {
    return Boxes.MessageBox(text, caption, flags);
  }
  void ProcessMessages() override {}

  // The next modal show of a form of this class runs the script; scripts of
  // one class run in the order given, each once.
  void OnModal(const std::string& formClass, Script script);

  const std::vector<Update>& Updates() const { return updates_; }
  void ClearUpdates() { updates_.clear(); }

 private:
  std::vector<TForm*> forms_;
  std::vector<Update> updates_;
  std::vector<std::pair<std::string, Script>> scripts_;
};

// The default button of a box with these flags.
int DefaultAnswer(unsigned flags);

}  // namespace ui
