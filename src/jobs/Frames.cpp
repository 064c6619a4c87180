#include "jobs/Frames.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "jobs/JobError.h"
#include "numeric/DoubleChars.h"
#include "numeric/NumStr.h"
#include "sheets/SheetAnalysis.h"  // AppendCsvCell
#include "study/StudyGenerator.h"

namespace veltrano::jobs {
namespace {

// The whole-number columns of the rows the jobs write.
constexpr std::string_view kCountColumns[] = {
    "condition", "n",         "k",          "do",       "replications", "defined",   "wald_covered",
    "wald_defined", "ci_covered", "ci_defined", "conditions", "replication", "code", "code2",
    "items",     "answered",  "omitted",    "right"};
// The seeds' columns.
constexpr std::string_view kSeedColumns[] = {"seed", "study_seed"};
// The text columns.
constexpr std::string_view kTextColumns[] = {"estimator", "study", "id", "error", "generator"};

// The cells of one CSV line.
std::vector<std::string> Cells(std::string_view line) {
  std::vector<std::string> cells(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c != '"') {
        cells.back().push_back(c);
      } else if (i + 1 < line.size() && line[i + 1] == '"') {
        cells.back().push_back('"');
        ++i;
      } else {
        quoted = false;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      cells.emplace_back();
    } else {
      cells.back().push_back(c);
    }
  }
  return cells;
}

}  // namespace

const Column& Frame::At(std::string_view name) const {
  for (const Column& c : columns)
    if (c.name == name) return c;
  throw std::out_of_range("no column " + std::string(name));
}

Column::Type ColumnType(std::string_view name) {
  if (std::find(std::begin(kCountColumns), std::end(kCountColumns), name) != std::end(kCountColumns))
    return Column::Type::Count;
  if (std::find(std::begin(kSeedColumns), std::end(kSeedColumns), name) != std::end(kSeedColumns))
    return Column::Type::Seed;
  if (std::find(std::begin(kTextColumns), std::end(kTextColumns), name) != std::end(kTextColumns))
    return Column::Type::Text;
  return Column::Type::Real;
}

Frame ParseCsvFrame(std::string_view text, const std::string& what) {
  Frame frame;
  std::int64_t lineNumber = 0;
  bool header = true;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::vector<std::string> cells = Cells(line);
    if (header) {
      header = false;
      for (std::string& name : cells) {
        Column c;
        c.type = ColumnType(name);
        c.name = std::move(name);
        frame.columns.push_back(std::move(c));
      }
      continue;
    }
    if (line.empty()) continue;
    const auto fail = [&](int column, const std::string& why) {
      const std::string reason = "line " + std::to_string(lineNumber) +
                                 (column > 0 ? ", column " + std::to_string(column) : std::string()) + ": " + why;
      throw InputError(what + ": " + reason, what, reason, lineNumber, column);
    };
    if (cells.size() != frame.columns.size())
      fail(0, std::to_string(cells.size()) + " cells where the header has " + std::to_string(frame.columns.size()));
    for (std::size_t i = 0; i < cells.size(); ++i) {
      Column& c = frame.columns[i];
      const std::string& cell = cells[i];
      const bool present = !cell.empty();
      c.present.push_back(present);
      const char* first = cell.data();
      const char* last = cell.data() + cell.size();
      switch (c.type) {
        case Column::Type::Text: c.texts.push_back(cell); break;
        case Column::Type::Count: {
          std::int64_t v = 0;
          if (present) {
            const auto r = FromChars(first, last, v);
            if (r.ec != std::errc{} || r.ptr != last)
              fail(static_cast<int>(i + 1), "the " + c.name + " \"" + cell + "\" is not a whole number");
          }
          c.counts.push_back(v);
          break;
        }
        case Column::Type::Seed: {
          std::uint64_t v = 0;
          if (present) {
            const auto r = FromChars(first, last, v);
            if (r.ec != std::errc{} || r.ptr != last)
              fail(static_cast<int>(i + 1),
                   "the " + c.name + " \"" + cell + "\" is not a seed (0 to " + std::to_string(kMaxPhiloxSeed) + ")");
          }
          c.seeds.push_back(v);
          break;
        }
        case Column::Type::Real: {
          double v = std::numeric_limits<double>::quiet_NaN();
          if (present) {
            const auto r = FromChars(first, last, v);
            if (r.ec != std::errc{} || r.ptr != last)
              fail(static_cast<int>(i + 1), "the " + c.name + " \"" + cell + "\" is not a number");
          }
          c.reals.push_back(v);
          break;
        }
      }
    }
    ++frame.rows;
  }
  return frame;
}

std::string CsvOfFrame(const Frame& frame) {
  std::string out;
  for (std::size_t i = 0; i < frame.columns.size(); ++i) {
    if (i > 0) out.push_back(',');
    AppendCsvCell(out, frame.columns[i].name);
  }
  out.push_back('\n');
  char text[24];
  for (std::size_t r = 0; r < frame.rows; ++r) {
    for (std::size_t i = 0; i < frame.columns.size(); ++i) {
      const Column& c = frame.columns[i];
      if (i > 0) out.push_back(',');
      if (!c.present[r]) continue;
      switch (c.type) {
        case Column::Type::Text: AppendCsvCell(out, c.texts[r]); break;
        case Column::Type::Count: {
          const auto end = std::to_chars(text, text + sizeof text, c.counts[r]).ptr;
          out.append(text, end);
          break;
        }
        case Column::Type::Seed: {
          const auto end = std::to_chars(text, text + sizeof text, c.seeds[r]).ptr;
          out.append(text, end);
          break;
        }
        case Column::Type::Real: AppendG17(out, c.reals[r]); break;
      }
    }
    out.push_back('\n');
  }
  return out;
}

}  // namespace veltrano::jobs
