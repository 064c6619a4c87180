// Tests of the window's "Analyse answer sheets..." on the offscreen platform: the lines
// it appends, from a file or a pipe, against veltrano-batch analyse --responses run
// in-process, bad sheets that leave the data pane as it was, and Cancel.
#include "FormWidgets.h"

#include "batch/AnalyseResponses.h"
#include "batch/Console.h"
#include "ui/CompactTextEdit.h"
#include "ui/SpinEdit.h"
#include "ui/TForm1.h"
#include "ui/TTextEditor.h"

#include <unistd.h>

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QtTest>

#include <deque>
#include <random>
#include <sstream>
#include <string>

using veltrano::TForm1;
using veltrano::testing::FormWidgets;

namespace {

// Eight items, k = 4: an examinee right on every item, a quoted id holding a comma with
// omissions, one who answered nothing, marks in lower case and as numbers.
const char* const kRows =
    "ana,A,C,B,D,A,B,C,D\n"
    "\"D\xc3\xad" "az, Bo\",A,B,B,*,C,B,,D\n"
    "carl,B,C,A,D,A,D,C,A\n"
    "dee,-,.,*,,\"\",-,.,*\n"
    "eve,a,c,2,4,2,b,1,d\n";
const char* const kHeaderRow = "id,q1,q2,q3,q4,q5,q6,q7,q8\n";
const char* const kKeyRow = "KEY,A,C,B,D,A,B,C,D\n";
const char* const kKey = "ACBDABCD\n";

// Answers the window's file questions from a queue (an empty name: cancelled), its
// confirmations with `confirm` and the question of k with `k` (none: the value proposed),
// logging them: "open:<title>", "confirm:<text>", "k:<proposed> from <least>".
class SheetDialogs final : public veltrano::TextEditorDialogs {
public:
  std::deque<QString> files;
  bool confirm = true;
  std::optional<int> k;
  QStringList log;

  std::optional<int> AskNumber(QWidget*, const QString&, const QString&, int value, int min, int) override {
    log << QStringLiteral("k:%1 from %2").arg(value).arg(min);
    return k.value_or(value);
  }

  std::optional<QString> OpenFileFor(QWidget*, const QString& title, const veltrano::FileDialogSettings&) override {
    log << QStringLiteral("open:") + title;
    if (files.empty()) return std::nullopt;
    const QString next = files.front();
    files.pop_front();
    if (next.isEmpty()) return std::nullopt;
    return next;
  }
  bool Confirm(QWidget*, const QString& text, const QString&) override {
    log << QStringLiteral("confirm:") + text;
    return confirm;
  }
};

struct Window {
  TForm1 w;
  FormWidgets ui{w};  // its controls, found by object name
  QStringList errors;
  std::shared_ptr<SheetDialogs> dialogs = std::make_shared<SheetDialogs>();
  Window() {
    w.SetErrorReporter([this](QWidget*, const QString& message) { errors << message; });
    ui.TTextEditor1->SetDialogs(dialogs);
  }
  // Presses the tool bar's button and waits until the work has ended.
  bool AnalyseToEnd(int timeoutMs = 60000) {
    ui.tbAnalyseSheets->trigger();
    return QTest::qWaitFor([&] { return !w.Running(); }, timeoutMs);
  }
  QStringList Data() const { return ui.TTextEditor1->Lines(); }
};

bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The lines veltrano-batch analyse --responses writes for the sheet.
QStringList CommandLines(const QString& sheet, const QString& key, const veltrano::AnalysisSettings& settings) {
  veltrano::batch::ResponsesOptions o;
  o.responses = sheet.toStdString();
  o.keyFile = key.toStdString();
  o.analysis = settings;
  o.jobs = 2;
  std::istringstream in;
  std::ostringstream out, err;
  veltrano::batch::Console console{in, out, err};
  const int status = veltrano::batch::AnalyseResponses(o, console);
  if (status != 0 && status != 1) return {QStringLiteral("status %1: %2").arg(status).arg(QString::fromStdString(err.str()))};
  QStringList lines = QString::fromStdString(out.str()).split(u'\n');
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  return lines;
}

// A pane that already holds a line the user typed (modified), which every case keeps.
void TypeLine(TForm1& w) {
  const FormWidgets ui(w);
  ui.TTextEditor1->AppendLine(QStringLiteral("my notes"));
  QVERIFY(ui.TTextEditor1->GetModificado());
}

}  // namespace

