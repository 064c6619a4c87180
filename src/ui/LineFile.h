#pragma once
// A text file written line by line from a run's own thread: the window's run writes its
// data lines here instead of to the data pane when they would be too many to hold.
//
// Lines are collected in a buffer of about 1 MB and handed to the system in blocks, so
// nothing beyond the buffer is held however long the run. Failing to open, write or
// close raises LineFileError naming the file and the reason. The file is used by one
// thread at a time: opened on the window's thread, written and closed on the run's.
#include <QString>

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace veltrano {

/// A file that cannot be opened, written or closed, e.g.
/// `Cannot write "out/data.txt": No space left on device`.
class LineFileError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

class LineFile {
public:
  static constexpr std::size_t kBufferSize = std::size_t{1} << 20;

  /// Creates the file, or empties an existing one.
  explicit LineFile(const QString& path);
  LineFile(const LineFile&) = delete;
  LineFile& operator=(const LineFile&) = delete;
  /// Writes what is still buffered and closes, swallowing errors: call Close() to see them.
  ~LineFile();

  const QString& Path() const noexcept { return path_; }

  /// Appends the line and a "\n".
  void WriteLine(std::string_view line);
  /// Writes what is buffered and closes the file; idempotent.
  void Close();

private:
  struct Closer {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
  };
  void Flush();
  [[noreturn]] void Fail(int error);

  QString path_;
  std::unique_ptr<std::FILE, Closer> file_;
  std::string buffer_;
};

}  // namespace veltrano
