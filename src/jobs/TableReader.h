#pragma once
// Observed tables given as text, as `veltrano-batch analyse` reads them.
//
// Each table is k × k counts (2 ≤ k ≤ 10), one row per line, the numbers separated by
// blanks or tabs; a line holding only blanks ends a table; lines whose first non-blank
// character is '#' are comments and change nothing. A UTF-8 byte-order mark at the start
// of the input is skipped. Every entry must be a whole number from 0 to 1e15 (counts
// beyond that are certainly a mistake and would only overflow the analysis), a table's
// total must be positive and at most kMaxTableTotal (beyond it the analysis loses
// digits), and no line may be longer than kMaxLineLength characters.
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/AnalysisSettings.h"  // kMinAlternatives, kMaxAlternatives
#include "table/tBfMatriz.h"

namespace veltrano::jobs {

inline constexpr double kMaxEntry = 1e15;
/// Ten numbers of any sensible spelling fit many times over; a longer line is refused as
/// soon as it is seen to be longer, without reading the rest of it.
inline constexpr std::size_t kMaxLineLength = 64 * 1024;

/// A table that breaks the rules above. The message names the table (counting from 1)
/// and the line (counting from 1; 0 for a table not read from text); table() is 0 when
/// the input holds no table at all.
class TableFormatError : public std::runtime_error {
public:
  TableFormatError(std::int64_t table, std::int64_t line, const std::string& what);
  std::int64_t table() const noexcept { return table_; }
  std::int64_t line() const noexcept { return line_; }

private:
  std::int64_t table_;
  std::int64_t line_;
};

/// One table as read: its number, the line of its first row, and its k × k cells
/// row by row.
struct ObservedTable {
  std::int64_t number = 0;
  std::int64_t firstLine = 0;
  int k = 0;
  std::vector<double> cells;

  double At(int i, int j) const { return cells[static_cast<std::size_t>((i - 1) * k + (j - 1))]; }
};

/// Reads the tables of a stream one at a time, holding one line and one table: memory
/// does not grow with the number of tables.
class TableReader {
public:
  /// The stream must outlive the reader.
  explicit TableReader(std::istream& in);

  /// The next table, or no value once the input is exhausted. A table is handed out when
  /// the blank line (or the end of input) that closes it has been read. Raises
  /// TableFormatError on the first table that breaks a rule, or at the end of an input
  /// that holds no table at all, and std::runtime_error when the stream itself fails;
  /// after either, Next() gives no more tables.
  std::optional<ObservedTable> Next();

private:
  bool ReadLine();  // the next line's fields into fields_; false at the end of input
  void Fields(std::string_view line);
  double Entry(std::string_view field) const;
  ObservedTable Close();
  [[noreturn]] void Fail(std::int64_t table, std::int64_t line, const std::string& what) const;

  std::istream& in_;
  std::string line_;                    // the buffer of the line read last
  std::vector<std::string_view> fields_;
  std::optional<ObservedTable> open_;   // the table being read
  std::int64_t lineNumber_ = 0;  // counted in 64 bits: an input may be longer than 2^31 lines
  std::int64_t tables_ = 0;      // tables begun, the open one included
  int rows_ = 0;                        // rows of the open table
  bool done_ = false;
};

/// Checks a table given as numbers rather than text (a binding's array) by the same rules:
/// k from 2 to 10, k × k entries, each a whole number from 0 to 1e15, a positive total of at
/// most kMaxTableTotal. Raises TableFormatError naming the table ("table 3: entry (2, 1)
/// = 2.5 is not a whole number; an entry must be a count").
void CheckObservedTable(const ObservedTable& table);

/// Reads every table of the input (see TableReader::Next for the errors).
std::vector<ObservedTable> ReadTables(std::istream& in);

/// The table as a tBfMatriz with its margins computed (GetTotales), ready for the
/// analysis.
tBfMatriz ToMatriz(const ObservedTable& table);

}  // namespace veltrano::jobs
