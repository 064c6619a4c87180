// The compact text of the text panes and its editor, on the offscreen platform. The store
// is checked against a plain string under random edits that cross its blocks; the editor
// by keys, mouse, clipboard, scrolling and find as a user works it.
#include "ui/CompactText.h"
#include "ui/CompactTextEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QtTest>

#include <random>
#include <string>

using veltrano::CompactText;
using veltrano::CompactTextEdit;
using Position = CompactTextEdit::Position;

Q_DECLARE_METATYPE(Position)

namespace {

// Every paragraph, offset and search of the store against the same text as a string.
QString Mismatch(const CompactText& t, const std::string& ref, std::mt19937& rng) {
  if (t.Bytes() != static_cast<std::int64_t>(ref.size())) return QStringLiteral("size");
  if (t.Slice(0, t.Bytes()) != ref) return QStringLiteral("text");
  std::int64_t start = 0;
  std::int64_t paragraph = 0;
  for (std::size_t at = 0;; ++paragraph) {
    const std::size_t end = std::min(ref.find('\n', at), ref.size());
    if (t.ParagraphStart(paragraph) != start) return QStringLiteral("start of paragraph %1").arg(paragraph);
    if (t.Paragraph(paragraph) != std::string_view(ref).substr(at, end - at))
      return QStringLiteral("paragraph %1").arg(paragraph);
    if (t.ParagraphAt(static_cast<std::int64_t>(end)) != paragraph) return QStringLiteral("offset %1").arg(end);
    if (end == ref.size()) break;
    at = end + 1;
    start = static_cast<std::int64_t>(at);
  }
  if (t.ParagraphCount() != paragraph + 1) return QStringLiteral("paragraph count");
  for (std::size_t b = 0; b + 1 < t.BlockCount(); ++b)
    if (t.Block(b).empty() || t.Block(b).back() != '\n') return QStringLiteral("block %1 not ended").arg(b);
  // Searches from random places, both ways, with and without case.
  const char* const needles[] = {"ab", "AB", "\xC3\xB1x", "b\tc", "zz"};
  for (int i = 0; i < 6; ++i) {
    const std::string needle = needles[rng() % std::size(needles)];
    const auto from = static_cast<std::int64_t>(rng() % (ref.size() + 1));
    const bool matchCase = rng() % 2 == 0;
    const auto folded = [&](std::string s) {
      if (!matchCase)
        for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
      return s;
    };
    const std::string hay = folded(ref);
    const std::string n = folded(needle);
    const std::size_t forward = hay.find(n, static_cast<std::size_t>(from));
    const std::size_t backward = from == 0 ? std::string::npos : hay.rfind(n, static_cast<std::size_t>(from - 1));
    const auto expect = [](std::size_t p) { return p == std::string::npos ? std::int64_t{-1} : std::int64_t(p); };
    if (t.Find(needle, from, false, matchCase) != expect(forward)) return QStringLiteral("find from %1").arg(from);
    if (t.Find(needle, from, true, matchCase) != expect(backward)) return QStringLiteral("find back from %1").arg(from);
  }
  return {};
}

std::string RandomText(std::mt19937& rng, std::size_t bytes, int breakEvery) {
  const char* const pieces[] = {"ab", "AB", "c", "b\tc", "\xC3\xB1x", "\xF0\x9F\x98\x80", " ", "0.123"};
  std::string s;
  while (s.size() < bytes) {
    s += rng() % static_cast<unsigned>(breakEvery) == 0 ? "\n" : pieces[rng() % std::size(pieces)];
  }
  return s;
}

// A widget shown at a fixed size, holding `text`.
struct Editor {
  CompactTextEdit e;
  explicit Editor(const QString& text, QSize size = {300, 200}) {
    e.resize(size);
    e.setPlainText(text);
    e.show();
    QVERIFY(QTest::qWaitForWindowExposed(&e));
  }
};

}  // namespace

class CompactTextTest : public QObject {
  Q_OBJECT

private slots:
  void randomEditsMatchAPlainString();
  void editingKeys_data();
  void editingKeys();
  void readOnlyTakesNoTyping();
  void clipboardRoundTrip();
  void mouseSelects();
  void viewFollowsTheEndUntilScrolledAway();
  void tallParagraphScrollsRowByRow();
  void findSelectsAndGoesRound();
};

