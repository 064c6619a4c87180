#pragma once
// The one exception type of the chart library.
#include <stdexcept>

namespace veltrano {

/// Raised when a chart cannot be saved (the message names the file) or when a series
/// is asked for by a name or handle the chart does not have.
class ChartError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

}  // namespace veltrano
