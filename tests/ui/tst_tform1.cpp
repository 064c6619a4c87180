// Tests of the main window TForm1 on the offscreen platform. Controls are found by their
// object names; error messages go to a recorder instead of a message box.
#include "FileSizeLimit.h"
#include "FormWidgets.h"
#include "RecordingHost.h"

#include "numeric/UniformGenerator.h"
#include "simulation/SimulationRun.h"
#include "ui/CaptionCheckBox.h"
#include "ui/ChartWidget.h"
#include "ui/CompactTextEdit.h"
#include "ui/SpinEdit.h"
#include "ui/TForm1.h"
#include "simulation/RunTextSize.h"
#include "ui/TTextEditor.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTimer>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>

#include <algorithm>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

using veltrano::CaptionCheckBox;
using veltrano::SeriesId;
using veltrano::TForm1;
using veltrano::testing::FormWidgets;
using veltrano::TSpinEdit;

namespace {

const char* const kResidualsHeader = "Do\trDu\trDc\trDLN";

// Answers a pane's questions at once and logs them in the window's log:
// "<pane>:warning:<text>" (with " (on show)" when the pane was visible then, and
// " (while a run works)" when a run was under way),
// "<pane>:question:<text>", "<pane>:save", "<pane>:error:<message>".
class ScriptedDialogs final : public veltrano::TextEditorDialogs {
public:
  ScriptedDialogs(QString pane, QStringList& log) : pane_(std::move(pane)), log_(log) {}
  QMessageBox::StandardButton warningAnswer = QMessageBox::Cancel;
  QMessageBox::StandardButton questionAnswer = QMessageBox::Cancel;
  std::optional<QString> saveName;

  std::optional<QString> OpenFileName(QWidget*, const QString&, const veltrano::FileDialogSettings&) override {
    return std::nullopt;
  }
  std::optional<QString> SaveFileName(QWidget*, const QString&, const veltrano::FileDialogSettings&) override {
    log_ << pane_ + QStringLiteral(":save");
    return saveName;
  }
  QMessageBox::StandardButton Warning(QWidget* parent, const QString& text) override {
    const auto* window = qobject_cast<const TForm1*>(parent->window());
    log_ << pane_ + QStringLiteral(":warning:") + text + (parent->isVisible() ? QStringLiteral(" (on show)") : QString()) +
                (window != nullptr && window->Running() ? QStringLiteral(" (while a run works)") : QString());
    return warningAnswer;
  }
  QMessageBox::StandardButton Question(QWidget*, const QString& text, const QString&, const QString& noText) override {
    log_ << pane_ + QStringLiteral(":question:") + text + (noText.isEmpty() ? QStringLiteral(" [no second choice]") : QString());
    return questionAnswer;
  }
  void Error(QWidget*, const QString& message) override { log_ << pane_ + QStringLiteral(":error:") + message; }

private:
  QString pane_;
  QStringList& log_;
};

// The window with its error messages recorded and its panes' questions answered by
// script, shown and active so that the focus moves as it does for a user.
struct Window {
  TForm1 w;
  FormWidgets ui{w};  // its controls, found by object name
  QStringList errors;
  QStringList asked;  // the panes' questions, in order
  std::shared_ptr<ScriptedDialogs> dataDialogs = std::make_shared<ScriptedDialogs>(QStringLiteral("data"), asked);
  std::shared_ptr<ScriptedDialogs> residualDialogs =
      std::make_shared<ScriptedDialogs>(QStringLiteral("residuals"), asked);

  Window() {
    w.SetErrorReporter([this](QWidget*, const QString& message) { errors << message; });
    ui.TTextEditor1->SetDialogs(dataDialogs);
    ui.TextEditor1->SetDialogs(residualDialogs);
  }
  bool Show() {
    w.show();
    w.activateWindow();
    return QTest::qWaitForWindowActive(&w);
  }
  template <class T = QWidget>
  T* Get(const char* name) {
    T* control = w.findChild<T*>(QString::fromLatin1(name));
    if (control == nullptr) qFatal("no control named %s", name);
    return control;
  }
  TSpinEdit* Spin(const char* name) { return Get<TSpinEdit>(name); }
  QCheckBox* Box(const char* name) { return Get<QCheckBox>(name); }
  QStringList Data() const { return ui.TTextEditor1->Lines(); }
  QStringList Residuals() const { return ui.TextEditor1->Lines(); }
  std::size_t Points(SeriesId s) { return w.Series(s).Count(); }
  bool Active(SeriesId s) { return w.Series(s).Active(); }
  std::vector<bool> AllActive() {
    std::vector<bool> a;
    for (int i = 0; i < veltrano::kSeriesCount; ++i) a.push_back(Active(static_cast<SeriesId>(i)));
    return a;
  }
};

// A control's caption: a box's own text, or the text of the label that names a field.
QString Caption(QWidget* control) {
  if (auto* button = qobject_cast<QAbstractButton*>(control)) return button->text();
  for (QLabel* label : control->parentWidget()->findChildren<QLabel*>())
    if (label->buddy() == control) return label->text();
  return QStringLiteral("<no caption>");
}

// Types into a field the way a user does: the field takes the focus, its text is
// selected and replaced by the keys (an empty text deletes it).
void Type(TSpinEdit* spin, const QString& keys) {
  spin->setFocus();
  spin->selectAll();
  if (keys.isEmpty())
    QTest::keyClick(spin, Qt::Key_Delete);
  else
    QTest::keyClicks(spin, keys);
}

// Where the pane's lines and the expected lines part, or empty when they are the same.
QString FirstDifference(const QStringList& shown, const std::vector<std::string>& expected) {
  const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(shown.size()), expected.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (shown[static_cast<qsizetype>(i)].toStdString() != expected[i])
      return QStringLiteral("line %1: \"%2\" instead of \"%3\"")
          .arg(i + 1)
          .arg(shown[static_cast<qsizetype>(i)], QString::fromStdString(expected[i]));
  }
  if (static_cast<std::size_t>(shown.size()) != expected.size())
    return QStringLiteral("%1 lines instead of %2").arg(shown.size()).arg(expected.size());
  return QString();
}

// Presses Ok and waits until the run has ended and the window is usable again: Ok
// starts the run and returns at once.
bool RunToEnd(TForm1& w, int timeoutMs = 60000) {
  const FormWidgets ui(w);
  ui.Button1->click();
  return QTest::qWaitFor([&] { return !w.Running(); }, timeoutMs);
}

// The lines of a file, without their line breaks; every line must be ended by "\n".
QStringList FileLines(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {QStringLiteral("<unreadable>")};
  const QString text = QString::fromUtf8(file.readAll());
  if (text.isEmpty()) return {};
  if (!text.endsWith(u'\n')) return {QStringLiteral("<last line unended>")};
  QStringList lines = text.split(u'\n');
  lines.removeLast();
  return lines;
}

// What a run with the window's settings and this seed writes, recorded in-process.
veltrano::testing::RecordingHost RecordedRun(const veltrano::RunSettings& settings, std::uint32_t seed,
                                             const std::function<void(std::int32_t)>& analysisCheck = {}) {
  veltrano::testing::RecordingHost host;
  veltrano::UniformGenerator rng(seed);
  veltrano::SimulationRun run(rng);
  run.SetAnalysisCheck(analysisCheck);
  try {
    run.Execute(settings, host);
  } catch (const std::exception&) {
  }
  return host;
}

using veltrano::testing::FileSizeLimit;