// Replacements of every kind, in blocks of many sizes: inserts with and without line
// breaks, deletions across blocks, large appends, paragraphs longer than a block.
void CompactTextTest::randomEditsMatchAPlainString() {
  std::mt19937 rng(20240611);
  CompactText t;
  std::string ref;
  for (int step = 0; step < 400; ++step) {
    const auto size = static_cast<std::int64_t>(ref.size());
    const auto at = [&] { return static_cast<std::int64_t>(rng() % (ref.size() + 1)); };
    std::int64_t from = at();
    std::int64_t to = from;
    std::string text;
    switch (rng() % 6) {
      case 0: text = RandomText(rng, rng() % 40, 8); break;                          // typing
      case 1: to = std::min(size, from + static_cast<std::int64_t>(rng() % 200)); break;  // a small deletion
      case 2:                                                                       // a large one, across blocks
        to = std::min(size, from + static_cast<std::int64_t>(rng() % 300000));
        break;
      case 3: from = to = size; text = RandomText(rng, rng() % 200000, 30); break;  // a run's chunk
      case 4: from = to = size; text = RandomText(rng, 70000 + rng() % 100000, 1 << 30); break;  // one long paragraph
      default: to = std::min(size, from + 3); text = RandomText(rng, rng() % 5000, 50); break;
    }
    // Never split a character: move both ends to character starts.
    const auto start = [&](std::int64_t p) {
      while (p < size && (static_cast<unsigned char>(ref[static_cast<std::size_t>(p)]) & 0xC0) == 0x80) ++p;
      return p;
    };
    from = start(from);
    to = std::max(from, start(to));
    t.Replace(from, to, text);
    ref.replace(static_cast<std::size_t>(from), static_cast<std::size_t>(to - from), text);
    if (ref.size() > 2000000) {
      t.Replace(1000, static_cast<std::int64_t>(ref.size()) - 1000, "");
      ref.erase(1000, ref.size() - 2000);
    }
    if (step % 20 == 0 || step == 399) {
      const QString mismatch = Mismatch(t, ref, rng);
      QVERIFY2(mismatch.isEmpty(), qPrintable(QStringLiteral("step %1: %2").arg(step).arg(mismatch)));
    }
  }
  QVERIFY(t.BlockCount() > 3);
  t.Clear();
  QCOMPARE(t.Bytes(), std::int64_t{0});
  QCOMPARE(t.ParagraphCount(), std::int64_t{1});
  QCOMPARE(t.Paragraph(0), std::string_view());
}

void CompactTextTest::editingKeys_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<Position>("caret");
  QTest::addColumn<QTestEventList>("keys");
  QTest::addColumn<QString>("result");
  QTest::addColumn<Position>("after");
  // Keys pressed in order; a step with text types it.
  struct Step {
    Step(Qt::Key k, Qt::KeyboardModifiers m) : key(k), modifiers(m) {}
    explicit Step(const char* typed) : text(QString::fromUtf8(typed)) {}
    Qt::Key key = Qt::Key_unknown;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
    QString text;
  };
  const auto keys = [](std::initializer_list<Step> steps) {
    QTestEventList events;
    for (const Step& s : steps) {
      if (s.text.isEmpty())
        events.addKeyClick(s.key, s.modifiers);
      else
        events.addKeyClicks(s.text);
    }
    return events;
  };
  const auto type = [](const char* text) { return Step(text); };
  const Qt::KeyboardModifiers none = Qt::NoModifier;
  const Qt::KeyboardModifiers shift = Qt::ShiftModifier;
  QTest::newRow("typing in the middle") << "abc" << Position{0, 1} << keys({type("XY")}) << "aXYbc" << Position{0, 3};
  QTest::newRow("Enter splits the line") << "abc" << Position{0, 1} << keys({{Qt::Key_Return, none}}) << "a\nbc"
                                         << Position{1, 0};
  QTest::newRow("Backspace at a line's start joins") << "a\nbc" << Position{1, 0}
                                                     << keys({{Qt::Key_Backspace, none}}) << "abc" << Position{0, 1};
  QTest::newRow("Delete at a line's end joins") << "a\nbc" << Position{0, 1} << keys({{Qt::Key_Delete, none}})
                                                << "abc" << Position{0, 1};
  QTest::newRow("Backspace takes a character outside the BMP whole")
      << QString::fromUtf8("a\xF0\x9F\x98\x80" "b") << Position{0, 3} << keys({{Qt::Key_Backspace, none}}) << "ab"
      << Position{0, 1};
  QTest::newRow("Right steps over a character outside the BMP")
      << QString::fromUtf8("\xF0\x9F\x98\x80" "b") << Position{0, 0} << keys({{Qt::Key_Right, none}, type("x")})
      << QString::fromUtf8("\xF0\x9F\x98\x80" "xb") << Position{0, 3};
  QTest::newRow("typing replaces a selection")
      << "abcd" << Position{0, 1} << keys({{Qt::Key_Right, shift}, {Qt::Key_Right, shift}, type("Z")}) << "aZd"
      << Position{0, 2};
  QTest::newRow("a selection across lines, deleted")
      << "ab\ncd\nef" << Position{0, 1} << keys({{Qt::Key_Down, shift}, {Qt::Key_Delete, none}}) << "ad\nef"
      << Position{0, 1};
  QTest::newRow("Down twice keeps the column over a shorter line")
      << "abcd\nxy\nlong line" << Position{0, 3} << keys({{Qt::Key_Down, none}, {Qt::Key_Down, none}, type("!")})
      << "abcd\nxy\nlon!g line" << Position{2, 4};
  QTest::newRow("Up on the first line goes to its start")
      << "abcd\nxy" << Position{0, 3} << keys({{Qt::Key_Up, none}, type("!")}) << "!abcd\nxy" << Position{0, 1};
  QTest::newRow("End, Home, Ctrl+End")
      << "one\ntwo" << Position{0, 1}
      << keys({{Qt::Key_End, none}, type("1"), {Qt::Key_Home, none}, type("0"), {Qt::Key_End, Qt::ControlModifier},
               type("!")})
      << "0one1\ntwo!" << Position{1, 4};
  QTest::newRow("Tab types a tab") << "ab" << Position{0, 1} << keys({{Qt::Key_Tab, none}}) << "a\tb" << Position{0, 2};
}

