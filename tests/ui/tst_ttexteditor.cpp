// Tests of the text pane TTextEditor on the offscreen platform. Dialogs are answered by
// a scripted stand-in that records what the pane asked, in order.
#include "ui/TTextEditor.h"

#include "FileSizeLimit.h"
#include "ui/CompactTextEdit.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QCheckBox>
#include <QLineEdit>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>

#include <memory>
#include <optional>

using veltrano::CompactTextEdit;
using veltrano::FileDialogSettings;
using veltrano::TextEditorDialogs;
using veltrano::TextFileError;
using veltrano::TTextEditor;

namespace {

const QString kMark = QStringLiteral("  *");
const QString kAskOpen = QStringLiteral("warning:Save existing text?");
const QString kAskClear = QStringLiteral("warning:Save text?");

// Answers every question at once and keeps a log: "warning:<text>", "open:<proposed
// name>", "save:<proposed name>", "error:<message>".
class ScriptedDialogs final : public TextEditorDialogs {
public:
  QMessageBox::StandardButton answer = QMessageBox::Cancel;
  std::optional<QString> openName;
  std::optional<QString> saveName;
  QStringList calls;
  FileDialogSettings saveSettings;

  std::optional<QString> OpenFileName(QWidget*, const QString& current,
                                      const FileDialogSettings&) override {
    calls << QStringLiteral("open:") + current;
    return openName;
  }
  std::optional<QString> SaveFileName(QWidget*, const QString& current,
                                      const FileDialogSettings& settings) override {
    calls << QStringLiteral("save:") + current;
    saveSettings = settings;
    return saveName;
  }
  QMessageBox::StandardButton Warning(QWidget*, const QString& text) override {
    calls << QStringLiteral("warning:") + text;
    return answer;
  }
  void Error(QWidget*, const QString& message) override {
    calls << QStringLiteral("error:") + message;
  }
};

struct Pane {
  TTextEditor editor;
  std::shared_ptr<ScriptedDialogs> dialogs = std::make_shared<ScriptedDialogs>();
  Pane() { editor.SetDialogs(dialogs); }

  QString caret() const { return editor.StatusPanel0->text(); }
  QString mark() const { return editor.StatusPanel1->text(); }
  QString shortName() const { return editor.StatusPanel2->text(); }
  QString hint() const { return editor.StatusBar1->toolTip(); }
  bool toggleShows(int image) const {
    return editor.ToolButton1->icon().cacheKey() == editor.ToggleImage(image).cacheKey();
  }
};

bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

using veltrano::testing::FileSizeLimit;

QStringList Expand(QStringList calls, const QString& start, const QString& saved) {
  for (QString& call : calls) call.replace("START", start).replace("SAVED", saved);
  return calls;
}

}  // namespace

class TextEditorTest : public QObject {
  Q_OBJECT

private slots:
  void startsEmptyWithNamedControls();
  void initPreparesWithoutTouchingText();
  void caretText_data();
  void caretText();
  void caretPanelFollowsTheCaret();
  void shortFileName_data();
  void shortFileName();
  void buttonsAndMarkFollowText_data();
  void buttonsAndMarkFollowText();
  void everyChangeMarksModified();
  void toolButtonTogglesToolBar();
  void open_data();
  void open();
  void loadThenSaveRoundTrip_data();
  void loadThenSaveRoundTrip();
  void save_data();
  void save();
  void clear_data();
  void clear();
  void failedSaveKeepsEarlierFileAndState_data();
  void failedSaveKeepsEarlierFileAndState();
  void failedOpenKeepsTextAndStatus();
  void buttonsReportErrorsInsteadOfThrowing();
  void chunkedAppendEqualsPerLineAppend_data();
  void chunkedAppendEqualsPerLineAppend();
  void appendedLinesAreTheTextInOrder();
  void findBarFindsInTheText();
  void qtNameFilter_data();
  void qtNameFilter();
};

