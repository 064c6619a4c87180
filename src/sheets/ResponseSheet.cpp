#include "sheets/ResponseSheet.h"

#include <algorithm>
#include <cstring>
#include <istream>
#include <ostream>

#include "numeric/QuotedText.h"

namespace veltrano {
namespace {

constexpr std::string_view kUtf8Bom = "\xef\xbb\xbf";
constexpr const char* kNotAnAlternative = " is not an alternative (A to J or 1 to 10)";
constexpr const char* kNotAMark = " is not an alternative (A to J or 1 to 10; empty, *, - or . for an omission)";

bool IsBlank(char c, char separator) { return (c == ' ' || c == '\t') && c != separator; }

std::string_view TrimBlanks(std::string_view s, char separator) {
  while (!s.empty() && IsBlank(s.front(), separator)) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back(), separator)) s.remove_suffix(1);
  return s;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view lowerB) {
  if (a.size() != lowerB.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char c = a[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lowerB[i]) return false;
  }
  return true;
}

std::string Items(std::int64_t n) { return std::to_string(n) + (n == 1 ? " item" : " items"); }

// The position a cell names, 1..10; 0 for an omission; -1 when it names none.
int ParseMark(std::string_view cell) {
  if (cell.empty()) return 0;
  if (cell.size() == 1) {
    const char c = cell[0];
    if (c == '*' || c == '-' || c == '.') return 0;
    if (c >= 'A' && c <= 'J') return c - 'A' + 1;
    if (c >= 'a' && c <= 'j') return c - 'a' + 1;
    if (c >= '1' && c <= '9') return c - '0';
    return -1;
  }
  return cell == "10" ? 10 : -1;
}

std::string BeyondKey(std::string_view cell, int mark, int k) {
  return Quoted(cell) + " is alternative " + std::to_string(mark) + ", beyond the " + std::to_string(k) +
         " alternatives of the key (A to " + std::string(1, static_cast<char>('A' + k - 1)) + ")";
}

std::string BeyondK(std::string_view cell, int mark, int k) {
  return Quoted(cell) + " is alternative " + std::to_string(mark) + ", beyond the k = " + std::to_string(k) +
         " alternatives of an item";
}

// Splits a row into cells and calls f(column, cell) for each, the first cell being column
// 1, until f returns false. A quoted cell is handed on without its quotes, "" inside it as one " (unescaped into
// scratch, which the cell then points into until the next call).
template <class F>
void ForEachCell(std::string_view line, char separator, std::int64_t lineNo, std::string& scratch, F&& f) {
  const std::size_t n = line.size();
  std::size_t i = 0;
  for (int column = 1;; ++column) {
    while (i < n && IsBlank(line[i], separator)) ++i;
    std::string_view cell;
    if (i < n && line[i] == '"') {
      const std::size_t start = ++i;
      bool doubled = false;
      for (;; ++i) {
        if (i >= n)
          throw SheetFormatError(lineNo, column,
                                 "a quoted cell without its closing quote on its line (a cell cannot hold a line end)");
        if (line[i] != '"') continue;
        if (i + 1 < n && line[i + 1] == '"') {
          doubled = true;
          ++i;
          continue;
        }
        break;
      }
      cell = line.substr(start, i - start);
      ++i;  // the closing quote
      if (doubled) {
        scratch.clear();
        for (std::size_t j = 0; j < cell.size(); ++j) {
          scratch.push_back(cell[j]);
          if (cell[j] == '"') ++j;
        }
        cell = scratch;
      }
      while (i < n && IsBlank(line[i], separator)) ++i;
      if (i < n && line[i] != separator)
        throw SheetFormatError(lineNo, column, "text after the closing quote of a quoted cell");
    } else {
      const std::size_t end = std::min(line.find(separator, i), n);
      cell = TrimBlanks(line.substr(i, end - i), separator);
      i = end;
    }
    if (!f(column, cell) || i >= n) return;
    ++i;  // the separator
  }
}

// The separator of a sheet: whichever of tab, comma and semicolon occurs most often
// outside quotes in its first row; a tie goes to tab, then comma.
char DetectSeparator(std::string_view line) {
  std::size_t tabs = 0, commas = 0, semicolons = 0;
  bool quoted = false;
  for (const char c : line) {
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    tabs += c == '\t';
    commas += c == ',';
    semicolons += c == ';';
  }
  if (tabs >= commas && tabs >= semicolons && tabs > 0) return '\t';
  if (semicolons > commas) return ';';
  return ',';
}

