#include "ui/CompactText.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace veltrano {
namespace {

char FoldAscii(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::vector<std::uint32_t> BreaksOf(std::string_view text) {
  std::vector<std::uint32_t> breaks;
  const char* const begin = text.data();
  const char* const end = begin + text.size();
  for (const char* p = begin; p < end;) {
    const auto* hit = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    if (hit == nullptr) break;
    breaks.push_back(static_cast<std::uint32_t>(hit - begin));
    p = hit + 1;
  }
  breaks.shrink_to_fit();
  return breaks;
}

// The first match at or after `from` in `text`, or npos.
std::size_t FindIn(std::string_view text, std::string_view needle, std::size_t from, bool matchCase) {
  if (from > text.size()) return std::string_view::npos;
  if (matchCase) return text.find(needle, from);
  const auto same = [](char a, char b) { return FoldAscii(a) == FoldAscii(b); };
  const auto hash = [](char c) { return std::hash<char>()(FoldAscii(c)); };
  const std::boyer_moore_horspool_searcher search(needle.begin(), needle.end(), hash, same);
  const auto hit = std::search(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(), search);
  return hit == text.end() ? std::string_view::npos : static_cast<std::size_t>(hit - text.begin());
}

}  // namespace

std::size_t CompactText::BlockAt(std::int64_t offset) const {
  const auto after = std::upper_bound(blockStart_.begin(), blockStart_.end(), offset);
  const auto block = static_cast<std::size_t>(after - blockStart_.begin()) - 1;
  return std::min(block, blocks_.empty() ? 0 : blocks_.size() - 1);
}

// Paragraphs breakStart_[b] .. breakStart_[b + 1] - 1 start in block b (its last line
// break ends its last paragraph), and the last block holds the text's last paragraph too.
std::size_t CompactText::BlockOfParagraph(std::int64_t paragraph) const {
  const auto after = std::upper_bound(breakStart_.begin(), breakStart_.end(), paragraph);
  const auto block = static_cast<std::size_t>(after - breakStart_.begin()) - 1;
  return std::min(block, blocks_.empty() ? 0 : blocks_.size() - 1);
}

std::string_view CompactText::Paragraph(std::int64_t paragraph) const {
  if (blocks_.empty()) return {};
  const std::size_t b = BlockOfParagraph(paragraph);
  const Chunk& c = blocks_[b];
  const auto j = static_cast<std::size_t>(paragraph - breakStart_[b]);
  const std::size_t begin = j == 0 ? 0 : c.breaks[j - 1] + std::size_t{1};
  const std::size_t end = j < c.breaks.size() ? c.breaks[j] : c.text.size();
  return std::string_view(c.text).substr(begin, end - begin);
}

std::int64_t CompactText::ParagraphStart(std::int64_t paragraph) const {
  if (blocks_.empty() || paragraph <= 0) return 0;
  const std::size_t b = BlockOfParagraph(paragraph);
  const auto j = static_cast<std::size_t>(paragraph - breakStart_[b]);
  return blockStart_[b] + (j == 0 ? 0 : blocks_[b].breaks[j - 1] + std::int64_t{1});
}

std::int64_t CompactText::ParagraphAt(std::int64_t offset) const {
  if (blocks_.empty()) return 0;
  const std::size_t b = BlockAt(offset);
  const std::vector<std::uint32_t>& breaks = blocks_[b].breaks;
  const auto local = static_cast<std::uint32_t>(offset - blockStart_[b]);
  return breakStart_[b] + (std::lower_bound(breaks.begin(), breaks.end(), local) - breaks.begin());
}

void CompactText::Replace(std::int64_t from, std::int64_t to, std::string_view text) {
  if (from == to && text.empty()) return;
  std::size_t first = 0;
  std::size_t last = 0;  // one past the last block replaced
  std::string joined;
  if (!blocks_.empty()) {
    first = BlockAt(from);
    last = BlockAt(to) + 1;
    // What stays of the first block before `from`, and of the last block after `to`.
    const std::string_view head = std::string_view(blocks_[first].text).substr(0, static_cast<std::size_t>(from - blockStart_[first]));
    const std::string_view tail =
        std::string_view(blocks_[last - 1].text).substr(static_cast<std::size_t>(to - blockStart_[last - 1]));
    if (from == Bytes() && head.size() >= kBlockBytes / 2 && head.back() == '\n') {
      // Appending after a block that ends its paragraphs and is full enough: new blocks
      // follow it, and it is left as it is.
      first = last;
      joined.assign(text);
    } else {
      const std::size_t size = head.size() + text.size() + tail.size();
      // A block left small by a deletion takes its successor in, so that blocks stay large.
      const bool takeNext = size < kBlockBytes / 4 && last < blocks_.size();
      joined.reserve(size + (takeNext ? blocks_[last].text.size() : 0));
      joined.append(head).append(text).append(tail);
      if (takeNext) joined.append(blocks_[last++].text);
    }
  } else {
    joined.assign(text);
  }

  // Cut into blocks after a line break, so every block but the text's last ends with one.
  std::vector<Chunk> pieces;
  const std::string_view all(joined);
  for (std::size_t pos = 0; pos < all.size();) {
    std::size_t cut = all.size();
    if (all.size() - pos > kBlockBytes) {
      std::size_t at = all.rfind('\n', pos + kBlockBytes - 1);
      if (at == std::string_view::npos || at < pos) at = all.find('\n', pos + kBlockBytes);
      if (at != std::string_view::npos) cut = at + 1;
    }
    Chunk c;
    if (pos == 0 && cut == all.size())
      c.text = std::move(joined);
    else
      c.text.assign(all.substr(pos, cut - pos));
    c.breaks = BreaksOf(c.text);
    pieces.push_back(std::move(c));
    pos = cut;
  }
  blocks_.erase(blocks_.begin() + static_cast<std::ptrdiff_t>(first), blocks_.begin() + static_cast<std::ptrdiff_t>(last));
  blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(first), std::make_move_iterator(pieces.begin()),
                 std::make_move_iterator(pieces.end()));
  Reindex(first);
}

