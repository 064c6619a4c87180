// TForm1: building the controls. Captions, ranges and defaults come from the settings
// table (simulation/RunSettings.h); the look (sizes, colours, order) is the window's own.
#include "ui/TForm1.h"

#include "ui/AboutPage.h"
#include "ui/CaptionCheckBox.h"
#include "ui/ChartWidget.h"
#include "ui/SpinEdit.h"
#include "ui/SummaryPage.h"
#include "ui/TTextEditor.h"

#include <QAction>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace veltrano {
namespace {

constexpr int kLeftColumnWidth = 177;
constexpr int kClientWidth = 1073;
constexpr int kClientHeight = 694;
constexpr int kOkButtonWidth = 150;
constexpr int kFieldWidth = 68;  // "100000" and the buttons

const QColor kMaroon(128, 0, 0);
// The light blue-grey of an inactive title bar: the field is written by the run, not
// typed into, and looks it.
const QColor kInactiveCaption(215, 228, 242);

QFont WindowFont() {
  const QString tahoma = QStringLiteral("Tahoma");
  QFont font = QFontDatabase::families().contains(tahoma, Qt::CaseInsensitive)
                   ? QFont(tahoma)
                   : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPointSize(8);
  return font;
}

void Paint(QWidget* w, QPalette::ColorRole role, const QColor& color) {
  QPalette p = w->palette();
  p.setColor(role, color);
  w->setPalette(p);
}

QString Latin1(std::string_view text) { return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())); }

QLabel* Heading(const QString& caption, const QString& name, QWidget* parent) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(name);
  Paint(label, QPalette::WindowText, kMaroon);
  // The trailing underscores run to the column's edge; a narrow font shows them all,
  // a wide one clips them there rather than widening the column.
  label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  return label;
}

}  // namespace

void TForm1::BuildControls() {
  setWindowTitle(QStringLiteral("Veltrano"));
  setFont(WindowFont());
  // The window's background is the button face, as the controls on it.
  Paint(this, QPalette::Window, palette().color(QPalette::Button));

  auto* central = new QWidget(this);
  central->setObjectName(QStringLiteral("ClientArea"));
  auto* layout = new QHBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(BuildLeftColumn(central));

  PageControl1 = new QTabWidget(central);
  PageControl1->setObjectName(QStringLiteral("PageControl1"));
  PageControl1->setTabPosition(QTabWidget::South);
  layout->addWidget(PageControl1, 1);
  setCentralWidget(central);
  BuildPages();

  resize(kClientWidth, kClientHeight);
  // In the centre of the desktop at start.
  if (const QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());

  progressTimer_ = new QTimer(this);
  progressTimer_->setObjectName(QStringLiteral("ProgressTimer"));
  connect(progressTimer_, &QTimer::timeout, this, &TForm1::ShowProgress);

  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setObjectName(QStringLiteral("CancelShortcut"));
  connect(escape, &QShortcut::activated, this, &TForm1::CancelRun);
}

// A labelled field: the caption at the left (its buddy is the field), the field at the
// right, as wide as the longest number it takes needs.
TSpinEdit* TForm1::AddField(QGridLayout* grid, int& row, const SettingEntry& entry) {
  auto* spin = new TSpinEdit(entry.min, entry.max, entry.byDefault, settings_);
  spin->setObjectName(Latin1(entry.control));
  spin->setFixedWidth(kFieldWidth);
  auto* label = new QLabel(Latin1(entry.caption), settings_);
  label->setBuddy(spin);
  grid->addWidget(label, row, 0, 1, 2);
  grid->addWidget(spin, row++, 2);
  return spin;
}

// A check box with its caption at the left or the right, and its default.
QCheckBox* TForm1::AddBox(QWidget* parent, const SettingEntry& entry, bool captionLeft) {
  auto* box = new CaptionCheckBox(Latin1(entry.caption),
                                  captionLeft ? CaptionCheckBox::Side::Left : CaptionCheckBox::Side::Right, parent);
  box->setObjectName(Latin1(entry.control));
  box->setChecked(entry.byDefault != 0);
  return box;
}

