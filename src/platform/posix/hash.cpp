#include "platform/hash.h"

#include <openssl/sha.h>

namespace platform {

std::string Sha1(const std::string& data) {
  unsigned char digest[SHA_DIGEST_LENGTH];
  SHA1(reinterpret_cast<const unsigned char*>(data.data()), data.size(), digest);
  return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
}

}  // namespace platform