void TextEditorTest::startsEmptyWithNamedControls() {
  Pane p;
  TTextEditor& e = p.editor;
  e.resize(400, 300);
  e.show();
  QVERIFY(QTest::qWaitForWindowExposed(&e));

  QCOMPARE(e.findChild<CompactTextEdit*>("Memo1"), e.Memo1);
  QCOMPARE(e.findChild<QToolBar*>("ToolBar1"), e.ToolBar1);
  QCOMPARE(e.findChild<QToolBar*>("ToolBar2"), e.ToolBar2);
  QCOMPARE(e.findChild<QWidget*>("Panel1"), e.Panel1);
  QCOMPARE(e.findChild<QStatusBar*>("StatusBar1"), e.StatusBar1);
  for (const char* name : {"tbOpen", "tbSave", "tbDel", "ToolButton1"})
    QVERIFY2(e.findChild<QAction*>(name), name);
  for (const char* name : {"StatusPanel0", "StatusPanel1", "StatusPanel2"})
    QVERIFY2(e.findChild<QLabel*>(name), name);

  QCOMPARE(e.Panel1->height(), 21);
  QCOMPARE(e.ToolBar2->width(), 25);
  QCOMPARE(e.StatusPanel0->width(), 75);  // at least; a longer position widens it
  QCOMPARE(e.StatusPanel1->width(), 20);
  QVERIFY(e.StatusPanel2->width() >= 50);
  QVERIFY(e.Memo1->geometry().bottom() < e.Panel1->geometry().top());
  QCOMPARE(e.Memo1->height() + e.Panel1->height(), e.height());  // tool bar hidden
  QCOMPARE(e.Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  QVERIFY(e.FindBar->isHidden());

  QVERIFY(!e.ToolBar1->isVisible());
  QVERIFY(p.toggleShows(0));
  QVERIFY(!e.tbDel->isVisible());
  QVERIFY(!e.tbSave->isVisible());
  QVERIFY(e.tbOpen->isVisible());
  QCOMPARE(e.GetArchivo(), QString());
  QVERIFY(!e.GetModificado());
  QCOMPARE(p.caret(), QStringLiteral("    1:    1"));
  QCOMPARE(p.mark(), QString());
  QCOMPARE(e.LineCount(), 0);
}

void TextEditorTest::initPreparesWithoutTouchingText() {
  Pane p;
  TTextEditor& e = p.editor;
  e.AppendLines({"keep", "these"});
  e.SetArchivo("somewhere.txt");
  e.StatusBar1->setToolTip("somewhere.txt");
  e.OpenDialog1 = e.SaveDialog1 = {};

  e.Init();

  QCOMPARE(e.Lines(), QStringList({"keep", "these"}));
  QCOMPARE(e.GetArchivo(), QString());
  QVERIFY(!e.GetModificado());
  QCOMPARE(p.mark(), QString());
  QCOMPARE(p.hint(), QString());
  QVERIFY(e.tbDel->isVisible());
  QVERIFY(!e.tbSave->isVisible());
  for (const FileDialogSettings* s : {&e.OpenDialog1, &e.SaveDialog1}) {
    QCOMPARE(s->DefaultExt, QStringLiteral(".txt"));
    QCOMPARE(s->Filter, QStringLiteral("Todos los archivos (*.*)|*.*"));
  }
}

void TextEditorTest::caretText_data() {
  QTest::addColumn<int>("line");
  QTest::addColumn<int>("column");
  QTest::addColumn<QString>("text");
  QTest::newRow("top left") << 1 << 1 << "    1:    1";
  QTest::newRow("line 12, column 7") << 12 << 7 << "   12:    7";
  QTest::newRow("five digits fill the field") << 99999 << 10000 << "99999:10000";
  QTest::newRow("more than five digits are never cut") << 504124 << 1000001 << "504124:1000001";
}

void TextEditorTest::caretText() {
  QFETCH(int, line);
  QFETCH(int, column);
  QFETCH(QString, text);
  QCOMPARE(veltrano::CaretText(line, column), text);
}

void TextEditorTest::caretPanelFollowsTheCaret() {
  Pane p;
  QStringList lines;
  for (int i = 1; i <= 20; ++i) lines << QStringLiteral("line %1 of the text").arg(i);
  p.editor.AppendLines(lines);

  p.editor.Memo1->SetCaret({11, 6});
  QCOMPARE(p.caret(), QStringLiteral("   12:    7"));

  // Typing moves the caret and changes the text; both reach the panel.
  QTest::keyClicks(p.editor.Memo1, "ab");
  QCOMPARE(p.caret(), QStringLiteral("   12:    9"));
}

void TextEditorTest::shortFileName_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QString>("shown");
  const QString thirty = "/home/ana/results/run-0001.txt";      // 30 characters
  const QString thirtyOne = "/home/ana/results/run-00012.txt";  // 31 characters
  QTest::newRow("30 characters: whole") << thirty << thirty;
  QTest::newRow("31 characters: 5 + ... + 23") << thirtyOne << "/home...a/results/run-00012.txt";
  QTest::newRow("empty") << QString() << QString();
  // 34 characters, two of them outside the BMP (two UTF-16 units each).
  QTest::newRow("characters, not UTF-16 units")
      << QString::fromUtf8("/d\xF0\x9F\x93\x8A" "a/0123456789012345678901234567\xF0\x9F\x93\x88")
      << QString::fromUtf8("/d\xF0\x9F\x93\x8A" "a/...6789012345678901234567\xF0\x9F\x93\x88");
}

