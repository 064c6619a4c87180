#pragma once
// How work that can be stopped ended: a run, a study, the analysis of tables or of an
// answer sheet. Each looks at its stop request between its steps (a test, a block of
// replications, a table, an examinee) and ends after the step under way, everything made
// before it handed on: Stopped says so. An error is not an ending: it propagates.
#include <cstdint>

namespace veltrano {

enum class Ending : std::uint8_t { Completed, Stopped };

}  // namespace veltrano
