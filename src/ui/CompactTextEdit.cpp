#include "ui/CompactTextEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QStyleHints>
#include <QTextBoundaryFinder>
#include <QTextLayout>
#include <QWheelEvent>

#include <algorithm>

namespace veltrano {
namespace {

constexpr int kMargin = 4;             // between the frame and the text
constexpr std::size_t kMaxLayouts = 1024;  // paragraphs laid out and kept
constexpr int kDragScrollMs = 40;

// UTF-16 code units of UTF-8 text: one per character, two for one outside the BMP.
int Utf16Units(std::string_view utf8) {
  int units = 0;
  for (const char ch : utf8) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c & 0xC0) != 0x80) units += c >= 0xF0 ? 2 : 1;
  }
  return units;
}

// The bytes of UTF-8 text that hold its first `units` UTF-16 code units (a count that
// ends inside a character outside the BMP takes the whole character).
std::size_t Utf8Bytes(std::string_view utf8, int units) {
  std::size_t i = 0;
  for (int u = 0; i < utf8.size() && u < units;) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    const std::size_t length = c < 0xC0 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    u += length == 4 ? 2 : 1;
    i += length;
  }
  return std::min(i, utf8.size());
}

QString Normalised(QString text) {
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(u'\r', u'\n');
  return text;
}

bool MatchesAny(QKeyEvent* e, std::initializer_list<QKeySequence::StandardKey> keys) {
  return std::any_of(keys.begin(), keys.end(), [e](QKeySequence::StandardKey k) { return e->matches(k); });
}

// The keys that move the caret, with or without selecting.
constexpr QKeySequence::StandardKey kMoves[] = {
    QKeySequence::MoveToNextChar,       QKeySequence::MoveToPreviousChar,  QKeySequence::MoveToNextWord,
    QKeySequence::MoveToPreviousWord,   QKeySequence::MoveToNextLine,      QKeySequence::MoveToPreviousLine,
    QKeySequence::MoveToNextPage,       QKeySequence::MoveToPreviousPage,  QKeySequence::MoveToStartOfLine,
    QKeySequence::MoveToEndOfLine,      QKeySequence::MoveToStartOfBlock,  QKeySequence::MoveToEndOfBlock,
    QKeySequence::MoveToStartOfDocument, QKeySequence::MoveToEndOfDocument};
constexpr QKeySequence::StandardKey kSelects[] = {
    QKeySequence::SelectNextChar,       QKeySequence::SelectPreviousChar,  QKeySequence::SelectNextWord,
    QKeySequence::SelectPreviousWord,   QKeySequence::SelectNextLine,      QKeySequence::SelectPreviousLine,
    QKeySequence::SelectNextPage,       QKeySequence::SelectPreviousPage,  QKeySequence::SelectStartOfLine,
    QKeySequence::SelectEndOfLine,      QKeySequence::SelectStartOfBlock,  QKeySequence::SelectEndOfBlock,
    QKeySequence::SelectStartOfDocument, QKeySequence::SelectEndOfDocument};

}  // namespace

CompactTextEdit::CompactTextEdit(QWidget* parent) : QAbstractScrollArea(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_InputMethodEnabled);
  setAttribute(Qt::WA_KeyCompression);
  viewport()->setCursor(Qt::IBeamCursor);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  horizontalScrollBar()->setRange(0, 0);  // lines wrap: nothing to scroll sideways
  verticalScrollBar()->setSingleStep(1);
}

CompactTextEdit::~CompactTextEdit() = default;

// ---- Text and positions ------------------------------------------------------------------

QString CompactTextEdit::Paragraph(std::int64_t line) const {
  const std::string_view p = text_.Paragraph(line);
  return QString::fromUtf8(p.data(), static_cast<qsizetype>(p.size()));
}

int CompactTextEdit::LineLength(std::int64_t line) const { return Utf16Units(text_.Paragraph(line)); }

std::int64_t CompactTextEdit::OffsetOf(Position p) const {
  return text_.ParagraphStart(p.line) + static_cast<std::int64_t>(Utf8Bytes(text_.Paragraph(p.line), p.column));
}

CompactTextEdit::Position CompactTextEdit::PositionOf(std::int64_t offset) const {
  const std::int64_t line = text_.ParagraphAt(offset);
  const std::string_view p = text_.Paragraph(line);
  const auto before = static_cast<std::size_t>(offset - text_.ParagraphStart(line));
  return {line, Utf16Units(p.substr(0, std::min(before, p.size())))};
}

