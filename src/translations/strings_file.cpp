#include "translations/strings_file.h"

#include <cstddef>

#include "platform/files.h"
#include "support/file_utils.h"
#include "support/short_string.h"
#include "support/text_fields.h"

namespace support {
namespace {

struct ServerMessageDefault {
  const char* Identifier;
  const char* Text;
};

// The server's own catalogue holds the real texts; these are the fallbacks a
// strings.dat overrides.
const ServerMessageDefault kServerMessages[] = {
    {"stApprovalRequest", "Approval request"},
    {"stDeliveryID", "Delivery ID: "},
    {"stDeliveryNotification", "Delivery notification"},
    {"stDeliveryTo", "Your message was delivered to: "},
    {"stRelayed", "Relayed"},
    {"stRelayedTo", "Your message was relayed to: "},
    {"stRelayedText", "The recipient's server does not return delivery notifications."},
    {"stSystemWarning", "System warning"},
    {"stDiskSpace", "Free disk space is low: "},
    {"stCPUUsage", "Processor usage is high: "},
    {"stMemoryUsage", "Memory usage is high: "},
    {"stRemoteServerMonitorSubject", "Remote server is down"},
    {"stRemoteServerMonitorSubjectBack", "Remote server is up again"},
    {"stRemoteServerDown", "The remote server %s does not respond."},
    {"stRemoteServerDownBack", "The remote server %s responds again."},
    {"stRemoteServerDownSince", "Down since: "},
    {"stRemoteServerDownSinceBack", "It was down since: "},
    {"stReportURL", "Report address: "},
    {"stReportURLLastUpdate", "Last update: "},
    {"stReportURLSize", "Size: "},
    {"stCatalogMessage", "Catalog"},
    {"stCatalogFile", "File: "},
    {"stCatalogDir", "Directory: "},
    {"stCatalogDirItem", "File "},
    {"stCatalogDirDirItem", "Directory "},
    {"stCatalogNoPass", "Wrong or missing password."},
    {"stCatalogNoItem", "No such item."},
    {"stCatalogNoFile", "No such file."},
    {"stCatalogNoRights", "You have no rights to this item."},
    {"stDeliveryProblems", "Delivery problems"},
    {"stUnknownUser", "Unknown user"},
    {"stMaxList", "The mailing list has reached its maximum size."},
    {"stMaxSizeString", "The message exceeds the maximum size."},
    {"stWarningSpace", "Mailbox size warning"},
    {"stWarningSpaceText", "Your mailbox is almost full."},
    {"stWarningDomainSpace", "Domain size warning"},
    {"stWarningDomainSpaceText", "The domain's storage is almost full."},
    {"stReturnedMail", "Returned mail"},
    {"stResponseError", "The remote server answered with an error: "},
    {"stServerDisconnected", "The remote server closed the connection."},
    {"stCouldNotSend", "The message could not be sent."},
    {"stInfoMess", "This is an automatic message from the mail server."},
    {"stMailRejected", "Mail rejected"},
    {"stFollowingAddress", "The message could not be delivered to the following address:"},
    {"stFollowingAddressTransient", "Delivery to the following address is delayed:"},
    {"stOriginalMessageAt", "The original message is attached."},
    {"stCouldNotSSLVerify", "The remote server's certificate could not be verified."},
    {"stTranscript", "Transcript of the session:"},
    {"stWhileTalkingTo", "While talking to "},
    {"stConnectionError", "Connection error"},
    {"stWhileMXTo", "While looking up the mail exchanger of "},
    {"stCouldNotConnectHost", "Could not connect to the host."},
    {"stCouldNotConnectToDNSServer", "Could not connect to the DNS server."},
    {"stTooManyHops", "Too many hops."},
    {"stWarningOnlyA", "This is a warning only; "},
    {"stWarningOnlyB", "the server will keep trying to deliver the message."},
    {"stWarnLine", "Warning"},
    {"stWarnLineA", "The message has not been delivered yet."},
    {"stWarnLineB", "You do not need to send it again."},
    {"stVirusAlert", "Virus alert"},
    {"stVirusError", "Virus scanner error"},
    {"stVirusSystem", "The anti-virus system reported: "},
    {"stVirusResponse", "A virus was found in the message."},
    {"stVirusName", "Virus name: "},
    {"stSenderVirus", "The message you sent contained a virus."},
    {"stRecipientVirus", "A message sent to you contained a virus."},
    {"stVirusRemoved", "The infected part has been removed."},
    {"stVirusUpdateProblem", "Anti-virus update problem"},
    {"stVirusUpdateProblemBody", "The anti-virus definitions could not be updated."},
    {"stMailBoxSize", "Mailbox size: "},
    {"stMailListSize", "Mailing list size: "},
    {"stRRA", "Read receipt"},
    {"stRRB", "Your message was read by "},
    {"stRRC", "on "},
    {"cLSError", "The list server could not process your request."},
    {"cLSListError", "Mailing list error"},
    {"cLSChangedMode", "Your delivery mode has been changed."},
    {"cLSNoSuchMailingList", "There is no such mailing list."},
    {"cLSJoin", "You have joined the mailing list."},
    {"cLSConfirm", "Please confirm your subscription."},
    {"cLSConfirmA", "Reply to this message to confirm."},
    {"cLSLeave", "You have left the mailing list."},
    {"cLSNoLeave", "You are not a member of this mailing list."},
    {"cLSAlready", "You are already a member of this mailing list."},
    {"cLSRights", "You have no rights to do this."},
    {"cLSPassword", "Wrong password."},
    {"cLSNotAllowed", "This command is not allowed."},
    {"cLSListServer", "List server"},
    {"lsAddress", "Address"},
    {"lsAllRecipients", "All recipients"},
    {"lsAllRecipientsTotal", "Total recipients: "},
    {"lsAllLists", "All mailing lists"},
    {"lsAllWhich", "Mailing lists you are a member of"},
    {"clsMessageDailyList", "Daily list of messages"},
    {"clsMessages", "Messages"},
    {"clsMessageItem", "Message"},
    {"clsMessageDelimiter", "----------------------------------------"},
    {"stDigestList", "Digest"},
};

constexpr std::size_t kServerMessageCount = sizeof kServerMessages / sizeof kServerMessages[0];

std::vector<std::string>& Texts() {
  static std::vector<std::string> texts = [] {
    std::vector<std::string> t;
    for (const auto& m : kServerMessages) t.emplace_back(m.Text);
    return t;
  }();
  return texts;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

TMessageTable* Resolve(TMessageTable* table) {
  return table ? table : &ServerMessageTable();
}

}  // namespace

TMessageTable& ServerMessageTable() {
  static TMessageTable table;
  return table;
}

const std::vector<std::string>& ServerMessageIdentifiers() {
  static const std::vector<std::string> ids = [] {
    std::vector<std::string> v;
    for (const auto& m : kServerMessages) v.emplace_back(m.Identifier);
    return v;
  }();
  return ids;
}

std::string ServerMessage(const std::string& identifier) {
  const std::string id = ShortString(identifier);
  for (std::size_t i = 0; i < kServerMessageCount; ++i)
    if (SameText(kServerMessages[i].Identifier, id)) return Texts()[i];
  return "";
}

void RegisterServerMessages(TMessageTable* table) {
  auto& texts = Texts();
  for (std::size_t i = 0; i < kServerMessageCount; ++i)
    RegisterMessage(kServerMessages[i].Identifier, texts[i], Resolve(table));
}

void RestoreServerMessageDefaults() {
  auto& texts = Texts();
  for (std::size_t i = 0; i < kServerMessageCount; ++i) texts[i] = kServerMessages[i].Text;
}

std::string DecodeQuotedLiteral(const std::string& value) {
  std::string out, run;
  bool inside = false;
  const std::size_t n = value.size();
  for (std::size_t i = 0; i < n; ++i) {
    const char c = value[i];
    if (c == '\'') {
      if (inside) {
        out += run;
        run.clear();
      }
      inside = !inside;
    } else if (inside) {
      run += c;
    } else if (c == '#') {
      unsigned code = 0;
      std::size_t j = i + 1;
      for (; j < n && IsDigit(value[j]); ++j) code = (code * 10 + (value[j] - '0')) % 256;
      if (code != 0) out += static_cast<char>(code);
      i = j - 1;
    }
  }
  return out;
}

bool ParseStringsLine(const std::string& line, std::string& identifier, std::string& value) {
  const std::string text = TrimBlanks(line);
  const std::size_t first = text.find('=');
  if (first == std::string::npos) return false;
  const std::size_t second = text.find('=', first + 1);
  identifier = TrimBlanks(text.substr(0, first));
  value = TrimBlanks(second == std::string::npos ? text.substr(first + 1)
                                                 : text.substr(first + 1, second - first - 1));
  return !identifier.empty() && !value.empty();
}

void ApplyStringsText(const std::string& content, TMessageTable* table) {
  // A line ends at CR, LF or CR LF, as the runtime's text files read it.
  for (const std::string& line : SplitLines(content)) {
    std::string identifier, value;
    if (ParseStringsLine(line, identifier, value))
      SetMessage(identifier, DecodeQuotedLiteral(value), Resolve(table));
  }
}

bool LoadStringsFile(const std::string& configDirectory, TMessageTable* table) {
  std::string path = configDirectory;
  if (!path.empty() && path.back() != '\\') path += '\\';
  path += "strings.dat";
  if (!platform::FileExists(path)) return false;
  RegisterServerMessages(table);
  ApplyStringsText(LoadFileToString(path), table);
  return true;
}

}  // namespace support