// A full listing of a few tests: far below the real limit, above a lowered one.
void SmallFullRun(TForm1& w) {
  const FormWidgets ui(w);
  ui.CheckBox_full->setChecked(true);
  ui.SpinEdit_n->SetValue(200);
  ui.SpinEdit_Test->SetValue(4);
  ui.CheckBox_Dcond->setChecked(true);
  w.SetPaneTextLimit(1000);
}

}  // namespace

class TForm1Test : public QObject {
  Q_OBJECT

private slots:
  void windowAndPages();
  void fieldsHaveTheirCaptionsRangesAndDefaults_data();
  void fieldsHaveTheirCaptionsRangesAndDefaults();
  void boxesHaveTheirCaptionsAndDefaults_data();
  void boxesHaveTheirCaptionsAndDefaults();
  void controlsStandInOrder();
  void formCreateSetsTheSeriesBoxes();
  void aboutPageHoldsItsText();

  void textOutputRule();
  void fullOutputRule();
  void seriesBoxesShowTheirSeries_data();
  void seriesBoxesShowTheirSeries();
  void commaChangesNoSeries();

  void fieldIsClampedWhenTheFocusLeaves_data();
  void fieldIsClampedWhenTheFocusLeaves();
  void fieldWithoutANumberReadsAsItsMinimum_data();
  void fieldWithoutANumberReadsAsItsMinimum();
  void programWritesAndStepsStayInRange();
  void dmaxExitRaisesDmaxToDo_data();
  void dmaxExitRaisesDmaxToDo();
  void okAppliesTheFocusedFieldsRules();

  void defaultRun();
  void secondRunAppends();
  void runRaisesDmaxToDo_data();
  void runRaisesDmaxToDo();
  void windowShowsExactlyWhatTheRunWrites_data();
  void windowShowsExactlyWhatTheRunWrites();
  void seedRepeatsTheRun();
  void clearEmptiesAChartAndAPaneItsChart();
  void errorInARunIsShownAndTheWindowStaysUsable();
  void cancelEndsTheRunKeepingItsOutput_data();
  void cancelEndsTheRunKeepingItsOutput();

  void closeAsksAboutModifiedPanes_data();
  void closeAsksAboutModifiedPanes();
  void runTextEstimateBoundsWhatTheRunWrites_data();
  void runTextEstimateBoundsWhatTheRunWrites();
  void bigRunAsksWhereTheDataGoes_data();
  void bigRunAsksWhereTheDataGoes();
  void dataFileHoldsEveryTestBeforeAnError();
};

// ---- Layout ---------------------------------------------------------------------------------

void TForm1Test::windowAndPages() {
  Window f;
  QVERIFY(f.Show());
  TForm1& w = f.w;
  const FormWidgets& ui = f.ui;
  QCOMPARE(w.windowTitle(), QStringLiteral("Veltrano"));
  QCOMPARE(w.centralWidget()->size(), QSize(1073, 694));
  QCOMPARE(f.Get("LeftPanel")->width(), 177);
  QCOMPARE(ui.Button1->width(), 150);
  QCOMPARE(ui.Button1->text(), QStringLiteral("Ok"));

  QTabWidget* pages = f.Get<QTabWidget>("PageControl1");
  QCOMPARE(pages->tabPosition(), QTabWidget::South);
  const QStringList captions = {QStringLiteral(" Data"), QStringLiteral("Graph"), QStringLiteral("Residual"),
                                QStringLiteral("Residuals"), QStringLiteral("Summary"), QStringLiteral("About")};
  const QStringList names = {QStringLiteral("TabSheet1"), QStringLiteral("TabSheet2"), QStringLiteral("TabSheet3"),
                             QStringLiteral("TabSheet4"), QStringLiteral("TabSummary"), QStringLiteral("TabSheet5")};
  QCOMPARE(pages->count(), 6);
  for (int i = 0; i < 6; ++i) {
    QCOMPARE(pages->tabText(i), captions[i]);
    QCOMPARE(pages->widget(i)->objectName(), names[i]);
  }
  QCOMPARE(pages->currentWidget(), f.Get("TabSheet5"));

  // Each pane and chart fills its own tab.
  const std::pair<const char*, const char*> content[] = {
      {"TTextEditor1", "TabSheet1"}, {"Chart1", "TabSheet2"}, {"Chart2", "TabSheet3"}, {"TextEditor1", "TabSheet4"}};
  for (const auto& [name, sheet] : content) {
    pages->setCurrentWidget(f.Get(sheet));
    QCOMPARE(f.Get(name)->parentWidget(), f.Get(sheet));
    QCOMPARE(f.Get(name)->geometry(), f.Get(sheet)->rect());
  }
  QVERIFY(ui.Edit_D0->text().isEmpty());
  QVERIFY(ui.Edit_D0->isReadOnly());
  QVERIFY(ui.Label_Seed->text().isEmpty());
  QVERIFY(ui.Label_Seed->textInteractionFlags() & Qt::TextSelectableByMouse);
  QVERIFY(!ui.Button_Cancel->isVisible());
}

void TForm1Test::fieldsHaveTheirCaptionsRangesAndDefaults_data() {
  QTest::addColumn<QString>("caption");
  QTest::addColumn<int>("min");
  QTest::addColumn<int>("max");
  QTest::addColumn<int>("value");
  QTest::newRow("SpinEdit_n") << "n:" << 1 << 100000 << 100;
  QTest::newRow("SpinEdit_k") << "k:" << 2 << 10 << 3;
  QTest::newRow("SpinEdit_D0") << "Do (%):" << 0 << 100 << 50;
  QTest::newRow("SpinEdit_Dmax") << "Dmax (%):" << 0 << 99 << 99;
  QTest::newRow("SpinEdit_Step") << "Step (%):" << 1 << 10 << 10;
  QTest::newRow("SpinEdit_Test") << "Tests:" << 1 << 10000 << 50;
  QTest::newRow("SpinEdit_Tol") << "Tolerance:" << 2 << 15 << 10;
  QTest::newRow("SpinEdit_MaxIts") << "Max Iterations:" << 1 << 1000 << 500;
  QTest::newRow("SpinEdit_Decs") << "Decimal places:" << 1 << 8 << 3;
}

void TForm1Test::fieldsHaveTheirCaptionsRangesAndDefaults() {
  QFETCH(QString, caption);
  QFETCH(int, min);
  QFETCH(int, max);
  QFETCH(int, value);
  Window f;
  TSpinEdit* spin = f.Spin(QTest::currentDataTag());
  QCOMPARE(Caption(spin), caption);
  QCOMPARE(spin->MinValue(), min);
  QCOMPARE(spin->MaxValue(), max);
  QCOMPARE(spin->Value(), value);
  QCOMPARE(spin->text(), QString::number(value));
  QVERIFY(spin->isEnabled());
}

void TForm1Test::boxesHaveTheirCaptionsAndDefaults_data() {
  QTest::addColumn<QString>("caption");
  QTest::addColumn<bool>("checked");
  QTest::addColumn<bool>("captionLeft");
  QTest::newRow("CheckBox_Iterate") << "Iterate from Do% to Dmax%:" << false << false;
  QTest::newRow("CheckBox_Text") << "Text Output _____________" << true << false;
  QTest::newRow("CheckBox_full") << "Full output:" << false << true;
  QTest::newRow("CheckBox_Unsort") << "Sort known:" << false << true;
  QTest::newRow("CheckBox_Table") << "Data Table:" << true << true;
  QTest::newRow("CheckBox_CI") << "Conifidence Interval:" << false << true;
  QTest::newRow("CheckBox_Dka") << "Alternative measures:" << true << true;
  QTest::newRow("CheckBox_Duncond") << "Du" << true << false;
  QTest::newRow("CheckBox_Dcond") << "Dc" << false << false;
  QTest::newRow("cbDtrue") << "D" << true << false;  // turned on by FormCreate
  QTest::newRow("cbDLN") << "D Lord & Novick" << false << false;
  QTest::newRow("comma") << "Residuals Comma delimited" << false << false;
}

