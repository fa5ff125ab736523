// Bytes for tests: text that compresses well, random bytes, and bytes spelt in hexadecimal.
#pragma once

#include <cstddef>
#include <string>

namespace test_bytes {

// Text that compresses well, the same for the same seed.
std::string Text(size_t length, unsigned seed);
std::string RandomBytes(size_t length, unsigned seed);
// The bytes a string of hexadecimal digits spells, two digits a byte.
std::string Hex(const std::string& hex);

}  // namespace test_bytes
