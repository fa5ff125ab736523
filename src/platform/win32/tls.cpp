// TLS through Schannel. Schannel is told to leave the certificate to us
// (manual validation): the chain and host name are checked with the SSL chain
// policy after the handshake, before any data is sent, so that the trust
// anchor a test adds can be honoured beside the system's roots. Schannel and
// the certificate functions come from secur32.dll and crypt32.dll of the
// system folder.
#define SECURITY_WIN32
// clang-format off
#include "platform/win32/windows_api.h"
#include <wincrypt.h>
#include <security.h>
#include <schannel.h>
// clang-format on

#include "platform/tls.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <mutex>

#include "platform/win32/system_dll.h"

namespace platform {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr size_t kRecordBytes = 16 * 1024 + 512;
// SECURITY_FLAG_IGNORE_UNKNOWN_CA of the SSL policy (declared with WinINet's flags).
constexpr DWORD kIgnoreUnknownCa = 0x00000100;

constexpr wchar_t kCrypt32[] = L"crypt32.dll";

// The certificate functions used, all found or none.
struct Crypt32 {
  decltype(&CertOpenStore) openStore = ORVIK_SYSTEM_FUNCTION(kCrypt32, CertOpenStore);
  decltype(&CertCloseStore) closeStore = ORVIK_SYSTEM_FUNCTION(kCrypt32, CertCloseStore);
  decltype(&CryptStringToBinaryA) stringToBinary =
      ORVIK_SYSTEM_FUNCTION(kCrypt32, CryptStringToBinaryA);
  decltype(&CertAddEncodedCertificateToStore) addEncoded =
      ORVIK_SYSTEM_FUNCTION(kCrypt32, CertAddEncodedCertificateToStore);
  decltype(&CertFindCertificateInStore) findCertificate =
      ORVIK_SYSTEM_FUNCTION(kCrypt32, CertFindCertificateInStore);
  decltype(&CertFreeCertificateContext) freeCertificate =
      ORVIK_SYSTEM_FUNCTION(kCrypt32, CertFreeCertificateContext);
  decltype(&CertAddStoreToCollection) addToCollection =
      ORVIK_SYSTEM_FUNCTION(kCrypt32, CertAddStoreToCollection);
  decltype(&CertGetCertificateChain) getChain =
      ORVIK_SYSTEM_FUNCTION(kCrypt32, CertGetCertificateChain);
  decltype(&CertVerifyCertificateChainPolicy) verifyPolicy =
      ORVIK_SYSTEM_FUNCTION(kCrypt32, CertVerifyCertificateChainPolicy);
  decltype(&CertFreeCertificateChain) freeChain =
      ORVIK_SYSTEM_FUNCTION(kCrypt32, CertFreeCertificateChain);