QWidget* TForm1::BuildLeftColumn(QWidget* parent) {
  auto* panel = new QWidget(parent);
  panel->setObjectName(QStringLiteral("LeftPanel"));
  panel->setFixedWidth(kLeftColumnWidth);
  auto* column = new QVBoxLayout(panel);
  column->setContentsMargins(5, 6, 6, 6);
  column->setSpacing(4);

  settings_ = new QWidget(panel);
  settings_->setObjectName(QStringLiteral("Settings"));
  auto* grid = new QGridLayout(settings_);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setHorizontalSpacing(2);
  grid->setVerticalSpacing(3);
  grid->setColumnStretch(0, 1);
  int row = 0;
  const auto heading = [&](const char* caption, const char* objectName) {
    grid->addWidget(Heading(QString::fromLatin1(caption), QString::fromLatin1(objectName), settings_), row++, 0, 1,
                    3);
  };
  const auto wholeRow = [&](QWidget* w) { grid->addWidget(w, row++, 0, 1, 3); };

  heading("Simulation Options ____________", "Heading_Simulation");
  SpinEdit_n = AddField(grid, row, setting::n);
  SpinEdit_k = AddField(grid, row, setting::k);
  SpinEdit_D0 = AddField(grid, row, setting::D0);

  Edit_D0 = new QLineEdit(settings_);
  Edit_D0->setObjectName(QStringLiteral("Edit_D0"));
  Edit_D0->setReadOnly(true);
  Edit_D0->setFocusPolicy(Qt::NoFocus);
  Edit_D0->setFixedWidth(kFieldWidth);
  Paint(Edit_D0, QPalette::Base, kInactiveCaption);
  auto* doStarLabel = new QLabel(QStringLiteral("Do*:"), settings_);
  doStarLabel->setBuddy(Edit_D0);
  grid->addWidget(doStarLabel, row, 0, 1, 2);
  grid->addWidget(Edit_D0, row++, 2);

  wholeRow(CheckBox_Iterate = AddBox(settings_, setting::Iterate, false));
  SpinEdit_Dmax = AddField(grid, row, setting::Dmax);
  SpinEdit_Step = AddField(grid, row, setting::Step);
  SpinEdit_Test = AddField(grid, row, setting::Test);

  // "Text Output" is a box that reads as the heading of its group.
  auto* textHeading = static_cast<CaptionCheckBox*>(CheckBox_Text = AddBox(settings_, setting::Text, false));
  Paint(textHeading, QPalette::WindowText, kMaroon);
  textHeading->SetWordWrap(false);
  textHeading->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  wholeRow(textHeading);
  wholeRow(CheckBox_full = AddBox(settings_, setting::full, true));
  wholeRow(CheckBox_Unsort = AddBox(settings_, setting::Unsort, true));
  wholeRow(CheckBox_Table = AddBox(settings_, setting::Table, true));
  wholeRow(CheckBox_CI = AddBox(settings_, setting::CI, true));
  wholeRow(CheckBox_Dka = AddBox(settings_, setting::Dka, true));

  heading("Analysis Options ____________", "Heading_Analysis");
  {
    // "Tolerance: 1.0 E - [10]": the field holds the exponent.
    SpinEdit_Tol = new TSpinEdit(setting::Tol.min, setting::Tol.max, setting::Tol.byDefault, settings_);
    SpinEdit_Tol->setObjectName(Latin1(setting::Tol.control));
    SpinEdit_Tol->setFixedWidth(kFieldWidth);
    auto* label = new QLabel(Latin1(setting::Tol.caption), settings_);
    label->setBuddy(SpinEdit_Tol);
    auto* power = new QLabel(QStringLiteral("1.0 E -"), settings_);
    power->setObjectName(QStringLiteral("Label_TolPower"));
    grid->addWidget(label, row, 0);
    grid->addWidget(power, row, 1);
    grid->addWidget(SpinEdit_Tol, row++, 2);
  }
  SpinEdit_MaxIts = AddField(grid, row, setting::MaxIts);
  SpinEdit_Decs = AddField(grid, row, setting::Decs);

  heading("Graphic Output _____________", "Heading_Graphic");
  {
    auto* three = new QHBoxLayout();
    three->setSpacing(10);
    three->addWidget(CheckBox_Duncond = AddBox(settings_, setting::Duncond, false));
    three->addWidget(CheckBox_Dcond = AddBox(settings_, setting::Dcond, false));
    // "D" starts off; FormCreate turns it on, which shows the diagonal.
    three->addWidget(cbDtrue = AddBox(settings_, setting::Dtrue, false));
    cbDtrue->setChecked(false);
    three->addStretch(1);
    grid->addLayout(three, row++, 0, 1, 3);
  }
  wholeRow(cbDLN = AddBox(settings_, setting::DLN, false));
  wholeRow(comma = AddBox(settings_, setting::comma, false));
  column->addWidget(settings_);

  column->addSpacing(6);
  Button1 = new QPushButton(QStringLiteral("Ok"), panel);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setFixedWidth(kOkButtonWidth);
  column->addWidget(Button1, 0, Qt::AlignHCenter);
  // Answer sheets have a button of their own where the run's is, not only on the data
  // pane's tool bar, which opens behind a small arrow.
  Button_Sheets = new QPushButton(QStringLiteral("Answer sheets\u2026"), panel);
  Button_Sheets->setObjectName(QStringLiteral("Button_Sheets"));
  Button_Sheets->setFixedWidth(kOkButtonWidth);
  Button_Sheets->setToolTip(QStringLiteral(
      "Analyse every examinee of an answer sheet (CSV or tab-separated: id, then one mark per item; a KEY row "
      "or a key file) with the analysis options, appending one CSV line per examinee to the Data page"));
  column->addWidget(Button_Sheets, 0, Qt::AlignHCenter);

  Label_Seed = new QLabel(panel);
  Label_Seed->setObjectName(QStringLiteral("Label_Seed"));
  Label_Seed->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  Label_Seed->setToolTip(QStringLiteral("The generator's state when the last run started: "
                                        "veltrano-batch simulate --seed S repeats the run"));
  column->addWidget(Label_Seed);

  Label_Progress = new QLabel(panel);
  Label_Progress->setObjectName(QStringLiteral("Label_Progress"));
  Label_Progress->setWordWrap(true);
  Label_Progress->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Label_Progress->hide();
  column->addWidget(Label_Progress);

  Button_Cancel = new QPushButton(QStringLiteral("Cancel"), panel);
  Button_Cancel->setObjectName(QStringLiteral("Button_Cancel"));
  Button_Cancel->setFixedWidth(kOkButtonWidth);
  Button_Cancel->setToolTip(QStringLiteral("End the run after the current test (Esc)"));
  Button_Cancel->hide();
  column->addWidget(Button_Cancel, 0, Qt::AlignHCenter);
  column->addStretch(1);
  return panel;
}

