// Message digests: OpenSSL in the native build, CNG in the Windows build.
#pragma once

#include <string>

namespace platform {

// The 20-byte SHA-1 digest of the bytes.
std::string Sha1(const std::string& data);

}  // namespace platform
