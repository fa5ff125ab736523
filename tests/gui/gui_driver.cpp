// Works setup.exe's windows from another process, for the end-to-end runs under
// Wine: finds forms and controls by the component names the renderer stores on
// them, clicks, types, ticks, presses keys, waits for states, answers message
// boxes and saves screenshots as PNG files.
//
// Usage: gui_driver [-t SECONDS] [-f SCRIPT] [STEP]...
// Each STEP (an argument, or a line of SCRIPT; '#' starts a comment line) is
// words separated by blanks; the last word of a step takes the rest of it:
//   wait FORM                       until the form's window is visible
//   gone FORM                       until no window of the form is visible
//   click FORM CONTROL              a button, check box or radio button
//   text FORM CONTROL TEXT          sets an edit's text
//   tick FORM CONTROL INDEX         toggles a check list entry
//   key FORM enter|escape
//   close FORM                      the close box
//   expect FORM CONTROL WHAT VALUE  until WHAT (text, enabled, visible, checked,
//                                   item:N for a list tick) reads VALUE (0/1 for states)
//   answer BUTTON CAPTION           clicks BUTTON ("&" ignored) of the message box
//                                   with that caption; prints the box's text
//   shot FORM FILE.png
//   probe FORM PROGRESS FILE.png CONTROL TEXT
//                                   until CONTROL's text reads TEXT: every 50 ms a
//                                   harmless message (WM_NULL) to the form, timing how
//                                   long it waits for an answer, and the progress bar
//                                   PROGRESS's position; a screenshot once the bar has
//                                   moved; prints the longest wait and the number of
//                                   positions seen, and fails when a wait reaches 5 s,
//                                   when Windows calls a window hung
// Every step waits at most SECONDS (default 30) for what it needs. The first step
// that fails ends the driver with exit code 1 and a message saying why.
#include <windows.h>
// After windows.h, which it builds on.
#include <commctrl.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ui/win32/win32_renderer.h"

namespace {

constexpr DWORD kSendTimeoutMs = 5000;
// Windows marks a window "Not Responding" after this long without an answer.
constexpr DWORD kHungMs = 5000;
// A wait worth a line of its own: the longest the window should ever take.
constexpr DWORD kSlowMs = 250;

std::string NameOf(HWND window) {
  char name[256] = "";
  auto atom =
      static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(GetPropA(window, ui::kComponentProperty)));
  if (atom) GlobalGetAtomNameA(atom, name, sizeof(name));
  return name;
}

std::string ClassOf(HWND window) {
  char name[256] = "";
  GetClassNameA(window, name, sizeof(name));
  return name;
}

// Text through WM_GETTEXT, bounded in time: the other process may be busy.
std::string TextOf(HWND window) {
  char text[4096] = "";
  DWORD_PTR result = 0;
  SendMessageTimeoutA(window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text),
                      SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
  return text;
}

std::string WithoutAmpersands(std::string text) {
  std::erase(text, '&');
  return text;
}

struct Search {
  std::function<bool(HWND)> match;
  HWND found = nullptr;
};

BOOL CALLBACK Visit(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<Search*>(data);
  if (!search->match(window)) return TRUE;
  search->found = window;
  return FALSE;
}

