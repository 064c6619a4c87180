#pragma once
// Answer sheets from files: the sheet (or standard input) opened and read twice, once to
// check every row and find the number of alternatives, once to analyse every examinee; the
// key given apart read from a file or from its own text; the results written as CSV rows or
// JSON objects, and each examinee's table, to outputs that appear only when the whole sheet
// was good. The window reads its sheets through the same SheetSource.
//
// k. Without k the sheet is read twice: once to check it and find the largest alternative
// in the key and the marks (what cannot be read again, such as standard input or a pipe, is
// copied to a temporary file meanwhile), then to analyse it. Any bad row is then found
// before anything is written. With k the sheet is read once, as a stream: output begins
// before the end of the sheet (standard output cannot be taken back: a bad row then ends it
// early, after the rows before it).
#include <cstdint>
#include <fstream>
#include <sstream>
#include <memory>
#include <optional>
#include <string>

#include "jobs/FileJob.h"
#include "jobs/InputFile.h"
#include "jobs/SheetJob.h"

namespace veltrano::jobs {

/// The key given apart as text ("ABDCA", "A,B,D,C,A", "1 2 10 3"), as `option` names it.
/// Raises UsageError ("--key: item 3: ...") for a text that is not a key, with a hint when a
/// file of that name exists ("give it with <fileOption>").
AnswerKey ParseAnswerKey(const std::string& text, const std::string& option, const std::string& fileOption);

/// Checks that a key given apart names no alternative beyond k (nothing to check when k is
/// 0: k then comes from the key). Raises UsageError naming `option` ("--key: item 3: ...").
void CheckKeyAlternatives(const AnswerKey& key, int k, const std::string& option);

/// The key given apart in a file, as `option` names it. Raises ReadError for a file that
/// cannot be read, and InputError (of role Key) for a file that holds no key ("--key-file
/// key.txt: ...").
AnswerKey ReadAnswerKeyFile(const std::string& path, const std::string& option);

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
  /// path: the sheet's file, or "-" for console. keyOption: how the front end gives a key
  /// apart, named in the message of a sheet without a key ("--key"); empty: "the key apart".
  /// kOption: how it gives k, named in the message of a mark beyond the key's alternatives
  /// ("--k": "give --k 5 if the items have 5 alternatives"); empty: no such hint. Raises
  /// ReadError when the sheet cannot be opened.
  SheetSource(const std::string& path, std::istream& console, std::string keyOption = {},
              std::string kOption = {});
  /// A sheet given as its text (a binding's table of marks), named `name` in messages.
  static std::unique_ptr<SheetSource> OfText(std::string text, const std::string& name, std::string keyOption = {},
                                             std::string kOption = {});
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
  JobEnd Analyse(const AnswerKey* key, const SheetRun& run, const JobContext& job);

private:
  std::istream& Start(bool secondReadingFollows);
  [[noreturn]] void RethrowAsJobError() const;

  std::string path_;
  std::string name_;
  std::string keyOption_;
  std::string kOption_;
  std::ifstream file_;
  std::unique_ptr<std::istringstream> text_;  // a sheet given as text
  std::uint64_t textSize_ = 0;                // its size in bytes
  std::istream* in_ = nullptr;
  std::unique_ptr<InputSpool> spool_;
  bool copying_ = false;  // the first reading copies the sheet into spool_
  bool copied_ = false;   // spool_ holds the whole sheet
  bool read_ = false;     // a reading has begun: the next one starts from the beginning
};

struct SheetRequest {
  std::string responses = "-";  // the sheet, or "-" for standard input
  std::string key;              // the key itself; "" none
  std::string keyFile;          // a file holding the key; "" none (neither: the sheet's KEY row)
  int k = 0;                    // alternatives per item, 2..10; 0: from the key and the marks
  std::string out = "-";        // the results; "-" standard output
  std::string tables;           // each examinee's table in analyse's format; "" none, "-" standard output
  int jobs = 0;                 // threads; 0 every core
  AnalysisSettings analysis;    // decimals reach only the record in the JSON objects
  bool json = false;            // JSON objects instead of CSV rows
};

/// Analyses the sheet into its outputs: the CSV header kSheetCsvHeader and one row per
/// examinee in input order, then the pooled row ALL; or, with json, one object per line with
/// the same keys (null where undefined) and, for an analysed table, every field of `analyse
/// --json`. Notes name each position the examinees' guesses favour far above 1/k (the test
/// of FavouredPositions, on the pooled table). An examinee whose analysis failed (its error
/// cell says why) is reported as a quiet problem of kind Failed; the others are analysed.
void AnalyseSheetFile(const SheetRequest& request, FileJob& job);

/// The note on a favoured position: "guessing favours position 3 (C): pi_3 = ... against
/// 1/k = ... on the pooled table; 40 wrong answers fell there where even guessing gives
/// 21.3 (z = 4.71)".
std::string FavouredLine(const FavouredPosition& f, const ExamineeResult& pooled);

}  // namespace veltrano::jobs