// A row that holds nothing: blanks and separators only.
bool IsEmptyRow(std::string_view line) {
  return line.find_first_not_of(" \t,;") == std::string_view::npos;
}

// Whether s is UTF-8 text; sets *control when it holds a control character.
bool IsUtf8Text(std::string_view s, bool& control) {
  control = false;
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const auto* end = p + s.size();
  while (p < end) {
    const unsigned char c = *p;
    if (c < 0x80) {
      if (c < 0x20 || c == 0x7f) {
        control = true;
        return false;
      }
      ++p;
      continue;
    }
    int more = 0;
    unsigned lo = 0x80, hi = 0xbf;  // the range of the byte after the first
    if (c >= 0xc2 && c <= 0xdf) {
      more = 1;
    } else if (c >= 0xe0 && c <= 0xef) {
      more = 2;
      if (c == 0xe0) lo = 0xa0;  // no overlong forms
      if (c == 0xed) hi = 0x9f;  // no surrogates
    } else if (c >= 0xf0 && c <= 0xf4) {
      more = 3;
      if (c == 0xf0) lo = 0x90;
      if (c == 0xf4) hi = 0x8f;  // nothing above U+10FFFF
    } else {
      return false;
    }
    if (end - p <= more) return false;
    if (p[1] < lo || p[1] > hi) return false;
    for (int j = 2; j <= more; ++j)
      if (p[j] < 0x80 || p[j] > 0xbf) return false;
    p += more + 1;
  }
  return true;
}

void CheckId(std::int64_t line, std::string_view id) {
  bool control = false;
  if (IsUtf8Text(id, control)) return;
  const std::string what = control ? " holds a control character; this is not a text sheet"
                                   : " is not UTF-8 text; save the sheet as UTF-8";
  throw SheetFormatError(line, 1, "the id " + Quoted(id) + what);
}

// The first cell of a row, unquoted.
std::string_view FirstCell(std::string_view line, char separator, std::int64_t lineNo, std::string& scratch) {
  std::string_view first;
  ForEachCell(line, separator, lineNo, scratch, [&](int, std::string_view cell) {
    first = cell;
    return false;
  });
  return first;
}

std::vector<std::string> Cells(std::string_view line, char separator, std::int64_t lineNo) {
  std::vector<std::string> cells;
  std::string scratch;
  ForEachCell(line, separator, lineNo, scratch, [&](int, std::string_view cell) {
    cells.emplace_back(cell);
    return true;
  });
  return cells;
}

}  // namespace

SheetFormatError::SheetFormatError(std::int64_t line, int column, const std::string& what)
    : std::runtime_error(line <= 0    ? what
                         : column <= 0 ? "line " + std::to_string(line) + ": " + what
                                       : "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " +
                                             what),
      line_(line),
      column_(column) {}

int AnswerKey::Largest() const noexcept {
  int largest = 0;
  for (const Mark m : positions) largest = std::max<int>(largest, m);
  return largest;
}

char PositionLetter(int position) noexcept { return static_cast<char>('A' + position - 1); }


AnswerKey ParseKey(std::string_view text) {
  text = TrimBlanks(text, 0);
  if (!text.empty() && text.back() == '\r') text = TrimBlanks(text.substr(0, text.size() - 1), 0);
  if (text.empty()) throw SheetFormatError(0, 0, "the key is empty");
  std::vector<std::string> cells;
  if (text.find_first_of("\t,;") != std::string_view::npos) {
    cells = Cells(text, DetectSeparator(text), 0);
  } else {
    // Blank-separated, or one alternative after the other.
    for (std::size_t i = 0; i < text.size();) {
      const std::size_t end = std::min(text.find(' ', i), text.size());
      if (end > i) cells.emplace_back(text.substr(i, end - i));
      i = end + 1;
    }
  }
  if (cells.size() > 1 && EqualsIgnoringCase(cells.front(), "key")) cells.erase(cells.begin());
  if (cells.size() == 1 && cells.front().size() > 1) {
    const std::string compact = cells.front();
    cells.clear();
    for (const char c : compact) cells.emplace_back(1, c);
  }
  AnswerKey key;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const std::string item = "item " + std::to_string(i + 1) + ": ";
    const int m = ParseMark(cells[i]);
    if (m < 0) throw SheetFormatError(0, 0, item + Quoted(cells[i]) + kNotAnAlternative);
    if (m == 0) throw SheetFormatError(0, 0, item + "the key has no alternative for it");
    key.positions.push_back(static_cast<Mark>(m));
  }
  return key;
}