CompactTextEdit::Position CompactTextEdit::Clamped(Position p) const {
  p.line = std::clamp<std::int64_t>(p.line, 0, ParagraphCount() - 1);
  p.column = std::clamp(p.column, 0, LineLength(p.line));
  // Never between the two halves of a character outside the BMP.
  const std::string_view text = text_.Paragraph(p.line);
  p.column = Utf16Units(text.substr(0, Utf8Bytes(text, p.column)));
  return p;
}

QString CompactTextEdit::toPlainText() const {
  const std::string all = text_.Slice(0, text_.Bytes());
  return QString::fromUtf8(all.data(), static_cast<qsizetype>(all.size()));
}

void CompactTextEdit::setPlainText(const QString& text) {
  CompactText t;
  t.Append(Normalised(text).toStdString());
  SetText(std::move(t));
}

void CompactTextEdit::SetText(CompactText&& text) {
  text_ = std::move(text);
  atEnd_ = text_.Bytes() == 0;
  ResetAfterNewText();
}

void CompactTextEdit::clear() {
  text_.Clear();
  atEnd_ = true;
  ResetAfterNewText();
}

void CompactTextEdit::ResetAfterNewText() {
  caret_ = anchor_ = {};
  preferredX_ = -1;
  top_ = {};
  InvalidateLayouts();
  UpdateScrollRange();
  emit textChanged();
  emit cursorPositionChanged();
}

// A caret at the end stays at the end, as it does when the user types there.
void CompactTextEdit::AppendUtf8(std::string_view utf8) {
  const Position end{ParagraphCount() - 1, LineLength(ParagraphCount() - 1)};
  const bool caretAtEnd = caret_ == end;
  const bool anchorAtEnd = anchor_ == end;
  ReplaceRange(text_.Bytes(), text_.Bytes(), utf8);
  if (!caretAtEnd && !anchorAtEnd) return;
  const Position newEnd{ParagraphCount() - 1, LineLength(ParagraphCount() - 1)};
  if (caretAtEnd) caret_ = newEnd;
  if (anchorAtEnd) anchor_ = newEnd;
  viewport()->update();
  emit cursorPositionChanged();
}

void CompactTextEdit::Truncate(std::int64_t bytes) {
  if (bytes >= text_.Bytes()) return;
  ReplaceRange(std::max<std::int64_t>(bytes, 0), text_.Bytes(), {});
  const Position caret = Clamped(caret_);
  const Position anchor = Clamped(anchor_);
  if (caret != caret_ || anchor != anchor_) {
    caret_ = caret;
    anchor_ = anchor;
    emit cursorPositionChanged();
  }
}

// One change of the text. Only paragraphs from the first one touched may lay out anew, and
// when no line break came or went, only those touched.
void CompactTextEdit::ReplaceRange(std::int64_t from, std::int64_t to, std::string_view utf8) {
  const std::int64_t first = text_.ParagraphAt(from);
  const std::int64_t last = text_.ParagraphAt(to);
  const std::int64_t paragraphs = text_.ParagraphCount();
  text_.Replace(from, to, utf8);
  const bool sameBreaks = text_.ParagraphCount() == paragraphs;
  std::erase_if(layouts_, [&](const auto& entry) {
    return entry.first >= first && (!sameBreaks || entry.first <= last);
  });
  UpdateScrollRange();
  emit textChanged();
}

void CompactTextEdit::ReplaceSelection(const QString& text) {
  const Position from = std::min(caret_, anchor_);
  const Position to = std::max(caret_, anchor_);
  const std::int64_t start = OffsetOf(from);
  const std::string utf8 = text.toStdString();
  ReplaceRange(start, OffsetOf(to), utf8);
  caret_ = PositionOf(start + static_cast<std::int64_t>(utf8.size()));
  CaretMoved(false);
}

void CompactTextEdit::DeleteSelection() {
  if (HasSelection()) ReplaceSelection(QString());
}

void CompactTextEdit::InsertText(const QString& text) {
  if (readOnly_) return;
  ReplaceSelection(Normalised(text));
}

void CompactTextEdit::setReadOnly(bool readOnly) {
  if (readOnly_ == readOnly) return;
  readOnly_ = readOnly;
  setAttribute(Qt::WA_InputMethodEnabled, !readOnly);
  RestartBlink();
}

