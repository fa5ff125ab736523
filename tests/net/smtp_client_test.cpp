// The mail client: replies read piece by piece without a socket, then whole
// dialogues with aiosmtpd and the scripted raw peer on loopback.
#include "net/smtp_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "common/peers.h"

namespace support {
namespace {

using testing_support::PeerFile;
using testing_support::PeerPort;

TEST(SmtpReplyTest, ReadsRepliesAsTheyArrive) {
  struct Case {
    std::vector<std::string> pieces;
    SmtpReply::Status status;
    int code;
    std::string line;
  };
  const std::string x995(995, 'x'), flood(74000, '-');
  const Case cases[] = {
      {{"220 ready\r\n"}, SmtpReply::kComplete, 220, "220 ready"},
      {{"220 ready\r", "\n"}, SmtpReply::kComplete, 220, "220 ready"},
      {{"250-a\r\n250-AU", "TH LOGIN\r", "\n25", "0 ok\r\n"}, SmtpReply::kComplete, 250, "250 ok"},
      {{"250-a\r\n250-b\r\n"}, SmtpReply::kMore, 0, ""},
      {{"25"}, SmtpReply::kMore, 0, "25"},
      {{"2x0 odd\r\n"}, SmtpReply::kComplete, 0, "2x0 odd"},
      {{"\r\n"}, SmtpReply::kComplete, 0, ""},
      // A last line of 999 characters is read whole; one of 1000 ends the reply without a code.
      {{"220 " + x995, "\r\n"}, SmtpReply::kComplete, 220, "220 " + x995},
      {{"220 " + x995 + "x", "\r\n"}, SmtpReply::kTooLong, 0, "220 " + x995 + "x"},
      // Continuation lines never reach the line limit; the whole reply is capped.
      {{"250-" + flood + "\r\n", "250 ok\r\n"}, SmtpReply::kTooLong, 0, ""},
  };
  SmtpReply reply;
  for (const Case& c : cases) {
    reply.Clear();
    std::string all;
    SmtpReply::Status status = SmtpReply::kMore;
    for (const std::string& piece : c.pieces) {
      status = reply.Add(piece);
      all += piece;
    }
    EXPECT_EQ(status, c.status) << all.substr(0, 40);
    EXPECT_EQ(reply.Code(), c.code) << all.substr(0, 40);
    EXPECT_EQ(reply.Line(), c.line) << all.substr(0, 40);
    if (c.status != SmtpReply::kTooLong) {
      EXPECT_EQ(reply.Full(), all);
    }
  }
}

TEST(SmtpReplyTest, AuthMechanismsComeFromTheAuthLineOnly) {
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"250-mail.example\r\n250-AUTH LOGIN PLAIN\r\n250 HELP\r\n", {"LOGIN", "PLAIN"}},
      {"250-AUTH=LOGIN\r\n250 ok\r\n", {"LOGIN"}},
      {"250 auth cram-md5\r\n", {"cram-md5"}},
      {"250-AUTHHOST greets CRAM-MD5\r\n250 AUTHENTIC\r\n", {}},
      {"", {}},
  };
  for (const auto& [reply, mechanisms] : cases)
    EXPECT_EQ(AuthMechanisms(reply), mechanisms) << reply;
}

TEST(SmtpReplyTest, CramMd5AnswerOfThePublishedExample) {
  // RFC 2195: "tim b913a602c7eda7a495b4e6e7334d3890" in Base64.
  EXPECT_EQ(CramMd5Answer("334 PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2UucmVzdG9uLm1jaS5uZXQ+", "tim",
                          "tanstaaftanstaaf"),
            "dGltIGI5MTNhNjAyYzdlZGE3YTQ5NWI0ZTZlNzMzNGQzODkw");
  EXPECT_EQ(CramMd5Answer("334 not*Base64", "tim", "tanstaaftanstaaf"), "");
}

// What a peer recorded since this object was made: for the raw peer what the
// client sent, for aiosmtpd the messages it took.
class PeerRecord {
 public:
  explicit PeerRecord(const std::string& file)
      : path_(PeerFile(file)),
        ends_(path_.substr(0, path_.size() - 4) + ".ends"),
        start_(Read(path_).size()),
        ended_(Read(ends_).size()) {}
  std::string Added() const { return Read(path_).substr(start_); }
  // Waits at most 5 s until the peer has ended one more conversation: by then
  // its log holds all the client sent.
  bool ConversationEnded() const {
    for (int i = 0; i < 500; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(10)))
      if (Read(ends_).size() > ended_) return true;
    return false;
  }

 private:
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::string path_, ends_;
  size_t start_, ended_;
};

