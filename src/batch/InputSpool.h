#pragma once
// A copy of standard input in a temporary file, for commands that read their input
// twice (first to check it whole, so that bad input writes nothing, then to work on it)
// with memory flat however long it is. The file has no name once opened, so nothing is
// left behind however the program ends.
#include <fstream>
#include <iosfwd>
#include <stdexcept>
#include <string>

namespace veltrano::batch {

/// The temporary copy cannot be made or written; the message says why.
class InputSpoolError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

class InputSpool {
public:
  InputSpool();
  InputSpool(const InputSpool&) = delete;
  InputSpool& operator=(const InputSpool&) = delete;
  ~InputSpool();

  /// Where the copy is written.
  std::ostream& Writer() { return stream_; }
  /// Copies the whole of in into the spool.
  void CopyAll(std::istream& in);
  /// The copy, from its beginning (call again to read it again).
  std::istream& Reader();

private:
  std::string path_;
  std::fstream stream_;
};

}  // namespace veltrano::batch