void CompactTextEdit::setTabStopDistance(qreal distance) {
  if (distance == tabStop_) return;
  tabStop_ = distance;
  InvalidateLayouts();
  UpdateScrollRange();
}

void CompactTextEdit::SetCaret(Position position, bool keepAnchor) {
  caret_ = Clamped(position);
  CaretMoved(keepAnchor);
}

void CompactTextEdit::MoveCaretToEnd(bool keepAnchor) {
  SetCaret({ParagraphCount() - 1, LineLength(ParagraphCount() - 1)}, keepAnchor);
}

void CompactTextEdit::CaretMoved(bool keepAnchor, bool keepX) {
  if (!keepAnchor) anchor_ = caret_;
  if (!keepX) preferredX_ = -1;
  EnsureVisible(caret_);
  RestartBlink();
  viewport()->update();
  emit cursorPositionChanged();
}

QString CompactTextEdit::SelectedText() const {
  if (!HasSelection()) return {};
  const std::string bytes = text_.Slice(OffsetOf(std::min(caret_, anchor_)), OffsetOf(std::max(caret_, anchor_)));
  return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

void CompactTextEdit::selectAll() {
  anchor_ = {};
  caret_ = {ParagraphCount() - 1, LineLength(ParagraphCount() - 1)};
  preferredX_ = -1;
  viewport()->update();
  emit cursorPositionChanged();
}

void CompactTextEdit::copy() const {
  if (HasSelection()) QGuiApplication::clipboard()->setText(SelectedText());
}

void CompactTextEdit::cut() {
  if (readOnly_ || !HasSelection()) return;
  copy();
  DeleteSelection();
}

void CompactTextEdit::paste() {
  if (readOnly_) return;
  const QString text = QGuiApplication::clipboard()->text();
  if (!text.isEmpty()) InsertText(text);
}

bool CompactTextEdit::Find(const QString& needle, bool backward, bool matchCase) {
  if (needle.isEmpty() || needle.contains(u'\n') || needle.contains(u'\r')) return false;
  const std::string n = needle.toStdString();
  const std::int64_t from = OffsetOf(std::min(caret_, anchor_));
  const std::int64_t to = OffsetOf(std::max(caret_, anchor_));
  std::int64_t at = text_.Find(n, backward ? from : to, backward, matchCase);
  if (at < 0) at = text_.Find(n, backward ? text_.Bytes() : 0, backward, matchCase);  // once round
  if (at < 0) return false;
  anchor_ = PositionOf(at);
  caret_ = PositionOf(at + static_cast<std::int64_t>(n.size()));
  CaretMoved(true);
  return true;
}

// ---- Layout and view ---------------------------------------------------------------------

qreal CompactTextEdit::WrapWidth() const {
  return std::max<qreal>(viewport()->width() - 2 * kMargin, 4 * fontMetrics().averageCharWidth());
}

int CompactTextEdit::RowHeight() const { return std::max(1, fontMetrics().lineSpacing()); }

int CompactTextEdit::ViewRows() const { return std::max(1, (viewport()->height() - 2 * kMargin) / RowHeight()); }

void CompactTextEdit::InvalidateLayouts() { layouts_.clear(); }

QTextLayout* CompactTextEdit::Layout(std::int64_t line) const {
  const qreal width = WrapWidth();
  if (width != layoutWidth_) {
    layouts_.clear();
    layoutWidth_ = width;
  }
  if (const auto found = layouts_.find(line); found != layouts_.end()) return found->second.get();
  if (layouts_.size() >= kMaxLayouts) layouts_.clear();
  auto layout = std::make_unique<QTextLayout>(Paragraph(line), font());
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  option.setTabStopDistance(tabStop_);
  layout->setTextOption(option);
  layout->setCacheEnabled(true);
  const int rowHeight = RowHeight();
  layout->beginLayout();
  int y = 0;
  for (QTextLine row = layout->createLine(); row.isValid(); row = layout->createLine()) {
    row.setLineWidth(width);
    row.setPosition(QPointF(0, y));
    y += rowHeight;
  }
  layout->endLayout();
  return layouts_.emplace(line, std::move(layout)).first->second.get();
}

int CompactTextEdit::RowsOf(std::int64_t line) const { return std::max(1, Layout(line)->lineCount()); }

CompactTextEdit::Row CompactTextEdit::RowOfCaret(Position p) const {
  const QTextLine row = Layout(p.line)->lineForTextPosition(p.column);
  return {p.line, row.isValid() ? row.lineNumber() : RowsOf(p.line) - 1};
}

// The first row shown when the last row of the text is the view's last.
CompactTextEdit::Row CompactTextEdit::LastTop() const {
  const int view = ViewRows();
  int rows = 0;
  for (std::int64_t line = ParagraphCount() - 1; line >= 0; --line) {
    rows += RowsOf(line);
    if (rows >= view) return {line, rows - view};
  }
  return {};
}

void CompactTextEdit::UpdateScrollRange() {
  if (!isVisible()) {
    rangeDirty_ = true;  // measured when shown
    return;
  }
  rangeDirty_ = false;
  const Row last = LastTop();
  if (atEnd_ || top_ > last) top_ = last;
  atEnd_ = top_ >= last;
  settingBar_ = true;
  QScrollBar* bar = verticalScrollBar();
  bar->setRange(0, static_cast<int>(std::min<std::int64_t>(last.line, INT_MAX)));
  bar->setPageStep(ViewRows());
  bar->setValue(static_cast<int>(top_.line));
  settingBar_ = false;
  viewport()->update();
}

void CompactTextEdit::SetTop(Row top) {
  const Row last = LastTop();
  top = std::clamp(top, Row{}, last);
  top_ = top;
  atEnd_ = top_ >= last;
  settingBar_ = true;
  verticalScrollBar()->setValue(static_cast<int>(top_.line));
  settingBar_ = false;
  viewport()->update();
}

void CompactTextEdit::ScrollRows(std::int64_t rows) {
  Row t = top_;
  for (; rows > 0; --rows) {
    if (t.row + 1 < RowsOf(t.line))
      ++t.row;
    else if (t.line + 1 < ParagraphCount())
      t = {t.line + 1, 0};
    else
      break;
  }
  for (; rows < 0; ++rows) {
    if (t.row > 0)
      --t.row;
    else if (t.line > 0)
      t = {t.line - 1, RowsOf(t.line - 1) - 1};
    else
      break;
  }
  SetTop(t);
}

void CompactTextEdit::scrollContentsBy(int /*dx*/, int /*dy*/) {
  if (settingBar_) return;
  top_ = {verticalScrollBar()->value(), 0};
  atEnd_ = top_ >= LastTop();
  viewport()->update();
}

// Scrolls as little as puts the caret's row on show.
void CompactTextEdit::EnsureVisible(Position p) {
  const Row target = RowOfCaret(p);
  if (target < top_) {
    SetTop(target);
    return;
  }
  const int view = ViewRows();
  std::int64_t rows = view + 1;  // rows from the view's first to the target's, when near
  if (target.line - top_.line <= view) {
    rows = -top_.row;
    for (std::int64_t line = top_.line; line < target.line && rows <= view; ++line) rows += RowsOf(line);
    rows += target.row + 1;
  }
  if (rows <= view) return;
  Row t = target;
  for (int back = view - 1; back > 0;) {
    if (t.row >= back) {
      t.row -= back;
      break;
    }
    back -= t.row + 1;
    if (t.line == 0) {
      t = {};
      break;
    }
    t = {t.line - 1, RowsOf(t.line - 1) - 1};
  }
  SetTop(t);
}

CompactTextEdit::Position CompactTextEdit::PositionAt(QPoint point) const {
  const int rowHeight = RowHeight();
  int y = std::max(point.y() - kMargin, 0) + top_.row * rowHeight;
  for (std::int64_t line = top_.line;; ++line) {
    QTextLayout* const layout = Layout(line);
    const int height = RowsOf(line) * rowHeight;
    if (y < height || line + 1 == ParagraphCount()) {
      const int row = std::clamp(y / rowHeight, 0, std::max(0, layout->lineCount() - 1));
      const QTextLine textRow = layout->lineAt(row);
      return {line, textRow.isValid() ? textRow.xToCursor(point.x() - kMargin) : 0};
    }
    y -= height;
  }
}

QRect CompactTextEdit::CaretRect() const {
  const Row caret = RowOfCaret(caret_);
  if (caret < top_ || caret.line - top_.line > ViewRows()) return {};
  const int rowHeight = RowHeight();
  int y = kMargin - top_.row * rowHeight;
  for (std::int64_t line = top_.line; line < caret.line; ++line) y += RowsOf(line) * rowHeight;
  y += caret.row * rowHeight;
  const QTextLine row = Layout(caret_.line)->lineAt(caret.row);
  const int x = kMargin + (row.isValid() ? static_cast<int>(row.cursorToX(caret_.column)) : 0);
  return {x - 1, y, 3, rowHeight};
}

CompactTextEdit::Position CompactTextEdit::MovedVertically(Position p, int rows, qreal x) const {
  Row r = RowOfCaret(p);
  for (; rows > 0; --rows) {
    if (r.row + 1 < RowsOf(r.line))
      ++r.row;
    else if (r.line + 1 < ParagraphCount())
      r = {r.line + 1, 0};
    else
      return {r.line, LineLength(r.line)};  // below the last row: the end
  }
  for (; rows < 0; ++rows) {
    if (r.row > 0)
      --r.row;
    else if (r.line > 0)
      r = {r.line - 1, RowsOf(r.line - 1) - 1};
    else
      return {};  // above the first row: the start
  }
  const QTextLine row = Layout(r.line)->lineAt(r.row);
  return {r.line, row.isValid() ? row.xToCursor(x) : 0};
}

CompactTextEdit::Position CompactTextEdit::MovedHorizontally(Position p, bool forward, bool word) const {
  QTextLayout* const layout = Layout(p.line);
  const QTextLayout::CursorMode mode = word ? QTextLayout::SkipWords : QTextLayout::SkipCharacters;
  if (forward) {
    if (p.column < LineLength(p.line)) return {p.line, layout->nextCursorPosition(p.column, mode)};
    if (p.line + 1 < ParagraphCount()) return {p.line + 1, 0};
    return p;
  }
  if (p.column > 0) return {p.line, layout->previousCursorPosition(p.column, mode)};
  if (p.line > 0) return {p.line - 1, LineLength(p.line - 1)};
  return p;
}

// ---- Events -------------------------------------------------------------------------------

bool CompactTextEdit::event(QEvent* e) {
  if (e->type() == QEvent::ShortcutOverride) {
    // The keys the box handles itself are not taken by the window's shortcuts.
    auto* key = static_cast<QKeyEvent*>(e);
    const bool edits = !readOnly_ && !key->text().isEmpty() && key->text().at(0).isPrint() &&
                       !(key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier));
    const bool handled =
        edits ||
        MatchesAny(key, {QKeySequence::SelectAll, QKeySequence::Copy, QKeySequence::Cut, QKeySequence::Paste,
                         QKeySequence::Delete, QKeySequence::Backspace, QKeySequence::DeleteStartOfWord,
                         QKeySequence::DeleteEndOfWord, QKeySequence::InsertParagraphSeparator}) ||
        std::any_of(std::begin(kMoves), std::end(kMoves), [key](auto k) { return key->matches(k); }) ||
        std::any_of(std::begin(kSelects), std::end(kSelects), [key](auto k) { return key->matches(k); });
    if (handled) {
      e->accept();
      return true;
    }
  }
  return QAbstractScrollArea::event(e);
}

