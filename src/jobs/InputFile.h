#pragma once
// The inputs of a job: a file opened for reading (a folder or a missing file refused with
// the reason), and a copy of an input that cannot be read twice.
//
// Jobs that check their input whole before writing anything read it twice, first to check
// it, then to work on it, with memory flat however long it is. What gives its bytes only
// once (standard input, a pipe named as a file) is copied into an InputSpool while it is
// checked, and the second reading reads the copy. The copy is a temporary file whose name
// goes at once, so nothing is left behind however the program ends.
#include <cstdint>
#include <fstream>
#include <functional>
#include <iosfwd>
#include <string>

namespace veltrano::jobs {

/// Opens the file at path for reading; raises ReadError naming `name` (the path itself
/// unless given: "standard input", say) when it is a folder or cannot be opened.
std::ifstream OpenInput(const std::string& path, const std::string& name = {});

/// Whether the file at path gives the same bytes when read again from its start: a
/// regular file does; a pipe, a terminal or another device does not.
bool CanReadAgain(const std::string& path);

class InputSpool {
public:
  /// what: the input copied, as messages name it ("standard input", "the sheet").
  explicit InputSpool(std::string what = "standard input");
  InputSpool(const InputSpool&) = delete;
  InputSpool& operator=(const InputSpool&) = delete;
  ~InputSpool();

  /// Where the copy is written.
  std::ostream& Writer() { return stream_; }
  /// Copies the whole of in into the spool.
  void CopyAll(std::istream& in);
  /// Copies what is left of in; false when `stop` says so first.
  bool CopyRest(std::istream& in, const std::function<bool()>& stop);
  /// The copy, from its beginning (call again to read it again).
  std::istream& Reader();
  /// The bytes copied so far.
  std::uint64_t Size();

private:
  [[noreturn]] void Fail(const std::string& what) const;

  std::string what_;
  std::string path_;
  std::fstream stream_;
};

}  // namespace veltrano::jobs
