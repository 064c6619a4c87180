#pragma once
// An answer sheet as a job reads it, from a file, standard input or a front end's text, and
// its key when given apart: as text or in a file. A sheet is read twice when it must be
// checked before anything is handed on (k not given): what cannot be read again (standard
// input, a pipe) is copied during the first reading.
#include <cstdint>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include "jobs/InputFile.h"
#include "jobs/JobControl.h"
#include "sheets/SheetAnalysis.h"

namespace veltrano::jobs {

/// The key given apart as text ("ABDCA", "A,B,D,C,A", "1 2 10 3"): the setting key. Raises
/// UsageError ("--key: item 3: ...") for a text that is not a key, with a hint when a file
/// of that name exists ("give it with --key-file").
AnswerKey ParseAnswerKey(const std::string& text);

/// Checks that a key given apart names no alternative beyond k (nothing to check when k is
/// 0: k then comes from the key). Raises UsageError naming the key ("--key: item 3: ...").
void CheckKeyAlternatives(const AnswerKey& key, int k);

/// The key given apart in a file: the setting key-file. Raises ReadError for a file that
/// cannot be read, and InputError (of role Key) for a file that holds no key ("--key-file
/// key.txt: ...").
AnswerKey ReadAnswerKeyFile(const std::string& path);

/// The key of the sheet at path as its first rows give it (a KEY row before the first
/// examinee), read without reading the sheet through; none when it has no such row, or is
/// not a regular file (a pipe gives its bytes once), or cannot be read (the analysis then
/// says why).
std::optional<AnswerKey> PeekSheetKey(const std::string& path);

/// A sheet to be read twice: opened at once, checked by the first reading (which copies
/// what cannot be read again), then read again from its start. After a reading that found
/// no key (NoKeyError), the same source reads the sheet again with a key given apart.
class SheetSource {
public:
  /// path: the sheet's file, or "-" for console. With hints, the message of a sheet without
  /// a key names the settings that give one (key, key-file), and the message of a mark
  /// beyond the key's alternatives the setting k ("give --k 5 if the items have 5
  /// alternatives"); a front end that asks for them otherwise (the window's dialogs) goes
  /// without. Raises ReadError when the sheet cannot be opened.
  SheetSource(const std::string& path, std::istream& console, bool hints = true);
  /// A sheet given as its text (a binding's table of marks), named `name` in messages.
  static std::unique_ptr<SheetSource> OfText(std::string text, const std::string& name, bool hints = true);
  SheetSource(const SheetSource&) = delete;
  SheetSource& operator=(const SheetSource&) = delete;

  /// The name messages give the sheet: its path, or "standard input".
  const std::string& Name() const noexcept { return name_; }
  /// The sheet's size in bytes, as far as it is known (a pipe's once it is copied).
  std::uint64_t Size();

  /// The first reading: checks every row with the key given apart (null: the sheet's KEY
  /// row) against k alternatives (0: the key's largest) and returns the number of
  /// alternatives, or nothing when a stop request ended it. Raises InputError naming the sheet, its line and column, for the
  /// first bad row; NoKeyError when an examinee comes before any key (the sheet is then
  /// copied whole, when it must be, so that it can be read again); ReadError.
  std::optional<int> Check(const AnswerKey* key, int k, const JobContext& job);

  /// Analyses every examinee from the sheet's start (after Check) or, when the sheet is not
  /// to be checked first (k given), as it is read. Errors as Check's.
  Ending Analyse(const AnswerKey* key, const SheetRun& run, const JobContext& job);

private:
  std::istream& Start(bool secondReadingFollows);
  [[noreturn]] void RethrowAsJobError() const;

  std::string path_;
  std::string name_;
  bool hints_;
  std::ifstream file_;
  std::unique_ptr<std::istringstream> text_;  // a sheet given as text
  std::uint64_t textSize_ = 0;                // its size in bytes
  std::istream* in_ = nullptr;
  std::unique_ptr<InputSpool> spool_;
  bool copying_ = false;  // the first reading copies the sheet into spool_
  bool copied_ = false;   // spool_ holds the whole sheet
  bool read_ = false;     // a reading has begun: the next one starts from the beginning
};

/// The note on a favoured position: "guessing favours position 3 (C): pi_3 = ... against
/// 1/k = ... on the pooled table; 40 wrong answers fell there where even guessing gives
/// 21.3 (z = 4.71)".
std::string FavouredLine(const FavouredPosition& f, const ExamineeResult& pooled);

}  // namespace veltrano::jobs