HWND FindTop(std::function<bool(HWND)> match) {
  Search search{std::move(match)};
  EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND FindChild(HWND parent, std::function<bool(HWND)> match) {
  Search search{std::move(match)};
  EnumChildWindows(parent, Visit, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND Form(const std::string& name) {
  return FindTop([&](HWND w) { return IsWindowVisible(w) && NameOf(w) == name; });
}

HWND Control(const std::string& form, const std::string& name) {
  HWND window = Form(form);
  return window ? FindChild(window, [&](HWND w) { return NameOf(w) == name; }) : nullptr;
}

HWND Box(const std::string& caption) {
  return FindTop(
      [&](HWND w) { return IsWindowVisible(w) && ClassOf(w) == "#32770" && TextOf(w) == caption; });
}

// The clicks the renderer gets from a button: its notification to its parent.
void Click(HWND control) {
  PostMessageA(GetParent(control), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), BN_CLICKED),
               reinterpret_cast<LPARAM>(control));
}

LRESULT Query(HWND window, UINT message, WPARAM wParam = 0) {
  DWORD_PTR result = 0;
  SendMessageTimeoutA(window, message, wParam, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
  return static_cast<LRESULT>(result);
}

std::string StateOf(HWND control, const std::string& what) {
  if (what == "text") return TextOf(control);
  if (what == "enabled") return IsWindowEnabled(control) ? "1" : "0";
  if (what == "visible") return IsWindowVisible(control) ? "1" : "0";
  if (what == "checked") return Query(control, BM_GETCHECK) == BST_CHECKED ? "1" : "0";
  if (what.rfind("item:", 0) == 0)
    return std::to_string(Query(control, LB_GETITEMDATA, std::stoi(what.substr(5))));
  return "?";
}

// A PNG of the window's client area as the screen shows it: 8-bit RGB rows, filter 0, zlib.
void PutChunk(std::string& png, const char* type, const std::string& data) {
  auto put32 = [&](uLong value) {
    for (int shift = 24; shift >= 0; shift -= 8) png += static_cast<char>((value >> shift) & 0xFF);
  };
  put32(data.size());
  std::string body = type;
  body += data;
  png += body;
  put32(crc32(0, reinterpret_cast<const Bytef*>(body.data()), body.size()));
}

bool SavePng(HWND window, const std::string& file, std::string& error) {
  // The client area: without a window manager (Xvfb) nobody draws the frame.
  RECT frame;
  GetClientRect(window, &frame);
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&frame), 2);
  int width = frame.right - frame.left, height = frame.bottom - frame.top;
  BITMAPINFO info = {};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  bool copied =
      bitmap && BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY);
  SelectObject(memory, old);
  std::string raw;
  if (copied) {
    const auto* pixels = static_cast<const unsigned char*>(bits);
    for (int y = 0; y < height; ++y) {
      raw += '\0';
      for (int x = 0; x < width; ++x) {
        const unsigned char* bgra = pixels + (static_cast<size_t>(y) * width + x) * 4;
        raw += static_cast<char>(bgra[2]);
        raw += static_cast<char>(bgra[1]);
        raw += static_cast<char>(bgra[0]);
      }
    }
  }
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (!copied) {
    error = "cannot copy the window from the screen";
    return false;
  }
  uLongf size = compressBound(raw.size());
  std::string packed(size, '\0');
  compress2(reinterpret_cast<Bytef*>(packed.data()), &size,
            reinterpret_cast<const Bytef*>(raw.data()), raw.size(), 9);
  packed.resize(size);
  std::string header;
  for (int value : {width, height})
    for (int shift = 24; shift >= 0; shift -= 8)
      header += static_cast<char>((value >> shift) & 0xFF);
  header +=
      std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no filter, no interlace
  std::string png = "\x89PNG\r\n\x1a\n";
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", packed);
  PutChunk(png, "IEND", "");
  std::ofstream out(file, std::ios::binary);
  out << png;
  if (!out.flush()) error = "cannot write " + file;
  return static_cast<bool>(out);
}

class Driver {
 public:
  explicit Driver(int seconds) : timeout_(seconds) {}