void TForm1Test::boxesHaveTheirCaptionsAndDefaults() {
  QFETCH(QString, caption);
  QFETCH(bool, checked);
  QFETCH(bool, captionLeft);
  Window f;
  QCheckBox* box = f.Box(QTest::currentDataTag());
  QCOMPARE(box->text(), caption);
  QCOMPARE(box->isChecked(), checked);
  QVERIFY(box->isEnabled());
  auto* captioned = qobject_cast<CaptionCheckBox*>(box);
  QVERIFY(captioned != nullptr);
  QCOMPARE(captioned->CaptionSide() == CaptionCheckBox::Side::Left, captionLeft);
  // An "&" is part of the caption, not a keyboard mnemonic.
  QVERIFY(box->shortcut().isEmpty());
}

void TForm1Test::controlsStandInOrder() {
  Window f;
  QVERIFY(f.Show());
  const char* const order[] = {
      "Heading_Simulation", "SpinEdit_n",       "SpinEdit_k",      "SpinEdit_D0",    "Edit_D0",
      "CheckBox_Iterate",   "SpinEdit_Dmax",    "SpinEdit_Step",   "SpinEdit_Test",  "CheckBox_Text",
      "CheckBox_full",      "CheckBox_Unsort",  "CheckBox_Table",  "CheckBox_CI",    "CheckBox_Dka",
      "Heading_Analysis",   "SpinEdit_Tol",     "SpinEdit_MaxIts", "SpinEdit_Decs",  "Heading_Graphic",
      "CheckBox_Duncond",   "cbDLN",            "comma",           "Button1",        "Label_Seed"};
  QWidget* panel = f.Get("LeftPanel");
  const auto top = [&](const char* name) { return f.Get(name)->mapTo(panel, QPoint(0, 0)).y(); };
  for (std::size_t i = 1; i < std::size(order); ++i)
    QVERIFY2(top(order[i - 1]) < top(order[i]), order[i]);
  // Du, Dc and D share a row, in that order.
  const auto left = [&](const char* name) { return f.Get(name)->mapTo(panel, QPoint(0, 0)).x(); };
  QCOMPARE(top("CheckBox_Dcond"), top("CheckBox_Duncond"));
  QCOMPARE(top("cbDtrue"), top("CheckBox_Duncond"));
  QVERIFY(left("CheckBox_Duncond") < left("CheckBox_Dcond") && left("CheckBox_Dcond") < left("cbDtrue"));
  // The tolerance reads "Tolerance: 1.0 E - [10]".
  QCOMPARE(f.Get<QLabel>("Label_TolPower")->text(), QStringLiteral("1.0 E -"));
  QVERIFY(left("Label_TolPower") < left("SpinEdit_Tol"));

  const QStringList headings = {f.Get<QLabel>("Heading_Simulation")->text(), f.Get<QLabel>("Heading_Analysis")->text(),
                                f.Get<QLabel>("Heading_Graphic")->text()};
  QCOMPARE(headings, QStringList({QStringLiteral("Simulation Options ____________"),
                                  QStringLiteral("Analysis Options ____________"),
                                  QStringLiteral("Graphic Output _____________")}));
  const QColor maroon(128, 0, 0);
  QCOMPARE(f.Get("Heading_Graphic")->palette().color(QPalette::WindowText), maroon);
  QCOMPARE(f.ui.CheckBox_Text->palette().color(QPalette::WindowText), maroon);
  // Every control lies within the column.
  for (const char* name : order) {
    const QRect r(f.Get(name)->mapTo(panel, QPoint(0, 0)), f.Get(name)->size());
    QVERIFY2(r.right() < panel->width() && r.bottom() < panel->height(), name);
  }
}

void TForm1Test::formCreateSetsTheSeriesBoxes() {
  Window f;
  QVERIFY(f.ui.CheckBox_Duncond->isChecked() && !f.ui.CheckBox_Dcond->isChecked());
  QVERIFY(f.ui.cbDtrue->isChecked() && !f.ui.cbDLN->isChecked());
  // The series follow their boxes; the true-knowledge line is shown, ready for the run's
  // points.
  QVERIFY(f.Active(SeriesId::sPoint_DSEM));
  QVERIFY(!f.Active(SeriesId::sPoint_Dcond));
  QVERIFY(f.Active(SeriesId::sLine));
  QVERIFY(!f.Active(SeriesId::sDLN));
  for (int i = 0; i < veltrano::kSeriesCount; ++i) QCOMPARE(f.Points(static_cast<SeriesId>(i)), std::size_t{0});
  QVERIFY(!f.ui.TTextEditor1->GetModificado());
  QCOMPARE(f.ui.TTextEditor1->LineCount(), 0);
  QCOMPARE(f.ui.TextEditor1->LineCount(), 0);
}

