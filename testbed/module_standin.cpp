// Stand-in for the server's modules (smtp.exe, pop3.exe, control.exe, im.exe,
// cal.exe), so that service control and module notification can run against
// real services, windows and pipes. It takes its module from its own file name
// (the module table's row); under the name smtpsvc.exe it stands in for IIS's
// SMTP service: service "SMTPSVC", window class "TSMTPSVCForm", caption
// "SMTPSVC".
//
// Started by the service control manager it runs as that service in its own
// process; started with "/desktop" it runs as a desktop program with the row's
// main window. Either way it serves the pipe "\\.\pipe\<service name>".
//
// As a service, smtp.exe and smtpsvc.exe take mail on 127.0.0.1 port 25 as a
// mail server does: a minimal dialogue (220; EHLO, HELO, MAIL, RCPT, RSET and
// NOOP 250; DATA 354 and 250; QUIT 221; anything else 502), one connection
// after another and a few in all, every read waiting at most ten seconds.
// Each message (lines of at most 1000 bytes, at most 1 MiB, leading dots
// undone) replaces "<exe>.eml" beside the program. When the port cannot be
// bound (another mail server has it, such as the IIS one), the service stops
// with that error as its exit code.
//
// It appends one line per event to "<exe>.log" beside it:
//   start service pid=<id> | start desktop pid=<id> | exit at start pid=<id>
//   pipe <hex of each 20-byte message>
//   message 0x500 <wParam> <lParam>
//   stop ignored | stop
//   web-admin port=<port> | http <request line> host=<Host value>
//   smtp from=<sender> to=<recipients joined by ;> bytes=<message size>
//   smtp port 25 in use | smtp error <code>
// As a service it also appends "running <ms>" when it reports running and
// "stopped <ms>" when it reports stopped to "<exe>.times" (milliseconds since
// 1970 by the system clock), from which a benchmark reads the server's downtime.
// "<exe>.behaviour" beside it holds one word a line (services do not inherit a
// test's environment): ignore-stop; exit-at-start (ends with code 1 before it
// reaches the service manager, so the start fails: 1053 under Wine);
// stop-slowly=<ms>, start-pending=<ms> (that long in the pending state); hang
// (the window's thread stops answering once the window exists); web-admin
// (serves HTTP on a free loopback port as the web administration does, and
// answers every request with 200); no-smtp (port 25 is left alone).
// "/hold <file>" opens the file without sharing, logs "holding <file>" and
// keeps it open until it is ended: a file that no other program may rename.
// It never runs longer than ten minutes on its own.
#include <windows.h>
#include <winsock2.h>

#include <atomic>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "product/server_modules.h"

namespace {

constexpr DWORD kLifetimeMs = 10 * 60 * 1000;
constexpr UINT kModuleMessage = 0x500;
constexpr size_t kPipeMessageSize = 20;

struct Identity {
  std::string ServiceName, WindowClass, Caption;
};

struct Behaviour {
  bool IgnoreStop = false;
  bool ExitAtStart = false;
  bool Hang = false;
  bool WebAdmin = false;
  bool NoSmtp = false;
  DWORD StopSlowlyMs = 0;
  DWORD StartPendingMs = 0;
};

std::string exePath;
Identity identity;
Behaviour behaviour;
std::mutex logMutex;

void Log(const std::string& line) {
  std::lock_guard<std::mutex> lock(logMutex);
  if (FILE* f = std::fopen((exePath + ".log").c_str(), "ab")) {
    std::fputs((line + "\n").c_str(), f);
    std::fclose(f);
  }
}

void LogTime(const char* event) {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const uint64_t ticks = (uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
  const uint64_t unixMs = ticks / 10000 - 11644473600000ULL;
  std::lock_guard<std::mutex> lock(logMutex);
  if (FILE* f = std::fopen((exePath + ".times").c_str(), "ab")) {
    std::fprintf(f, "%s %llu\n", event, static_cast<unsigned long long>(unixMs));
    std::fclose(f);
  }
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool FindIdentity() {
  size_t slash = exePath.find_last_of("\\/");
  std::string file = Lower(exePath.substr(slash == std::string::npos ? 0 : slash + 1));
  if (file == "smtpsvc.exe") {
    identity = {"SMTPSVC", "TSMTPSVCForm", "SMTPSVC"};
    return true;
  }
  for (const support::ServerModule& row : support::kServerModules)
    if (file == row.Executable) {
      identity = {row.ServiceName, row.WindowClass, row.Caption};
      return true;
    }
  return false;
}

DWORD Milliseconds(const std::string& line, const std::string& word) {
  return static_cast<DWORD>(std::strtoul(line.c_str() + word.size(), nullptr, 10));
}

void ReadBehaviour() {
  FILE* f = std::fopen((exePath + ".behaviour").c_str(), "rb");
  if (!f) return;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, f)) {
    std::string line = buffer;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
      line.pop_back();
    if (line == "ignore-stop") behaviour.IgnoreStop = true;
    if (line == "exit-at-start") behaviour.ExitAtStart = true;
    if (line == "hang") behaviour.Hang = true;
    if (line == "web-admin") behaviour.WebAdmin = true;
    if (line == "no-smtp") behaviour.NoSmtp = true;
    if (line.rfind("stop-slowly=", 0) == 0)
      behaviour.StopSlowlyMs = Milliseconds(line, "stop-slowly=");
    if (line.rfind("start-pending=", 0) == 0)
      behaviour.StartPendingMs = Milliseconds(line, "start-pending=");
  }
  std::fclose(f);
}

std::string Hex(const char* bytes, size_t n) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < n; ++i) {
    unsigned char b = static_cast<unsigned char>(bytes[i]);
    text += digits[b >> 4];
    text += digits[b & 15];
  }
  return text;
}