  // Runs one step; false with the reason in error_ when it fails.
  bool Run(const std::vector<std::string>& words) {
    const std::string& verb = words[0];
    auto need = [&](size_t count) {
      if (words.size() == count) return true;
      error_ = "expects " + std::to_string(count - 1) + " argument(s)";
      return false;
    };
    if (verb == "wait" && need(2)) return Until([&] { return Form(words[1]) != nullptr; });
    if (verb == "gone" && need(2)) return Until([&] { return Form(words[1]) == nullptr; });
    if (verb == "close" && need(2))
      return WithForm(words[1], [](HWND w) { PostMessageA(w, WM_CLOSE, 0, 0); });
    if (verb == "key" && need(3)) {
      WPARAM key = words[2] == "enter" ? VK_RETURN : VK_ESCAPE;
      return WithForm(words[1], [&](HWND w) { PostMessageA(w, WM_KEYDOWN, key, 0); });
    }
    if (verb == "click" && need(3)) return WithControl(words, Click);
    if (verb == "text" && need(4))
      return WithControl(words, [&](HWND w) {
        DWORD_PTR result;
        SendMessageTimeoutA(w, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(words[3].c_str()),
                            SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
      });
    if (verb == "tick" && need(4))
      return WithControl(words, [&](HWND w) {
        // A click on the entry's tick box.
        int height = static_cast<int>(Query(w, LB_GETITEMHEIGHT));
        int row = std::stoi(words[3]) - static_cast<int>(Query(w, LB_GETTOPINDEX));
        LPARAM at = MAKELPARAM(4, row * height + height / 2);
        PostMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageA(w, WM_LBUTTONUP, 0, at);
      });
    if (verb == "expect" && need(5)) {
      std::string found;
      if (Until([&] {
            HWND w = Control(words[1], words[2]);
            return w && (found = StateOf(w, words[3])) == words[4];
          }))
        return true;
      error_ = words[3] + " is '" + found + "', not '" + words[4] + "'";
      return false;
    }
    if (verb == "answer" && need(3)) return Answer(words[2], words[1]);
    if (verb == "probe" && need(6)) return Probe(words);
    if (verb == "shot" && need(3)) {
      if (!Until([&] { return Form(words[1]) != nullptr; })) return false;
      HWND form = Form(words[1]);
      // Painting is done once the form's thread is idle again.
      Query(form, WM_NULL);
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
      return SavePng(form, words[2], error_);
    }
    if (error_.empty()) error_ = "unknown step";
    return false;
  }

  const std::string& Error() const { return error_; }

 private:
  // Asks done() every periodMs, counted from the start of one question to the
  // next, until it says yes or the driver's time-out has passed.
  bool Until(const std::function<bool()>& done, int periodMs = 100) {
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::seconds(timeout_);
    for (auto next = start; !done();) {
      if (std::chrono::steady_clock::now() > end) {
        error_ = "timed out after " + std::to_string(timeout_) + " s";
        return false;
      }
      next += std::chrono::milliseconds(periodMs);
      std::this_thread::sleep_until(next);
    }
    return true;
  }

  bool WithForm(const std::string& name, const std::function<void(HWND)>& act) {
    if (!Until([&] { return Form(name) != nullptr; })) return false;
    act(Form(name));
    return true;
  }

  // Waits until the control can be used (visible and enabled), then acts.
  bool WithControl(const std::vector<std::string>& words, const std::function<void(HWND)>& act) {
    HWND control = nullptr;
    if (!Until([&] {
          control = Control(words[1], words[2]);
          return control && IsWindowVisible(control) && IsWindowEnabled(control);
        })) {
      error_ += control ? " (the control is hidden or disabled)" : " (no such control)";
      return false;
    }
    act(control);
    return true;
  }

  bool Answer(const std::string& caption, const std::string& button) {
    HWND box = nullptr, target = nullptr;
    if (!Until([&] {
          box = Box(caption);
          target = box ? FindChild(box,
                                   [&](HWND w) {
                                     return ClassOf(w) == "Button" &&
                                            WithoutAmpersands(TextOf(w)) == button;
                                   })
                       : nullptr;
          return target != nullptr;
        })) {
      error_ += box ? " (no button '" + button + "')" : " (no box '" + caption + "')";
      return false;
    }
    std::string text;
    FindChild(box, [&](HWND w) {
      if (ClassOf(w) == "Static") text += TextOf(w);
      return false;
    });
    std::printf("box '%s': %s -> %s\n", caption.c_str(), text.c_str(), button.c_str());
    Click(target);
    return true;
  }

  bool Probe(const std::vector<std::string>& words) {
    DWORD longest = 0;
    std::set<LRESULT> positions;
    std::string found;
    bool shot = false;
    int samples = 0;
    // Found once: looking windows up costs more than a sample itself.
    HWND form = nullptr, bar = nullptr, control = nullptr;
    const bool done = Until(
        [&] {
          if (!IsWindow(form) || !IsWindow(bar) || !IsWindow(control)) {
            form = Form(words[1]);
            bar = Control(words[1], words[2]);
            control = Control(words[1], words[4]);
            if (!form || !bar || !control) return false;
          }
          ++samples;
          const ULONGLONG start = GetTickCount64();
          DWORD_PTR result = 0;
          SendMessageTimeoutA(form, WM_NULL, 0, 0, SMTO_NORMAL, 2 * kHungMs, &result);
          const DWORD wait = static_cast<DWORD>(GetTickCount64() - start);
          longest = std::max(longest, wait);
          const LRESULT position = Query(bar, PBM_GETPOS);
          positions.insert(position);
          if (wait >= kSlowMs)
            std::printf("probe: waited %lu ms, then at position %ld\n",
                        static_cast<unsigned long>(wait), static_cast<long>(position));
          if (!shot && position > 0) shot = SavePng(form, words[3], error_);
          // Every message waits for the form's next turn: the text, which ends
          // the probe, is read every fifth sample only.
          return samples % 5 == 0 && (found = TextOf(control)) == words[5];
        },
        50);
    std::printf("probe: longest wait %lu ms, %zu progress positions in %d samples\n",
                static_cast<unsigned long>(longest), positions.size(), samples);
    if (!done) {
      error_ += ": text is '" + found + "', not '" + words[5] + "'";
      return false;
    }
    if (longest >= kHungMs) {
      error_ = "the window did not answer for " + std::to_string(longest) + " ms";
      return false;
    }
    if (!shot) error_ = "no screenshot: the progress bar never moved, or " + error_;
    return shot;
  }

  int timeout_;
  std::string error_;
};

// Splits a step into words; the last word the step takes runs to its end.
std::vector<std::string> Words(const std::string& step) {
  static const std::vector<std::pair<std::string, size_t>> counts = {
      {"text", 4}, {"expect", 5}, {"answer", 3}, {"shot", 3}, {"probe", 6}};
  std::istringstream in(step);
  std::vector<std::string> words;
  std::string word;
  in >> word;
  words.push_back(word);
  size_t count = 0;
  for (const auto& [verb, total] : counts)
    if (verb == word) count = total;
  while (in >> std::ws && !in.eof()) {
    if (count && words.size() + 1 == count) {
      std::getline(in, word);
      while (!word.empty() && (word.back() == '\r' || word.back() == ' ')) word.pop_back();
    } else {
      in >> word;
    }
    words.push_back(word);
  }
  return words;
}

}  // namespace

int main(int argc, char** argv) {
  int seconds = 30;
  std::vector<std::string> steps;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "-t" && i + 1 < argc) {
      seconds = std::atoi(argv[++i]);
    } else if (arg == "-f" && i + 1 < argc) {
      std::ifstream script(argv[++i]);
      if (!script) {
        std::fprintf(stderr, "gui_driver: cannot read %s\n", argv[i]);
        return 1;
      }
      for (std::string line; std::getline(script, line);)
        if (line.find_first_not_of(" \t\r") != std::string::npos && line[0] != '#')
          steps.push_back(line);
    } else {
      steps.push_back(arg);
    }
  }
  if (steps.empty()) {
    std::fprintf(stderr, "usage: gui_driver [-t SECONDS] [-f SCRIPT] [STEP]...\n");
    return 1;
  }
  Driver driver(seconds);
  for (const std::string& step : steps) {
    if (!driver.Run(Words(step))) {
      std::fprintf(stderr, "gui_driver: step '%s' failed: %s\n", step.c_str(),
                   driver.Error().c_str());
      return 1;
    }
    std::printf("done: %s\n", step.c_str());
    std::fflush(stdout);
  }
  return 0;
}
