// Message digests through Windows CNG.
#include "platform/hash.h"

#include "platform/win32/windows_api.h"

namespace platform {
namespace {

bool Succeeded(NTSTATUS status) {
  return status >= 0;
}

// Provider handles are meant to be opened once and shared between threads.
BCRYPT_ALG_HANDLE Sha1Provider() {
  static BCRYPT_ALG_HANDLE provider = [] {
    BCRYPT_ALG_HANDLE h = nullptr;
    if (!Succeeded(BCryptOpenAlgorithmProvider(&h, BCRYPT_SHA1_ALGORITHM, nullptr, 0))) h = nullptr;
    return h;
  }();
  return provider;
}

}  // namespace

std::string Sha1(const std::string& data) {
  BCRYPT_ALG_HANDLE provider = Sha1Provider();
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (!provider || !Succeeded(BCryptCreateHash(provider, &hash, nullptr, 0, nullptr, 0, 0)))
    return {};
  bool ok = true;
  const char* p = data.data();
  // BCryptHashData takes a 32-bit count.
  for (size_t left = data.size(); ok && left > 0;) {
    ULONG n = static_cast<ULONG>(left < (1u << 30) ? left : (1u << 30));
    ok = Succeeded(BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(p)), n, 0));
    p += n;
    left -= n;
  }
  std::string digest(20, '\0');
  ok = ok && Succeeded(BCryptFinishHash(hash, reinterpret_cast<PUCHAR>(digest.data()), 20, 0));
  BCryptDestroyHash(hash);
  return ok ? digest : std::string();
}

}  // namespace platform
