#pragma once
// How much text a run will write to the window's panes, known from its settings before
// it starts: the data pane's lines (the results lines, and with "Full output:" each
// test's item listing and observed table) and the residuals pane's lines.
//
// The figures are upper estimates: line counts are exact, and each line is taken as
// long as its numbers can make it (an analysis number as wide as a value below 10^6 in
// magnitude, which every estimate, limit and standard error of the model is, the
// undefined marker −9999.999 included). Bytes are those of the lines in a file, each
// ended by "\n"; the text is ASCII, so they are also its characters. A pane holds each
// character in two bytes and every line at about 140 bytes more (figures in
// bench/README.md).
#include <cstdint>

#include "simulation/RunSettings.h"

namespace veltrano {

struct RunTextSize {
  std::int64_t tests = 0;          // tests the run makes
  std::int64_t dataLines = 0;      // lines for the data pane
  std::int64_t dataBytes = 0;
  std::int64_t residualLines = 0;  // lines for the residuals pane
  std::int64_t residualBytes = 0;

  std::int64_t Bytes() const noexcept { return dataBytes + residualBytes; }
};

/// The text a run with these settings writes to the panes, if it runs to its end.
RunTextSize EstimateRunText(const RunSettings& s);

}  // namespace veltrano
