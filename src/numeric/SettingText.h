#pragma once
// Messages that name settings. A setting has one name (the command line's option without
// "--": "seed", "max-iterations"), and each front end writes it its own way: "--seed" on the
// command line, "seed" in Python and R (with '_' for '-'), "seed" on the page. So a message
// is made once, with its settings marked, and worded when a front end shows it:
//
//   Named("seed") + ": 5 is out of range"     --seed: 5 is out of range        (command line)
//                                             seed: 5 is out of range          (Python, R, page)
//   "give " + Assigned("k", "5")              give --k 5                       (command line)
//                                             give k=5 / give k = 5 / give k 5 (Python / R / page)
//
// The marks are control characters no setting, value or file name in a message holds.
#include <string>
#include <string_view>

namespace veltrano {

inline constexpr char kSettingOpen = '\x01';
inline constexpr char kSettingValue = '\x1f';
inline constexpr char kSettingClose = '\x02';

/// A setting's name in a message.
inline std::string Named(std::string_view setting) {
  std::string text(1, kSettingOpen);
  text.append(setting).push_back(kSettingClose);
  return text;
}

/// A setting given a value, in a message ("give --k 5").
inline std::string Assigned(std::string_view setting, std::string_view value) {
  std::string text(1, kSettingOpen);
  text.append(setting).push_back(kSettingValue);
  text.append(value).push_back(kSettingClose);
  return text;
}

/// The ways front ends write a setting: the command line's options ("--max-iterations",
/// "--k 5"), Python's keyword arguments ("max_iterations", "k=5"), R's ("max_iterations",
/// "k = 5"), and the plain name the page and the core's own messages use
/// ("max-iterations", "k 5").
enum class Spelling { CommandLine, Python, R, Plain };

/// The message with every marked setting written in the spelling.
inline std::string Worded(std::string_view marked, Spelling spelling) {
  std::string out;
  out.reserve(marked.size() + 8);
  std::size_t at = 0;
  while (at < marked.size()) {
    const std::size_t open = marked.find(kSettingOpen, at);
    const std::size_t close = open == std::string_view::npos ? open : marked.find(kSettingClose, open);
    if (close == std::string_view::npos) {
      out.append(marked.substr(at));
      break;
    }
    out.append(marked.substr(at, open - at));
    std::string_view mark = marked.substr(open + 1, close - open - 1);
    const std::size_t split = mark.find(kSettingValue);
    std::string name(mark.substr(0, split));
    const bool keyword = spelling == Spelling::Python || spelling == Spelling::R;
    if (keyword)
      for (char& c : name)
        if (c == '-') c = '_';
    out.append(spelling == Spelling::CommandLine ? "--" : "").append(name);
    if (split != std::string_view::npos) {
      out.append(spelling == Spelling::Python ? "=" : spelling == Spelling::R ? " = " : " ");
      out.append(mark.substr(split + 1));
    }
    at = close + 1;
  }
  return out;
}

}  // namespace veltrano
