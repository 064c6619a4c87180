#pragma once
// The outputs of a job: buffered, line-oriented files (or standard output), opened so that
// a job that cannot start leaves every existing file as it was, and, for outputs that must
// appear only whole, written beside their name and renamed to it at the end.
//
// A run of a million tests writes a million lines to each of its files, so lines are
// collected in a large buffer and handed to the system in big blocks: no flush per line,
// nothing held beyond the buffer however long the run. Every failure to open, write or
// close raises OutputError naming the file (BrokenPipe when the reader of a pipe has gone).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jobs/JobError.h"
#include "jobs/Platform.h"
#include "numeric/NumStr.h"  // AppendG17, the form of every number in the files

namespace veltrano::jobs {

/// The name a message gives an output: the path, or "standard output" for "-".
std::string OutputName(const std::string& path);

class OutputFile {
public:
  static constexpr std::size_t kBufferSize = std::size_t{1} << 20;

  /// How an existing file is opened: emptied, or kept with the new text after it (a
  /// resumed study).
  enum class Mode : std::uint8_t { Truncate, Append };

  /// Opens (creates, or truncates or appends to) the file at path; "-" writes to
  /// console instead.
  OutputFile(const std::string& path, std::ostream& console, Mode mode = Mode::Truncate);
  /// Opens the file at path, whatever its name ("-" too).
  explicit OutputFile(const std::string& path, Mode mode = Mode::Truncate);
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
    written_ += text.size();
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

  /// The bytes written so far (buffered ones included).
  std::uint64_t Written() const noexcept { return written_; }
  /// Makes a file end where it stood when Written() was `mark`: what is buffered is written
  /// and a regular file is cut back there (the console, a pipe or a device cannot be).
  /// Best effort: errors are swallowed, as this mends outputs after an error already met.
  void CutBackTo(std::uint64_t mark) noexcept;

private:
  void Open(Mode mode);
  void WriteBlock(std::string_view text);
  [[noreturn]] void Fail(const char* what, int error);

  std::string path_;
  std::FILE* file_ = nullptr;     // the opened file, or null for the console
  std::ostream* console_ = nullptr;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
  std::uint64_t written_ = 0;
  bool closed_ = false;
  bool failed_ = false;
};

/// Opens every output of a job at once, so that a job never starts with some of its files
/// emptied and another refused: each path is first opened without emptying it (a missing
/// file is created), and only when all are open are the existing ones emptied. When one
/// cannot be opened, the files made here are removed again, the others are left exactly as
/// they were, and OutputError names the one that failed. An empty path gives no file
/// (null); "-" is the console.
std::vector<std::unique_ptr<OutputFile>> OpenOutputs(const std::vector<std::string>& paths, std::ostream& console);

/// Checks, without touching it, that a file can be written at path later (a graph drawn
/// after the run, a file to be continued): an existing file must be writable, and its
/// folder must exist and be writable. Raises OutputError with the reason otherwise.
void CheckWritableLater(const std::string& path);

/// Checks that plots can be written into folder later; raises OutputError ("<what>: cannot
/// write plots into <folder>: <reason>") otherwise.
void CheckWritableFolder(const std::string& folder, const std::string& what);

/// True when the two paths name the same file: the same file on disk once both exist
/// (links and "./" spellings included), otherwise the same normalised path.
bool SameFile(const std::string& a, const std::string& b);

/// A file a job writes or reads: as its option names it ("--out"), or as messages describe
/// an input ("the sheet being read").
struct NamedFile {
  std::string name;
  std::string path;
};

/// Checks a job's outputs before anything is touched: no two are one file (also when named
/// two ways), none is one of its inputs, and none is the file standard output goes to
/// (`console`) while another output is written there ("-"): two writers of one file lose
/// one's lines. Empty paths are no output. Raises UsageError naming the output, such as
/// "--tests-out: t.csv is already the output of --out" or "--out: d.csv is the design file".
void CheckOutputs(const std::vector<NamedFile>& outputs, const std::vector<NamedFile>& inputs,
                  const std::optional<platform::FileId>& console);

/// The locks of a job's outputs: while it lives, no other veltrano-batch (or other job of
/// this program) writes them. Each output file (not "-", not a device or a pipe) is locked
/// through a lock file beside it, "<file>.lock", holding the writer's process id; the
/// system releases the lock when the process ends however it ends, and a later job takes
/// over a lock file a killed one left behind. An output another writer holds raises
/// UsageError: "out.csv is being written by another veltrano-batch (pid 4242)".
class OutputLocks {
public:
  explicit OutputLocks(const std::vector<std::string>& paths);
  ~OutputLocks();
  OutputLocks(const OutputLocks&) = delete;
  OutputLocks& operator=(const OutputLocks&) = delete;

private:
  std::vector<platform::HeldLock> held_;
};

/// An output that appears under its name only when it is complete: it is written to a new
/// file beside it, "<file>.<pid>.partial", and renamed over it at the end, so work refused
/// half-way leaves the old file, or none, in place. One rule for every output: a file the
/// user may not write is not replaced (OutputError, as opening it would say). A file that
/// replaces another is written private, under the old one's owner where possible, and
/// given the old one's permissions just before it takes its name. Through a symbolic link,
/// the file linked to is the one replaced (the link stays). What is not a regular file (a
/// device such as /dev/null, a pipe) cannot be replaced and is written at once, like "-",
/// the console.
///
/// Work that is stopped keeps the old file too: what it wrote is kept apart under
/// "<file>.partial" (Keep). A killed run leaves its "<file>.<pid>.partial" behind: the next
/// output staged at that name, which holds the file's lock (OutputLocks), removes them.
class StagedOutput {
public:
  StagedOutput(const std::string& path, std::ostream& console);
  StagedOutput(const StagedOutput&) = delete;
  StagedOutput& operator=(const StagedOutput&) = delete;
  ~StagedOutput() { Discard(); }

  OutputFile& File() { return *file_; }
  /// Whether the output is staged (a file), rather than written at once.
  bool Staged() const noexcept { return !staged_.empty(); }
  /// The file's name.
  const std::string& Path() const noexcept { return path_; }

  /// Closes the file and gives it its name; a "<file>.partial" of an earlier stopped run
  /// goes, the whole result replacing it.
  void Commit();
  /// Closes the file and keeps it as "<file>.partial", leaving the file itself as it was;
  /// returns that name ("" for an output written at once).
  std::string Keep();
  /// Drops what was written to a file; idempotent.
  void Discard() noexcept;

private:
  void RemoveLeftovers() const noexcept;

  std::string path_;
  std::string staged_;          // the file being written, until it is renamed
  std::optional<unsigned> mode_;  // its permissions once written, when it replaces a file
  std::unique_ptr<OutputFile> file_;
};

}  // namespace veltrano::jobs
