#pragma once
// The standard streams a command works with. main() hands over the process's own
// streams; tests hand over string streams and run the commands in-process.
#include <iosfwd>

namespace veltrano::batch {

struct Console {
  std::istream& in;       // read by `analyse` when its input is "-" or not given
  std::ostream& out;      // every output named "-"
  std::ostream& err;      // messages, the clock seed and the progress line
  bool errIsTerminal = false;  // show the progress line (standard error is a terminal)
  bool outIsProcessOutput = false;  // out is the process's standard output (main())
  bool outIsTerminal = false;       // ... and a terminal: no progress line among its rows
};

}  // namespace veltrano::batch