void TForm1Test::aboutPageHoldsItsText() {
  Window f;
  QVERIFY(f.Show());
  auto* text = f.Get<QPlainTextEdit>("AboutText");
  const QStringList lines = text->toPlainText().split(u'\n');
  QCOMPARE(lines.size(), 57);
  // Spot checks where a copy would go wrong: blank lines, trailing blanks, double
  // blanks, quotes and spellings.
  const std::pair<int, const char*> spots[] = {
      {1, ""},
      {2, "The purpose of this software is to show the behavior of the delta model in assessing the degree "},
      {9, "    transformation method."},
      {12, "3. In order to answer the remaining  questions, the inverse transformation method is used again. "},
      {23, "k  = number of alternatives per item"},
      {27, "Check the checkbox \"Iterate from Do to Dmax\" in order to perform a iterative process."},
      {29, "For each Delta,  the value given in number of tests are evaluated."},
      {33, "'Data table' shows the summarized frequencies of correct/uncorrect answers"},
      {39, "Du = Unconditiioned Delta"},
      {47, "Warranty Disclaimer"},
      {49, " "},
      {53, ""},
      {56, " "},
      {57, ""}};
  for (const auto& [line, expected] : spots) QCOMPARE(lines[line - 1], QString::fromLatin1(expected));
  QCOMPARE(lines.filter(QStringLiteral("------------------------------------------------")).size(), 6);

  QVERIFY(text->isReadOnly());
  QCOMPARE(text->frameShape(), QFrame::NoFrame);
  QCOMPARE(text->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  QCOMPARE(text->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  QCOMPARE(f.Get("AboutHeader")->height(), 80);
  QCOMPARE(text->mapTo(f.ui.TabSheet5, QPoint(0, 0)), QPoint(25, 80));
  QCOMPARE(text->geometry().bottomRight(), f.ui.TabSheet5->rect().bottomRight());
  QCOMPARE(f.Get<QLabel>("AboutTitle")->text(), QStringLiteral("Veltrano"));
  QCOMPARE(f.Get<QLabel>("AboutTitle")->font().pointSize(), 12);
  QCOMPARE(f.Get<QLabel>("AboutVersion")->text(), QStringLiteral("v 1.0 - 2014"));
  QCOMPARE(f.Get<QLabel>("AboutVersion")->font().pointSize(), 8);
  QVERIFY(f.Get("AboutVersion")->x() > f.Get("AboutTitle")->geometry().right());
}

// ---- Click rules --------------------------------------------------------------------------

void TForm1Test::textOutputRule() {
  Window f;
  const FormWidgets& ui = f.ui;
  QCheckBox* const four[] = {ui.CheckBox_full, ui.CheckBox_Unsort, ui.CheckBox_Table, ui.CheckBox_CI};

  ui.CheckBox_Text->setChecked(false);
  for (QCheckBox* b : four) QVERIFY2(!b->isEnabled(), qPrintable(b->objectName()));
  QVERIFY(!ui.CheckBox_Dka->isChecked());
  QVERIFY(ui.CheckBox_Dka->isEnabled());

  // Back on: enabled again, and "Alternative measures:" on whatever it was.
  ui.CheckBox_Dka->setChecked(false);
  ui.CheckBox_Text->setChecked(true);
  for (QCheckBox* b : four) QVERIFY2(b->isEnabled(), qPrintable(b->objectName()));
  QVERIFY(ui.CheckBox_Dka->isChecked());

  // A real click runs the same rule.
  QTest::mouseClick(ui.CheckBox_Text, Qt::LeftButton);
  QVERIFY(!ui.CheckBox_Text->isChecked());
  QVERIFY(!ui.CheckBox_full->isEnabled());
}

void TForm1Test::fullOutputRule() {
  Window f;
  const FormWidgets& ui = f.ui;
  ui.CheckBox_Iterate->setChecked(true);
  QCOMPARE(ui.SpinEdit_Test->Value(), 50);

  ui.CheckBox_full->setChecked(true);
  QCOMPARE(ui.SpinEdit_Test->Value(), 1);
  QCOMPARE(ui.SpinEdit_Test->text(), QStringLiteral("1"));
  QVERIFY(!ui.CheckBox_Iterate->isChecked());
  QVERIFY(ui.CheckBox_Unsort->isEnabled());

  // Turning it off touches neither Tests nor Iterate, and disables "Sort known:".
  ui.SpinEdit_Test->SetValue(50);
  ui.CheckBox_Iterate->setChecked(true);
  ui.CheckBox_full->setChecked(false);
  QCOMPARE(ui.SpinEdit_Test->Value(), 50);
  QVERIFY(ui.CheckBox_Iterate->isChecked());
  QVERIFY(!ui.CheckBox_Unsort->isEnabled());
}

void TForm1Test::seriesBoxesShowTheirSeries_data() {
  QTest::addColumn<QString>("box");
  QTest::addColumn<int>("series");
  QTest::newRow("Du") << "CheckBox_Duncond" << int(SeriesId::sPoint_DSEM);
  QTest::newRow("Dc") << "CheckBox_Dcond" << int(SeriesId::sPoint_Dcond);
  QTest::newRow("D") << "cbDtrue" << int(SeriesId::sLine);
  QTest::newRow("D Lord & Novick") << "cbDLN" << int(SeriesId::sDLN);
}

void TForm1Test::seriesBoxesShowTheirSeries() {
  QFETCH(QString, box);
  QFETCH(int, series);
  Window f;
  QCheckBox* b = f.Box(qPrintable(box));
  const auto id = static_cast<SeriesId>(series);
  for (const bool on : {!b->isChecked(), b->isChecked()}) {
    std::vector<bool> expected = f.AllActive();
    expected[static_cast<std::size_t>(series)] = on;
    b->setChecked(on);
    QCOMPARE(f.Active(id), on);
    QVERIFY(f.AllActive() == expected);  // no other series moved
  }
}

void TForm1Test::commaChangesNoSeries() {
  for (const bool dln : {false, true}) {
    Window f;
    f.ui.cbDLN->setChecked(dln);
    const std::vector<bool> before = f.AllActive();
    f.ui.comma->setChecked(true);
    QVERIFY(f.AllActive() == before);
    f.ui.comma->setChecked(false);
    QVERIFY(f.AllActive() == before);
  }
}

// ---- Fields -------------------------------------------------------------------------------

void TForm1Test::fieldIsClampedWhenTheFocusLeaves_data() {
  QTest::addColumn<QString>("field");
  QTest::addColumn<QString>("keys");
  QTest::addColumn<int>("typed");  // the value while the field has the focus
  QTest::addColumn<int>("left");   // the value once the focus has left
  QTest::newRow("k above its range") << "SpinEdit_k" << "25" << 25 << 10;
  QTest::newRow("Tests above its range") << "SpinEdit_Test" << "20000" << 20000 << 10000;
  QTest::newRow("n below its range") << "SpinEdit_n" << "0" << 0 << 1;
  QTest::newRow("Step negative") << "SpinEdit_Step" << "-3" << -3 << 1;
  QTest::newRow("in range") << "SpinEdit_Decs" << "7" << 7 << 7;
  QTest::newRow("letters are refused") << "SpinEdit_MaxIts" << "12x" << 12 << 12;
}

void TForm1Test::fieldIsClampedWhenTheFocusLeaves() {
  QFETCH(QString, field);
  QFETCH(QString, keys);
  QFETCH(int, typed);
  QFETCH(int, left);
  Window f;
  QVERIFY(f.Show());
  TSpinEdit* spin = f.Spin(qPrintable(field));
  Type(spin, keys);
  QCOMPARE(spin->Value(), typed);
  f.ui.Button1->setFocus();
  QVERIFY(!spin->hasFocus());
  QCOMPARE(spin->Value(), left);
  QCOMPARE(spin->text(), QString::number(left));
}

void TForm1Test::fieldWithoutANumberReadsAsItsMinimum_data() {
  QTest::addColumn<QString>("field");
  QTest::addColumn<QString>("text");
  QTest::newRow("empty k") << "SpinEdit_k" << "";
  QTest::newRow("lone sign") << "SpinEdit_Step" << "-";
  QTest::newRow("too large for an integer") << "SpinEdit_Test" << "99999999999";
  QTest::newRow("letters set by the program") << "SpinEdit_n" << "abc";
}

void TForm1Test::fieldWithoutANumberReadsAsItsMinimum() {
  QFETCH(QString, field);
  QFETCH(QString, text);
  Window f;
  QVERIFY(f.Show());
  TSpinEdit* spin = f.Spin(qPrintable(field));
  spin->setFocus();
  spin->findChild<QLineEdit*>()->setText(text);
  QCOMPARE(spin->Value(), spin->MinValue());
  f.ui.Button1->setFocus();
  QCOMPARE(spin->text(), QString::number(spin->MinValue()));
}

void TForm1Test::programWritesAndStepsStayInRange() {
  Window f;
  TSpinEdit* k = f.ui.SpinEdit_k;
  const std::pair<int, int> writes[] = {{25, 10}, {-4, 2}, {7, 7}};
  for (const auto& [value, held] : writes) {
    k->SetValue(value);
    QCOMPARE(k->Value(), held);
    QCOMPARE(k->text(), QString::number(held));
  }
  k->SetValue(9);
  k->stepBy(1);
  QCOMPARE(k->Value(), 10);
  k->stepBy(1);
  QCOMPARE(k->Value(), 10);
  k->stepBy(-1);
  QCOMPARE(k->Value(), 9);
  QCOMPARE(f.w.WriteDmax(100), 99);
  QCOMPARE(f.ui.SpinEdit_Dmax->text(), QStringLiteral("99"));
}

void TForm1Test::dmaxExitRaisesDmaxToDo_data() {
  QTest::addColumn<int>("Do");
  QTest::addColumn<QString>("typed");
  QTest::addColumn<int>("Dmax");
  QTest::newRow("below Do") << 50 << "30" << 50;
  QTest::newRow("above Do") << 50 << "70" << 70;
  QTest::newRow("Do beyond Dmax's range") << 100 << "30" << 99;
  QTest::newRow("typed beyond the range") << 50 << "150" << 99;
}

void TForm1Test::dmaxExitRaisesDmaxToDo() {
  QFETCH(int, Do);
  QFETCH(QString, typed);
  QFETCH(int, Dmax);
  Window f;
  QVERIFY(f.Show());
  f.ui.SpinEdit_D0->SetValue(Do);
  Type(f.ui.SpinEdit_Dmax, typed);
  f.ui.SpinEdit_Step->setFocus();
  QCOMPARE(f.ui.SpinEdit_Dmax->Value(), Dmax);
}

void TForm1Test::okAppliesTheFocusedFieldsRules() {
  // Ok pressed without taking the focus (by the keyboard, or here by the program): the
  // focused field is left first, so the run sees k = 10 and Dmax raised to Do.
  for (const char* field : {"SpinEdit_k", "SpinEdit_Dmax"}) {
    Window f;
    QVERIFY(f.Show());
    f.ui.SpinEdit_Test->SetValue(2);
    Type(f.Spin(field), QStringLiteral("25"));
    QVERIFY(RunToEnd(f.w));
    QCOMPARE(f.ui.SpinEdit_k->Value(), field == std::string("SpinEdit_k") ? 10 : 3);
    QCOMPARE(f.w.Run().k, f.ui.SpinEdit_k->Value());
    QCOMPARE(f.ui.SpinEdit_Dmax->Value(), field == std::string("SpinEdit_Dmax") ? 50 : 99);
    QVERIFY(f.errors.isEmpty());
  }
}

// ---- Runs ---------------------------------------------------------------------------------

void TForm1Test::defaultRun() {
  Window f;
  QVERIFY(f.Show());
  QVERIFY(RunToEnd(f.w));
  QVERIFY(f.errors.isEmpty());
  QCOMPARE(f.ui.PageControl1->currentIndex(), 1);

  const QStringList data = f.Data();
  QCOMPARE(data.size(), 51);
  QVERIFY(data[0].startsWith(QStringLiteral("Test\t")));
  for (int L = 1; L <= 50; ++L) QVERIFY(data[L].startsWith(QString::number(L) + u'\t'));
  const QStringList residuals = f.Residuals();
  QCOMPARE(residuals.size(), 51);
  QCOMPARE(residuals[0], QString::fromLatin1(kResidualsHeader));

  for (const SeriesId s : {SeriesId::sPoint_DSEM, SeriesId::sPoint_Dcond, SeriesId::sDLN, SeriesId::rPoint_DSEM}) {
    QCOMPARE(f.Points(s), std::size_t{50});
    for (const auto& p : f.w.Series(s).Points()) QCOMPARE(p.x, 0.5);
  }
  QCOMPARE(f.w.Series(SeriesId::sLine).Points(),
           (std::vector<veltrano::ChartPoint>{{0, 0}, {1, 1}}));
  QCOMPARE(f.w.Series(SeriesId::rLine).Points(),
           (std::vector<veltrano::ChartPoint>{{0, 0}, {1, 0}}));
  QVERIFY(f.Active(SeriesId::sPoint_DSEM) && f.Active(SeriesId::rPoint_DSEM));
  QVERIFY(!f.Active(SeriesId::sPoint_Dcond) && !f.Active(SeriesId::sDLN));

  QCOMPARE(f.ui.Edit_D0->text(), QStringLiteral("50.00%"));
  QVERIFY(f.ui.TTextEditor1->GetModificado());
  QVERIFY(f.ui.TextEditor1->GetModificado());
  QCOMPARE(f.w.Run().n, 100);
  QCOMPARE(f.w.Run().n_conocido, 50);
  // The window is as before the run: settings usable, no cancel button.
  QVERIFY(!f.w.Running());
  QVERIFY(f.Get("Settings")->isEnabled() && f.ui.Button1->isEnabled());
  QVERIFY(!f.ui.Button_Cancel->isVisible());
  QVERIFY(!f.ui.TTextEditor1->Memo1->isReadOnly());
}

void TForm1Test::secondRunAppends() {
  Window f;
  QVERIFY(RunToEnd(f.w));
  QVERIFY(RunToEnd(f.w));
  const QStringList residuals = f.Residuals();
  QCOMPARE(residuals.size(), 102);
  QCOMPARE(residuals.indexOf(QString::fromLatin1(kResidualsHeader), 1), 51);
  QCOMPARE(f.Data().size(), 102);
  QCOMPARE(f.Points(SeriesId::sPoint_DSEM), std::size_t{100});
  QCOMPARE(f.Points(SeriesId::sLine), std::size_t{4});
}

void TForm1Test::runRaisesDmaxToDo_data() {
  QTest::addColumn<int>("Do");
  QTest::addColumn<bool>("iterate");
  QTest::addColumn<int>("Dmax");
  QTest::addColumn<QString>("lastDoStar");
  QTest::newRow("not iterating") << 50 << false << 50 << "50.00%";
  QTest::newRow("iterating: the single degree Do") << 60 << true << 60 << "60.00%";
  QTest::newRow("Do beyond Dmax's range") << 100 << true << 99 << "100.00%";
}

void TForm1Test::runRaisesDmaxToDo() {
  QFETCH(int, Do);
  QFETCH(bool, iterate);
  QFETCH(int, Dmax);
  QFETCH(QString, lastDoStar);
  Window f;
  f.ui.SpinEdit_D0->SetValue(Do);
  f.ui.SpinEdit_Dmax->SetValue(30);
  f.ui.CheckBox_Iterate->setChecked(iterate);
  f.ui.SpinEdit_Test->SetValue(3);
  QVERIFY(RunToEnd(f.w));
  QCOMPARE(f.ui.SpinEdit_Dmax->Value(), Dmax);
  QCOMPARE(f.ui.SpinEdit_Dmax->text(), QString::number(Dmax));
  QCOMPARE(f.Residuals().size(), 1 + 3);  // one degree only
  QCOMPARE(f.ui.Edit_D0->text(), lastDoStar);
}

void TForm1Test::windowShowsExactlyWhatTheRunWrites_data() {
  // Chunks of lines reach the panes: the text must be the run's lines, one by one.
  QTest::addColumn<int>("tests");
  QTest::addColumn<bool>("iterate");
  QTest::addColumn<bool>("full");
  QTest::addColumn<bool>("text");
  QTest::newRow("more lines than a chunk") << 10000 << false << false << true;
  QTest::newRow("full output of many tests") << 120 << false << true << true;
  QTest::newRow("iterating without text") << 300 << true << false << false;
}

void TForm1Test::windowShowsExactlyWhatTheRunWrites() {
  QFETCH(int, tests);
  QFETCH(bool, iterate);
  QFETCH(bool, full);
  QFETCH(bool, text);
  Window f;
  TForm1& w = f.w;
  const FormWidgets& ui = f.ui;
  ui.CheckBox_full->setChecked(full);
  ui.CheckBox_Text->setChecked(text);
  ui.SpinEdit_Test->SetValue(tests);
  ui.CheckBox_Iterate->setChecked(iterate);
  ui.SpinEdit_D0->SetValue(iterate ? 60 : 50);
  ui.CheckBox_Dcond->setChecked(true);

  const std::uint32_t seed = 20240611;
  w.Generator().Seed(seed);
  QVERIFY(RunToEnd(w));
  QVERIFY(f.errors.isEmpty());

  veltrano::testing::RecordingHost expected;
  veltrano::UniformGenerator rng(seed);
  veltrano::SimulationRun(rng).Execute(w.Snapshot(), expected);

  QCOMPARE(FirstDifference(f.Data(), expected.data), QString());
  QCOMPARE(FirstDifference(f.Residuals(), expected.residuals), QString());
  QCOMPARE(ui.Edit_D0->text().toStdString(), expected.doStar);
  for (int i = 0; i < veltrano::kSeriesCount; ++i) {
    const auto id = static_cast<SeriesId>(i);
    std::vector<veltrano::testing::RecordedPoint> recorded = expected.Series(id);
    std::stable_sort(recorded.begin(), recorded.end(), [](const auto& a, const auto& b) { return a.x < b.x; });
    const std::vector<veltrano::ChartPoint>& shown = w.Series(id).Points();
    QCOMPARE(shown.size(), recorded.size());
    for (std::size_t p = 0; p < shown.size(); ++p)
      QVERIFY(shown[p] == (veltrano::ChartPoint{recorded[p].x, recorded[p].y}));
  }
}

void TForm1Test::seedRepeatsTheRun() {
  Window f;
  f.ui.SpinEdit_Test->SetValue(20);
  QVERIFY(RunToEnd(f.w));
  const QString shown = f.ui.Label_Seed->text();
  QVERIFY(shown.startsWith(QStringLiteral("Seed: ")));
  bool ok = false;
  const std::uint32_t seed = shown.mid(6).toUInt(&ok);
  QVERIFY(ok);
  QVERIFY(f.w.LastSeed() == seed);
  const QStringList first = f.Data();

  f.w.Generator().Seed(seed);
  QVERIFY(RunToEnd(f.w));
  QCOMPARE(f.ui.Label_Seed->text(), shown);
  QCOMPARE(f.Data(), first + first);
}

// "Clear" in a chart's context menu empties that chart; a pane's Clear empties the chart of
// the same tests (data pane and Graph, residuals pane and Residual) unless it was refused.
void TForm1Test::clearEmptiesAChartAndAPaneItsChart() {
  Window f;
  TForm1& w = f.w;
  const FormWidgets& ui = f.ui;
  QVERIFY(RunToEnd(w));
  const auto points = [&](veltrano::ChartWidget* chart) {
    std::size_t n = 0;
    for (const veltrano::ChartSeries& s : chart->Model().AllSeries()) n += s.Count();
    return n;
  };
  QCOMPARE(points(ui.Chart1), std::size_t{3 * 50 + 2});  // Du, Dc, D Lord & Novick and the diagonal
  QCOMPARE(points(ui.Chart2), std::size_t{50 + 2});
  QAction* const clear = ui.Chart1->findChild<QAction*>(QStringLiteral("ClearChart"));
  QVERIFY(clear != nullptr && ui.Chart1->actions().contains(clear));
  clear->trigger();
  QCOMPARE(points(ui.Chart1), std::size_t{0});
  QCOMPARE(points(ui.Chart2), std::size_t{52});
  QCOMPARE(f.Data().size(), 51);

  QVERIFY(RunToEnd(w));  // the next run's points alone
  QCOMPARE(f.Points(SeriesId::sPoint_DSEM), std::size_t{50});
  f.dataDialogs->warningAnswer = QMessageBox::Cancel;
  ui.TTextEditor1->tbDel->trigger();
  QCOMPARE(points(ui.Chart1), std::size_t{152});
  f.dataDialogs->warningAnswer = QMessageBox::No;
  ui.TTextEditor1->tbDel->trigger();
  QCOMPARE(f.Data(), QStringList());
  QCOMPARE(points(ui.Chart1), std::size_t{0});
  QCOMPARE(points(ui.Chart2), std::size_t{104});
  f.residualDialogs->warningAnswer = QMessageBox::No;
  ui.TextEditor1->tbDel->trigger();
  QCOMPARE(points(ui.Chart2), std::size_t{0});
  QVERIFY(f.errors.isEmpty());
}

void TForm1Test::errorInARunIsShownAndTheWindowStaysUsable() {
  TForm1 w;
  const FormWidgets ui(w);
  QStringList errors;
  int dataAtMessage = -1;
  w.SetErrorReporter([&](QWidget* parent, const QString& message) {
    QCOMPARE(parent, static_cast<QWidget*>(&w));
    errors << message;
    dataAtMessage = ui.TTextEditor1->LineCount();  // the lines are there before the message
  });
  // Test 10's analysis fails: the header and 9 tests go through.
  w.SetAnalysisCheck([](std::int32_t L) {
    if (L == 10) throw std::runtime_error("Floating point overflow");
  });
  QVERIFY(RunToEnd(w));
  QCOMPARE(errors, QStringList{QStringLiteral("Floating point overflow")});
  QCOMPARE(ui.TextEditor1->LineCount(), 10);
  QCOMPARE(ui.TTextEditor1->LineCount(), 10);
  QCOMPARE(dataAtMessage, 10);
  QCOMPARE(w.Series(SeriesId::sPoint_DSEM).Count(), std::size_t{9});

  QVERIFY(!w.Running());
  QVERIFY(w.findChild<QWidget*>(QStringLiteral("Settings"))->isEnabled());
  QVERIFY(ui.Button1->isEnabled());
  QVERIFY(!ui.TTextEditor1->Memo1->isReadOnly());

  w.SetAnalysisCheck({});
  QVERIFY(RunToEnd(w));
  QCOMPARE(errors.size(), 1);
  QCOMPARE(ui.TextEditor1->LineCount(), 10 + 51);
  QCOMPARE(ui.Edit_D0->text(), QStringLiteral("50.00%"));
}

void TForm1Test::cancelEndsTheRunKeepingItsOutput_data() {
  QTest::addColumn<QString>("how");
  QTest::newRow("Cancel button") << "button";
  QTest::newRow("Esc key") << "escape";
  QTest::newRow("closing the window") << "close";
}

void TForm1Test::cancelEndsTheRunKeepingItsOutput() {
  QFETCH(QString, how);
  Window f;
  QVERIFY(f.Show());
  TForm1& w = f.w;
  const FormWidgets& ui = f.ui;
  // 100 degrees of 10000 tests: far longer than the test waits.
  ui.SpinEdit_D0->SetValue(0);
  ui.CheckBox_Iterate->setChecked(true);
  ui.SpinEdit_Step->SetValue(1);
  ui.SpinEdit_Test->SetValue(10000);

  struct During {
    bool settingsDisabled = false, okDisabled = false, cancelShown = false, linesShown = false, clearDisabled = false;
    QString progress;
  } during;
  QTimer::singleShot(500, &w, [&] {
    during.settingsDisabled = !f.Get("Settings")->isEnabled();
    during.clearDisabled = !ui.Chart1->ClearAction()->isEnabled() && !ui.TTextEditor1->ToolBar1->isEnabled();
    during.okDisabled = !ui.Button1->isEnabled();
    during.cancelShown = ui.Button_Cancel->isVisible();
    during.linesShown = ui.TTextEditor1->LineCount() > 1;
    during.progress = ui.Label_Progress->text();
    if (how == QLatin1String("button"))
      QTest::mouseClick(ui.Button_Cancel, Qt::LeftButton);
    else if (how == QLatin1String("escape"))
      QTest::keyClick(&w, Qt::Key_Escape);
    else
      w.close();
  });
  // Closing asks about the modified panes once the run has ended.
  f.dataDialogs->warningAnswer = QMessageBox::No;
  f.residualDialogs->warningAnswer = QMessageBox::No;

  QElapsedTimer clock;
  clock.start();
  QVERIFY2(RunToEnd(w, 20000), "the run was not cancelled");
  QVERIFY(f.errors.isEmpty());

  QVERIFY(during.settingsDisabled && during.okDisabled && during.cancelShown && during.linesShown &&
          during.clearDisabled);
  QVERIFY2(during.progress.contains(QRegularExpression(QStringLiteral("degree \\d+ of 100\n"))),
           qPrintable(during.progress));
  QVERIFY(during.progress.contains(QStringLiteral("left")));

  // Every test that ran is complete in every output.
  const int tests = static_cast<int>(f.Points(SeriesId::rPoint_DSEM));
  QVERIFY(tests > 0 && tests < 1000000);
  QCOMPARE(f.Data().size(), 1 + tests);
  QVERIFY(f.Data().last().startsWith(QString::number(tests) + u'\t'));
  QCOMPARE(f.Residuals().size(), 1 + tests);
  QCOMPARE(f.Points(SeriesId::sPoint_DSEM), std::size_t(tests));
  QVERIFY(!w.Running());
  QVERIFY(!ui.Button_Cancel->isVisible());
  if (how == QLatin1String("close")) {
    QVERIFY(!w.isVisible());
    QCOMPARE(f.asked, QStringList({QStringLiteral("data:warning:Save the text of the Data pane? (on show)"),
                                   QStringLiteral("residuals:warning:Save the text of the Residuals pane? (on show)")}));
  } else {
    QVERIFY(f.asked.isEmpty());
    QVERIFY(w.isVisible());
    QCOMPARE(ui.Label_Progress->text(), QStringLiteral("Cancelled after %1 of 1000000 tests").arg(tests));
    QVERIFY(f.Get("Settings")->isEnabled() && ui.Button1->isEnabled());
  }
}

// ---- Nothing lost ---------------------------------------------------------------------------

void TForm1Test::closeAsksAboutModifiedPanes_data() {
  // An answer: "No", "Cancel", "Yes" (saved to a file), "Yes, save cancelled",
  // "Yes, save fails" (the name is a folder); "-" when the pane is not asked.
  QTest::addColumn<bool>("run");
  QTest::addColumn<QString>("dataAnswer");
  QTest::addColumn<QString>("residualAnswer");
  QTest::addColumn<bool>("closed");
  QTest::addColumn<QStringList>("asked");  // "<dir>" stands for the test's folder
  // Each question names its pane.
  const QString data = QStringLiteral("data:warning:Save the text of the Data pane? (on show)");
  const QString residuals = QStringLiteral("residuals:warning:Save the text of the Residuals pane? (on show)");
  QTest::newRow("nothing modified") << false << "-" << "-" << true << QStringList{};
  QTest::newRow("No to both") << true << "No" << "No" << true << QStringList{data, residuals};
  QTest::newRow("Yes saves both") << true << "Yes" << "Yes" << true
                                  << QStringList{data, "data:save", residuals, "residuals:save"};
  QTest::newRow("Cancel keeps the window") << true << "Cancel" << "-" << false << QStringList{data};
  QTest::newRow("No, then Cancel") << true << "No" << "Cancel" << false << QStringList{data, residuals};
  QTest::newRow("save dialog cancelled") << true << "Yes, save cancelled" << "-" << false
                                         << QStringList{data, "data:save"};
  QTest::newRow("save fails") << true << "Yes, save fails" << "-" << false
                              << QStringList{data, "data:save",
                                             "data:error:Cannot write \"<dir>\": Filename refers to a directory"};
}

void TForm1Test::closeAsksAboutModifiedPanes() {
  QFETCH(bool, run);
  QFETCH(QString, dataAnswer);
  QFETCH(QString, residualAnswer);
  QFETCH(bool, closed);
  QFETCH(QStringList, asked);
  QTemporaryDir dir;
  Window f;
  QVERIFY(f.Show());
  if (run) {
    f.ui.SpinEdit_Test->SetValue(3);
    QVERIFY(RunToEnd(f.w));
  }
  const auto script = [&](ScriptedDialogs& d, const QString& answer, const QString& file) {
    d.warningAnswer = answer.startsWith(QStringLiteral("Yes")) ? QMessageBox::Yes
                      : answer == QLatin1String("No")          ? QMessageBox::No
                                                               : QMessageBox::Cancel;
    if (answer == QLatin1String("Yes")) d.saveName = dir.filePath(file);
    if (answer == QLatin1String("Yes, save fails")) d.saveName = dir.path();
  };
  script(*f.dataDialogs, dataAnswer, QStringLiteral("data.txt"));
  script(*f.residualDialogs, residualAnswer, QStringLiteral("residuals.txt"));
  const QStringList dataLines = f.Data();
  const QStringList residualLines = f.Residuals();

  QCOMPARE(f.w.close(), closed);
  QCOMPARE(f.w.isVisible(), !closed);
  asked.replaceInStrings(QStringLiteral("<dir>"), QDir::toNativeSeparators(dir.path()));
  QCOMPARE(f.asked, asked);
  if (dataAnswer == QLatin1String("Yes")) {
    QCOMPARE(FileLines(dir.filePath(QStringLiteral("data.txt"))), dataLines);
    QCOMPARE(FileLines(dir.filePath(QStringLiteral("residuals.txt"))), residualLines);
    QVERIFY(!f.ui.TTextEditor1->GetModificado() && !f.ui.TextEditor1->GetModificado());
  }
  // Nothing is lost by a close that was refused.
  QCOMPARE(f.Data(), dataLines);
  QCOMPARE(f.Residuals(), residualLines);
}

namespace {

struct EstimateCase {
  const char* name;
  veltrano::RunSettings settings;
};

std::vector<EstimateCase> EstimateCases() {
  std::vector<EstimateCase> cases;
  const auto add = [&](const char* name, auto change) {
    veltrano::RunSettings s;
    change(s);
    cases.push_back({name, s});
  };
  add("results lines, defaults", [](veltrano::RunSettings&) {});
  add("cells of k = 10, n = 100000", [](veltrano::RunSettings& s) {
    s.SpinEdit_k = 10;
    s.SpinEdit_n = 100000;
    s.SpinEdit_Test = 12;
  });
  add("interval, 8 decimals, iterating", [](veltrano::RunSettings& s) {
    s.CheckBox_CI = true;
    s.SpinEdit_Decs = 8;
    s.CheckBox_Iterate = true;
    s.SpinEdit_D0 = 0;
    s.SpinEdit_Step = 10;
    s.SpinEdit_Test = 15;
  });
  add("no text", [](veltrano::RunSettings& s) {
    s.CheckBox_Text = false;
    s.SpinEdit_Test = 200;
  });
  add("full listing, shuffled", [](veltrano::RunSettings& s) {
    s.CheckBox_full = true;
    s.SpinEdit_n = 300;
    s.SpinEdit_D0 = 30;
    s.SpinEdit_Test = 3;
  });
  add("full listing, known first, k = 10, iterating", [](veltrano::RunSettings& s) {
    s.CheckBox_full = true;
    s.CheckBox_Unsort = true;
    s.SpinEdit_k = 10;
    s.SpinEdit_n = 1000;
    s.CheckBox_Iterate = true;
    s.SpinEdit_D0 = 0;
    s.SpinEdit_Step = 7;
    s.SpinEdit_Dmax = 99;
    s.SpinEdit_Test = 1;
  });
  add("Do 100, beyond Dmax's range", [](veltrano::RunSettings& s) {
    s.CheckBox_full = true;
    s.SpinEdit_n = 50;
    s.SpinEdit_D0 = 100;
    s.CheckBox_Iterate = true;
    s.SpinEdit_Dmax = 30;
    s.SpinEdit_Test = 2;
  });
  return cases;
}

std::int64_t TextBytes(const std::vector<std::string>& lines) {
  std::int64_t bytes = 0;
  for (const std::string& line : lines) bytes += static_cast<std::int64_t>(line.size()) + 1;
  return bytes;
}

}  // namespace

void TForm1Test::runTextEstimateBoundsWhatTheRunWrites_data() {
  QTest::addColumn<int>("index");
  const std::vector<EstimateCase> cases = EstimateCases();
  for (std::size_t i = 0; i < cases.size(); ++i) QTest::newRow(cases[i].name) << static_cast<int>(i);
}

void TForm1Test::runTextEstimateBoundsWhatTheRunWrites() {
  QFETCH(int, index);
  const veltrano::RunSettings s = EstimateCases()[static_cast<std::size_t>(index)].settings;
  const veltrano::RunTextSize estimate = veltrano::EstimateRunText(s);
  const veltrano::testing::RecordingHost run = RecordedRun(s, 77);
  // Lines are counted exactly; bytes never fall short, and stay close enough that the
  // question is not asked of runs far below the limit.
  QCOMPARE(estimate.dataLines, static_cast<std::int64_t>(run.data.size()));
  QCOMPARE(estimate.residualLines, static_cast<std::int64_t>(run.residuals.size()));
  const std::int64_t data = TextBytes(run.data);
  const std::int64_t residuals = TextBytes(run.residuals);
  QVERIFY2(estimate.dataBytes >= data && estimate.dataBytes <= data + data / 2,
           qPrintable(QStringLiteral("%1 bytes estimated, %2 written").arg(estimate.dataBytes).arg(data)));
  QVERIFY2(estimate.residualBytes >= residuals && estimate.residualBytes <= residuals + residuals / 2,
           qPrintable(QStringLiteral("%1 bytes estimated, %2 written").arg(estimate.residualBytes).arg(residuals)));
  QCOMPARE(estimate.tests, static_cast<std::int64_t>(run.residuals.size()) - 1);
}

void TForm1Test::bigRunAsksWhereTheDataGoes_data() {
  // The answer to the question: "Keep" (in the pane), "Cancel", "File", "File, save
  // cancelled", "File, unwritable" (the name is a folder); "-": not asked (the run is
  // below the limit).
  QTest::addColumn<QString>("answer");
  QTest::addColumn<bool>("runs");
  QTest::newRow("below the limit") << "-" << true;
  QTest::newRow("keep in the pane") << "Keep" << true;
  QTest::newRow("write to a file") << "File" << true;
  QTest::newRow("cancel") << "Cancel" << false;
  QTest::newRow("save dialog cancelled") << "File, save cancelled" << false;
  QTest::newRow("unwritable file") << "File, unwritable" << false;
  // Beyond the free memory the pane is not offered: its answer (which the box cannot give)
  // counts as Cancel.
  QTest::newRow("beyond free memory: file") << "File, no memory" << true;
  QTest::newRow("beyond free memory: pane") << "Keep, no memory" << false;
}

void TForm1Test::bigRunAsksWhereTheDataGoes() {
  QFETCH(QString, answer);
  QFETCH(bool, runs);
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("data.txt"));
  Window f;
  TForm1& w = f.w;
  const FormWidgets& ui = f.ui;
  SmallFullRun(w);
  if (answer == QLatin1String("-")) w.SetPaneTextLimit(veltrano::kPaneTextLimit);
  const bool noMemory = answer.endsWith(QStringLiteral(", no memory"));
  w.SetFreeMemoryProbe([noMemory] { return std::optional<std::int64_t>(noMemory ? 5000 : std::int64_t{1} << 40); });
  f.dataDialogs->questionAnswer = answer.startsWith(QStringLiteral("Keep"))   ? QMessageBox::No
                                  : answer.startsWith(QStringLiteral("File")) ? QMessageBox::Yes
                                                                           : QMessageBox::Cancel;
  if (answer == QLatin1String("File") || answer == QLatin1String("File, no memory")) f.dataDialogs->saveName = file;
  if (answer == QLatin1String("File, unwritable")) f.dataDialogs->saveName = dir.path();

  const std::uint32_t seed = 4711;
  w.Generator().Seed(seed);
  QVERIFY(RunToEnd(w));

  if (answer == QLatin1String("-")) {
    QVERIFY(f.asked.isEmpty());
  } else {
    QVERIFY(!f.asked.isEmpty());
    QVERIFY2(f.asked[0].startsWith(QStringLiteral("data:question:This run will write up to ")), qPrintable(f.asked[0]));
    if (noMemory) {
      QVERIFY2(f.asked[0].contains(QStringLiteral("more than the memory this machine has free (5.0 kB)")),
               qPrintable(f.asked[0]));
      QVERIFY(f.asked[0].endsWith(QStringLiteral(" [no second choice]")));
    } else {
      QVERIFY(f.asked[0].contains(QStringLiteral("more than 1 kB")));
      QVERIFY(!f.asked[0].endsWith(QStringLiteral(" [no second choice]")));
    }
  }
  if (answer == QLatin1String("File, unwritable"))
    QCOMPARE(f.errors, QStringList{QStringLiteral("Cannot write \"%1\": Is a directory").arg(dir.path())});
  else
    QVERIFY(f.errors.isEmpty());
  if (!runs) {
    // Nothing ran: no seed taken, nothing written anywhere.
    QVERIFY(!w.LastSeed());
    QCOMPARE(ui.TTextEditor1->LineCount(), 0);
    QCOMPARE(ui.TextEditor1->LineCount(), 0);
    QCOMPARE(f.Points(SeriesId::sPoint_DSEM), std::size_t{0});
    QVERIFY(!QFile::exists(file));
    return;
  }

  const veltrano::testing::RecordingHost expected = RecordedRun(w.Snapshot(), seed);
  QCOMPARE(FirstDifference(f.Residuals(), expected.residuals), QString());
  QCOMPARE(f.Points(SeriesId::sPoint_DSEM), expected.Series(SeriesId::sPoint_DSEM).size());
  if (answer.startsWith(QStringLiteral("File"))) {
    // The file holds exactly what the pane would have; the pane says where it went.
    QCOMPARE(FirstDifference(FileLines(file), expected.data), QString());
    QCOMPARE(f.Data(), QStringList{QStringLiteral("The data lines of this run go to \"%1\"").arg(file)});
  } else {
    QCOMPARE(FirstDifference(f.Data(), expected.data), QString());
  }
}

void TForm1Test::dataFileHoldsEveryTestBeforeAnError() {
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("data.txt"));
  Window f;
  TForm1& w = f.w;
  const FormWidgets& ui = f.ui;
  SmallFullRun(w);
  ui.SpinEdit_Test->SetValue(10);
  f.dataDialogs->questionAnswer = QMessageBox::Yes;
  f.dataDialogs->saveName = file;

  // Test 7's analysis fails: the file holds tests 1 to 6, whole.
  const auto failAt7 = [](std::int32_t L) {
    if (L == 7) throw std::runtime_error("Floating point overflow");
  };
  w.SetAnalysisCheck(failAt7);
  w.Generator().Seed(99);
  QVERIFY(RunToEnd(w));
  QCOMPARE(f.errors, QStringList{QStringLiteral("Floating point overflow")});
  const veltrano::testing::RecordingHost expected = RecordedRun(w.Snapshot(), 99, failAt7);
  QCOMPARE(expected.residuals.size(), std::size_t{7});
  QCOMPARE(FirstDifference(FileLines(file), expected.data), QString());

  // The file cannot take the lines (the disk is full): the run says so, naming the file.
  w.SetAnalysisCheck({});
  f.errors.clear();
  {
    FileSizeLimit limit(4096);
    QVERIFY(limit.active());
    QVERIFY(RunToEnd(w));
  }
  QCOMPARE(f.errors, QStringList{QStringLiteral("Cannot write \"%1\": File too large").arg(file)});
  QVERIFY(!w.Running() && ui.Button1->isEnabled());
}

QTEST_MAIN(TForm1Test)
#include "tst_tform1.moc"