void TextEditorTest::shortFileName() {
  QFETCH(QString, name);
  QFETCH(QString, shown);
  QCOMPARE(veltrano::ShortFileName(name), shown);
}

void TextEditorTest::buttonsAndMarkFollowText_data() {
  QTest::addColumn<QStringList>("lines");
  QTest::addColumn<bool>("modified");
  QTest::addColumn<bool>("del");
  QTest::addColumn<bool>("save");
  QTest::addColumn<QString>("mark");
  QTest::newRow("empty, modified: neither button") << QStringList() << true << false << false << kMark;
  QTest::newRow("empty, unmodified") << QStringList() << false << false << false << QString();
  QTest::newRow("one empty line counts as a line") << QStringList{""} << true << true << true << kMark;
  QTest::newRow("text, modified") << QStringList{"a", "b"} << true << true << true << kMark;
  QTest::newRow("text, unmodified") << QStringList{"a", "b"} << false << true << false << QString();
}

void TextEditorTest::buttonsAndMarkFollowText() {
  QFETCH(QStringList, lines);
  QFETCH(bool, modified);
  QFETCH(bool, del);
  QFETCH(bool, save);
  QFETCH(QString, mark);
  Pane p;
  p.editor.AppendLines(lines);
  p.editor.SetModificado(modified);
  QCOMPARE(p.editor.GetModificado(), modified);
  QCOMPARE(p.editor.tbDel->isVisible(), del);
  QCOMPARE(p.editor.tbSave->isVisible(), save);
  QCOMPARE(p.mark(), mark);
}

void TextEditorTest::everyChangeMarksModified() {
  Pane p;
  TTextEditor& e = p.editor;
  e.ToolButton1Click();  // tool bar shown, as a user would have it to save

  e.AppendText("run line 1\nrun line 2\n");
  QVERIFY(e.GetModificado());
  QCOMPARE(p.mark(), kMark);
  QVERIFY(e.tbSave->isVisible());

  e.SetModificado(false);
  e.AppendLine("one more");
  QVERIFY(e.GetModificado());

  e.SetModificado(false);
  e.Memo1->MoveCaretToEnd();
  QTest::keyClicks(e.Memo1, "typed");
  QVERIFY(e.GetModificado());
  QCOMPARE(e.Lines(), QStringList({"run line 1", "run line 2", "one more", "typed"}));
}

void TextEditorTest::toolButtonTogglesToolBar() {
  Pane p;
  p.editor.show();
  QVERIFY(QTest::qWaitForWindowExposed(&p.editor));
  QVERIFY(p.editor.ToolBar1->isHidden());

  p.editor.ToolButton1->trigger();
  QVERIFY(p.editor.ToolBar1->isVisible());
  QVERIFY(p.toggleShows(1));
  QVERIFY(p.editor.Memo1->geometry().bottom() < p.editor.ToolBar1->geometry().top());

  p.editor.ToolButton1->trigger();
  QVERIFY(p.editor.ToolBar1->isHidden());
  QVERIFY(p.toggleShows(0));
  QVERIFY(p.editor.ToggleImage(0).cacheKey() != p.editor.ToggleImage(1).cacheKey());
}

void TextEditorTest::open_data() {
  QTest::addColumn<bool>("modified");
  QTest::addColumn<int>("answer");
  QTest::addColumn<bool>("confirmSave");
  QTest::addColumn<bool>("confirmOpen");
  QTest::addColumn<QStringList>("calls");  // START, SAVED stand for the paths
  QTest::addColumn<bool>("loaded");
  QTest::addColumn<bool>("saved");
  const int yes = QMessageBox::Yes, no = QMessageBox::No, cancel = QMessageBox::Cancel;
  QTest::newRow("unmodified: no question")
      << false << cancel << false << true << QStringList{"open:START"} << true << false;
  QTest::newRow("modified, No: opens without saving")
      << true << no << false << true << QStringList{kAskOpen, "open:START"} << true << false;
  QTest::newRow("modified, Yes: saves, then opens")
      << true << yes << true << true << QStringList{kAskOpen, "save:START", "open:SAVED"} << true
      << true;
  QTest::newRow("modified, Yes, save cancelled: opens all the same")
      << true << yes << false << true << QStringList{kAskOpen, "save:START", "open:START"} << true
      << false;
  QTest::newRow("modified, Cancel: nothing but hiding the tool bar")
      << true << cancel << false << true << QStringList{kAskOpen} << false << false;
  QTest::newRow("open dialog cancelled")
      << false << cancel << false << false << QStringList{"open:START"} << false << false;
}