void CompactTextEdit::paintEvent(QPaintEvent* e) {
  if (rangeDirty_) UpdateScrollRange();
  QPainter painter(viewport());
  painter.setPen(palette().color(QPalette::Text));
  const Position from = std::min(caret_, anchor_);
  const Position to = std::max(caret_, anchor_);
  QTextCharFormat selected;
  selected.setBackground(palette().brush(QPalette::Highlight));
  selected.setForeground(palette().brush(QPalette::HighlightedText));
  const int rowHeight = RowHeight();
  const int bottom = e->rect().bottom();
  int y = kMargin - top_.row * rowHeight;
  for (std::int64_t line = top_.line; line < ParagraphCount() && y <= bottom; ++line) {
    QTextLayout* const layout = Layout(line);
    const int height = RowsOf(line) * rowHeight;
    if (y + height >= e->rect().top()) {
      QList<QTextLayout::FormatRange> ranges;
      if (HasSelection() && from.line <= line && line <= to.line) {
        const int begin = line == from.line ? from.column : 0;
        const int end = line == to.line ? to.column : static_cast<int>(layout->text().size());
        if (end > begin) ranges.append({begin, end - begin, selected});
        if (line < to.line) {
          // The line break is selected too: a blank's width after the paragraph's end.
          const QTextLine lastRow = layout->lineAt(layout->lineCount() - 1);
          const qreal x = kMargin + (lastRow.isValid() ? lastRow.naturalTextWidth() : 0);
          painter.fillRect(QRectF(x, y + height - rowHeight, fontMetrics().horizontalAdvance(u' '), rowHeight),
                           palette().brush(QPalette::Highlight));
        }
      }
      layout->draw(&painter, QPointF(kMargin, y), ranges);
      if (caretShown_ && line == caret_.line) layout->drawCursor(&painter, QPointF(kMargin, y), caret_.column, 1);
    }
    y += height;
  }
}