class AnswerSheetsTest : public QObject {
  Q_OBJECT

private slots:
  void buttonOnTheDataPanesToolBar();
  void sheetAppendsTheCommandsLines_data();
  void sheetAppendsTheCommandsLines();
  void badSheetAppendsNothing_data();
  void badSheetAppendsNothing();
  void markBeyondTheKeyNeedsK();
  void secondReadThatFailsTakesItsLinesBack();
  void cancelStopsTheAnalysis();
};

void AnswerSheetsTest::buttonOnTheDataPanesToolBar() {
  Window f;
  QCOMPARE(f.ui.tbAnalyseSheets->text(), QStringLiteral("Analyse answer sheets\u2026"));
  QVERIFY(f.ui.TTextEditor1->ToolBar1->isAncestorOf(f.w.findChild<QWidget*>(QStringLiteral("tbAnalyseSheetsButton"))));
  // The button below Ok starts the same work.
  f.ui.Button_Sheets->click();
  QVERIFY(QTest::qWaitFor([&] { return !f.w.Running(); }));
  QCOMPARE(f.dialogs->log, QStringList{QStringLiteral("open:Analyse answer sheets")});
  f.dialogs->log.clear();
  // Cancelled at the sheet's dialog: nothing happens.
  QVERIFY(f.AnalyseToEnd());
  QCOMPARE(f.dialogs->log, QStringList{QStringLiteral("open:Analyse answer sheets")});
  QCOMPARE(f.ui.TTextEditor1->LineCount(), 0);
  QVERIFY(f.errors.isEmpty());
}

void AnswerSheetsTest::sheetAppendsTheCommandsLines_data() {
  QTest::addColumn<bool>("keyInFile");
  QTest::addColumn<bool>("interval");
  QTest::addColumn<bool>("alternative");
  QTest::addColumn<int>("tolerance");
  QTest::addColumn<int>("iterations");
  QTest::addColumn<bool>("pipe");  // the sheet's name is a pipe's, which gives its bytes once
  QTest::newRow("KEY row, the window's defaults") << false << false << true << 10 << 500 << false;
  QTest::newRow("interval, no alternative measures, 1e-6, 20 iterations") << false << true << false << 6 << 20 << false;
  QTest::newRow("key file asked for") << true << false << true << 10 << 500 << false;
  QTest::newRow("a pipe, read once") << false << false << true << 10 << 500 << true;
  QTest::newRow("a pipe without a KEY row, key file asked for") << true << false << true << 10 << 500 << true;
}