void TextEditorTest::open() {
  QFETCH(bool, modified);
  QFETCH(int, answer);
  QFETCH(bool, confirmSave);
  QFETCH(bool, confirmOpen);
  QFETCH(QStringList, calls);
  QFETCH(bool, loaded);
  QFETCH(bool, saved);
  QTemporaryDir dir;
  QVERIFY(dir.isValid());
  const QString start = dir.filePath("start.txt");
  const QString savedPath = dir.filePath("saved.txt");
  const QString opened = dir.filePath("a-file-with-a-long-name.txt");
  QVERIFY(WriteFile(opened, "uno\r\ndos\n\ntres"));

  Pane p;
  TTextEditor& e = p.editor;
  e.AppendLines({"old 1", "old 2"});
  e.SetArchivo(start);
  e.SetModificado(modified);
  e.ToolButton1Click();
  QVERIFY(!e.ToolBar1->isHidden());
  p.dialogs->answer = static_cast<QMessageBox::StandardButton>(answer);
  p.dialogs->saveName = confirmSave ? std::optional(savedPath) : std::nullopt;
  p.dialogs->openName = confirmOpen ? std::optional(opened) : std::nullopt;

  e.tbOpenClick();

  QCOMPARE(p.dialogs->calls, Expand(calls, start, savedPath));
  QVERIFY(e.ToolBar1->isHidden());
  QVERIFY(p.toggleShows(0));
  QCOMPARE(QFile::exists(savedPath), saved);
  if (saved) QCOMPARE(ReadFile(savedPath), QByteArray("old 1\nold 2\n"));
  if (loaded) {
    QCOMPARE(e.Lines(), QStringList({"uno", "dos", "", "tres"}));
    QCOMPARE(e.GetArchivo(), opened);
    QVERIFY(!e.GetModificado());
    QCOMPARE(p.mark(), QString());
    QCOMPARE(p.shortName(), veltrano::ShortFileName(opened));
    QCOMPARE(p.hint(), opened);
    QCOMPARE(p.caret(), QStringLiteral("    1:    1"));
    QVERIFY(e.tbDel->isVisible());
    QVERIFY(!e.tbSave->isVisible());
  } else {
    QCOMPARE(e.Lines(), QStringList({"old 1", "old 2"}));
    QCOMPARE(e.GetArchivo(), start);
    QCOMPARE(e.GetModificado(), modified);
    QCOMPARE(p.shortName(), QString());
  }
}

void TextEditorTest::loadThenSaveRoundTrip_data() {
  QTest::addColumn<QByteArray>("file");
  QTest::addColumn<QStringList>("lines");
  QTest::addColumn<QByteArray>("written");
  QTest::newRow("LF") << QByteArray("a\nb\n") << QStringList{"a", "b"} << QByteArray("a\nb\n");
  QTest::newRow("CRLF") << QByteArray("a\r\nb\r\n") << QStringList{"a", "b"} << QByteArray("a\nb\n");
  QTest::newRow("last line without break")
      << QByteArray("a\nb") << QStringList{"a", "b"} << QByteArray("a\nb\n");
  QTest::newRow("blank lines, leading and trailing, kept")
      << QByteArray("\n\na\n\n") << QStringList{"", "", "a", ""} << QByteArray("\n\na\n\n");
  QTest::newRow("a single empty line") << QByteArray("\n") << QStringList{""} << QByteArray("\n");
  QTest::newRow("empty file") << QByteArray() << QStringList() << QByteArray();
  QTest::newRow("UTF-8, tab and no-break space kept")
      << QByteArray("\xC3\xB1" "and\xC3\xBA\t\xE2\x82\xAC\xC2\xA0" "5\n")
      << QStringList{QString::fromUtf8("\xC3\xB1" "and\xC3\xBA\t\xE2\x82\xAC\xC2\xA0" "5")}
      << QByteArray("\xC3\xB1" "and\xC3\xBA\t\xE2\x82\xAC\xC2\xA0" "5\n");
  QTest::newRow("byte-order mark dropped")
      << QByteArray("\xEF\xBB\xBFx\n") << QStringList{"x"} << QByteArray("x\n");
  // The file is read a MiB at a time: a "\r\n" split between two reads is one line break,
  // as is a "\r" that ends the file.
  const QByteArray longLine((1 << 20) - 1, 'x');
  QTest::newRow("CRLF across two reads, CR at the end")
      << longLine + "\r\ny\r" << QStringList{QString::fromLatin1(longLine), "y"} << longLine + "\ny\n";
}

