// The XOR scrambling of the server's fixed records (settings.cfg, domain.cfg,
// users.cfg). The same operation scrambles and unscrambles.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "serverconfig/fixed_record.h"

namespace serverconfig {

// XORs each byte with the key byte of its position; keyPosition is the
// position of data[0] counted from the record's start (only its value modulo
// 16 matters).
void ScrambleBytes(uint8_t* data, std::size_t length, std::size_t keyPosition = 0);
// The record's bytes as its file holds them.
std::string ScrambledCopy(const TFixedRecord& record);

}  // namespace serverconfig
