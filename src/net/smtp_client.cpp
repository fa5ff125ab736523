#include "net/smtp_client.h"

#include <algorithm>
#include <system_error>
#include <thread>

#include "net/addresses.h"
#include "platform/clock.h"
#include "platform/hash.h"
#include "platform/socket.h"
#include "support/base64.h"
#include "support/numbers.h"
#include "support/text_fields.h"
#include "translations/message_table.h"

namespace support {
namespace {

constexpr size_t kReceiveMax = 255;
constexpr size_t kBlockMax = 65536;
constexpr size_t kNameMax = 127;  // HELO name and sender
const std::string kEndOfData = "\r\n.\r\n";

// The values of one message as they go on the wire.
struct Envelope {
  std::string helo, sender, message, userName, password;
  std::vector<std::string> recipients;
};

// The address part of the sender in angle brackets: "Name <a@b.>" gives <a@b>.
std::string EnvelopeSender(std::string sender) {
  if (sender.empty()) sender = "<>";
  size_t open = sender.rfind('<');
  if (open != std::string::npos) {
    size_t close = sender.find('>', open);
    size_t length = close == std::string::npos ? std::string::npos : close - open - 1;
    sender = TrimBlanks(sender.substr(open + 1, length));
  }
  if (!sender.empty() && sender.back() == '.') sender.pop_back();
  return ("<" + sender + ">").substr(0, kNameMax);
}

// The message with every "." that begins a line doubled, so that no line of
// it ends the data early, and with the end-of-data line.
std::string DataForm(const std::string& message) {
  bool ended =
      message.size() >= kEndOfData.size() &&
      message.compare(message.size() - kEndOfData.size(), std::string::npos, kEndOfData) == 0;
  size_t length = ended ? message.size() - kEndOfData.size() : message.size();
  std::string data;
  data.reserve(length + length / 64 + kEndOfData.size());
  for (size_t i = 0; i < length; ++i) {
    if (message[i] == '.' && (i == 0 || message[i - 1] == '\n')) data += '.';
    data += message[i];
  }
  return data + kEndOfData;
}

bool HasLineBreak(const std::string& text) {
  return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

class Dialogue {
 public:
  Dialogue(const Envelope& envelope, const SmtpLimits& limits)
      : envelope_(envelope), limits_(limits) {}

  void Run(const std::string& host, uint16_t port);

  bool connected = false;
  bool sent = false;
  std::string lastReply;

 private:
  // The wait allowed now: the reply time-out, cut at the end of the dialogue.
  uint32_t WaitMs() const;
  // Reads one reply and gives its code; 0 when none came in time or the
  // connection ended.
  int Read();
  bool Send(const std::string& data);
  int Ask(const std::string& command) { return Send(command + "\r\n") ? Read() : 0; }
  bool Authenticate(const std::vector<std::string>& offered);

  const Envelope& envelope_;
  const SmtpLimits limits_;
  platform::Socket socket_;
  SmtpReply reply_;
  uint32_t start_ = 0;
};

uint32_t Dialogue::WaitMs() const {
  uint32_t spent = platform::Tick() - start_;
  if (spent >= limits_.dialogueMs) return 0;
  return std::min(limits_.replyMs, limits_.dialogueMs - spent);
}

int Dialogue::Read() {
  reply_.Clear();
  for (;;) {
    uint32_t wait = WaitMs();
    std::string data = wait > 0 ? socket_.Receive(kReceiveMax, wait) : std::string();
    if (data.empty()) return 0;
    if (reply_.Add(data) != SmtpReply::kMore) break;
  }
  lastReply = reply_.Line();
  return reply_.Code();
}

bool Dialogue::Send(const std::string& data) {
  for (size_t done = 0; done < data.size(); done += kBlockMax) {
    uint32_t wait = WaitMs();
    if (wait == 0 || !socket_.Send(data.substr(done, kBlockMax), wait)) return false;
  }
  return true;
}

bool Dialogue::Authenticate(const std::vector<std::string>& offered) {
  if (offered.empty()) return true;
  auto has = [&offered](const char* name) {
    return std::any_of(offered.begin(), offered.end(),
                       [name](const std::string& m) { return SameText(m, name); });
  };
  const std::string& user = envelope_.userName;
  const std::string& password = envelope_.password;
  if (has("CRAM-MD5")) {
    // No other mechanism after this one: a server (or someone between) that
    // refuses it must not get the password in clear instead.
    if (Ask("AUTH CRAM-MD5") / 100 != 3) return false;
    std::string answer = CramMd5Answer(reply_.Line(), user, password);
    return !answer.empty() && Ask(answer) / 100 == 2;
  }
  bool done = false;
  if (has("LOGIN"))
    done = Ask("AUTH LOGIN") / 100 == 3 && Ask(Base64Encode(user)) / 100 == 3 &&
           Ask(Base64Encode(password)) / 100 == 2;
  if (!done && has("PLAIN"))
    done =
        Ask("AUTH PLAIN " + Base64Encode(std::string(1, '\0') + user + '\0' + password)) / 100 == 2;
  return done;
}

void Dialogue::Run(const std::string& host, uint16_t port) {
  start_ = platform::Tick();
  if (!socket_.Connect(host, port, WaitMs())) return;
  connected = true;
  auto greeted = [](int code) { return code == 220 || code == 250; };
  if (!greeted(Read())) return;
  bool authenticate = !envelope_.userName.empty();
  if (!greeted(Ask((authenticate ? "EHLO " : "HELO ") + envelope_.helo))) return;
  if (authenticate && !Authenticate(AuthMechanisms(reply_.Full()))) return;
  if (Ask("MAIL From:" + envelope_.sender) != 250) return;
  for (const std::string& recipient : envelope_.recipients)
    if (Ask("RCPT To:" + recipient) != 250) return;
  if (Ask("DATA") != 354 || !Send(envelope_.message) || Read() != 250) return;
  sent = true;
  Ask("QUIT");
}

}  // namespace

void SmtpReply::Clear() {
  line_.clear();
  full_.clear();
  status_ = kMore;
}

SmtpReply::Status SmtpReply::Add(std::string_view data) {
  if (status_ != kMore) return status_;
  full_.append(data);
  line_.append(data);
  // Continuation lines are dropped as soon as they are complete.
  size_t start = 0;
  for (;;) {
    size_t end = line_.find("\r\n", start);
    if (end == std::string::npos || line_.size() - start <= 3 || line_[start + 3] != '-') break;
    start = end + 2;
  }
  line_.erase(0, start);
  if (full_.size() > kMaxFull) return status_ = kTooLong;
  if (line_.size() >= 2 && line_.compare(line_.size() - 2, 2, "\r\n") == 0) {
    line_.resize(line_.size() - 2);
    return status_ = kComplete;
  }
  return status_ = line_.size() >= kMaxLine ? kTooLong : kMore;
}

int SmtpReply::Code() const {
  if (status_ == kTooLong || line_.size() < 3) return 0;
  int code = 0;
  for (int i = 0; i < 3; ++i) {
    if (line_[i] < '0' || line_[i] > '9') return 0;
    code = code * 10 + (line_[i] - '0');
  }
  return code;
}

std::vector<std::string> AuthMechanisms(const std::string& ehloReply) {
  for (const std::string& line : SplitLines(ehloReply)) {
    if (line.size() < 4) continue;
    std::string words = line.substr(4);
    std::replace(words.begin(), words.end(), '=', ' ');
    std::vector<std::string> items;
    SplitToList(words, ' ', items, true);
    if (!items.empty() && SameText(items.front(), "AUTH"))
      return std::vector<std::string>(items.begin() + 1, items.end());
  }
  return {};
}

std::string CramMd5Answer(const std::string& challengeReply, const std::string& userName,
                          const std::string& password) {
  std::string challenge;
  if (!Base64Decode(GetField(challengeReply, 1, ' '), challenge)) return {};
  return Base64Encode(userName + " " + BytesToHex(platform::HmacMd5(password, challenge)));
}

bool SendMail(std::string& errorText, const std::string& server, const std::string& message,
              const std::string& password, const std::string& userName, const std::string& heloName,
              const std::string& recipients, const std::string& sender, const SmtpLimits& limits) {
  Envelope envelope{heloName.empty() ? "localhost" : heloName.substr(0, kNameMax),
                    EnvelopeSender(sender),
                    DataForm(message),
                    userName,
                    password,
                    {}};
  SplitToList(TrimBlanks(recipients), ';', envelope.recipients, true);
  errorText.clear();
  if (envelope.recipients.empty()) {
    errorText = "No recipient";
    return false;
  }
  // A line break would let the text carry commands of its own.
  if (HasLineBreak(envelope.helo) || HasLineBreak(envelope.sender) ||
      std::any_of(envelope.recipients.begin(), envelope.recipients.end(), HasLineBreak)) {
    errorText = "Line break in the HELO name, the sender or a recipient";
    return false;
  }
  std::string address, hostName;
  int port = 25;
  ParseHostPort(server, 25, address, port, hostName);

  Dialogue dialogue(envelope, limits);
  try {
    std::thread worker([&] {
      try {
        dialogue.Run(hostName.empty() ? address : hostName, static_cast<uint16_t>(port));
      } catch (...) {
        // The dialogue ends; what it reached so far stands.
      }
    });
    worker.join();
  } catch (const std::system_error&) {
    // No thread: nothing was connected or sent.
  }
  if (!dialogue.connected) {
    errorText = FillMessage("Could not connect to host %s", {server});
    return false;
  }
  errorText = dialogue.sent ? "" : dialogue.lastReply;
  return dialogue.sent;
}

}  // namespace support