void TextEditorTest::loadThenSaveRoundTrip() {
  QFETCH(QByteArray, file);
  QFETCH(QStringList, lines);
  QFETCH(QByteArray, written);
  QTemporaryDir dir;
  const QString in = dir.filePath("in.txt");
  const QString out = dir.filePath("out.txt");
  QVERIFY(WriteFile(in, file));

  Pane p;
  p.dialogs->openName = in;
  p.dialogs->saveName = out;
  p.editor.tbOpenClick();
  QCOMPARE(p.editor.Lines(), lines);
  QCOMPARE(p.editor.LineCount(), lines.size());

  p.editor.SetModificado(true);  // saving writes only a modified text
  p.editor.tbSaveClick();
  QCOMPARE(ReadFile(out), written);
}

void TextEditorTest::save_data() {
  QTest::addColumn<bool>("modified");
  QTest::addColumn<bool>("confirm");
  QTest::addColumn<QStringList>("calls");
  QTest::newRow("unmodified: nothing happens") << false << true << QStringList();
  QTest::newRow("modified: writes and resets") << true << true << QStringList{"save:START"};
  QTest::newRow("modified, dialog cancelled") << true << false << QStringList{"save:START"};
}

void TextEditorTest::save() {
  QFETCH(bool, modified);
  QFETCH(bool, confirm);
  QFETCH(QStringList, calls);
  QTemporaryDir dir;
  const QString start = dir.filePath("proposed.txt");
  const QString target = dir.filePath("results-of-the-first-run.txt");

  Pane p;
  TTextEditor& e = p.editor;
  e.AppendLines({"x\ty", "", "z"});
  e.SetArchivo(start);
  e.SetModificado(modified);
  p.dialogs->saveName = confirm ? std::optional(target) : std::nullopt;

  e.tbSaveClick();

  QCOMPARE(p.dialogs->calls, Expand(calls, start, {}));
  const bool written = modified && confirm;
  QCOMPARE(QFile::exists(target), written);
  QCOMPARE(e.Lines(), QStringList({"x\ty", "", "z"}));
  if (written) {
    QCOMPARE(p.dialogs->saveSettings.DefaultExt, QStringLiteral(".txt"));
    QCOMPARE(ReadFile(target), QByteArray("x\ty\n\nz\n"));
    QCOMPARE(e.GetArchivo(), target);
    QVERIFY(!e.GetModificado());
    QCOMPARE(p.mark(), QString());
    QVERIFY(e.tbDel->isVisible());
    QVERIFY(!e.tbSave->isVisible());
    QVERIFY(target.size() > 30);
    QCOMPARE(p.shortName(), veltrano::ShortFileName(target));
    QCOMPARE(p.hint(), target);
  } else {
    QCOMPARE(e.GetArchivo(), start);
    QCOMPARE(e.GetModificado(), modified);
    QCOMPARE(p.shortName(), QString());
  }
}

void TextEditorTest::clear_data() {
  QTest::addColumn<bool>("modified");
  QTest::addColumn<int>("answer");
  QTest::addColumn<bool>("confirmSave");
  QTest::addColumn<QStringList>("calls");
  QTest::addColumn<bool>("cleared");
  const int yes = QMessageBox::Yes, no = QMessageBox::No, cancel = QMessageBox::Cancel;
  QTest::newRow("unmodified: clears without a question")
      << false << cancel << false << QStringList() << true;
  QTest::newRow("modified, No: clears") << true << no << false << QStringList{kAskClear} << true;
  QTest::newRow("modified, Yes: saves and keeps the text")
      << true << yes << true << QStringList{kAskClear, "save:START"} << false;
  QTest::newRow("modified, Yes, save cancelled: keeps the text")
      << true << yes << false << QStringList{kAskClear, "save:START"} << false;
  QTest::newRow("modified, Cancel: nothing") << true << cancel << false << QStringList{kAskClear}
                                             << false;
}

