#pragma once
// Reading what a command wrote: its lines, and the cells of a plain CSV row (no quoting).
#include <cstddef>
#include <sstream>
#include <string>
#include <vector>

namespace veltrano::testing {

/// The lines of a text, without their line ends.
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

/// The cells of a CSV row split at every comma; an empty row is one empty cell.
inline std::vector<std::string> Cells(const std::string& line) {
  std::vector<std::string> cells;
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = line.find(',', from);
    cells.push_back(line.substr(from, at - from));
    if (at == std::string::npos) return cells;
    from = at + 1;
  }
}

}  // namespace veltrano::testing
