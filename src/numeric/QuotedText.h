#pragma once
// A piece of an input file quoted in a message: printable ASCII as it stands, anything
// else as \xNN, cut short when long, so that a binary or huge field still gives one
// readable line.
#include <cstddef>
#include <string>
#include <string_view>

namespace veltrano {

inline std::string Quoted(std::string_view field) {
  constexpr std::size_t kShown = 24;
  std::string q = "\"";
  for (std::size_t i = 0; i < field.size() && i < kShown; ++i) {
    const auto c = static_cast<unsigned char>(field[i]);
    if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
      q.push_back(static_cast<char>(c));
    } else {
      static constexpr char hex[] = "0123456789abcdef";
      q += "\\x";
      q.push_back(hex[c >> 4]);
      q.push_back(hex[c & 15]);
    }
  }
  if (field.size() > kShown) q += "...";
  return q + "\"";
}

}  // namespace veltrano