// Serves one client at a time until the process ends; a message cut short by
// the client's close is logged as far as it came. The one instance is kept
// between clients, so the pipe never vanishes while a client waits for it.
DWORD WINAPI PipeServer(void*) {
  std::string path = "\\\\.\\pipe\\" + identity.ServiceName;
  HANDLE pipe =
      CreateNamedPipeA(path.c_str(), PIPE_ACCESS_DUPLEX,
                       PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
  if (pipe == INVALID_HANDLE_VALUE) {
    Log("pipe error " + std::to_string(GetLastError()));
    return 1;
  }
  for (;;) {
    if (ConnectNamedPipe(pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED) {
      char message[kPipeMessageSize];
      size_t have = 0;
      DWORD read = 0;
      while (ReadFile(pipe, message + have, static_cast<DWORD>(kPipeMessageSize - have), &read,
                      nullptr) &&
             read > 0) {
        have += read;
        if (have == kPipeMessageSize) {
          Log("pipe " + Hex(message, have));
          have = 0;
        }
      }
      if (have > 0) Log("pipe " + Hex(message, have));
    }
    DisconnectNamedPipe(pipe);
  }
}

// A socket listening on 127.0.0.1 and the port (0: a free one, which port then
// tells); INVALID_SOCKET and the error code when there is none.
SOCKET ListenOnLoopback(uint16_t& port, DWORD& error) {
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  int length = sizeof address;
  if (listener == INVALID_SOCKET ||
      bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, 4) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    error = WSAGetLastError();
    if (listener != INVALID_SOCKET) closesocket(listener);
    return INVALID_SOCKET;
  }
  port = ntohs(address.sin_port);
  return listener;
}

// --- the web administration ---

// Reads one request (up to its empty line, at most 64 KiB, 10 s), logs its
// first line and Host value, and answers 200.
void AnswerRequest(SOCKET client) {
  DWORD timeoutMs = 10000;
  setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs),
             sizeof timeoutMs);
  std::string request;
  char buffer[2048];
  int got = 0;
  while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536 &&
         (got = recv(client, buffer, sizeof buffer, 0)) > 0)
    request.append(buffer, got);
  std::string host;
  size_t at = request.find("\r\nHost: ");
  if (at != std::string::npos) host = request.substr(at + 8, request.find("\r\n", at + 8) - at - 8);
  Log("http " + request.substr(0, request.find("\r\n")) + " host=" + host);
  static const char reply[] =
      "HTTP/1.1 200 OK\r\nContent-Length: 9\r\nConnection: close\r\n\r\nconverted";
  send(client, reply, sizeof reply - 1, 0);
  shutdown(client, SD_SEND);
  closesocket(client);
}

DWORD WINAPI WebAdminServer(void*) {
  uint16_t port = 0;
  DWORD error = 0;
  SOCKET listener = ListenOnLoopback(port, error);
  if (listener == INVALID_SOCKET) {
    Log("web-admin error " + std::to_string(error));
    return 1;
  }
  Log("web-admin port=" + std::to_string(port));
  for (;;) {
    SOCKET client = accept(listener, nullptr, nullptr);
    if (client != INVALID_SOCKET) AnswerRequest(client);
  }
}

// --- the mail listener ---

constexpr uint16_t kSmtpPort = 25;
constexpr size_t kSmtpLineMax = 1000;  // with its CR LF
constexpr size_t kSmtpMessageMax = 1 << 20;
constexpr int kSmtpConnections = 8;

// Closed by whichever comes first: the last connection served or the stop.
std::atomic<SOCKET> smtpListener = INVALID_SOCKET;