void TextEditorTest::clear() {
  QFETCH(bool, modified);
  QFETCH(int, answer);
  QFETCH(bool, confirmSave);
  QFETCH(QStringList, calls);
  QFETCH(bool, cleared);
  QTemporaryDir dir;
  const QString start = dir.filePath("loaded.txt");
  const QString savedPath = dir.filePath("saved.txt");
  QVERIFY(WriteFile(start, "first\n"));

  Pane p;
  TTextEditor& e = p.editor;
  p.dialogs->openName = start;
  e.tbOpenClick();  // gives the pane a file name, a short name and a hint
  e.AppendLine("second");
  e.SetModificado(modified);
  p.dialogs->calls.clear();
  p.dialogs->answer = static_cast<QMessageBox::StandardButton>(answer);
  p.dialogs->saveName = confirmSave ? std::optional(savedPath) : std::nullopt;

  e.tbDelClick();

  QCOMPARE(p.dialogs->calls, Expand(calls, start, savedPath));
  if (cleared) {
    QCOMPARE(e.Lines(), QStringList());
    QCOMPARE(e.GetArchivo(), start);  // kept for the next save dialog
    QVERIFY(!e.GetModificado());
    QCOMPARE(p.shortName(), QString());
    QCOMPARE(p.hint(), QString());
    QVERIFY(!e.tbDel->isVisible());
    QVERIFY(!e.tbSave->isVisible());
    return;
  }
  QCOMPARE(e.Lines(), QStringList({"first", "second"}));
  QCOMPARE(e.GetModificado(), !confirmSave);
  if (!confirmSave) return;

  QCOMPARE(ReadFile(savedPath), QByteArray("first\nsecond\n"));
  QCOMPARE(p.shortName(), veltrano::ShortFileName(savedPath));
  // Saved, so a second clear empties the pane without asking.
  p.dialogs->calls.clear();
  e.tbDelClick();
  QCOMPARE(p.dialogs->calls, QStringList());
  QCOMPARE(e.LineCount(), 0);
  QCOMPARE(e.GetArchivo(), savedPath);
}

void TextEditorTest::failedSaveKeepsEarlierFileAndState_data() {
  QTest::addColumn<bool>("targetIsDirectory");
  QTest::newRow("target is a directory") << true;
  QTest::newRow("disk full over an earlier file") << false;
}

void TextEditorTest::failedSaveKeepsEarlierFileAndState() {
  QFETCH(bool, targetIsDirectory);
  QTemporaryDir dir;
  const QString earlier = dir.filePath("earlier.txt");
  QVERIFY(WriteFile(earlier, "earlier contents\n"));
  const QString target = targetIsDirectory ? dir.filePath("folder") : earlier;
  if (targetIsDirectory) QVERIFY(QDir(dir.path()).mkdir("folder"));

  Pane p;
  TTextEditor& e = p.editor;
  p.dialogs->openName = earlier;
  e.tbOpenClick();
  QStringList lines;
  for (int i = 0; i < 4000; ++i) lines << QStringLiteral("line %1 of a long output").arg(i);
  e.AppendLines(lines);
  p.dialogs->saveName = target;

  QString message;
  {
    const FileSizeLimit limit(1024);
    QVERIFY(limit.active());
    try {
      e.tbSaveClick();
    } catch (const TextFileError& error) {
      message = QString::fromUtf8(error.what());
    }
  }

  const QString prefix = QStringLiteral("Cannot write \"%1\": ").arg(QDir::toNativeSeparators(target));
  QVERIFY2(message.startsWith(prefix) && message.size() > prefix.size(), qPrintable(message));
  QCOMPARE(e.GetArchivo(), target);  // the new name was taken before the write failed
  QCOMPARE(e.LineCount(), 1 + lines.size());
  QVERIFY(e.GetModificado());
  QCOMPARE(p.mark(), kMark);
  QCOMPARE(p.shortName(), veltrano::ShortFileName(earlier));
  QCOMPARE(p.hint(), earlier);
  QCOMPARE(ReadFile(earlier), QByteArray("earlier contents\n"));
  QStringList expectedEntries{"earlier.txt"};
  if (targetIsDirectory) expectedEntries << "folder";
  QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
           expectedEntries);  // no temporary file left behind
}