  bool Complete() const {
    return openStore && closeStore && stringToBinary && addEncoded && findCertificate &&
           freeCertificate && addToCollection && getChain && verifyPolicy && freeChain;
  }
};

const Crypt32* Certificates() {
  static const Crypt32 crypt32;
  static const bool complete = crypt32.Complete();
  return complete ? &crypt32 : nullptr;
}

// Schannel's functions, through the table of the security support provider
// interface; none when secur32.dll cannot be loaded.
const SecurityFunctionTableA* Sspi() {
  static const SecurityFunctionTableA* const table = [] {
    auto* init = ORVIK_SYSTEM_FUNCTION(L"secur32.dll", InitSecurityInterfaceA);
    return init ? init() : nullptr;
  }();
  return table;
}

std::mutex anchorMutex;
HCERTSTORE anchorStore = nullptr;  // the extra roots, or none

uint32_t MillisecondsLeft(SteadyClock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
  return left.count() > 0 ? static_cast<uint32_t>(left.count()) : 0;
}

// Every certificate of a PEM text into a new memory store; none when there is none.
HCERTSTORE LoadPem(const Crypt32& crypt, const std::string& text) {
  HCERTSTORE store = crypt.openStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
  if (!store) return nullptr;
  const std::string begin = "-----BEGIN CERTIFICATE-----", end = "-----END CERTIFICATE-----";
  int added = 0;
  for (size_t from = text.find(begin); from != std::string::npos; from = text.find(begin, from)) {
    size_t to = text.find(end, from);
    if (to == std::string::npos) break;
    to += end.size();
    DWORD size = 0;
    std::string block = text.substr(from, to - from);
    if (crypt.stringToBinary(block.c_str(), static_cast<DWORD>(block.size()),
                             CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr)) {
      std::string der(size, '\0');
      if (crypt.stringToBinary(block.c_str(), static_cast<DWORD>(block.size()),
                               CRYPT_STRING_BASE64HEADER, reinterpret_cast<BYTE*>(der.data()),
                               &size, nullptr, nullptr) &&
          crypt.addEncoded(store, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                           size, CERT_STORE_ADD_REPLACE_EXISTING, nullptr))
        ++added;
    }
    from = to;
  }
  if (added > 0) return store;
  crypt.closeStore(store, 0);
  return nullptr;
}

bool IsAnchor(const Crypt32& crypt, PCCERT_CONTEXT certificate) {
  std::lock_guard<std::mutex> lock(anchorMutex);
  if (!anchorStore) return false;
  PCCERT_CONTEXT found = crypt.findCertificate(anchorStore, X509_ASN_ENCODING, 0,
                                               CERT_FIND_EXISTING, certificate, nullptr);
  if (found) crypt.freeCertificate(found);
  return found != nullptr;
}

// The server's chain (its own certificates, the system's and the anchors) must
// satisfy the SSL policy for the host. A root that only the anchor store knows
// is accepted as known; every other check stays.
bool VerifyServer(const Crypt32& crypt, PCCERT_CONTEXT server, const std::string& host) {
  HCERTSTORE extra = crypt.openStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr);
  if (!extra) return false;
  crypt.addToCollection(extra, server->hCertStore, 0, 0);
  {
    std::lock_guard<std::mutex> lock(anchorMutex);
    if (anchorStore) crypt.addToCollection(extra, anchorStore, 0, 0);
  }
  char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
  LPSTR usages[] = {serverAuth};
  CERT_CHAIN_PARA chainPara{};
  chainPara.cbSize = sizeof chainPara;
  chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
  chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
  chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  bool built = crypt.getChain(nullptr, server, nullptr, extra, &chainPara, 0, nullptr, &chain) &&
               chain && chain->cChain > 0 && chain->rgpChain[0]->cElement > 0;
  bool verified = false;
  if (built) {
    const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
    bool anchored = IsAnchor(crypt, simple->rgpElement[simple->cElement - 1]->pCertContext);
    std::wstring name(host.begin(), host.end());  // host names and addresses are ASCII
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.fdwChecks = anchored ? kIgnoreUnknownCa : 0;
    ssl.pwszServerName = name.data();
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.dwFlags = anchored ? CERT_CHAIN_POLICY_ALLOW_UNKNOWN_CA_FLAG : 0;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof status;
    // Wine's SSL policy passes a partial chain (measured), so the chain's own
    // status is checked as well.
    const DWORD allowed = anchored ? CERT_TRUST_IS_UNTRUSTED_ROOT : 0;
    verified = (chain->TrustStatus.dwErrorStatus & ~allowed) == 0 &&
               crypt.verifyPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status) &&
               status.dwError == 0;
  }
  if (chain) crypt.freeChain(chain);
  crypt.closeStore(extra, 0);
  return verified;
}

}  // namespace

bool SetTrustAnchor(const std::string& pemFile) {
  const Crypt32* crypt = Certificates();
  HCERTSTORE store = nullptr;
  if (!pemFile.empty() && crypt) {
    std::ifstream in(pemFile, std::ios::binary);
    store = LoadPem(*crypt, std::string(std::istreambuf_iterator<char>(in), {}));
  }
  std::lock_guard<std::mutex> lock(anchorMutex);
  if (anchorStore) crypt->closeStore(anchorStore, 0);  // made with crypt32
  anchorStore = store;
  return pemFile.empty() || store != nullptr;
}

