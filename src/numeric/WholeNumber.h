#pragma once
// A whole number given as text (an option's value, an entry of a list or of a design
// file): decimal digits with an optional minus sign, from lo to hi. The reason a text is
// not one is worded the same wherever numbers are read.
#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

#include "numeric/QuotedText.h"

namespace veltrano {

/// Reads text into value; returns "" when it is a whole number from lo to hi, and else
/// the reason: "\"1e2\" is not a whole number" or "12 is out of range; the value must be
/// from 1 to 10".
inline std::string WholeNumberProblem(std::string_view text, std::int64_t lo, std::int64_t hi,
                                      std::int64_t& value) {
  value = 0;
  const char* end = text.data() + text.size();
  const auto r = std::from_chars(text.data(), end, value);
  if (text.empty() || r.ptr != end || r.ec == std::errc::invalid_argument)
    return Quoted(text) + " is not a whole number";
  if (r.ec == std::errc::result_out_of_range || value < lo || value > hi)
    return std::string(text) + " is out of range; the value must be from " + std::to_string(lo) + " to " +
           std::to_string(hi);
  return {};
}

/// The same for the unsigned 64-bit range (seeds): decimal digits, or "-0"; the reasons
/// are worded as above.
inline std::string WholeNumberProblem(std::string_view text, std::uint64_t lo, std::uint64_t hi,
                                      std::uint64_t& value) {
  value = 0;
  const char* end = text.data() + text.size();
  if (text == "-0") return lo == 0 ? std::string() : std::string(text) + " is out of range; the value must be from " +
                                                         std::to_string(lo) + " to " + std::to_string(hi);
  const bool negative = text.size() > 1 && text[0] == '-' && text.find_first_not_of("0123456789", 1) == text.npos;
  const auto r = std::from_chars(text.data(), end, value);
  if (!negative && (text.empty() || r.ptr != end || r.ec == std::errc::invalid_argument))
    return Quoted(text) + " is not a whole number";
  if (negative || r.ec == std::errc::result_out_of_range || value < lo || value > hi)
    return std::string(text) + " is out of range; the value must be from " + std::to_string(lo) + " to " +
           std::to_string(hi);
  return {};
}

}  // namespace veltrano
