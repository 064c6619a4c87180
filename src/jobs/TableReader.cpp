#include "jobs/TableReader.h"

#include <charconv>
#include <cmath>
#include <istream>
#include <limits>

#include "analysis/tAnalisisDeltaMET.h"
#include "numeric/DoubleChars.h"
#include "numeric/QuotedText.h"

namespace veltrano::jobs {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

constexpr std::string_view kByteOrderMark = "\xef\xbb\xbf";

std::string Entries(int count) { return std::to_string(count) + (count == 1 ? " entry" : " entries"); }

}  // namespace

TableFormatError::TableFormatError(std::int64_t table, std::int64_t line, const std::string& what)
    : std::runtime_error(table <= 0 ? what
                         : line > 0 ? "table " + std::to_string(table) + ", line " + std::to_string(line) + ": " + what
                                    : "table " + std::to_string(table) + ": " + what),
      table_(table),
      line_(line) {}

// Room for the longest line, the CR of a CR LF line end, and getline's terminating NUL.
TableReader::TableReader(std::istream& in) : in_(in) { line_.resize(kMaxLineLength + 2); }

bool TableReader::ReadLine() {
  in_.getline(line_.data(), static_cast<std::streamsize>(line_.size()));
  if (in_.bad()) throw std::runtime_error("read error");
  const auto got = static_cast<std::size_t>(in_.gcount());
  if (got == 0) return false;  // nothing left (or a stream that was never readable)
  ++lineNumber_;
  // getline stops with failbit alone when the buffer fills before a line end: the line
  // is longer than the limit. Otherwise it has taken the line end too, unless the input
  // ended first.
  const bool full = in_.fail() && !in_.eof();
  std::string_view text(line_.data(), full || in_.eof() ? got : got - 1);
  if (lineNumber_ == 1 && text.substr(0, kByteOrderMark.size()) == kByteOrderMark) text.remove_prefix(3);
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);  // CR LF line ends
  if (full || text.size() > kMaxLineLength) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first != std::string_view::npos && text[first] == '#') {
      // A long comment changes nothing: skip the rest of it unread.
      in_.clear();
      in_.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
      if (in_.bad()) throw std::runtime_error("read error");
      fields_.clear();
      fields_.push_back(text.substr(first, 1));
      return true;
    }
    // The table this line belongs to, or would begin.
    Fail(open_ ? tables_ : tables_ + 1, lineNumber_,
         "the line is longer than " + std::to_string(kMaxLineLength) + " characters; a row has at most " +
             std::to_string(kMaxAlternatives) + " entries");
  }
  Fields(text);
  return true;
}

void TableReader::Fields(std::string_view line) {
  fields_.clear();
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    const std::size_t start = i;
    while (i < line.size() && !IsBlank(line[i])) ++i;
    if (i > start) fields_.push_back(line.substr(start, i - start));
  }
}

std::optional<ObservedTable> TableReader::Next() {
  if (done_) return std::nullopt;
  try {
    while (ReadLine()) {
      if (fields_.empty()) {
        if (open_) return Close();
        continue;
      }
      if (fields_.front().front() == '#') continue;
      const int count = static_cast<int>(fields_.size());
      if (!open_) {
        ++tables_;
        rows_ = 0;
        open_.emplace();
        open_->number = tables_;
        open_->firstLine = lineNumber_;
        if (count < kMinAlternatives || count > kMaxAlternatives)
          Fail(tables_, lineNumber_,
               Entries(count) + " in the first row; a table has " + std::to_string(kMinAlternatives) + " to " +
                   std::to_string(kMaxAlternatives) + " classes");
        open_->k = count;
        open_->cells.reserve(static_cast<std::size_t>(count * count));
      }
      if (count != open_->k)
        Fail(tables_, lineNumber_,
             Entries(count) + " where the first row has " + std::to_string(open_->k) +
                 "; every row must have the same number of entries");
      if (rows_ == open_->k)
        Fail(tables_, lineNumber_,
             "more rows than the " + std::to_string(open_->k) +
                 " columns; a table must be square (end it with a blank line)");
      for (std::string_view f : fields_) open_->cells.push_back(Entry(f));
      ++rows_;
    }
    done_ = true;
    if (open_) return Close();
    if (tables_ == 0) throw TableFormatError(0, lineNumber_, "the input holds no table");
    return std::nullopt;
  } catch (...) {
    done_ = true;
    throw;
  }
}