void CompactTextEdit::resizeEvent(QResizeEvent* e) {
  QAbstractScrollArea::resizeEvent(e);
  UpdateScrollRange();
}

void CompactTextEdit::showEvent(QShowEvent* e) {
  QAbstractScrollArea::showEvent(e);
  if (rangeDirty_) UpdateScrollRange();
}

void CompactTextEdit::changeEvent(QEvent* e) {
  QAbstractScrollArea::changeEvent(e);
  if (e->type() == QEvent::FontChange) {
    InvalidateLayouts();
    UpdateScrollRange();
  }
}

void CompactTextEdit::keyPressEvent(QKeyEvent* e) {
  // Moving, and selecting by moving.
  const bool select = std::any_of(std::begin(kSelects), std::end(kSelects), [e](auto k) { return e->matches(k); });
  const auto is = [e, select](QKeySequence::StandardKey move, QKeySequence::StandardKey extend) {
    return select ? e->matches(extend) : e->matches(move);
  };
  const bool move = select || std::any_of(std::begin(kMoves), std::end(kMoves), [e](auto k) { return e->matches(k); });
  if (move) {
    if (preferredX_ < 0) {
      const Row r = RowOfCaret(caret_);
      const QTextLine row = Layout(caret_.line)->lineAt(r.row);
      preferredX_ = row.isValid() ? row.cursorToX(caret_.column) : 0;
    }
    Position p = caret_;
    bool keepX = false;
    const bool collapse = HasSelection() && !select;
    if (is(QKeySequence::MoveToNextChar, QKeySequence::SelectNextChar)) {
      p = collapse ? std::max(caret_, anchor_) : MovedHorizontally(p, true, false);
    } else if (is(QKeySequence::MoveToPreviousChar, QKeySequence::SelectPreviousChar)) {
      p = collapse ? std::min(caret_, anchor_) : MovedHorizontally(p, false, false);
    } else if (is(QKeySequence::MoveToNextWord, QKeySequence::SelectNextWord)) {
      p = MovedHorizontally(p, true, true);
    } else if (is(QKeySequence::MoveToPreviousWord, QKeySequence::SelectPreviousWord)) {
      p = MovedHorizontally(p, false, true);
    } else if (is(QKeySequence::MoveToNextLine, QKeySequence::SelectNextLine)) {
      p = MovedVertically(p, 1, preferredX_);
      keepX = true;
    } else if (is(QKeySequence::MoveToPreviousLine, QKeySequence::SelectPreviousLine)) {
      p = MovedVertically(p, -1, preferredX_);
      keepX = true;
    } else if (is(QKeySequence::MoveToNextPage, QKeySequence::SelectNextPage)) {
      ScrollRows(ViewRows());
      p = MovedVertically(p, ViewRows(), preferredX_);
      keepX = true;
    } else if (is(QKeySequence::MoveToPreviousPage, QKeySequence::SelectPreviousPage)) {
      ScrollRows(-ViewRows());
      p = MovedVertically(p, -ViewRows(), preferredX_);
      keepX = true;
    } else if (is(QKeySequence::MoveToStartOfLine, QKeySequence::SelectStartOfLine) ||
               is(QKeySequence::MoveToStartOfBlock, QKeySequence::SelectStartOfBlock)) {
      p.column = 0;
    } else if (is(QKeySequence::MoveToEndOfLine, QKeySequence::SelectEndOfLine) ||
               is(QKeySequence::MoveToEndOfBlock, QKeySequence::SelectEndOfBlock)) {
      p.column = LineLength(p.line);
    } else if (is(QKeySequence::MoveToStartOfDocument, QKeySequence::SelectStartOfDocument)) {
      p = {};
    } else if (is(QKeySequence::MoveToEndOfDocument, QKeySequence::SelectEndOfDocument)) {
      p = {ParagraphCount() - 1, LineLength(ParagraphCount() - 1)};
    }
    caret_ = Clamped(p);
    CaretMoved(select, keepX);
  } else if (e->matches(QKeySequence::SelectAll)) {
    selectAll();
  } else if (e->matches(QKeySequence::Copy)) {
    copy();
  } else if (e->matches(QKeySequence::Cut)) {
    cut();
  } else if (e->matches(QKeySequence::Paste)) {
    paste();
  } else if (readOnly_) {
    e->ignore();
    return;
  } else if (e->matches(QKeySequence::Delete) || e->matches(QKeySequence::DeleteEndOfWord)) {
    if (!HasSelection()) {
      // Forward by a whole character as shown (a letter with its accents), or a word.
      const Position next = MovedHorizontally(caret_, true, e->matches(QKeySequence::DeleteEndOfWord));
      anchor_ = caret_;
      caret_ = next;
    }
    DeleteSelection();
  } else if (e->key() == Qt::Key_Backspace || e->matches(QKeySequence::DeleteStartOfWord)) {
    if (!HasSelection()) {
      // Back by one code point, so that an accent typed after its letter can be taken
      // back alone, or by a word.
      Position previous = MovedHorizontally(caret_, false, e->matches(QKeySequence::DeleteStartOfWord));
      if (!e->matches(QKeySequence::DeleteStartOfWord) && previous.line == caret_.line) {
        const QString line = Paragraph(caret_.line);
        previous.column = caret_.column - 1;
        if (previous.column > 0 && line.at(previous.column).isLowSurrogate() &&
            line.at(previous.column - 1).isHighSurrogate())
          --previous.column;
      }
      anchor_ = caret_;
      caret_ = previous;
    }
    DeleteSelection();
  } else if (e->matches(QKeySequence::InsertParagraphSeparator) || e->matches(QKeySequence::InsertLineSeparator)) {
    InsertText(QStringLiteral("\n"));
  } else if (e->key() == Qt::Key_Tab && !(e->modifiers() & ~Qt::KeypadModifier)) {
    InsertText(QStringLiteral("\t"));
  } else if (!e->text().isEmpty() && e->text().at(0).isPrint() &&
             !(e->modifiers() & (Qt::ControlModifier | Qt::MetaModifier))) {
    InsertText(e->text());
  } else {
    e->ignore();
    return;
  }
  e->accept();
}