// The window appends, after the pane's own text, exactly the command's lines for the
// same sheet and analysis settings: the header, one line per examinee, ALL.
void AnswerSheetsTest::sheetAppendsTheCommandsLines() {
  QFETCH(bool, keyInFile);
  QFETCH(bool, interval);
  QFETCH(bool, alternative);
  QFETCH(int, tolerance);
  QFETCH(int, iterations);
  QFETCH(bool, pipe);
  QTemporaryDir dir;
  const QString sheet = dir.filePath(QStringLiteral("exam.csv"));
  const QString key = dir.filePath(QStringLiteral("key.txt"));
  const QByteArray text = QByteArray(kHeaderRow) + (keyInFile ? "" : kKeyRow) + kRows;
  QVERIFY(WriteFile(sheet, text));
  QVERIFY(WriteFile(key, kKey));
  // The pipe holds the whole sheet, its writer gone: a second reading would find it empty.
  int ends[2] = {-1, -1};
  if (pipe) {
    QCOMPARE(::pipe(ends), 0);
    QCOMPARE(::write(ends[1], text.constData(), static_cast<std::size_t>(text.size())), text.size());
    ::close(ends[1]);
  }

  Window f;
  TForm1& w = f.w;
  const FormWidgets& ui = f.ui;
  TypeLine(w);
  ui.CheckBox_CI->setChecked(interval);
  ui.CheckBox_Dka->setChecked(alternative);
  ui.SpinEdit_Tol->SetValue(tolerance);
  ui.SpinEdit_MaxIts->SetValue(iterations);
  const QString chosen = pipe ? QStringLiteral("/dev/fd/%1").arg(ends[0]) : sheet;
  f.dialogs->files = {chosen, key};
  const bool ended = f.AnalyseToEnd();
  if (pipe) ::close(ends[0]);
  QVERIFY(ended);
  QVERIFY2(f.errors.isEmpty(), qPrintable(f.errors.join(u'\n')));

  const QStringList expected = CommandLines(sheet, keyInFile ? key : QString(), w.Snapshot().Analysis());
  QCOMPARE(expected.size(), 1 + 5 + 1);
  QCOMPARE(f.Data(), QStringList{QStringLiteral("my notes")} + expected);
  // k is asked once the key is known, proposing its largest alternative; a pipe's KEY row
  // is not read ahead of the work, which then takes the key's largest.
  if (keyInFile) {
    QCOMPARE(f.dialogs->log.size(), 4);
    QCOMPARE(f.dialogs->log[3], QStringLiteral("k:4 from 4"));
    QCOMPARE(f.dialogs->log[1],
             QStringLiteral("confirm:%1: line 2: no key before the first examinee; put a KEY row before it or give the "
                            "key apart\n\nOpen a file that holds the key? It is one line: the key's alternatives in "
                            "item order, such as ABDCA or A,B,D,C,A.")
                 .arg(QDir::toNativeSeparators(chosen)));
    QCOMPARE(f.dialogs->log[2], QStringLiteral("open:The key of %1").arg(QFileInfo(chosen).fileName()));
  } else {
    QStringList asked{QStringLiteral("open:Analyse answer sheets")};
    if (!pipe) asked << QStringLiteral("k:4 from 4");
    QCOMPARE(f.dialogs->log, asked);
  }
  // Its end is said below Ok, and the pane shows the appended lines from their first.
  QVERIFY(!ui.Label_Progress->isHidden());
  QCOMPARE(ui.Label_Progress->text(), QStringLiteral("5 examinees analysed, 1 absent"));
  QCOMPARE(ui.PageControl1->currentWidget(), ui.TabSheet1);
  QCOMPARE(ui.TTextEditor1->Memo1->Caret().line, 1);  // the header, after "my notes"
  QVERIFY(ui.Button1->isEnabled());
}

// A mark beyond the key's alternatives is a slip unless the user says the items have more
// alternatives: with the k proposed the sheet is refused, naming the cell; with k = 5 it is
// analysed as the command analyses it with --k 5.
void AnswerSheetsTest::markBeyondTheKeyNeedsK() {
  QTemporaryDir dir;
  const QString sheet = dir.filePath(QStringLiteral("exam.csv"));
  QVERIFY(WriteFile(sheet, QByteArray(kKeyRow) + "ana,A,C,B,D,A,B,C,D\nbob,A,C,B,E,A,B,C,D\n"));
  for (const std::optional<int> k : {std::optional<int>(), std::optional<int>(5)}) {
    Window f;
    f.dialogs->files = {sheet};
    f.dialogs->k = k;
    QVERIFY(f.AnalyseToEnd());
    if (!k) {
      QCOMPARE(f.errors, QStringList{QStringLiteral("%1: line 3, column 5: \"E\" is alternative 5, beyond the k = 4 "
                                                    "alternatives of an item")
                                         .arg(QDir::toNativeSeparators(sheet))});
      QCOMPARE(f.Data(), QStringList{});
    } else {
      QVERIFY(f.errors.isEmpty());
      veltrano::batch::ResponsesOptions o;
      o.responses = sheet.toStdString();
      o.k = 5;
      std::istringstream in;
      std::ostringstream out, err;
      veltrano::batch::Console console{in, out, err};
      QCOMPARE(veltrano::batch::AnalyseResponses(o, console), 0);
      QCOMPARE(f.Data().join(u'\n') + u'\n', QString::fromStdString(out.str()));
    }
  }
}

