#pragma once
// Observed tables given as text, for `veltrano-batch analyse`.
//
// Each table is k × k non-negative counts (2 ≤ k ≤ 10), one row per line, the numbers
// separated by blanks or tabs; a line holding only blanks ends a table; lines whose
// first non-blank character is '#' are comments and change nothing. Every entry must
// be a finite number from 0 to 1e15 (counts beyond that are certainly a mistake and
// would only overflow the analysis), and a table's total must be positive.
#include <cstdint>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

#include "table/tBfMatriz.h"

namespace veltrano::batch {

inline constexpr int kMinClasses = 2;
inline constexpr int kMaxClasses = 10;
inline constexpr double kMaxEntry = 1e15;

/// A table that breaks the rules above. The message names the table (counting from 1)
/// and the line (counting from 1); table() is 0 when the input holds no table at all.
class TableFormatError : public std::runtime_error {
public:
  TableFormatError(int table, int line, const std::string& what);
  int table() const noexcept { return table_; }
  int line() const noexcept { return line_; }

private:
  int table_;
  int line_;
};

/// One table as read: its number, the line of its first row, and its k × k cells
/// row by row.
struct ObservedTable {
  int number = 0;
  int firstLine = 0;
  int k = 0;
  std::vector<double> cells;

  double At(int i, int j) const { return cells[static_cast<std::size_t>((i - 1) * k + (j - 1))]; }
};

/// Reads every table of the input. Raises TableFormatError on the first table that
/// breaks a rule (or when there is none), and std::runtime_error when the stream
/// itself fails.
std::vector<ObservedTable> ReadTables(std::istream& in);

/// The table as a tBfMatriz with its margins computed (GetTotales), ready for the
/// analysis.
tBfMatriz ToMatriz(const ObservedTable& table);

}  // namespace veltrano::batch