struct TlsClient::State {
  const SecurityFunctionTableA* sspi = Sspi();
  CredHandle credentials{};
  CtxtHandle context{};
  bool haveCredentials = false;
  bool haveContext = false;
  std::string host;
  SecPkgContext_StreamSizes sizes{};
  std::string received;     // records not yet decrypted
  std::string plain;        // decrypted, not yet handed out
  bool ready = false;       // handshake done and verified
  bool ended = false;       // the peer's close_notify arrived
  bool peerClosed = false;  // reported once the data before close_notify is taken
  // Wine's Schannel gives close_notify as a record without data, not as
  // SEC_I_CONTEXT_EXPIRED (measured): such a record right before the close
  // counts as the peer's end. No one on the way can make an authentic record.
  bool emptyRecord = false;

  ~State() {
    if (haveContext) sspi->DeleteSecurityContext(&context);
    if (haveCredentials) sspi->FreeCredentialsHandle(&credentials);
  }

  // Reads more records; false on a time-out, failure or close.
  bool Fill(Socket& socket, SteadyClock::time_point deadline) {
    std::string data = socket.Receive(kRecordBytes, MillisecondsLeft(deadline));
    if (data.empty()) return false;
    received += data;
    return true;
  }

  // The handshake messages, from the first or from records already received
  // (a renegotiation or TLS 1.3 post-handshake message).
  bool Negotiate(Socket& socket, SteadyClock::time_point deadline) {
    const ULONG flags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                        ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM | ISC_REQ_EXTENDED_ERROR |
                        ISC_REQ_MANUAL_CRED_VALIDATION;
    for (;;) {
      SecBuffer in[2] = {{static_cast<ULONG>(received.size()), SECBUFFER_TOKEN, received.data()},
                         {0, SECBUFFER_EMPTY, nullptr}};
      SecBufferDesc inDesc{SECBUFFER_VERSION, 2, in};
      SecBuffer out[1] = {{0, SECBUFFER_TOKEN, nullptr}};
      SecBufferDesc outDesc{SECBUFFER_VERSION, 1, out};
      ULONG attributes = 0;
      const bool first = !haveContext;
      SECURITY_STATUS status = sspi->InitializeSecurityContextA(
          &credentials, first ? nullptr : &context, host.data(), flags, 0, 0,
          first ? nullptr : &inDesc, 0, &context, &outDesc, &attributes, nullptr);
      if (first && (status == SEC_I_CONTINUE_NEEDED || status == SEC_E_OK)) haveContext = true;
      if (out[0].pvBuffer) {
        bool sent =
            out[0].cbBuffer == 0 ||
            socket.Send(std::string(static_cast<const char*>(out[0].pvBuffer), out[0].cbBuffer),
                        MillisecondsLeft(deadline));
        sspi->FreeContextBuffer(out[0].pvBuffer);
        if (!sent) return false;
      }
      if (status == SEC_E_INCOMPLETE_MESSAGE) {
        if (!Fill(socket, deadline)) return false;
        continue;
      }
      if (!first) {
        if (in[1].BufferType == SECBUFFER_EXTRA && in[1].cbBuffer <= received.size())
          received.erase(0, received.size() - in[1].cbBuffer);
        else
          received.clear();
      }
      if (status == SEC_E_OK) return true;
      if (status != SEC_I_CONTINUE_NEEDED) return false;
      if (received.empty() && !Fill(socket, deadline)) return false;
    }
  }

  std::string Take(size_t maxBytes) {
    std::string part = plain.substr(0, maxBytes);
    plain.erase(0, part.size());
    return part;
  }
};

TlsClient::TlsClient(Socket& socket) : socket_(socket), state_(std::make_unique<State>()) {}

TlsClient::~TlsClient() = default;