void CompactTextEdit::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  setFocus(Qt::MouseFocusReason);
  const Position p = PositionAt(e->position().toPoint());
  if (sinceDoubleClick_.isValid() && sinceDoubleClick_.elapsed() < QGuiApplication::styleHints()->mouseDoubleClickInterval()) {
    // The third click: the whole paragraph with its line break.
    sinceDoubleClick_.invalidate();
    anchor_ = {p.line, 0};
    caret_ = p.line + 1 < ParagraphCount() ? Position{p.line + 1, 0} : Position{p.line, LineLength(p.line)};
    CaretMoved(true);
    return;
  }
  caret_ = Clamped(p);
  CaretMoved((e->modifiers() & Qt::ShiftModifier) != 0);
  dragging_ = true;
}

void CompactTextEdit::mouseMoveEvent(QMouseEvent* e) {
  if (!dragging_ || !(e->buttons() & Qt::LeftButton)) return;
  dragPoint_ = e->position().toPoint();
  if (dragPoint_.y() < 0 || dragPoint_.y() >= viewport()->height()) {
    if (!dragScroll_.isActive()) dragScroll_.start(kDragScrollMs, this);
    return;
  }
  dragScroll_.stop();
  caret_ = Clamped(PositionAt(dragPoint_));
  CaretMoved(true);
}