void CheckKeyWithin(const AnswerKey& key, int k) {
  for (std::size_t i = 0; i < key.positions.size(); ++i)
    if (key.positions[i] > k) {
      const std::string cell(1, PositionLetter(key.positions[i]));
      throw SheetFormatError(0, 0, "item " + std::to_string(i + 1) + ": " + BeyondK(cell, key.positions[i], k));
    }
}

AnswerKey ParseKeyFile(std::string_view content) {
  if (content.substr(0, kUtf8Bom.size()) == kUtf8Bom) content.remove_prefix(kUtf8Bom.size());
  std::string_view keyLine;
  int keyLines = 0;
  std::string scratch;
  for (std::size_t i = 0; i <= content.size();) {
    const std::size_t end = std::min(content.find('\n', i), content.size());
    std::string_view line = content.substr(i, end - i);
    i = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (IsEmptyRow(line)) continue;
    if (EqualsIgnoringCase(FirstCell(line, DetectSeparator(line), 0, scratch), "id")) continue;  // a header
    keyLine = line;
    ++keyLines;
  }
  if (keyLines == 0) throw SheetFormatError(0, 0, "the key file holds no key");
  if (keyLines > 1)
    throw SheetFormatError(0, 0, "the key file holds " + std::to_string(keyLines) + " lines; the key is one line");
  return ParseKey(keyLine);
}

void Rewind(std::istream& in) {
  in.clear();
  if (!in.seekg(0)) throw SheetReadError("cannot go back to its start to read it again");
}

AnswerKey ReadKeyFile(std::istream& in) {
  std::string content(kMaxKeyFile + 1, '\0');
  in.read(content.data(), static_cast<std::streamsize>(content.size()));
  if (in.bad()) throw SheetReadError("read error");
  content.resize(static_cast<std::size_t>(in.gcount()));
  if (content.size() > kMaxKeyFile)
    throw SheetFormatError(0, 0, "more than " + std::to_string(kMaxKeyFile) + " bytes; this is not a key");
  return ParseKeyFile(content);
}

// ---- reading lines -----------------------------------------------------------------------

// Lines of the input out of a buffer refilled in large blocks. A line is handed on as a
// view into the buffer, valid until the next call.
class SheetReader::Lines {
public:
  static constexpr std::size_t kBufferSize = 4 * kMaxSheetLine;

  Lines(std::istream& in, std::ostream* copy)
      : in_(in), copy_(copy), buffer_(new char[kBufferSize]) {}

  bool Next(std::string_view& line) {
    for (;;) {
      const char* begin = buffer_.get() + pos_;
      const std::size_t available = end_ - pos_;
      const auto* nl = static_cast<const char*>(std::memchr(begin, '\n', available));
      // A CR that no LF follows ends a line too (the line ends of old spreadsheets); one at
      // the end of what is read so far waits for the next byte.
      const auto* cr = static_cast<const char*>(
          std::memchr(begin, '\r', nl != nullptr ? static_cast<std::size_t>(nl - begin) : available));
      if (cr != nullptr && cr + 1 != nl && (cr + 1 < begin + available || eof_)) {
        const auto length = static_cast<std::size_t>(cr - begin);
        ++number_;
        if (length > kMaxSheetLine) TooLong();
        line = std::string_view(begin, length);
        pos_ += length + 1;
        offset_ += length + 1;
        if (number_ == 1) FirstLine(line);
        return true;
      }
      if (nl != nullptr || (eof_ && available > 0)) {
        const std::size_t length = nl != nullptr ? static_cast<std::size_t>(nl - begin) : available;
        ++number_;
        if (length > kMaxSheetLine) TooLong();
        line = std::string_view(begin, length);
        const std::size_t used = length + (nl != nullptr ? 1 : 0);
        pos_ += used;
        offset_ += used;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (number_ == 1) FirstLine(line);
        return true;
      }
      if (eof_) return false;
      if (available > kMaxSheetLine) {
        ++number_;
        TooLong();
      }
      Refill();
    }
  }