void CloseSmtpListener() {
  SOCKET listener = smtpListener.exchange(INVALID_SOCKET);
  if (listener != INVALID_SOCKET) closesocket(listener);
}

bool ListensForMail() {
  return !behaviour.NoSmtp &&
         (identity.ServiceName == "OrvikSMTP" || identity.ServiceName == "SMTPSVC");
}

// The lines of one connection, each without its CR LF. False once the client
// has closed, a read waited ten seconds in vain or a line is too long.
class LineReader {
 public:
  explicit LineReader(SOCKET client) : client_(client) {}
  bool Next(std::string& line) {
    for (;;) {
      size_t end = buffer_.find("\r\n");
      if (end != std::string::npos) {
        if (end + 2 > kSmtpLineMax) return false;
        line = buffer_.substr(0, end);
        buffer_.erase(0, end + 2);
        return true;
      }
      char chunk[1024];
      int got = buffer_.size() < kSmtpLineMax ? recv(client_, chunk, sizeof chunk, 0) : 0;
      if (got <= 0) return false;
      buffer_.append(chunk, got);
    }
  }

 private:
  SOCKET client_;
  std::string buffer_;
};

// The message after DATA up to the line ".", leading dots undone; false when
// the connection ended first or the message grew past kSmtpMessageMax.
bool ReadMessage(LineReader& lines, std::string& message) {
  std::string line;
  while (lines.Next(line)) {
    if (line == ".") return true;
    message += line.substr(line[0] == '.' ? 1 : 0) + "\r\n";
    if (message.size() > kSmtpMessageMax) return false;
  }
  return false;
}

// "<a@b> SIZE=1" gives a@b; without angle brackets the argument as it is.
std::string Address(const std::string& argument) {
  size_t open = argument.find('<');
  size_t close = argument.find('>', open);
  if (open == std::string::npos || close == std::string::npos) return argument;
  return argument.substr(open + 1, close - open - 1);
}

bool Starts(const std::string& line, const char* command) {
  return Lower(line.substr(0, std::strlen(command))) == command;
}

void Keep(const std::string& sender, const std::string& recipients, const std::string& message) {
  if (FILE* f = std::fopen((exePath + ".eml").c_str(), "wb")) {
    std::fwrite(message.data(), 1, message.size(), f);
    std::fclose(f);
  }
  Log("smtp from=" + sender + " to=" + recipients + " bytes=" + std::to_string(message.size()));
}

void Reply(SOCKET client, const std::string& line) {
  std::string text = line + "\r\n";
  send(client, text.data(), static_cast<int>(text.size()), 0);
}

void Converse(SOCKET client) {
  LineReader lines(client);
  std::string line, sender, recipients;
  Reply(client, "220 " + identity.ServiceName + " ready");
  while (lines.Next(line)) {
    std::string reply = "250 OK";
    if (Starts(line, "ehlo") || Starts(line, "helo") || Starts(line, "rset")) {
      sender.clear();
      recipients.clear();
    } else if (Starts(line, "mail from:")) {
      sender = Address(line.substr(10));
      recipients.clear();
    } else if (Starts(line, "rcpt to:")) {
      if (!recipients.empty()) recipients += ';';
      recipients += Address(line.substr(8));
    } else if (Starts(line, "data")) {
      Reply(client, "354 End data with <CR><LF>.<CR><LF>");
      std::string message;
      if (!ReadMessage(lines, message)) return;
      Keep(sender, recipients, message);
    } else if (Starts(line, "quit")) {
      Reply(client, "221 Bye");
      // The client closes first, so that the closed connection does not hold
      // port 25 on this side.
      lines.Next(line);
      return;
    } else if (!Starts(line, "noop")) {
      reply = "502 Command not implemented";
    }
    Reply(client, reply);
  }
}

DWORD WINAPI SmtpServer(void*) {
  for (int served = 0; served < kSmtpConnections; ++served) {
    SOCKET client = accept(smtpListener, nullptr, nullptr);
    if (client == INVALID_SOCKET) continue;
    DWORD timeoutMs = 10000;
    for (int option : {SO_RCVTIMEO, SO_SNDTIMEO})
      setsockopt(client, SOL_SOCKET, option, reinterpret_cast<const char*>(&timeoutMs),
                 sizeof timeoutMs);
    Converse(client);
    closesocket(client);
  }
  CloseSmtpListener();
  return 0;
}

void StartThread(LPTHREAD_START_ROUTINE routine) {
  HANDLE thread = CreateThread(nullptr, 0, routine, nullptr, 0, nullptr);
  if (thread) CloseHandle(thread);
}