void TForm1::BuildPages() {
  const auto page = [this](QWidget*& sheet, const char* objectName, const QString& caption) {
    sheet = new QWidget(PageControl1);
    sheet->setObjectName(QString::fromLatin1(objectName));
    PageControl1->addTab(sheet, caption);
  };
  // A widget filling its tab.
  const auto fill = [](QWidget* sheet, QWidget* content) {
    auto* layout = new QVBoxLayout(sheet);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
  };

  page(TabSheet1, "TabSheet1", QStringLiteral(" Data"));
  page(TabSheet2, "TabSheet2", QStringLiteral("Graph"));
  page(TabSheet3, "TabSheet3", QStringLiteral("Residual"));
  page(TabSheet4, "TabSheet4", QStringLiteral("Residuals"));
  page(TabSummary, "TabSummary", QStringLiteral("Summary"));
  page(TabSheet5, "TabSheet5", QStringLiteral("About"));

  TTextEditor1 = new TTextEditor(TabSheet1);
  TTextEditor1->setObjectName(QStringLiteral("TTextEditor1"));
  fill(TabSheet1, TTextEditor1);
  // The data pane's tool bar also analyses answer sheets into the pane: a button that
  // says what it does in words, after the pane's own three icons.
  tbAnalyseSheets = new QAction(QStringLiteral("Analyse answer sheets\u2026"), TTextEditor1->ToolBar1);
  tbAnalyseSheets->setObjectName(QStringLiteral("tbAnalyseSheets"));
  tbAnalyseSheets->setToolTip(QStringLiteral(
      "Analyse every examinee of an answer sheet (CSV or tab-separated: id, then one mark per item; a KEY row "
      "or a key file) with the analysis options, appending one CSV line per examinee"));
  auto* sheetsButton = new QToolButton(TTextEditor1->ToolBar1);
  sheetsButton->setObjectName(QStringLiteral("tbAnalyseSheetsButton"));
  sheetsButton->setDefaultAction(tbAnalyseSheets);
  sheetsButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
  TTextEditor1->ToolBar1->addWidget(sheetsButton);
  TextEditor1 = new TTextEditor(TabSheet4);
  TextEditor1->setObjectName(QStringLiteral("TextEditor1"));
  fill(TabSheet4, TextEditor1);

  // The series start as the boxes that show them: Du on, Dc and D Lord & Novick off, and
  // the true-knowledge line off until FormCreate turns "D" on.
  ChartModel estimates = ChartModel::Chart1();
  estimates.Series("sPoint_DSEM").SetActive(true);
  estimates.Series("sPoint_Dcond").SetActive(false);
  estimates.Series("sLine").SetActive(false);
  estimates.Series("sDLN").SetActive(false);
  Chart1 = new ChartWidget(std::move(estimates), TabSheet2);
  Chart1->setObjectName(QStringLiteral("Chart1"));
  fill(TabSheet2, Chart1);
  Chart2 = new ChartWidget(ChartModel::Chart2(), TabSheet3);
  Chart2->setObjectName(QStringLiteral("Chart2"));
  fill(TabSheet3, Chart2);
  // Both charts gather every run's points, so both can be cleared.
  for (ChartWidget* chart : {Chart1, Chart2}) chart->AddClearAction();

  for (int i = 0; i < kSeriesCount; ++i) {
    const auto id = static_cast<SeriesId>(i);
    ChartWidget* chart = ChartOf(id) == RunChart::Residual ? Chart2 : Chart1;
    series_[static_cast<std::size_t>(i)] = {chart, chart->Series(SeriesName(id))};
  }

  Summary = new SummaryPage(TabSummary);
  Summary->setObjectName(QStringLiteral("Summary"));
  fill(TabSummary, Summary);

  BuildAboutPage(TabSheet5);
  PageControl1->setCurrentWidget(TabSheet5);
}

}  // namespace veltrano