void CompactTextEdit::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  dragging_ = false;
  dragScroll_.stop();
}

void CompactTextEdit::mouseDoubleClickEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  const Position p = PositionAt(e->position().toPoint());
  const QString line = Paragraph(p.line);
  QTextBoundaryFinder words(QTextBoundaryFinder::Word, line);
  words.setPosition(p.column);
  const qsizetype start = words.isAtBoundary() && (words.boundaryReasons() & QTextBoundaryFinder::StartOfItem)
                              ? p.column
                              : words.toPreviousBoundary();
  words.setPosition(p.column);
  const qsizetype end = words.toNextBoundary();
  anchor_ = {p.line, static_cast<int>(std::max<qsizetype>(start, 0))};
  caret_ = {p.line, static_cast<int>(end < 0 ? line.size() : end)};
  CaretMoved(true);
  dragging_ = false;
  sinceDoubleClick_.start();
}

void CompactTextEdit::wheelEvent(QWheelEvent* e) {
  const int steps = e->angleDelta().y();
  if (steps == 0) {
    e->ignore();
    return;
  }
  // A notch (120) scrolls the system's number of rows; finer wheels scroll in proportion.
  const int rows = steps * QApplication::wheelScrollLines() / 120;
  ScrollRows(rows != 0 ? -rows : (steps > 0 ? -1 : 1));
  e->accept();
}