  std::int64_t Number() const noexcept { return number_; }
  std::uint64_t Offset() const noexcept { return offset_; }

private:
  [[noreturn]] void TooLong() const {
    throw SheetFormatError(number_, 0,
                           "more than " + std::to_string(kMaxSheetLine) + " bytes on one line; this is not a sheet");
  }

  void FirstLine(std::string_view& line) const {
    if (line.substr(0, kUtf8Bom.size()) == kUtf8Bom) line.remove_prefix(kUtf8Bom.size());
    if (line.substr(0, 2) == "\xff\xfe" || line.substr(0, 2) == "\xfe\xff")
      throw SheetFormatError(1, 0, "the sheet is UTF-16 text; save it as UTF-8");
  }

  void Refill() {
    char* data = buffer_.get();
    std::memmove(data, data + pos_, end_ - pos_);
    end_ -= pos_;
    pos_ = 0;
    in_.read(data + end_, static_cast<std::streamsize>(kBufferSize - end_));
    const auto got = static_cast<std::size_t>(in_.gcount());
    if (in_.bad()) throw SheetReadError("read error");
    if (copy_ != nullptr && got > 0) {
      copy_->write(data + end_, static_cast<std::streamsize>(got));
      if (!*copy_) throw SheetReadError("cannot keep a copy of the input");
    }
    end_ += got;
    if (!in_) eof_ = true;
  }

  std::istream& in_;
  std::ostream* copy_;
  std::unique_ptr<char[]> buffer_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  bool eof_ = false;
  std::int64_t number_ = 0;
  std::uint64_t offset_ = 0;
};

// ---- the sheet -----------------------------------------------------------------------------

SheetReader::SheetReader(std::istream& in, const AnswerKey* key, int k, std::ostream* copy)
    : lines_(std::make_unique<Lines>(in, copy)), k_(k) {
  if (key == nullptr) return;
  key_ = *key;
  haveKey_ = keyGivenApart_ = true;
  if (key_.positions.empty()) throw SheetFormatError(0, 0, "the key is empty");
  if (k_ > 0) CheckKeyWithin(key_, k_);
}

SheetReader::~SheetReader() = default;

bool SheetReader::NextRow(SheetRow& row) {
  std::string_view line;
  while (lines_->Next(line)) {
    const std::int64_t n = lines_->Number();
    if (IsEmptyRow(line)) continue;
    if (!sawRow_) {
      sawRow_ = true;
      firstRowLine_ = n;
      separator_ = DetectSeparator(line);
    }
    const std::string_view first = FirstCell(line, separator_, n, scratch_);
    if (EqualsIgnoringCase(first, "key")) {
      TakeKeyRow(line);
      continue;
    }
    if (firstExaminee_ == 0 && EqualsIgnoringCase(first, "id")) {
      TakeHeaderRow(line);
      continue;
    }
    CheckId(n, first);
    if (EqualsIgnoringCase(first, "all"))
      throw SheetFormatError(n, 1,
                             "the id " + Quoted(first) + " is the name of the pooled row; rename this examinee");
    if (!haveKey_)
      throw MissingKeyError(n, n == firstRowLine_,
                            "no key before the first examinee; put a KEY row before it or give the key apart");
    if (firstExaminee_ == 0) firstExaminee_ = n;
    row.line = n;
    row.offset = lines_->Offset();
    row.text.assign(line);
    row.id.assign(first);
    return true;
  }
  if (!sawRow_) throw SheetFormatError(0, 0, "the sheet is empty");
  if (firstExaminee_ == 0) throw SheetFormatError(0, 0, "the sheet holds no examinee");
  return false;
}