void StartServers() {
  StartThread(PipeServer);
  if (behaviour.WebAdmin) StartThread(WebAdminServer);
  if (smtpListener != INVALID_SOCKET) StartThread(SmtpServer);
}

// --- service mode ---

SERVICE_STATUS_HANDLE statusHandle;
HANDLE stopEvent;

void Report(DWORD state, DWORD waitHintMs, DWORD exitCode = NO_ERROR) {
  static DWORD checkPoint = 0;
  SERVICE_STATUS status = {};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwWin32ExitCode = exitCode;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
  status.dwCheckPoint = pending ? ++checkPoint : 0;
  status.dwWaitHint = waitHintMs;
  SetServiceStatus(statusHandle, &status);
}

DWORD WINAPI ControlHandler(DWORD control, DWORD, void*, void*) {
  if (control == SERVICE_CONTROL_INTERROGATE) return NO_ERROR;
  if (control != SERVICE_CONTROL_STOP) return ERROR_CALL_NOT_IMPLEMENTED;
  if (behaviour.IgnoreStop) {
    Log("stop ignored");
  } else {
    SetEvent(stopEvent);
  }
  return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, char**) {
  statusHandle =
      RegisterServiceCtrlHandlerExA(identity.ServiceName.c_str(), ControlHandler, nullptr);
  if (!statusHandle) return;
  Log("start service pid=" + std::to_string(GetCurrentProcessId()));
  Report(SERVICE_START_PENDING, behaviour.StartPendingMs + 1000);
  Sleep(behaviour.StartPendingMs);
  if (ListensForMail()) {
    uint16_t port = kSmtpPort;
    DWORD error = 0;
    smtpListener = ListenOnLoopback(port, error);
    if (smtpListener == INVALID_SOCKET) {
      Log(error == WSAEADDRINUSE ? "smtp port 25 in use" : "smtp error " + std::to_string(error));
      Report(SERVICE_STOPPED, 0, error);
      return;
    }
  }
  StartServers();
  Report(SERVICE_RUNNING, 0);
  LogTime("running");
  WaitForSingleObject(stopEvent, kLifetimeMs);
  CloseSmtpListener();  // as a mail server frees its port before it reports stopped
  Report(SERVICE_STOP_PENDING, behaviour.StopSlowlyMs + 1000);
  Sleep(behaviour.StopSlowlyMs);
  Log("stop");
  LogTime("stopped");
  Report(SERVICE_STOPPED, 0);
}

// --- desktop mode ---

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kModuleMessage:
      Log("message 0x500 " + std::to_string(wParam) + " " + std::to_string(lParam));
      return 0;
    case WM_TIMER:  // the lifetime has run out
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

int RunDesktop() {
  Log("start desktop pid=" + std::to_string(GetCurrentProcessId()));
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = identity.WindowClass.c_str();
  if (!RegisterClassA(&windowClass)) return 1;
  HWND window = CreateWindowExA(0, identity.WindowClass.c_str(), identity.Caption.c_str(),
                                WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 300, 100,
                                nullptr, nullptr, windowClass.hInstance, nullptr);
  if (!window) {
    Log("no window " + std::to_string(GetLastError()));
    return 1;
  }
  StartServers();
  if (behaviour.Hang) {
    Sleep(kLifetimeMs);
    return 0;
  }
  SetTimer(window, 1, kLifetimeMs, nullptr);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  Log("stop");
  return 0;
}

}  // namespace

int Hold(const char* file) {
  HANDLE held = CreateFileA(file, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (held == INVALID_HANDLE_VALUE) return 1;
  Log(std::string("holding ") + file);
  Sleep(600000);
  CloseHandle(held);
  return 0;
}

int main(int argc, char** argv) {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  exePath.assign(path, n);
  if (!FindIdentity()) {
    std::fprintf(stderr, "module stand-in: unknown module name %s\n", exePath.c_str());
    return 2;
  }
  ReadBehaviour();
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  if (behaviour.ExitAtStart) {
    Log("exit at start pid=" + std::to_string(GetCurrentProcessId()));
    return 1;
  }
  if (argc > 1 && lstrcmpiA(argv[1], "/desktop") == 0) return RunDesktop();
  if (argc > 2 && lstrcmpiA(argv[1], "/hold") == 0) return Hold(argv[2]);

  stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::string name = identity.ServiceName;
  SERVICE_TABLE_ENTRYA table[] = {{name.data(), ServiceMain}, {nullptr, nullptr}};
  if (!StartServiceCtrlDispatcherA(table)) {
    std::fprintf(stderr, "module stand-in: not started as a service (%lu); use /desktop\n",
                 GetLastError());
    return 1;
  }
  return 0;
}
