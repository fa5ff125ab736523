// Message digests through Windows CNG, from bcrypt.dll of the system folder.
#include "platform/hash.h"

#include "platform/win32/system_dll.h"
#include "platform/win32/windows_api.h"

namespace platform {
namespace {

constexpr wchar_t kBcrypt[] = L"bcrypt.dll";

// The functions used, all found or none.
struct Cng {
  decltype(&BCryptOpenAlgorithmProvider) openProvider =
      ORVIK_SYSTEM_FUNCTION(kBcrypt, BCryptOpenAlgorithmProvider);
  decltype(&BCryptCreateHash) createHash = ORVIK_SYSTEM_FUNCTION(kBcrypt, BCryptCreateHash);
  decltype(&BCryptHashData) hashData = ORVIK_SYSTEM_FUNCTION(kBcrypt, BCryptHashData);
  decltype(&BCryptFinishHash) finishHash = ORVIK_SYSTEM_FUNCTION(kBcrypt, BCryptFinishHash);
  decltype(&BCryptDestroyHash) destroyHash = ORVIK_SYSTEM_FUNCTION(kBcrypt, BCryptDestroyHash);
};

const Cng* Functions() {
  static const Cng cng;
  static const bool found =
      cng.openProvider && cng.createHash && cng.hashData && cng.finishHash && cng.destroyHash;
  return found ? &cng : nullptr;
}

bool Succeeded(NTSTATUS status) {
  return status >= 0;
}

BCRYPT_ALG_HANDLE OpenProvider(LPCWSTR algorithm, ULONG flags) {
  const Cng* cng = Functions();
  BCRYPT_ALG_HANDLE h = nullptr;
  if (!cng || !Succeeded(cng->openProvider(&h, algorithm, nullptr, flags))) h = nullptr;
  return h;
}

// Provider handles are meant to be opened once and shared between threads.
BCRYPT_ALG_HANDLE Sha1Provider() {
  static BCRYPT_ALG_HANDLE provider = OpenProvider(BCRYPT_SHA1_ALGORITHM, 0);
  return provider;
}

BCRYPT_ALG_HANDLE Md5Provider() {
  static BCRYPT_ALG_HANDLE provider = OpenProvider(BCRYPT_MD5_ALGORITHM, 0);
  return provider;
}

BCRYPT_ALG_HANDLE HmacMd5Provider() {
  static BCRYPT_ALG_HANDLE provider =
      OpenProvider(BCRYPT_MD5_ALGORITHM, BCRYPT_ALG_HANDLE_HMAC_FLAG);
  return provider;
}

PUCHAR Bytes(const std::string& s) {
  return reinterpret_cast<PUCHAR>(const_cast<char*>(s.data()));
}

// The digest of the bytes of size digestSize; with a key, the provider must be
// an HMAC one. Empty on failure.
std::string Digest(BCRYPT_ALG_HANDLE provider, ULONG digestSize, const std::string& key,
                   const std::string& data) {
  const Cng* cng = Functions();  // found, when there is a provider
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (!provider ||
      !Succeeded(cng->createHash(provider, &hash, nullptr, 0, key.empty() ? nullptr : Bytes(key),
                                 static_cast<ULONG>(key.size()), 0)))
    return {};
  bool ok = true;
  const char* p = data.data();
  // BCryptHashData takes a 32-bit count.
  for (size_t left = data.size(); ok && left > 0;) {
    ULONG n = static_cast<ULONG>(left < (1u << 30) ? left : (1u << 30));
    ok = Succeeded(cng->hashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(p)), n, 0));
    p += n;
    left -= n;
  }
  std::string digest(digestSize, '\0');
  ok = ok && Succeeded(cng->finishHash(hash, Bytes(digest), digestSize, 0));
  cng->destroyHash(hash);
  return ok ? digest : std::string();
}

}  // namespace

std::string Sha1(const std::string& data) {
  return Digest(Sha1Provider(), 20, {}, data);
}

std::string Md5(const std::string& data) {
  return Digest(Md5Provider(), 16, {}, data);
}

std::string HmacMd5(const std::string& key, const std::string& data) {
  return Digest(HmacMd5Provider(), 16, key, data);
}

}  // namespace platform
