#include "platform/hash.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/sha.h>

namespace platform {
namespace {

const unsigned char* Bytes(const std::string& s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}

}  // namespace

std::string Sha1(const std::string& data) {
  unsigned char digest[SHA_DIGEST_LENGTH];
  SHA1(Bytes(data), data.size(), digest);
  return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
}

std::string Md5(const std::string& data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (!EVP_Digest(data.data(), data.size(), digest, &size, EVP_md5(), nullptr)) return {};
  return std::string(reinterpret_cast<const char*>(digest), size);
}

std::string HmacMd5(const std::string& key, const std::string& data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (!HMAC(EVP_md5(), key.data(), static_cast<int>(key.size()), Bytes(data), data.size(), digest,
            &size))
    return {};
  return std::string(reinterpret_cast<const char*>(digest), size);
}

}  // namespace platform