void CompactText::Reindex(std::size_t from) {
  blockStart_.resize(blocks_.size() + 1);
  breakStart_.resize(blocks_.size() + 1);
  for (std::size_t b = from; b < blocks_.size(); ++b) {
    blockStart_[b + 1] = blockStart_[b] + static_cast<std::int64_t>(blocks_[b].text.size());
    breakStart_[b + 1] = breakStart_[b] + static_cast<std::int64_t>(blocks_[b].breaks.size());
  }
}

void CompactText::Clear() noexcept {
  std::vector<Chunk>().swap(blocks_);
  blockStart_.assign(1, 0);
  blockStart_.shrink_to_fit();
  breakStart_.assign(1, 0);
  breakStart_.shrink_to_fit();
}

std::string CompactText::Slice(std::int64_t from, std::int64_t to) const {
  std::string out;
  if (from >= to || blocks_.empty()) return out;
  out.reserve(static_cast<std::size_t>(to - from));
  for (std::size_t b = BlockAt(from); b < blocks_.size() && blockStart_[b] < to; ++b) {
    const std::int64_t begin = std::max(from, blockStart_[b]) - blockStart_[b];
    const std::int64_t end = std::min(to, blockStart_[b + 1]) - blockStart_[b];
    out.append(blocks_[b].text, static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin));
  }
  return out;
}

// A match lies within a paragraph, so within a block: each block is searched on its own.
std::int64_t CompactText::Find(std::string_view needle, std::int64_t from, bool backward, bool matchCase) const {
  if (needle.empty() || blocks_.empty()) return -1;
  from = std::clamp<std::int64_t>(from, 0, Bytes());
  if (!backward) {
    for (std::size_t b = BlockAt(from); b < blocks_.size(); ++b) {
      const std::size_t start = static_cast<std::size_t>(std::max<std::int64_t>(from - blockStart_[b], 0));
      const std::size_t hit = FindIn(blocks_[b].text, needle, start, matchCase);
      if (hit != std::string_view::npos) return blockStart_[b] + static_cast<std::int64_t>(hit);
    }
    return -1;
  }
  if (from == 0) return -1;
  for (std::size_t b = BlockAt(from - 1) + 1; b-- > 0;) {
    const std::int64_t limit = std::min(from, blockStart_[b + 1]) - blockStart_[b];  // matches start below it
    std::int64_t found = -1;
    for (std::size_t at = 0;;) {
      const std::size_t hit = FindIn(blocks_[b].text, needle, at, matchCase);
      if (hit == std::string_view::npos || static_cast<std::int64_t>(hit) >= limit) break;
      found = static_cast<std::int64_t>(hit);
      at = hit + 1;
    }
    if (found >= 0) return blockStart_[b] + found;
  }
  return -1;
}

std::int64_t CompactText::MemoryBytes() const noexcept {
  std::int64_t bytes = static_cast<std::int64_t>(blocks_.capacity() * sizeof(Chunk) +
                                                 (blockStart_.capacity() + breakStart_.capacity()) * sizeof(std::int64_t));
  for (const Chunk& c : blocks_)
    bytes += static_cast<std::int64_t>(c.text.capacity() + c.breaks.capacity() * sizeof(std::uint32_t));
  return bytes;
}

}  // namespace veltrano