void AnswerSheetsTest::badSheetAppendsNothing_data() {
  // The sheet's text ("-": the good sheet with its KEY row), the key file's (empty: no
  // key file), whether the key question is accepted, and the message ("" for none);
  // %1 stands for the sheet's file, %2 for the key's.
  QTest::addColumn<QByteArray>("sheet");
  QTest::addColumn<QByteArray>("key");
  QTest::addColumn<bool>("confirm");
  QTest::addColumn<QString>("message");
  QTest::newRow("a letter beyond J") << QByteArray(kKeyRow) + "ana,A,C,B,D,A,B,C,D\nbob,A,C,B,D,A,K,C,D\n" << QByteArray()
                                     << true
                                     << "%1: line 3, column 7: \"K\" is not an alternative (A to J or 1 to 10; empty, "
                                        "*, - or . for an omission)";
  QTest::newRow("a row shorter than the key") << QByteArray(kKeyRow) + "ana,A,C,B,D,A,B,C\n" << QByteArray() << true
                                              << "%1: line 2: 7 items where the key has 8 items";
  QTest::newRow("a key file of two lines") << QByteArray(kRows) << QByteArray("ACBDABCD\nABCDABCD\n") << true
                                           << "The key file \"%2\": the key file holds 2 lines; the key is one line";
  QTest::newRow("no key, the question declined") << QByteArray(kRows) << QByteArray() << false << "";
  QTest::newRow("not a file") << QByteArray("-") << QByteArray() << true << "Cannot read \"%1\": it is a directory";
}

// A bad sheet or key is reported, with its line and column where it has them, and the
// pane keeps its text and its modified flag as they were.
void AnswerSheetsTest::badSheetAppendsNothing() {
  QFETCH(QByteArray, sheet);
  QFETCH(QByteArray, key);
  QFETCH(bool, confirm);
  QFETCH(QString, message);
  QTemporaryDir dir;
  QString sheetPath = dir.filePath(QStringLiteral("exam.csv"));
  const QString keyPath = dir.filePath(QStringLiteral("key.txt"));
  if (sheet == "-")
    sheetPath = dir.path();
  else
    QVERIFY(WriteFile(sheetPath, sheet));
  QVERIFY(WriteFile(keyPath, key));

  Window f;
  TForm1& w = f.w;
  const FormWidgets& ui = f.ui;
  TypeLine(w);
  ui.TTextEditor1->SetModificado(false);
  f.dialogs->files = {sheetPath, keyPath};
  f.dialogs->confirm = confirm;
  QVERIFY(f.AnalyseToEnd());
  message.replace(QStringLiteral("%1"), QDir::toNativeSeparators(sheetPath))
      .replace(QStringLiteral("%2"), QDir::toNativeSeparators(keyPath));
  const QStringList expected = message.isEmpty() ? QStringList{} : QStringList{message};
  QCOMPARE(f.errors, expected);
  QCOMPARE(f.Data(), QStringList{QStringLiteral("my notes")});
  QVERIFY(!ui.TTextEditor1->GetModificado());
  QVERIFY(ui.Button1->isEnabled() && !w.Running());
}