void TextEditorTest::failedOpenKeepsTextAndStatus() {
  QTemporaryDir dir;
  const QString missing = dir.filePath("missing.txt");
  Pane p;
  TTextEditor& e = p.editor;
  e.AppendLine("kept");
  e.SetArchivo("before.txt");
  p.dialogs->answer = QMessageBox::No;
  p.dialogs->openName = missing;

  QString message;
  try {
    e.tbOpenClick();
  } catch (const TextFileError& error) {
    message = QString::fromUtf8(error.what());
  }

  const QString prefix = QStringLiteral("Cannot read \"%1\": ").arg(QDir::toNativeSeparators(missing));
  QVERIFY2(message.startsWith(prefix) && message.size() > prefix.size(), qPrintable(message));
  QCOMPARE(e.GetArchivo(), missing);
  QCOMPARE(e.Lines(), QStringList{"kept"});
  QVERIFY(e.GetModificado());
  QCOMPARE(p.mark(), kMark);
  QCOMPARE(p.shortName(), QString());
}

void TextEditorTest::buttonsReportErrorsInsteadOfThrowing() {
  QTemporaryDir dir;
  const QString good = dir.filePath("good.txt");
  QVERIFY(WriteFile(good, "from the button\n"));
  Pane p;
  TTextEditor& e = p.editor;
  p.dialogs->openName = good;
  e.tbOpen->trigger();
  QCOMPARE(e.Lines(), QStringList{"from the button"});

  e.AppendLine("more");
  p.dialogs->saveName = dir.path();  // a folder: the write fails
  p.dialogs->calls.clear();
  e.tbSave->trigger();  // an escaping exception would end the test program
  QCOMPARE(p.dialogs->calls.size(), 2);
  QVERIFY2(p.dialogs->calls[1].startsWith(
               QStringLiteral("error:Cannot write \"%1\": ").arg(QDir::toNativeSeparators(dir.path()))),
           qPrintable(p.dialogs->calls[1]));
  QVERIFY(e.GetModificado());

  p.dialogs->answer = QMessageBox::Yes;  // clear asks, saves, fails: reported the same way
  p.dialogs->calls.clear();
  e.tbDel->trigger();
  QCOMPARE(p.dialogs->calls.size(), 3);
  QVERIFY(p.dialogs->calls[2].startsWith("error:Cannot write"));
  QCOMPARE(e.LineCount(), 2);
}

void TextEditorTest::chunkedAppendEqualsPerLineAppend_data() {
  QTest::addColumn<QString>("typed");  // text typed before the run, without a final break
  QTest::addColumn<int>("chunkLines");
  QTest::newRow("empty pane, one line per chunk") << QString() << 1;
  QTest::newRow("empty pane, uneven chunks") << QString() << 7;
  QTest::newRow("empty pane, chunks of 10^4") << QString() << 10000;
  QTest::newRow("after an unfinished typed line") << QStringLiteral("typed") << 999;
}

void TextEditorTest::chunkedAppendEqualsPerLineAppend() {
  QFETCH(QString, typed);
  QFETCH(int, chunkLines);
  // Output as a run writes it: leading and repeated blank lines, tabs, non-ASCII text.
  QStringList lines{"", ""};
  for (int i = 0; i < 12000; ++i)
    lines << (i % 9 == 0 ? QString() : QStringLiteral("%1\t0.%2\tDelta \u00f1").arg(i).arg(i * 7));

  Pane perLine;
  Pane chunked;
  for (Pane* p : {&perLine, &chunked}) {
    p->editor.Memo1->InsertText(typed);
    p->editor.SetModificado(false);
  }
  for (const QString& line : lines) perLine.editor.AppendLine(line);
  QString chunk;
  for (qsizetype i = 0; i < lines.size(); ++i) {
    chunk += lines[i] + u'\n';
    if ((i + 1) % chunkLines == 0 || i + 1 == lines.size()) {
      chunked.editor.AppendText(chunk);
      chunk.clear();
    }
  }

  QStringList expected = lines;
  if (!typed.isEmpty()) expected.prepend(typed);
  QCOMPARE(chunked.editor.Lines(), expected);
  QCOMPARE(perLine.editor.Lines(), expected);
  QCOMPARE(chunked.editor.Memo1->toPlainText(), perLine.editor.Memo1->toPlainText());
  QVERIFY(chunked.editor.GetModificado());
  QCOMPARE(chunked.mark(), kMark);

  // A chunk whose last line lacks its break still adds that line, ended.
  chunked.editor.AppendText("tail");
  chunked.editor.AppendLine("after");
  QCOMPARE(chunked.editor.Lines().mid(expected.size()), QStringList({"tail", "after"}));
}

