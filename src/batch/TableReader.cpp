#include "batch/TableReader.h"

#include <charconv>
#include <cmath>
#include <istream>
#include <string_view>

namespace veltrano::batch {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    const std::size_t start = i;
    while (i < line.size() && !IsBlank(line[i])) ++i;
    if (i > start) fields.push_back(line.substr(start, i - start));
  }
  return fields;
}

// A field quoted for a message: printable ASCII as it stands, anything else as \xNN,
// and cut short when long, so a binary or huge field still gives one readable line.
std::string Quoted(std::string_view field) {
  constexpr std::size_t kShown = 24;
  std::string q = "\"";
  for (std::size_t i = 0; i < field.size() && i < kShown; ++i) {
    const auto c = static_cast<unsigned char>(field[i]);
    if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
      q.push_back(static_cast<char>(c));
    } else {
      static const char hex[] = "0123456789abcdef";
      q += "\\x";
      q.push_back(hex[c >> 4]);
      q.push_back(hex[c & 15]);
    }
  }
  if (field.size() > kShown) q += "...";
  return q + "\"";
}

class Reader {
public:
  std::vector<ObservedTable> tables;

  void Line(std::string_view text) {
    ++line_;
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);  // CR LF line ends
    const std::vector<std::string_view> fields = Fields(text);
    if (fields.empty()) {
      EndTable();
      return;
    }
    if (fields.front().front() == '#') return;
    const int count = static_cast<int>(fields.size());
    if (!open_) {
      open_ = true;
      rows_ = 0;
      ObservedTable& t = tables.emplace_back();
      t.number = static_cast<int>(tables.size());
      t.firstLine = line_;
      if (count < kMinClasses || count > kMaxClasses)
        Fail(std::to_string(count) + (count == 1 ? " entry" : " entries") + " in the first row; a table has " +
             std::to_string(kMinClasses) + " to " + std::to_string(kMaxClasses) + " classes");
      t.k = count;
      t.cells.reserve(static_cast<std::size_t>(count * count));
    }
    ObservedTable& t = tables.back();
    if (count != t.k)
      Fail(std::to_string(count) + (count == 1 ? " entry" : " entries") + " where the first row has " +
           std::to_string(t.k) + "; every row must have the same number of entries");
    if (rows_ == t.k)
      Fail("more rows than the " + std::to_string(t.k) + " columns; a table must be square (end it with a blank line)");
    for (std::string_view f : fields) t.cells.push_back(Entry(f));
    ++rows_;
  }

  void End() {
    EndTable();
    if (tables.empty()) throw TableFormatError(0, line_, "the input holds no table");
  }

private:
  double Entry(std::string_view f) const {
    double v = 0;
    const auto r = std::from_chars(f.data(), f.data() + f.size(), v, std::chars_format::general);
    if (r.ptr != f.data() + f.size() || (r.ec != std::errc() && r.ec != std::errc::result_out_of_range))
      Fail(Quoted(f) + " is not a number");
    if (!std::isfinite(v) && r.ec == std::errc()) Fail(Quoted(f) + " is not a finite number");
    if (r.ec == std::errc::result_out_of_range || std::fabs(v) > kMaxEntry)
      Fail(Quoted(f) + " is out of range; an entry must be a number from 0 to 1e15");
    if (v < 0) Fail(Quoted(f) + " is negative; an entry must be a count, 0 or more");
    return v + 0.0;  // -0 becomes 0
  }

  void EndTable() {
    if (!open_) return;
    open_ = false;
    const ObservedTable& t = tables.back();
    if (rows_ < t.k)
      Fail(t.firstLine, std::to_string(rows_) + (rows_ == 1 ? " row" : " rows") + " of " + std::to_string(t.k) +
                            " entries; a table must be square");
    double total = 0;
    for (double v : t.cells) total += v;
    if (total == 0) Fail(t.firstLine, "every entry is 0; a table needs a positive total");
  }

  [[noreturn]] void Fail(const std::string& what) const { Fail(line_, what); }
  [[noreturn]] void Fail(int line, const std::string& what) const {
    throw TableFormatError(static_cast<int>(tables.size()), line, what);
  }

  int line_ = 0;
  int rows_ = 0;
  bool open_ = false;
};

}  // namespace

TableFormatError::TableFormatError(int table, int line, const std::string& what)
    : std::runtime_error(table > 0 ? "table " + std::to_string(table) + ", line " + std::to_string(line) + ": " + what
                                   : what),
      table_(table),
      line_(line) {}

std::vector<ObservedTable> ReadTables(std::istream& in) {
  Reader reader;
  std::string line;
  while (std::getline(in, line)) reader.Line(line);
  if (in.bad()) throw std::runtime_error("read error");
  reader.End();
  return std::move(reader.tables);
}

tBfMatriz ToMatriz(const ObservedTable& table) {
  tBfMatriz m = tBfMatriz::MCReal(table.k);
  for (int i = 1; i <= table.k; ++i)
    for (int j = 1; j <= table.k; ++j) m.X[i][j] = table.At(i, j);
  m.GetTotales();
  return m;
}

}  // namespace veltrano::batch
