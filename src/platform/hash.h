// Message digests: OpenSSL in the native build, CNG in the Windows build.
#pragma once

#include <string>

namespace platform {

// The 20-byte SHA-1 digest of the bytes.
std::string Sha1(const std::string& data);

// The 16-byte MD5 digest of the bytes.
std::string Md5(const std::string& data);

// The 16-byte HMAC-MD5 (RFC 2104) of the bytes under the key; the key may have
// any length.
std::string HmacMd5(const std::string& key, const std::string& data);

}  // namespace platform
