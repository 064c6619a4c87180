#pragma once
// Answer sheets of real exams: the answer key and, for each examinee, the alternative
// marked on each item, read as CSV or tab-separated text and tallied into the k × k
// table the delta model is fitted to.
//
// The sheet. One row per line; the cells are separated by tabs, commas or semicolons,
// whichever of the three occurs most often (outside quotes) in the first row. A UTF-8
// byte-order mark and CR LF line ends are accepted. Cells may be quoted as in CSV
// ("Díaz, Bo"; "" inside quotes is one "), and blanks around a cell are dropped. The
// first cell of a row is the examinee's id, the others are the items in order:
//   - a row whose first cell is KEY (any case) holds the correct alternative of each item;
//   - a row whose first cell is id (any case), before the first examinee, is a header and
//     is skipped;
//   - empty lines, and rows whose every cell is empty, are skipped;
//   - every other row is an examinee.
// An alternative is a letter A–J (any case) or a number 1–10, both naming its position
// on the printed item (A = 1); an empty cell or one of *, -, . is an omission.
//
// Streaming. The key must be known before the first examinee (a KEY row before it, or a
// key given apart), so that every examinee can be tallied and analysed as soon as its row
// is read: memory stays flat however many examinees follow. A KEY row after the first
// examinee is refused rather than held for: holding the rows before it would make memory
// grow with the sheet. For the same reason ids are not checked for repeats (that needs
// every id kept): an id is carried through as it stands, and each row is its own examinee.
// The id ALL is refused, being the name of the pooled row.
//
// Every rule a sheet breaks raises SheetFormatError, whose message names the line and,
// where one cell is at fault, the column (the cell's place in the row, the id being
// column 1, as a spreadsheet counts them).
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/AnalysisSettings.h"  // kMinAlternatives, kMaxAlternatives
#include "numeric/QuotedText.h"        // Quoted, for messages that show a cell

namespace veltrano {

/// The longest line a sheet may hold: a sheet of thousands of items fits many times
/// over, and a file without line ends (not a sheet at all) is refused before it can
/// fill the memory.
inline constexpr std::size_t kMaxSheetLine = std::size_t{1} << 20;

/// A sheet or key that breaks a rule above. line() is 0 when the fault is not on one line
/// (an empty sheet, a key given apart), column() is 0 when it is not in one cell.
class SheetFormatError : public std::runtime_error {
public:
  SheetFormatError(std::int64_t line, int column, const std::string& what);
  std::int64_t line() const noexcept { return line_; }
  int column() const noexcept { return column_; }

private:
  std::int64_t line_;
  int column_;
};

/// What a message about the sheet's first row adds: a header not named id was taken for
/// an examinee.
inline constexpr std::string_view kHeaderHint = " (if this row is a header, its first cell must be id)";

/// A sheet whose first examinee comes before any key (a window may then ask for a key
/// file and read the sheet again). firstRow(): that examinee is the sheet's first row.
class MissingKeyError : public SheetFormatError {
public:
  MissingKeyError(std::int64_t line, bool firstRow, const std::string& what)
      : SheetFormatError(line, 0, what + (firstRow ? std::string(kHeaderHint) : "")), firstRow_(firstRow) {}
  bool firstRow() const noexcept { return firstRow_; }

private:
  bool firstRow_;
};

/// A mark beyond the alternatives the key uses, when k is not given: k is then the key's
/// largest alternative, and a mark beyond it is more likely a slip than items with more
/// alternatives (the front end says how to give k). mark(): the alternative marked.
class MarkBeyondKeyError : public SheetFormatError {
public:
  MarkBeyondKeyError(std::int64_t line, int column, const std::string& what, int mark)
      : SheetFormatError(line, column, what), mark_(mark) {}
  int mark() const noexcept { return mark_; }

private:
  int mark_;
};

/// The input stream itself failed.
class SheetReadError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

/// Takes in back to its start to read it again; raises SheetReadError when it cannot.
void Rewind(std::istream& in);

/// The position a mark names, 1..10; 0 is an omission.
using Mark = std::uint8_t;

/// The correct alternative of each item, as positions 1..10.
struct AnswerKey {
  std::vector<Mark> positions;

