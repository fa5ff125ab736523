// The mail client: delivers one formatted message to one server for one or
// more recipients, authenticating first when a user name is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace support {

// Time limits of one dialogue.
struct SmtpLimits {
  uint32_t replyMs = 60000;      // connecting, each wait for reply data, each block sent
  uint32_t dialogueMs = 300000;  // everything from the connect to the reply to QUIT
};

// Sends the message (header lines, an empty line, the body; lines end in
// CR LF) from the sender to the recipients (separated by ";") through the
// server ("host", "address" or "[address]", each optionally with ":port";
// port 25 by default). Lines beginning with "." are doubled on the wire. True
// when the server accepted the message; otherwise errorText says why: a text
// of our own when the message was refused before connecting, "Could not
// connect to host <server>", or the server's last reply line (empty when it
// never answered).
bool SendMail(std::string& errorText, const std::string& server, const std::string& message,
              const std::string& password, const std::string& userName, const std::string& heloName,
              const std::string& recipients, const std::string& sender,
              const SmtpLimits& limits = {});

// One reply of the server, fed with the bytes as they arrive. Continuation
// lines ("250-...") are dropped as they complete; the reply ends with a line
// that ends in CR LF and is not a continuation line.
class SmtpReply {
 public:
  enum Status { kMore, kComplete, kTooLong };
  static constexpr size_t kMaxLine = 1000;       // a last line this long ends the reply
  static constexpr size_t kMaxFull = 64 * 1024;  // so do this many bytes in all

  void Clear();
  // kTooLong once a limit is reached; the reply then has no code.
  Status Add(std::string_view data);
  // The number of the last line's first three characters; 0 when they are no
  // number or the reply was too long.
  int Code() const;
  // The last line without its CR LF (part of it while the reply is incomplete).
  const std::string& Line() const { return line_; }
  // Every byte of the reply.
  const std::string& Full() const { return full_; }

 private:
  std::string line_, full_;
  Status status_ = kMore;
};

// The mechanisms that the AUTH line of an EHLO reply offers (the line's
// words after "AUTH", or after "AUTH="); empty when there is no such line.
std::vector<std::string> AuthMechanisms(const std::string& ehloReply);

// The Base64 answer to a CRAM-MD5 challenge reply ("334 <Base64 challenge>"):
// the user name, a blank and the lower-case hexadecimal HMAC-MD5 of the
// challenge keyed with the password. Empty when the challenge is no Base64.
std::string CramMd5Answer(const std::string& challengeReply, const std::string& userName,
                          const std::string& password);

}  // namespace support
