#pragma once
// CompactText: the text of a text pane, kept as UTF-8 in blocks of about 64 kB, each block
// holding whole paragraphs (every block but the last ends with a line break) and the
// offsets of its line breaks. A results line of a run (about 100 ASCII characters) costs
// its bytes and 4 more for its offset, where a QTextDocument holds each character in two
// bytes and every line at about 140 more (figures in bench/README.md).
//
// Paragraphs are the text split at its '\n's: one more than the line breaks, so an empty
// text has one empty paragraph and "a\n" has two, "a" and "" (where the next line starts),
// as a text box counts them. Positions are byte offsets into the whole text; the text is
// valid UTF-8 when every replacement is.
//
// Every change replaces a range of bytes: the blocks it touches are joined with the new
// text and cut again into blocks, so a change costs the bytes of the blocks it touches
// and the new text, and a look-up by paragraph or offset a binary search over the blocks.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace veltrano {

class CompactText {
public:
  /// A block is cut at the last line break within this many bytes (after the first line
  /// break beyond it when a paragraph is longer).
  static constexpr std::size_t kBlockBytes = std::size_t{64} << 10;

  /// The text's size in bytes.
  std::int64_t Bytes() const noexcept { return blockStart_.back(); }
  /// Line breaks plus one (never 0).
  std::int64_t ParagraphCount() const noexcept { return breakStart_.back() + 1; }
  /// The paragraph's bytes, without its line break; valid until the next change.
  std::string_view Paragraph(std::int64_t paragraph) const;
  /// The offset at which the paragraph starts.
  std::int64_t ParagraphStart(std::int64_t paragraph) const;
  /// The paragraph holding the offset (its line break belongs to it); Bytes() lies in the
  /// last paragraph.
  std::int64_t ParagraphAt(std::int64_t offset) const;

  /// Replaces the bytes from `from` up to `to` (0 <= from <= to <= Bytes()) by `text`.
  void Replace(std::int64_t from, std::int64_t to, std::string_view text);
  void Append(std::string_view text) { Replace(Bytes(), Bytes(), text); }
  /// Empties the text and gives back its memory.
  void Clear() noexcept;
  /// The bytes from `from` up to `to`.
  std::string Slice(std::int64_t from, std::int64_t to) const;

  /// The blocks in order (their bytes joined are the text), to write or read it whole.
  std::size_t BlockCount() const noexcept { return blocks_.size(); }
  std::string_view Block(std::size_t block) const noexcept { return blocks_[block].text; }

  /// The first match of `needle` (not empty, without a line break) starting at or after
  /// `from` (forward), or the last one starting before `from` (backward); -1 when there
  /// is none. Without matchCase, ASCII letters match either case; other characters match
  /// only themselves.
  std::int64_t Find(std::string_view needle, std::int64_t from, bool backward, bool matchCase) const;

  /// The memory the text holds: the blocks' bytes and offsets as allocated.
  std::int64_t MemoryBytes() const noexcept;

private:
  struct Chunk {
    std::string text;
    std::vector<std::uint32_t> breaks;  // offsets of the text's '\n's
  };
  // The block holding the offset (the last block for Bytes()).
  std::size_t BlockAt(std::int64_t offset) const;
  // The block in which the paragraph starts.
  std::size_t BlockOfParagraph(std::int64_t paragraph) const;
  void Reindex(std::size_t from);

  std::vector<Chunk> blocks_;
  // Before block b: blockStart_[b] bytes and breakStart_[b] line breaks; one entry more
  // than blocks, the last holding the totals.
  std::vector<std::int64_t> blockStart_{0};
  std::vector<std::int64_t> breakStart_{0};
};

}  // namespace veltrano