void CompactTextTest::editingKeys() {
  QFETCH(QString, text);
  QFETCH(Position, caret);
  QFETCH(QTestEventList, keys);
  QFETCH(QString, result);
  QFETCH(Position, after);
  Editor w(text);
  int changes = 0;
  connect(&w.e, &CompactTextEdit::textChanged, [&] { ++changes; });
  w.e.SetCaret(caret);
  keys.simulate(&w.e);
  QCOMPARE(w.e.toPlainText(), result);
  QCOMPARE(w.e.Caret().line, after.line);
  QCOMPARE(w.e.Caret().column, after.column);
  QVERIFY(changes > 0);
}

void CompactTextTest::readOnlyTakesNoTyping() {
  Editor w(QStringLiteral("abc\ndef"));
  w.e.setReadOnly(true);
  int changes = 0;
  connect(&w.e, &CompactTextEdit::textChanged, [&] { ++changes; });
  QTest::keyClicks(&w.e, "xy");
  for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Backspace, Qt::Key_Delete, Qt::Key_Return, Qt::Key_Tab})
    QTest::keyClick(&w.e, key);
  w.e.InsertText(QStringLiteral("no"));
  QCOMPARE(w.e.toPlainText(), QStringLiteral("abc\ndef"));
  QCOMPARE(changes, 0);
  QCOMPARE(w.e.Caret().line, std::int64_t{1});  // the caret still moves
}

void CompactTextTest::clipboardRoundTrip() {
  Editor w(QStringLiteral("first\nsecond\n"));
  w.e.SetCaret({0, 2});
  w.e.SetCaret({1, 3}, true);
  QCOMPARE(w.e.SelectedText(), QStringLiteral("rst\nsec"));
  QTest::keyClick(&w.e, Qt::Key_X, Qt::ControlModifier);
  QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("rst\nsec"));
  QCOMPARE(w.e.toPlainText(), QStringLiteral("fiond\n"));
  QTest::keyClick(&w.e, Qt::Key_End, Qt::ControlModifier);
  QApplication::clipboard()->setText(QStringLiteral("a\r\nb"));  // line breaks of another system
  QTest::keyClick(&w.e, Qt::Key_V, Qt::ControlModifier);
  QCOMPARE(w.e.toPlainText(), QStringLiteral("fiond\na\nb"));
  QTest::keyClick(&w.e, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(&w.e, Qt::Key_C, Qt::ControlModifier);
  QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("fiond\na\nb"));
}