std::string Server(const std::string& peer, const std::string& host = "127.0.0.1") {
  int port = PeerPort(peer);
  EXPECT_NE(port, 0) << peer << " is not running";
  return host + ":" + std::to_string(port);
}

TEST(SmtpClientTest, ServerStoresTheMessageAsSent) {
  struct Case {
    std::string host, recipients, message, stored;
  };
  const std::string envelope = "MAIL FROM: sender@example.com\nRCPT TO: ";
  const Case cases[] = {
      {"127.0.0.1", "a@example.com; b@example.com",
       "Subject: dots\r\n\r\n.hidden\r\n.\r\n..two\r\nend",
       envelope +
           "a@example.com,b@example.com\n\nSubject: dots\r\n\r\n.hidden\r\n.\r\n..two\r\nend\r\n"},
      {"[127.0.0.1]", "a@example.com", "Subject: t\r\n\r\nbody\r\n.\r\n",
       envelope + "a@example.com\n\nSubject: t\r\n\r\nbody\r\n"},
      {"localhost", "a@example.com", "Subject: t\r\n\r\nbody\r\n",
       envelope + "a@example.com\n\nSubject: t\r\n\r\nbody\r\n\r\n"},
  };
  for (const Case& c : cases) {
    PeerRecord stored("smtp-mail\\smtp-open.eml");
    std::string error = "stale";
    EXPECT_TRUE(SendMail(error, Server("smtp-open", c.host), c.message, "", "", "", c.recipients,
                         "sender@example.com"))
        << c.host << ": " << error;
    EXPECT_EQ(error, "");
    EXPECT_EQ(stored.Added(), c.stored) << c.host;
  }
}

TEST(SmtpClientTest, AuthenticatesWithTheMechanismOffered) {
  struct Case {
    std::string peer, password;
    bool sent;
  };
  const Case cases[] = {
      {"smtp-auth", "secret", true},  {"smtp-auth", "wrong", false},
      {"smtp-login", "secret", true}, {"smtp-login", "wrong", false},
      {"smtp-plain", "secret", true}, {"smtp-plain", "wrong", false},
      {"smtp-open", "wrong", true},  // no AUTH offered: none tried
  };
  for (const Case& c : cases) {
    PeerRecord stored("smtp-mail\\" + c.peer + ".eml");
    std::string error;
    EXPECT_EQ(SendMail(error, Server(c.peer), "Subject: auth\r\n\r\nhi\r\n", c.password, "user",
                       "client.example", "a@example.com", "sender@example.com"),
              c.sent)
        << c.peer << " " << c.password << ": " << error;
    EXPECT_EQ(stored.Added().empty(), !c.sent) << c.peer;
    EXPECT_EQ(error.substr(0, 4), c.sent ? "" : "535 ") << c.peer;
  }
}

TEST(SmtpClientTest, RefusedRecipientGivesTheServersLine) {
  PeerRecord stored("smtp-mail\\smtp-open.eml");
  std::string error;
  EXPECT_FALSE(SendMail(error, Server("smtp-open"), "Subject: t\r\n\r\nhi\r\n", "", "", "",
                        "a@example.com; nobody@example.com", "sender@example.com"));
  EXPECT_EQ(error, "550 5.1.1 no such user here");
  EXPECT_EQ(stored.Added(), "");
}

