#pragma once
// CompactTextEdit: a plain-text editor for texts of millions of lines. It keeps its text in
// a CompactText (UTF-8 in large blocks, 4 bytes of index a line) and lays out only the
// paragraphs on show, so neither memory nor time grows with a paragraph's layout.
//
// It behaves as a plain text box: typing, Enter, Tab, Backspace and Delete edit at the
// caret (replacing a selection); the arrows, Home, End, Page Up, Page Down and their Ctrl
// and Shift forms move the caret and select; the mouse places the caret, selects by
// dragging (scrolling when it leaves the box), a word by a double click and a paragraph by
// a triple click; Ctrl+A, Ctrl+C, Ctrl+X and Ctrl+V select all, copy, cut and paste (the
// keys are the platform's); the context menu offers the same, then the widget's own
// actions. Long paragraphs wrap at the box's width (at a blank, or anywhere in a word
// longer than the width). There is no undo: it would keep a copy of everything a run
// appends.
//
// Positions are a paragraph and a column, both from 0, the column counted in UTF-16 code
// units as QString counts them (a character outside the BMP counts 2, and the caret never
// stops between them). The vertical scroll bar counts paragraphs (its value is the first
// paragraph shown, as in a plain text box); the wheel and the keys scroll by screen rows,
// so a paragraph taller than the box can be read too. A view at the end of the text
// follows appended text.
//
// Signals: textChanged once per change of the text, whatever made it; cursorPositionChanged
// whenever the caret moves (keys, mouse, the program, or a change of the text).
#include "ui/CompactText.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QElapsedTimer>
#include <QString>

#include <compare>
#include <cstdint>
#include <memory>
#include <string_view>
#include <unordered_map>

class QTextLayout;

namespace veltrano {

class CompactTextEdit : public QAbstractScrollArea {
  Q_OBJECT

public:
  struct Position {
    std::int64_t line = 0;  // the paragraph
    int column = 0;         // UTF-16 code units before the caret within it
    friend auto operator<=>(const Position&, const Position&) = default;
  };

  explicit CompactTextEdit(QWidget* parent = nullptr);
  ~CompactTextEdit() override;

  /// The text as it stands.
  const CompactText& Text() const noexcept { return text_; }
  /// Paragraphs of the text (at least 1: an empty text has one empty paragraph).
  std::int64_t ParagraphCount() const noexcept { return text_.ParagraphCount(); }
  /// A paragraph's text.
  QString Paragraph(std::int64_t line) const;

  /// The whole text, paragraphs joined by "\n" (meant for small texts).
  QString toPlainText() const;
  /// Replaces the whole text; caret and view go to the start.
  void setPlainText(const QString& text);
  /// Replaces the whole text by one already made (a file's); caret and view go to the start.
  void SetText(CompactText&& text);
  /// Empties the text and gives back its memory.
  void clear();
  /// Adds UTF-8 text at the end, as one change; a view at the end of the text follows it,
  /// and so does a caret (or selection end) at the end; elsewhere they stay.
  void AppendUtf8(std::string_view utf8);
  /// Removes the text from the byte offset on, as one change (nothing when the text is not
  /// longer); a caret beyond the new end goes to it.
  void Truncate(std::int64_t bytes);

  bool isReadOnly() const noexcept { return readOnly_; }
  /// A read-only box takes no typing and shows no caret; selecting, copying and moving
  /// through the text still work.
  void setReadOnly(bool readOnly);
  qreal tabStopDistance() const noexcept { return tabStop_; }
  void setTabStopDistance(qreal distance);

  Position Caret() const noexcept { return caret_; }
  Position Anchor() const noexcept { return anchor_; }
  /// Moves the caret (kept within the text: a line past the end is the last, a column past
  /// its line's end is that end), selecting from the anchor when keepAnchor, and scrolls it
  /// into view.
  void SetCaret(Position position, bool keepAnchor = false);
  void MoveCaretToEnd(bool keepAnchor = false);
  bool HasSelection() const noexcept { return caret_ != anchor_; }
  QString SelectedText() const;
  /// Inserts text at the caret as typing does, replacing the selection ("\r\n" and "\r"
  /// become "\n"); nothing when read-only.
  void InsertText(const QString& text);
  /// Selects the next match of `needle` after the selection (backward: the one before
  /// it), going round the text's end once, and scrolls it into view. False, and nothing
  /// changed, when the text holds none. Without matchCase, ASCII letters match in either
  /// case. A needle with a line break is not found.
  bool Find(const QString& needle, bool backward = false, bool matchCase = false);

  /// The first paragraph on show, and how many of its screen rows are scrolled away.
  std::int64_t FirstVisibleLine() const noexcept { return top_.line; }
  int FirstVisibleRow() const noexcept { return top_.row; }
  /// The screen rows a paragraph takes at the box's width.
  int RowsOf(std::int64_t line) const;

public slots:
  void selectAll();
  void copy() const;
  void cut();
  void paste();

signals:
  void textChanged();
  void cursorPositionChanged();

protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
  void scrollContentsBy(int dx, int dy) override;
  bool focusNextPrevChild(bool next) override;

private:
  // A screen row: a paragraph and one of its rows.
  struct Row {
    std::int64_t line = 0;
    int row = 0;
    friend auto operator<=>(const Row&, const Row&) = default;
  };

  // Text and positions.
  std::int64_t OffsetOf(Position p) const;
  Position PositionOf(std::int64_t offset) const;
  int LineLength(std::int64_t line) const;
  Position Clamped(Position p) const;
  void ReplaceRange(std::int64_t from, std::int64_t to, std::string_view utf8);
  void ReplaceSelection(const QString& text);
  void DeleteSelection();
  void ResetAfterNewText();
  void CaretMoved(bool keepAnchor, bool keepX = false);

  // Layout and view.
  QTextLayout* Layout(std::int64_t line) const;
  void InvalidateLayouts();
  qreal WrapWidth() const;
  int RowHeight() const;
  int ViewRows() const;
  Row LastTop() const;
  Row RowOfCaret(Position p) const;
  void SetTop(Row top);
  void ScrollRows(std::int64_t rows);
  void UpdateScrollRange();
  void EnsureVisible(Position p);
  Position PositionAt(QPoint point) const;
  QRect CaretRect() const;
  Position MovedVertically(Position p, int rows, qreal x) const;
  Position MovedHorizontally(Position p, bool forward, bool word) const;

  // Caret blinking.
  void RestartBlink();

  CompactText text_;
  Position caret_;
  Position anchor_;
  qreal preferredX_ = -1;  // the x the caret keeps on vertical moves
  Row top_;
  bool atEnd_ = true;  // the view shows the end of the text (and follows it)
  bool rangeDirty_ = true;
  bool settingBar_ = false;
  bool readOnly_ = false;
  qreal tabStop_ = 80;
  bool caretShown_ = false;
  QBasicTimer blink_;
  QBasicTimer dragScroll_;
  QPoint dragPoint_;
  bool dragging_ = false;
  QElapsedTimer sinceDoubleClick_;
  mutable std::unordered_map<std::int64_t, std::unique_ptr<QTextLayout>> layouts_;
  mutable qreal layoutWidth_ = -1;
};

}  // namespace veltrano