// Lines appended while the pane is off screen or on show are its text at once, in order,
// behind a typed last line.
void TextEditorTest::appendedLinesAreTheTextInOrder() {
  for (const bool shown : {false, true}) {
    Pane p;
    if (shown) p.editor.show();
    p.editor.Memo1->setPlainText(QStringLiteral("typed"));
    p.editor.SetModificado(false);
    p.editor.AppendText(QStringLiteral("a\nb\n"));
    p.editor.AppendText(QStringLiteral("c"));
    QCOMPARE(p.editor.LineCount(), 4);
    QVERIFY(p.editor.GetModificado());
    p.editor.AppendText(QStringLiteral("d\n"));
    QCOMPARE(p.editor.Lines(), QStringList({"typed", "a", "b", "c", "d"}));
  }
}

// Ctrl+F opens the find bar; Enter finds the next match (letters in either case unless
// asked), Shift+Enter the one before, going round; a needle not there says so and moves
// nothing; Esc hides the bar and gives the text the focus back.
void TextEditorTest::findBarFindsInTheText() {
  Pane p;
  TTextEditor& e = p.editor;
  e.resize(400, 300);
  e.show();
  e.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&e));
  e.AppendLines({"Du 0.5", "Dc 0.4", "du again"});
  e.Memo1->setFocus();
  QTest::keyClick(e.Memo1, Qt::Key_F, Qt::ControlModifier);
  QVERIFY(e.FindBar->isVisible());
  QVERIFY(e.FindText->hasFocus());
  QTest::keyClicks(e.FindText, "du");
  const auto selected = [&] { return std::pair{e.Memo1->Anchor().line, e.Memo1->SelectedText()}; };
  QTest::keyClick(e.FindText, Qt::Key_Return);
  QCOMPARE(selected(), (std::pair{std::int64_t{0}, QStringLiteral("Du")}));
  QTest::keyClick(e.FindText, Qt::Key_Return);
  QCOMPARE(selected(), (std::pair{std::int64_t{2}, QStringLiteral("du")}));
  QTest::keyClick(e.FindText, Qt::Key_Return);  // round the end
  QCOMPARE(selected(), (std::pair{std::int64_t{0}, QStringLiteral("Du")}));
  QTest::keyClick(e.FindText, Qt::Key_Return, Qt::ShiftModifier);  // back, round the start
  QCOMPARE(selected(), (std::pair{std::int64_t{2}, QStringLiteral("du")}));
  e.FindMatchCase->setChecked(true);
  QTest::keyClick(e.FindText, Qt::Key_Return);
  QCOMPARE(selected(), (std::pair{std::int64_t{2}, QStringLiteral("du")}));  // the only "du"
  QTest::keyClicks(e.FindText, "x");
  QTest::keyClick(e.FindText, Qt::Key_Return);
  QCOMPARE(e.FindStatus->text(), QStringLiteral("Not found"));
  QCOMPARE(selected(), (std::pair{std::int64_t{2}, QStringLiteral("du")}));
  QTest::keyClick(e.FindText, Qt::Key_Escape);
  QVERIFY(e.FindBar->isHidden());
  QVERIFY(e.Memo1->hasFocus());
  QCOMPARE(e.Lines(), QStringList({"Du 0.5", "Dc 0.4", "du again"}));
}

void TextEditorTest::qtNameFilter_data() {
  QTest::addColumn<QString>("filter");
  QTest::addColumn<QString>("qt");
  // "*.*" would hide files without an extension: it stands for every file.
  QTest::newRow("the panes' filter") << QString::fromLatin1(veltrano::kTextDialogFilter)
                                     << "Todos los archivos (*)";
  QTest::newRow("patterns added, ';' becomes a blank")
      << "Texto|*.txt;*.log|Todos|*" << "Texto (*.txt *.log);;Todos (*)";
  QTest::newRow("empty") << QString() << QString();
}

void TextEditorTest::qtNameFilter() {
  QFETCH(QString, filter);
  QFETCH(QString, qt);
  QCOMPARE(veltrano::QtNameFilter(filter), qt);
}

QTEST_MAIN(TextEditorTest)
#include "tst_ttexteditor.moc"