TEST(SmtpClientTest, CommandsOnTheWireWithRepliesCutInPieces) {
  struct Case {
    std::string sender, recipients, helo, message, wire;
  };
  const Case cases[] = {
      {"Alice <a@example.com.>", " b@example.com; ;c@example.com ;", "",
       "Subject: t\r\n\r\n.hidden\r\n.\r\nend",
       "HELO localhost\r\nMAIL From:<a@example.com>\r\nRCPT To:b@example.com\r\n"
       "RCPT To:c@example.com\r\nDATA\r\nSubject: t\r\n\r\n..hidden\r\n..\r\nend\r\n.\r\nQUIT\r\n"},
      {"x>y<z", "d@example.com", "client.example", ".\r\n.\r\n",
       "HELO client.example\r\nMAIL From:<z>\r\nRCPT To:d@example.com\r\nDATA\r\n..\r\n.\r\n"
       "QUIT\r\n"},
      {"", "d@example.com", "", "x",
       "HELO localhost\r\nMAIL From:<>\r\nRCPT To:d@example.com\r\n"
       "DATA\r\nx\r\n.\r\nQUIT\r\n"},
  };
  for (const Case& c : cases) {
    PeerRecord wire("raw-smtp-split.log");
    std::string error;
    EXPECT_TRUE(SendMail(error, Server("raw-smtp-split"), c.message, "", "", c.helo, c.recipients,
                         c.sender))
        << error;
    EXPECT_EQ(wire.Added(), c.wire);
  }
}

TEST(SmtpClientTest, RefusesLineBreaksAndNoRecipientsBeforeConnecting) {
  struct Case {
    std::string helo, sender, recipients, error;
  };
  const std::string lineBreak = "Line break in the HELO name, the sender or a recipient";
  const Case cases[] = {
      {"a\r\nRSET", "s@example.com", "a@example.com", lineBreak},
      {"", "<s@example.com\r\nRSET>", "a@example.com", lineBreak},
      {"", "s@example.com\nRSET", "a@example.com", lineBreak},
      {"", "s@example.com", "a@example.com; b@example.com\rRSET", lineBreak},
      {"", "s@example.com", std::string("a@example.com\0x", 15), lineBreak},
      {"", "s@example.com", " ; ; ", "No recipient"},
  };
  for (const Case& c : cases) {
    PeerRecord wire("raw-smtp-split.log");
    std::string error;
    EXPECT_FALSE(SendMail(error, Server("raw-smtp-split"), "Subject: t\r\n\r\nhi\r\n", "", "",
                          c.helo, c.recipients, c.sender, {2000, 5000}));
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(wire.Added(), "");
  }
}

TEST(SmtpClientTest, EndsBadDialoguesInTime) {
  struct Case {
    std::string scenario;
    SmtpLimits limits;
    long long minMs;
  };
  const Case cases[] = {
      {"smtp-flood", {2000, 10000}, 0},      // endless continuation lines
      {"smtp-long-line", {2000, 10000}, 0},  // a greeting of 2000 characters
      {"smtp-trickle", {1000, 1500}, 1400},  // each byte in time, the dialogue not
      {"smtp-silent", {500, 10000}, 450},
  };
  for (const Case& c : cases) {
    PeerRecord wire("raw-" + c.scenario + ".log");
    std::string error = "stale";
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(SendMail(error, Server("raw-" + c.scenario), "Subject: t\r\n\r\nhi\r\n", "", "",
                          "", "a@example.com", "", c.limits));
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - start)
                  .count();
    EXPECT_GE(ms, c.minMs) << c.scenario;
    EXPECT_LT(ms, 5000) << c.scenario;
    // The peer logs what arrives without answering, until the client closes.
    ASSERT_TRUE(wire.ConversationEnded()) << c.scenario;
    EXPECT_EQ(wire.Added(), "") << c.scenario;  // not even HELO
    if (c.scenario == "smtp-silent") {
      EXPECT_EQ(error, "");  // nothing was received
    }
  }
}

TEST(SmtpClientTest, NoOtherMechanismAfterCramMd5WasRefused) {
  PeerRecord wire("raw-smtp-cram-md5-refused.log");
  std::string error;
  EXPECT_FALSE(SendMail(error, Server("raw-smtp-cram-md5-refused"), "Subject: t\r\n\r\nhi\r\n",
                        "secret", "user", "", "a@example.com", ""));
  EXPECT_EQ(error, "535 no");
  EXPECT_EQ(wire.Added(), "EHLO localhost\r\nAUTH CRAM-MD5\r\n" +
                              CramMd5Answer("334 PDEuMkBwZWVyPg==", "user", "secret") + "\r\n");
}

TEST(SmtpClientTest, UnreachableServerNamesTheServerText) {
  std::string error;
  // Nothing listens on port 1 of the loopback address.
  EXPECT_FALSE(SendMail(error, " 127.0.0.1:1", "x", "", "", "", "a@example.com", ""));
  EXPECT_EQ(error, "Could not connect to host  127.0.0.1:1");
}

}  // namespace
}  // namespace support
