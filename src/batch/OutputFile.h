#pragma once
// Buffered, line-oriented output to a file or to standard output.
//
// A run of a million tests writes a million lines to each of its files, so lines are
// collected in a large buffer and handed to the system in big blocks: no flush per
// line, nothing held beyond the buffer however long the run. Every failure to open,
// write or close raises OutputError naming the file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "numeric/NumStr.h"  // AppendG17, the form of every number in the files

namespace veltrano::batch {

/// A file that cannot be opened, written or closed; the message names it and says why.
class OutputError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

/// Writing failed because the reader at the other end of a pipe has gone (`| head`):
/// not a fault of the work, which ends quietly with what it wrote elsewhere.
class BrokenPipe : public OutputError {
public:
  using OutputError::OutputError;
};

class OutputFile {
public:
  static constexpr std::size_t kBufferSize = std::size_t{1} << 20;

  /// How an existing file is opened: emptied, or kept with the new text after it (a
  /// resumed study).
  enum class Mode : std::uint8_t { Truncate, Append };

  /// Opens (creates, or truncates or appends to) the file at path; "-" writes to
  /// console instead.
  OutputFile(const std::string& path, std::ostream& console, Mode mode = Mode::Truncate);
  /// Takes over a file already opened for writing at path.
  OutputFile(const std::string& path, std::FILE* file);
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  /// Writes what is still buffered and closes the file, swallowing errors: call
  /// Close() to see them.
  ~OutputFile();

  const std::string& Path() const noexcept { return path_; }

  /// Appends text as it stands.
  void Write(std::string_view text) {
    if (text.size() > kBufferSize - used_) {
      WriteBlock(text);
      return;
    }
    text.copy(buffer_.get() + used_, text.size());
    used_ += text.size();
  }
  /// Appends text and a "\n".
  void WriteLine(std::string_view text) {
    Write(text);
    Write(std::string_view("\n", 1));
  }
  /// Hands the buffer to the system.
  void Flush();
  /// Flushes and closes; idempotent. Raises OutputError when anything failed.
  void Close();

private:
  void WriteBlock(std::string_view text);
  void Fail(const char* what, int error);

  std::string path_;
  std::FILE* file_ = nullptr;     // the opened file, or null for the console
  std::ostream* console_ = nullptr;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
  bool closed_ = false;
  bool failed_ = false;
};

/// Opens every output of a command at once, so that a run never starts with some of its
/// files emptied and another refused: each path is first opened without truncating (a
/// missing file is created), and only when all are open are the existing ones emptied.
/// When one cannot be opened, the files made here are removed again, the others are
/// left exactly as they were, and OutputError names the one that failed. An empty path
/// gives no file (null); "-" is the console.
std::vector<std::unique_ptr<OutputFile>> OpenOutputs(const std::vector<std::string>& paths, std::ostream& console);

/// Checks, without touching it, that a file can be written at path later (a graph drawn
/// after the run): an existing file must be writable, and its folder must exist and be
/// writable. Raises OutputError with the reason otherwise.
void CheckWritableLater(const std::string& path);

/// True when the two paths name the same file: the same file on disk once both exist
/// (links and "./" spellings included), otherwise the same normalised path.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace veltrano::batch
