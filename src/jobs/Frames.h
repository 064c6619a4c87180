#pragma once
// Rows as columns: the CSV rows the jobs write (a study's summary and test rows, the answer
// sheets' results) read into named columns of numbers, counts and texts, and written back,
// for the Python and R packages, which hand their users data frames.
//
// A column's type follows its name: the counts (condition, n, k, replications, covered and
// defined intervals, codes, answers ...) are whole numbers, the seeds (seed, study_seed)
// unsigned 64-bit numbers (a philox study's seed can be any of them), a few columns hold
// text (estimator, study, id, error, generator), every other column is a real number. An empty
// cell is a missing value. The numbers read back as exactly the doubles that were written
// (the rows hold them with 17 significant digits), and writing a frame gives back the very
// bytes it was read from.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace veltrano::jobs {

struct Column {
  enum class Type : std::uint8_t { Real, Count, Seed, Text };
  std::string name;
  Type type = Type::Real;
  std::vector<double> reals;         // Real: NaN where missing
  std::vector<std::int64_t> counts;  // Count: 0 where missing
  std::vector<std::uint64_t> seeds;  // Seed: 0 where missing
  std::vector<std::string> texts;    // Text: "" where missing
  std::vector<bool> present;         // every type: whether the cell has a value
};

struct Frame {
  std::vector<Column> columns;
  std::size_t rows = 0;

  /// The column of that name; raises std::out_of_range when there is none.
  const Column& At(std::string_view name) const;
};

/// The type of the column of that name.
Column::Type ColumnType(std::string_view name);

/// Reads CSV rows, the header line first: cells separated by commas, a cell quoted when it
/// holds a comma, a quote or a line end ("" for a quote inside). Raises InputError naming
/// `what`, the line and the column for a row of another length or a cell that is not a
/// number where one is expected.
Frame ParseCsvFrame(std::string_view text, const std::string& what);

/// Writes the frame as CSV, the header line first, each row ended by "\n": counts as whole
/// numbers, reals with 17 significant digits, texts quoted where needed, missing cells empty.
std::string CsvOfFrame(const Frame& frame);

}  // namespace veltrano::jobs