  int Items() const noexcept { return static_cast<int>(positions.size()); }
  /// The largest position in the key.
  int Largest() const noexcept;
};

/// Reads a key given apart from the sheet: either the alternatives written one after the
/// other ("ABDCA", "12431"), or cells separated by tabs, commas, semicolons or blanks
/// ("A,B,D,C,A", "1 2 10 3"), optionally after a first cell KEY. The message of an error
/// names the item ("item 4: ...").
AnswerKey ParseKey(std::string_view text);

/// Raises SheetFormatError ("item 5: ...") when an item's key lies beyond k alternatives.
void CheckKeyWithin(const AnswerKey& key, int k);

/// Reads the key from the text of a key file: one line (blank lines and a byte-order mark
/// aside) in the form ParseKey reads.
AnswerKey ParseKeyFile(std::string_view content);

/// The largest key file read: a key is one line, and a larger file is not a key.
inline constexpr std::size_t kMaxKeyFile = std::size_t{1} << 20;

/// Reads a key file from in (opened by the caller, who names it in messages) as
/// ParseKeyFile does. Raises SheetReadError when the stream fails, and SheetFormatError when
/// the file holds more than kMaxKeyFile bytes or is not a key.
AnswerKey ReadKeyFile(std::istream& in);

/// One examinee's row as the reader hands it on: parsed into marks only by Marks(),
/// which may run on any thread.
struct SheetRow {
  std::int64_t line = 0;       // counting from 1
  std::uint64_t offset = 0;    // bytes of the input read up to the end of this line
  std::string text;            // the line, without its end
  std::string id;              // the first cell, unquoted
};

/// Reads a sheet row by row. Header and KEY rows are taken in passing; NextRow hands on
/// the examinees. Raises SheetFormatError on the first row that breaks a rule, and
/// SheetReadError when the stream itself fails.
class SheetReader {
public:
  /// key: a key given apart (null: the sheet's KEY row gives it). k: the number of
  /// alternatives, 2..10, or 0 when not given: it is then the key's largest alternative (at
  /// least 2), and a mark beyond it raises MarkBeyondKeyError. copy: when not null, every byte read is also
  /// written there (to read standard input a second time).
  SheetReader(std::istream& in, const AnswerKey* key, int k, std::ostream* copy = nullptr);
  ~SheetReader();
  SheetReader(const SheetReader&) = delete;
  SheetReader& operator=(const SheetReader&) = delete;

  /// The next examinee's row; false at the end of the sheet. Raises SheetFormatError at
  /// the end when the sheet held no examinee, and MissingKeyError at an examinee before any
/// key.
  bool NextRow(SheetRow& row);

  /// The examinee's marks, one per item (0 for an omission), checked: as many items as
  /// the key, every mark an alternative within k. Returns the largest mark. Safe to call
  /// from several threads at once for different rows.
  int Marks(const SheetRow& row, std::vector<Mark>& marks, std::string& scratch) const;

  /// The key; valid once NextRow has handed on a row.
  const AnswerKey& Key() const noexcept { return key_; }
  /// The separator of the cells: '\t', ',' or ';'.
  char Separator() const noexcept { return separator_; }
  /// The number of alternatives the marks are checked against (0: not known).
  int Alternatives() const noexcept { return k_; }

private:
  class Lines;
  void TakeKeyRow(std::string_view line);
  void TakeHeaderRow(std::string_view line);
  void CheckItemCount(std::int64_t line, int items) const;

  std::unique_ptr<Lines> lines_;
  AnswerKey key_;
  bool haveKey_ = false;
  bool keyGivenApart_ = false;
  std::int64_t keyLine_ = 0;
  int k_ = 0;
  char separator_ = 0;
  bool sawRow_ = false;
  std::int64_t firstRowLine_ = 0;
  std::int64_t firstExaminee_ = 0;
  std::int64_t headerLine_ = 0;
  int headerItems_ = -1;
  std::string scratch_;
};

/// How one examinee answered: the counts of the sheet's line.
struct AnswerCounts {
  std::int64_t items = 0;     // items on the sheet
  std::int64_t answered = 0;  // items marked
  std::int64_t omitted = 0;   // items left out
  std::int64_t right = 0;     // items marked with the key's alternative
};

/// Tallies the marks into cells, k × k row by row (row = the key's position, column = the
/// marked one), which it first sets to 0; an omitted item is left out. Both the key and
/// the marks must lie within k.
AnswerCounts Tally(const AnswerKey& key, const std::vector<Mark>& marks, int k, std::vector<double>& cells);

/// "A" for position 1, ..., "J" for 10.
char PositionLetter(int position) noexcept;

}  // namespace veltrano