double TableReader::Entry(std::string_view f) const {
  double v = 0;
  const auto r = FromChars(f.data(), f.data() + f.size(), v);
  if (r.ptr != f.data() + f.size() || (r.ec != std::errc() && r.ec != std::errc::result_out_of_range))
    Fail(tables_, lineNumber_, Quoted(f) + " is not a number");
  if (!std::isfinite(v) && r.ec == std::errc()) Fail(tables_, lineNumber_, Quoted(f) + " is not a finite number");
  if (r.ec == std::errc::result_out_of_range || std::fabs(v) > kMaxEntry)
    Fail(tables_, lineNumber_, Quoted(f) + " is out of range; an entry must be a number from 0 to 1e15");
  if (v < 0) Fail(tables_, lineNumber_, Quoted(f) + " is negative; an entry must be a count, 0 or more");
  // The model counts answers. And the analysis keeps its digits up to kMaxTableTotal only
  // because a count that is not 0 is at least 1: a fraction of that total cancels sooner.
  if (v != std::floor(v)) Fail(tables_, lineNumber_, Quoted(f) + " is not a whole number; an entry must be a count");
  return v + 0.0;  // -0 becomes 0
}

ObservedTable TableReader::Close() {
  ObservedTable& t = *open_;
  if (rows_ < t.k)
    Fail(tables_, t.firstLine,
         std::to_string(rows_) + (rows_ == 1 ? " row" : " rows") + " of " + std::to_string(t.k) +
             " entries; a table must be square");
  double total = 0;
  for (double v : t.cells) total += v;
  if (total == 0) Fail(tables_, t.firstLine, "every entry is 0; a table needs a positive total");
  if (total > kMaxTableTotal)
    Fail(tables_, t.firstLine,
         "the entries add up to " + std::to_string(static_cast<long long>(total)) +
             "; a table's total may be at most " + std::to_string(static_cast<long long>(kMaxTableTotal)) +
             " (the analysis loses precision beyond it)");
  ObservedTable done = std::move(t);
  open_.reset();
  return done;
}

void TableReader::Fail(std::int64_t table, std::int64_t line, const std::string& what) const {
  throw TableFormatError(table, line, what);
}

void CheckObservedTable(const ObservedTable& t) {
  const auto fail = [&t](const std::string& what) { throw TableFormatError(t.number, 0, what); };
  if (t.k < kMinAlternatives || t.k > kMaxAlternatives)
    fail(std::to_string(t.k) + " classes; a table has " + std::to_string(kMinAlternatives) + " to " +
         std::to_string(kMaxAlternatives));
  if (t.cells.size() != static_cast<std::size_t>(t.k) * static_cast<std::size_t>(t.k))
    fail(std::to_string(t.cells.size()) + " entries where a " + std::to_string(t.k) + " x " + std::to_string(t.k) +
         " table has " + std::to_string(t.k * t.k));
  double total = 0;
  for (int i = 1; i <= t.k; ++i)
    for (int j = 1; j <= t.k; ++j) {
      const double v = t.At(i, j);
      const bool count = std::isfinite(v) && v >= 0 && v <= kMaxEntry && v == std::floor(v);
      if (count) {
        total += v;
        continue;
      }
      // The message is made only for the entry at fault.
      const std::string at = "entry (" + std::to_string(i) + ", " + std::to_string(j) + ")";
      if (!std::isfinite(v)) fail(at + " is not a finite number");
      char text[32];
      const std::string entry = at + " = " + std::string(text, ShortestDoubleChars(text, text + sizeof text, v));
      if (std::fabs(v) > kMaxEntry) fail(entry + " is out of range; an entry must be a number from 0 to 1e15");
      if (v < 0) fail(entry + " is negative; an entry must be a count, 0 or more");
      fail(entry + " is not a whole number; an entry must be a count");
    }
  if (total == 0) fail("every entry is 0; a table needs a positive total");
  if (total > kMaxTableTotal)
    fail("the entries add up to " + std::to_string(static_cast<long long>(total)) +
         "; a table's total may be at most " + std::to_string(static_cast<long long>(kMaxTableTotal)) +
         " (the analysis loses precision beyond it)");
}

std::vector<ObservedTable> ReadTables(std::istream& in) {
  TableReader reader(in);
  std::vector<ObservedTable> tables;
  while (std::optional<ObservedTable> t = reader.Next()) tables.push_back(std::move(*t));
  return tables;
}

tBfMatriz ToMatriz(const ObservedTable& table) {
  tBfMatriz m = tBfMatriz::MCReal(table.k);
  for (int i = 1; i <= table.k; ++i)
    for (int j = 1; j <= table.k; ++j) m.X[i][j] = table.At(i, j);
  m.GetTotales();
  return m;
}

}  // namespace veltrano::jobs
