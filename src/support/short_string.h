// Names, paths and many record fields are length-prefixed strings of at most
// 255 characters; a longer text is cut there, wherever such a string is taken.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace support {

constexpr std::size_t kShortStringMax = 255;

// The first 255 characters of the text.
inline std::string ShortString(std::string_view text) {
  return std::string(text.substr(0, kShortStringMax));
}

}  // namespace support