bool TlsClient::Handshake(const std::string& host, uint32_t timeoutMs) {
  State& s = *state_;
  const Crypt32* crypt = Certificates();
  if (s.haveCredentials || !s.sspi || !crypt) return false;
  auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
  SCHANNEL_CRED credentials{};
  credentials.dwVersion = SCHANNEL_CRED_VERSION;
  credentials.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT;
  credentials.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
  char package[] = UNISP_NAME_A;
  if (s.sspi->AcquireCredentialsHandleA(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr,
                                        &credentials, nullptr, nullptr, &s.credentials,
                                        nullptr) != SEC_E_OK)
    return false;
  s.haveCredentials = true;
  s.host = host;
  if (!s.Negotiate(socket_, deadline)) return false;

  PCCERT_CONTEXT server = nullptr;
  if (s.sspi->QueryContextAttributesA(&s.context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &server) !=
          SEC_E_OK ||
      !server)
    return false;
  bool verified = VerifyServer(*crypt, server, host);
  crypt->freeCertificate(server);
  s.ready =
      verified &&
      s.sspi->QueryContextAttributesA(&s.context, SECPKG_ATTR_STREAM_SIZES, &s.sizes) == SEC_E_OK &&
      s.sizes.cbMaximumMessage > 0;
  return s.ready;
}

bool TlsClient::Send(const std::string& data, uint32_t timeoutMs) {
  State& s = *state_;
  if (!s.ready) return false;
  auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
  const ULONG header = s.sizes.cbHeader, trailer = s.sizes.cbTrailer;
  for (size_t sent = 0; sent < data.size();) {
    ULONG size = static_cast<ULONG>(std::min<size_t>(data.size() - sent, s.sizes.cbMaximumMessage));
    std::string record(header + size + trailer, '\0');
    record.replace(header, size, data, sent, size);
    SecBuffer buffers[4] = {{header, SECBUFFER_STREAM_HEADER, record.data()},
                            {size, SECBUFFER_DATA, record.data() + header},
                            {trailer, SECBUFFER_STREAM_TRAILER, record.data() + header + size},
                            {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
    if (s.sspi->EncryptMessage(&s.context, 0, &desc, 0) != SEC_E_OK) return false;
    record.resize(buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer);
    if (!socket_.Send(record, MillisecondsLeft(deadline))) return false;
    sent += size;
  }
  return true;
}

std::string TlsClient::Receive(size_t maxBytes, uint32_t timeoutMs) {
  State& s = *state_;
  s.peerClosed = false;
  if (!s.ready || maxBytes == 0) return {};
  auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (!s.plain.empty()) return s.Take(maxBytes);
    if (s.ended) {
      s.peerClosed = true;
      return {};
    }
    if (!s.received.empty()) {
      SecBuffer buffers[4] = {
          {static_cast<ULONG>(s.received.size()), SECBUFFER_DATA, s.received.data()},
          {0, SECBUFFER_EMPTY, nullptr},
          {0, SECBUFFER_EMPTY, nullptr},
          {0, SECBUFFER_EMPTY, nullptr}};
      SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
      SECURITY_STATUS status = s.sspi->DecryptMessage(&s.context, &desc, 0, nullptr);
      if (status == SEC_E_OK || status == SEC_I_RENEGOTIATE || status == SEC_I_CONTEXT_EXPIRED) {
        std::string extra;
        for (const SecBuffer& b : buffers) {
          if (b.BufferType == SECBUFFER_DATA)
            s.plain.append(static_cast<const char*>(b.pvBuffer), b.cbBuffer);
          else if (b.BufferType == SECBUFFER_EXTRA)
            extra.assign(static_cast<const char*>(b.pvBuffer), b.cbBuffer);
        }
        s.emptyRecord = status == SEC_E_OK && s.plain.empty();
        s.received = extra;
        s.ended = status == SEC_I_CONTEXT_EXPIRED;
        if (status == SEC_I_RENEGOTIATE && !s.Negotiate(socket_, deadline)) return {};
        continue;
      }
      if (status != SEC_E_INCOMPLETE_MESSAGE) return {};
    }
    // A connection cut without close_notify may have lost the rest: no clean end.
    if (!s.Fill(socket_, deadline)) {
      s.peerClosed = s.emptyRecord && s.received.empty() && socket_.LastError() == 0;
      return {};
    }
  }
}

bool TlsClient::PeerClosed() const {
  return state_->peerClosed;
}

}  // namespace platform