// A sheet that reads differently the second time (here a file whose last row turns bad
// once its lines have begun to arrive) is refused after those lines: every one of them is
// taken back. The reader takes the sheet in blocks of 4 MiB and the window holds the work
// to a few tens of thousands of lines ahead of what it shows, so the change, made when the
// first lines are shown, is always read: the last row lies beyond 4 MiB, after 100000 rows
// of 48 bytes.
void AnswerSheetsTest::secondReadThatFailsTakesItsLinesBack() {
  QTemporaryDir dir;
  const QString sheet = dir.filePath(QStringLiteral("exam.csv"));
  const std::string items = ",A,B,C,D,A,B,C,D,A,B,C,D,A,B,C,D,A,B,C,D";
  std::string text = "KEY";
  text.append(items).append("\n");
  for (int i = 0; i < 100000; ++i) text.append("s").append(std::to_string(100000 + i)).append(items).append("\n");
  QVERIFY(text.size() > std::size_t{4} << 20);
  text.append("late").append(items).append("\n");
  QVERIFY(WriteFile(sheet, QByteArray::fromStdString(text)));

  Window f;
  TForm1& w = f.w;
  const FormWidgets& ui = f.ui;
  TypeLine(w);
  int appended = 0;
  QObject::connect(ui.TTextEditor1->Memo1, &veltrano::CompactTextEdit::textChanged, [&] {
    if (++appended != 1) return;
    QFile file(sheet);
    QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(file.size() - 2) && file.write("Q") == 1);
  });
  f.dialogs->files = {sheet};
  QVERIFY(f.AnalyseToEnd());
  QVERIFY2(appended >= 2, "no line arrived before the bad row");
  QCOMPARE(f.errors, QStringList{QStringLiteral("%1: line 100002, column 21: \"Q\" is not an alternative (A to J or "
                                                "1 to 10; empty, *, - or . for an omission)")
                                     .arg(QDir::toNativeSeparators(sheet))});
  QCOMPARE(f.Data(), QStringList{QStringLiteral("my notes")});
  QVERIFY(ui.TTextEditor1->GetModificado());
}

// Cancel ends the analysis after the examinee at hand, keeping the lines appended so
// far: a prefix of the command's, without ALL; while it works the window is guarded as
// during a run.
void AnswerSheetsTest::cancelStopsTheAnalysis() {
  QTemporaryDir dir;
  const QString sheet = dir.filePath(QStringLiteral("big.csv"));
  {
    std::string text = std::string("KEY,A,B,C,D,A,B,C,D,A,B,C,D,A,B,C,D,A,B,C,D\n");
    std::mt19937 random(7);
    for (int i = 0; i < 200000; ++i) {
      text += 'e';
      text += std::to_string(i);
      for (int item = 0; item < 20; ++item) {
        text += ',';
        text += static_cast<char>('A' + random() % 4);
      }
      text += '\n';
    }
    QVERIFY(WriteFile(sheet, QByteArray::fromStdString(text)));
  }
  Window f;
  TForm1& w = f.w;
  const FormWidgets& ui = f.ui;
  w.show();
  f.dialogs->files = {sheet};
  struct During {
    bool guarded = false;
    QString progress;
  } during;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (ui.TTextEditor1->LineCount() < 2) return;
    poll.stop();
    during.guarded = !w.findChild<QWidget*>(QStringLiteral("Settings"))->isEnabled() && !ui.Button1->isEnabled() &&
                     ui.Button_Cancel->isVisible() && !ui.TTextEditor1->ToolBar1->isEnabled();
    during.progress = ui.Label_Progress->text();
    QTest::mouseClick(ui.Button_Cancel, Qt::LeftButton);
  });
  poll.start(5);
  QVERIFY(f.AnalyseToEnd());
  QVERIFY(f.errors.isEmpty());
  QVERIFY(during.guarded);
  QVERIFY2(during.progress.startsWith(QStringLiteral("Analysing the sheet: ")), qPrintable(during.progress));

  const QStringList shown = f.Data();
  const int examinees = static_cast<int>(shown.size()) - 1;
  QVERIFY2(examinees > 0 && examinees < 200000, qPrintable(QString::number(examinees)));
  const QStringList expected = CommandLines(sheet, QString(), w.Snapshot().Analysis());
  QCOMPARE(shown, expected.mid(0, shown.size()));
  QCOMPARE(ui.Label_Progress->text(), QStringLiteral("Cancelled after %1 examinees").arg(examinees));
  QVERIFY(ui.Button1->isEnabled());
}

QTEST_MAIN(AnswerSheetsTest)
#include "tst_answersheets.moc"