void CompactTextEdit::focusInEvent(QFocusEvent* e) {
  QAbstractScrollArea::focusInEvent(e);
  RestartBlink();
}

void CompactTextEdit::focusOutEvent(QFocusEvent* e) {
  QAbstractScrollArea::focusOutEvent(e);
  RestartBlink();
}

void CompactTextEdit::RestartBlink() {
  const bool on = hasFocus() && !readOnly_;
  caretShown_ = on;
  const int flash = QGuiApplication::styleHints()->cursorFlashTime();
  if (on && flash > 0)
    blink_.start(flash / 2, this);
  else
    blink_.stop();
  viewport()->update();
}

void CompactTextEdit::timerEvent(QTimerEvent* e) {
  if (e->timerId() == blink_.timerId()) {
    caretShown_ = !caretShown_;
    viewport()->update(CaretRect());
  } else if (e->timerId() == dragScroll_.timerId()) {
    // Dragging beyond the box scrolls it, the faster the farther.
    const int height = viewport()->height();
    const int beyond = dragPoint_.y() < 0 ? dragPoint_.y() : dragPoint_.y() - height + 1;
    ScrollRows(std::clamp(beyond / RowHeight(), -20, 20) + (beyond < 0 ? -1 : 1));
    caret_ = Clamped(PositionAt({dragPoint_.x(), std::clamp(dragPoint_.y(), 0, height - 1)}));
    CaretMoved(true);
  } else {
    QAbstractScrollArea::timerEvent(e);
  }
}

void CompactTextEdit::contextMenuEvent(QContextMenuEvent* e) {
  QMenu menu(this);
  const bool selection = HasSelection();
  menu.addAction(tr("Cu&t"), QKeySequence::Cut, this, &CompactTextEdit::cut)->setEnabled(selection && !readOnly_);
  menu.addAction(tr("&Copy"), QKeySequence::Copy, this, &CompactTextEdit::copy)->setEnabled(selection);
  menu.addAction(tr("&Paste"), QKeySequence::Paste, this, &CompactTextEdit::paste)
      ->setEnabled(!readOnly_ && !QGuiApplication::clipboard()->text().isEmpty());
  menu.addAction(tr("Delete"), this, &CompactTextEdit::DeleteSelection)->setEnabled(selection && !readOnly_);
  menu.addSeparator();
  menu.addAction(tr("Select All"), QKeySequence::SelectAll, this, &CompactTextEdit::selectAll);
  if (!actions().isEmpty()) {
    menu.addSeparator();
    menu.addActions(actions());
  }
  menu.exec(e->globalPos());
}

void CompactTextEdit::inputMethodEvent(QInputMethodEvent* e) {
  if (!readOnly_ && !e->commitString().isEmpty()) InsertText(e->commitString());
  e->accept();
}

QVariant CompactTextEdit::inputMethodQuery(Qt::InputMethodQuery query) const {
  switch (query) {
    case Qt::ImEnabled: return !readOnly_;
    case Qt::ImCursorRectangle: return CaretRect();
    case Qt::ImFont: return font();
    case Qt::ImCursorPosition: return caret_.column;
    case Qt::ImAnchorPosition: return anchor_.line == caret_.line ? anchor_.column : caret_.column;
    case Qt::ImSurroundingText: return Paragraph(caret_.line);
    case Qt::ImHints: return static_cast<int>(Qt::ImhMultiLine);
    default: return QAbstractScrollArea::inputMethodQuery(query);
  }
}

// Tab types a tab into an editable box rather than moving the focus on.
bool CompactTextEdit::focusNextPrevChild(bool next) {
  if (!readOnly_) return false;
  return QAbstractScrollArea::focusNextPrevChild(next);
}

}  // namespace veltrano