void SheetReader::TakeKeyRow(std::string_view line) {
  const std::int64_t n = lines_->Number();
  if (keyGivenApart_) throw SheetFormatError(n, 0, "a KEY row in a sheet whose key is given apart; give the key once");
  // A KEY row after the first examinee is always a second key: the first examinee found
  // none and was refused.
  if (haveKey_) throw SheetFormatError(n, 0, "a second KEY row (the first is line " + std::to_string(keyLine_) + ")");
  AnswerKey key;
  ForEachCell(line, separator_, n, scratch_, [&](int column, std::string_view cell) {
    if (column == 1) return true;
    const int m = ParseMark(cell);
    if (m < 0) throw SheetFormatError(n, column, Quoted(cell) + kNotAnAlternative);
    if (m == 0) throw SheetFormatError(n, column, "the key has no alternative for item " + std::to_string(column - 1));
    if (k_ > 0 && m > k_) throw SheetFormatError(n, column, BeyondK(cell, m, k_));
    key.positions.push_back(static_cast<Mark>(m));
    return true;
  });
  if (key.positions.empty()) throw SheetFormatError(n, 0, "the KEY row holds no item");
  key_ = std::move(key);
  haveKey_ = true;
  keyLine_ = n;
  // The two rows disagree; the examinees to come may say which is wrong, the message names
  // both.
  if (headerItems_ >= 0 && headerItems_ != key_.Items())
    throw SheetFormatError(n, 0,
                           "the KEY row has " + Items(key_.Items()) + " where the header (line " +
                               std::to_string(headerLine_) + ") has " + Items(headerItems_));
}

void SheetReader::TakeHeaderRow(std::string_view line) {
  const std::int64_t n = lines_->Number();
  int cells = 0;
  ForEachCell(line, separator_, n, scratch_, [&](int, std::string_view) { return ++cells > 0; });
  if (haveKey_) {
    CheckItemCount(n, cells - 1);
  } else {
    headerLine_ = n;
    headerItems_ = cells - 1;
  }
}

void SheetReader::CheckItemCount(std::int64_t line, int items) const {
  if (items != key_.Items())
    throw SheetFormatError(line, 0, Items(items) + " where the key has " + Items(key_.Items()));
}

int SheetReader::Marks(const SheetRow& row, std::vector<Mark>& marks, std::string& scratch) const {
  marks.clear();
  // Without k, the key says how many alternatives an item has.
  const int limit = k_ > 0 ? k_ : std::max(kMinAlternatives, key_.Largest());
  int largest = 0;
  // The first bad cell is reported only when the row has the right length: a row that is
  // too long or too short is named as such, whatever its cells hold.
  int badColumn = 0;
  int beyondKey = 0;  // the mark, when the first bad cell is beyond the key's alternatives
  std::string badWhat;
  int items = 0;
  ForEachCell(row.text, separator_, row.line, scratch, [&](int column, std::string_view cell) {
    if (column == 1) return true;
    ++items;
    const int m = ParseMark(cell);
    if (badColumn == 0 && (m < 0 || m > limit)) {
      badColumn = column;
      if (m < 0)
        badWhat = Quoted(cell) + kNotAMark;
      else if (k_ > 0)
        badWhat = BeyondK(cell, m, limit);
      else
        badWhat = BeyondKey(cell, m, limit), beyondKey = m;
    }
    largest = std::max(largest, m);
    marks.push_back(static_cast<Mark>(std::max(m, 0)));
    return true;
  });
  if (items != key_.Items()) CheckItemCount(row.line, items);
  if (badColumn == 0) return largest;
  if (row.line == firstRowLine_) badWhat += kHeaderHint;
  if (beyondKey > 0) throw MarkBeyondKeyError(row.line, badColumn, badWhat, beyondKey);
  throw SheetFormatError(row.line, badColumn, badWhat);
}

AnswerCounts Tally(const AnswerKey& key, const std::vector<Mark>& marks, int k, std::vector<double>& cells) {
  cells.assign(static_cast<std::size_t>(k) * static_cast<std::size_t>(k), 0.0);
  AnswerCounts counts;
  counts.items = key.Items();
  const std::size_t n = std::min(marks.size(), key.positions.size());
  for (std::size_t i = 0; i < n; ++i) {
    const int m = marks[i];
    if (m == 0) continue;
    const int r = key.positions[i];
    if (r > k || m > k) throw std::out_of_range("Tally: a position beyond k");
    cells[static_cast<std::size_t>((r - 1) * k + (m - 1))] += 1;
    ++counts.answered;
    counts.right += m == r;
  }
  counts.omitted = counts.items - counts.answered;
  return counts;
}

}  // namespace veltrano