void CompactTextTest::mouseSelects() {
  Editor w(QStringLiteral("alpha beta gamma\nsecond line"));
  QWidget* const view = w.e.viewport();
  const QFontMetrics metrics(w.e.font());
  const int rowHeight = metrics.lineSpacing();
  const auto at = [&](const QString& before, int row) {
    return QPoint(4 + metrics.horizontalAdvance(before), 4 + row * rowHeight + rowHeight / 2);
  };
  QTest::mouseClick(view, Qt::LeftButton, {}, at(QStringLiteral("alpha be"), 0));
  QCOMPARE(w.e.Caret(), (Position{0, 8}));
  QTest::mouseClick(view, Qt::LeftButton, Qt::ShiftModifier, at(QStringLiteral("sec"), 1));
  QCOMPARE(w.e.SelectedText(), QStringLiteral("ta gamma\nsec"));
  // Dragging from a word to the next line selects between.
  QTest::mousePress(view, Qt::LeftButton, {}, at(QStringLiteral("alpha beta g"), 0));
  QMouseEvent move(QEvent::MouseMove, at(QStringLiteral("second"), 1), view->mapToGlobal(at(QStringLiteral("second"), 1)),
                   Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(view, &move);
  QTest::mouseRelease(view, Qt::LeftButton, {}, at(QStringLiteral("second"), 1));
  QCOMPARE(w.e.SelectedText(), QStringLiteral("amma\nsecond"));
  // A double click takes the word, a third click the paragraph with its line break.
  QTest::mouseDClick(view, Qt::LeftButton, {}, at(QStringLiteral("alpha be"), 0));
  QCOMPARE(w.e.SelectedText(), QStringLiteral("beta"));
  QTest::mousePress(view, Qt::LeftButton, {}, at(QStringLiteral("alpha be"), 0));
  QCOMPARE(w.e.SelectedText(), QStringLiteral("alpha beta gamma\n"));
}

// A view at the end follows appended text; once scrolled away it stays where the user
// put it.
void CompactTextTest::viewFollowsTheEndUntilScrolledAway() {
  Editor w{QString()};
  std::string lines;
  for (int i = 0; i < 10000; ++i) lines += "line " + std::to_string(i) + "\n";
  w.e.AppendUtf8(lines);
  QScrollBar* bar = w.e.verticalScrollBar();
  QCOMPARE(bar->value(), bar->maximum());
  QVERIFY(w.e.FirstVisibleLine() > 9980);
  w.e.AppendUtf8("one more\n");
  QCOMPARE(bar->value(), bar->maximum());
  QVERIFY(w.e.FirstVisibleLine() > 9981);

  QTest::keyClick(&w.e, Qt::Key_Home, Qt::ControlModifier);
  QCOMPARE(w.e.FirstVisibleLine(), std::int64_t{0});
  w.e.AppendUtf8(lines);
  QCOMPARE(w.e.FirstVisibleLine(), std::int64_t{0});
  bar->setValue(5000);  // the scroll bar counts paragraphs
  QCOMPARE(w.e.FirstVisibleLine(), std::int64_t{5000});
  QCOMPARE(w.e.Paragraph(5000), QStringLiteral("line 5000"));
}

// A paragraph longer than the box is high is read by scrolling its rows.
void CompactTextTest::tallParagraphScrollsRowByRow() {
  Editor w(QStringLiteral("before\n") + QString(20000, u'x') + QStringLiteral("\nafter"), {200, 120});
  const int rows = w.e.RowsOf(1);
  QVERIFY2(rows > 50, qPrintable(QString::number(rows)));
  w.e.SetCaret({1, 0});
  QTest::keyClick(&w.e, Qt::Key_Home, Qt::ControlModifier);
  for (int i = 0; i < 10; ++i) {
    QWheelEvent wheel(QPointF(50, 50), w.e.viewport()->mapToGlobal(QPointF(50, 50)), {}, QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w.e.viewport(), &wheel);
  }
  QCOMPARE(w.e.FirstVisibleLine(), std::int64_t{1});
  QVERIFY(w.e.FirstVisibleRow() > 10);
  // The caret moved down the paragraph brings the view along.
  w.e.SetCaret({1, 0});
  for (int i = 0; i < 40; ++i) QTest::keyClick(&w.e, Qt::Key_Down);
  QCOMPARE(w.e.Caret().line, std::int64_t{1});
  QVERIFY(w.e.FirstVisibleRow() > 30);
}

void CompactTextTest::findSelectsAndGoesRound() {
  Editor w(QStringLiteral("Delta one\ndelta two\nno match\nDELTA three"));
  QVERIFY(w.e.Find(QStringLiteral("delta")));
  QCOMPARE(w.e.Anchor(), (Position{0, 0}));
  QCOMPARE(w.e.Caret(), (Position{0, 5}));
  QVERIFY(w.e.Find(QStringLiteral("delta")));
  QCOMPARE(w.e.Anchor(), (Position{1, 0}));
  QVERIFY(w.e.Find(QStringLiteral("delta")));
  QCOMPARE(w.e.Anchor(), (Position{3, 0}));
  QVERIFY(w.e.Find(QStringLiteral("delta")));  // round the end
  QCOMPARE(w.e.Anchor(), (Position{0, 0}));
  QVERIFY(w.e.Find(QStringLiteral("delta"), true));  // backward, round the start
  QCOMPARE(w.e.Anchor(), (Position{3, 0}));
  QVERIFY(w.e.Find(QStringLiteral("delta"), false, true));  // matching case
  QCOMPARE(w.e.Anchor(), (Position{1, 0}));
  QVERIFY(!w.e.Find(QStringLiteral("gamma")));
  QCOMPARE(w.e.SelectedText(), QStringLiteral("delta"));  // a failed search changes nothing
}

QTEST_MAIN(CompactTextTest)
#include "tst_compacttext.moc"
