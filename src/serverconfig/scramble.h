// The XOR scrambling of the server's fixed records (settings.cfg, domain.cfg,
// users.cfg). The same operation scrambles and unscrambles.
#pragma once

#include <cstddef>
#include <cstdint>

namespace serverconfig {

// XORs each byte with the key byte of its position; keyPosition is the
// position of data[0] counted from the record's start (only its value modulo
// 16 matters).
void ScrambleBytes(uint8_t* data, std::size_t length, std::size_t keyPosition = 0);

}  // namespace serverconfig
