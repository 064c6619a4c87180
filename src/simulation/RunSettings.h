#pragma once
// The settings of one simulation run, and the one table that describes them.
//
// RunSettings is a plain snapshot of the main window's controls, taken once when the
// run starts; each field carries the name of the control it comes from. The table
// below says, for every setting, its control, its caption in the window, its range and
// default, and its veltrano-batch option with the help text: the window builds its
// fields from it, veltrano-batch its options, and the study command its ranges.
#include <string_view>

#include "analysis/AnalysisSettings.h"

namespace veltrano {

/// One setting as the window shows it and veltrano-batch takes it. A switch (a check
/// box) has the range 0..1.
struct SettingEntry {
  std::string_view control;   // the window's control, and the RunSettings field
  std::string_view caption;   // the caption beside it in the window
  std::string_view group;     // the heading it stands under, window and --help alike
  std::string_view option;    // veltrano-batch's option
  std::string_view negation;  // a switch's "off" option, or empty when it has none
  int min = 0;
  int max = 1;
  int byDefault = 0;
  std::string_view help;      // what it does, for --help
};

/// The setting's name, as messages mark it (numeric/SettingText.h): its option without "--".
constexpr std::string_view SettingName(const SettingEntry& e) noexcept { return e.option.substr(2); }

inline constexpr std::string_view kSimulationGroup = "Simulation options";
inline constexpr std::string_view kTextGroup = "Text output";
inline constexpr std::string_view kAnalysisGroup = "Analysis options";
inline constexpr std::string_view kGraphicGroup = "Graphic output";

namespace setting {
// Captions are the window's own, misspellings included ("Conifidence" is kept verbatim:
// users know the box by it).
inline constexpr SettingEntry n{"SpinEdit_n", "n:", kSimulationGroup, "--n", "", 1, 100000, 100,
                               "n, items per test"};
inline constexpr SettingEntry k{"SpinEdit_k", "k:", kSimulationGroup, "--k", "", kMinAlternatives, kMaxAlternatives, 3,
                               "k, alternatives per item"};
inline constexpr SettingEntry D0{"SpinEdit_D0", "Do (%):", kSimulationGroup, "--do", "", 0, 100, 50,
                                "Do, degree of knowledge in percent (the first when iterating)"};
inline constexpr SettingEntry Iterate{"CheckBox_Iterate", "Iterate from Do% to Dmax%:", kSimulationGroup,
                                     "--iterate", "", 0, 1, 0, "walk the degrees Do, Do + step, ... up to Dmax"};
inline constexpr SettingEntry Dmax{"SpinEdit_Dmax", "Dmax (%):", kSimulationGroup, "--dmax", "", 0, 99, 99,
                                  "Dmax, the last degree when iterating, in percent"};
inline constexpr SettingEntry Step{"SpinEdit_Step", "Step (%):", kSimulationGroup, "--step", "", 1, 10, 10,
                                  "step between degrees, in percent"};
inline constexpr SettingEntry Test{"SpinEdit_Test", "Tests:", kSimulationGroup, "--tests", "", 1, 10000, 50,
                                  "tests per degree"};
inline constexpr SettingEntry Text{"CheckBox_Text", "Text Output _____________", kTextGroup, "--text", "--no-text",
                                  0, 1, 1, "write the data lines at all"};
inline constexpr SettingEntry full{"CheckBox_full", "Full output:", kTextGroup, "--full", "", 0, 1, 0,
                                  "item-by-item listing and observed table for every test"};
inline constexpr SettingEntry Unsort{"CheckBox_Unsort", "Sort known:", kTextGroup, "--sort-known", "", 0, 1, 0,
                                    "list the items in their own order, known items first"};
inline constexpr SettingEntry Table{"CheckBox_Table", "Data Table:", kTextGroup, "--table", "--no-table", 0, 1, 1,
                                   "the table's cells in the results lines"};
inline constexpr SettingEntry CI{"CheckBox_CI", "Conifidence Interval:", kTextGroup, "--ci", "", 0, 1, 0,
                                "confidence interval of delta (IC-(D), IC+(D)) in the record"};
inline constexpr SettingEntry Dka{"CheckBox_Dka", "Alternative measures:", kTextGroup, "--alternative",
                                 "--no-alternative", 0, 1, 1,
                                 "alternative measures: the conditional estimate Dk&a and its SE in the record"};
inline constexpr SettingEntry Tol{"SpinEdit_Tol", "Tolerance:", kAnalysisGroup, "--tolerance", "", 2, 15, 10,
                                 "tolerance of the iterations, as the exponent T of 10^-T"};
inline constexpr SettingEntry MaxIts{"SpinEdit_MaxIts", "Max Iterations:", kAnalysisGroup, "--max-iterations", "", 1,
                                    1000, 500, "iteration limit of the analysis"};
inline constexpr SettingEntry Decs{"SpinEdit_Decs", "Decimal places:", kAnalysisGroup, "--decimals", "", 1, 8, 3,
                                  "decimals of Do* and of the analysis record"};
inline constexpr SettingEntry Duncond{"CheckBox_Duncond", "Du", kGraphicGroup, "--show-du", "--no-show-du", 0, 1, 1,
                                     "graphs: show Du, the maximum-likelihood estimate"};
inline constexpr SettingEntry Dcond{"CheckBox_Dcond", "Dc", kGraphicGroup, "--show-dc", "--no-show-dc", 0, 1, 0,
                                   "graphs: show Dc, the conditioned estimate"};
// The diagonal's box is the window's and the graphs' only; the run does not read it.
inline constexpr SettingEntry Dtrue{"cbDtrue", "D", kGraphicGroup, "--show-d", "--no-show-d", 0, 1, 1,
                                   "graphs: show the diagonal D = Do*"};
inline constexpr SettingEntry DLN{"cbDLN", "D Lord & Novick", kGraphicGroup, "--show-dln", "--no-show-dln", 0, 1, 0,
                                 "graphs: show the Lord & Novick measure"};
inline constexpr SettingEntry comma{"comma", "Residuals Comma delimited", kGraphicGroup, "--comma", "", 0, 1, 0,
                                   "decimal comma in the residual lines"};
}  // namespace setting

struct RunSettings {
  int SpinEdit_n = setting::n.byDefault;                  // n, items per test
  int SpinEdit_k = setting::k.byDefault;                  // k, alternatives per item
  int SpinEdit_D0 = setting::D0.byDefault;                // Do, first degree of knowledge in percent
  bool CheckBox_Iterate = setting::Iterate.byDefault;     // walk the degrees from Do to Dmax
  int SpinEdit_Dmax = setting::Dmax.byDefault;            // Dmax, last degree when walking
  int SpinEdit_Step = setting::Step.byDefault;            // step between degrees in percent
  int SpinEdit_Test = setting::Test.byDefault;            // tests per degree
  bool CheckBox_Text = setting::Text.byDefault;           // write the data pane at all
  bool CheckBox_full = setting::full.byDefault;           // item-by-item listing and observed table per test
  bool CheckBox_Unsort = setting::Unsort.byDefault;       // "Sort known:": items in their own order, known first
  bool CheckBox_Table = setting::Table.byDefault;         // the table's cells in the results lines
  int SpinEdit_Decs = setting::Decs.byDefault;            // decimals of Do* and of the analysis record
  bool CheckBox_CI = setting::CI.byDefault;               // confidence interval in the analysis record
  bool CheckBox_Dka = setting::Dka.byDefault;             // alternative measures in the analysis record
  int SpinEdit_Tol = setting::Tol.byDefault;              // tolerance exponent of the analysis
  int SpinEdit_MaxIts = setting::MaxIts.byDefault;        // iteration limit of the analysis
  bool comma = setting::comma.byDefault;                  // decimal comma in the residual rows
  bool CheckBox_Duncond = setting::Duncond.byDefault;     // show the unconditioned estimate (Du)
  bool CheckBox_Dcond = setting::Dcond.byDefault;         // show the conditioned estimate (Dc)
  bool cbDLN = setting::DLN.byDefault;                    // show the Lord & Novick measure

  /// The settings each test's analysis is made with.
  AnalysisSettings Analysis() const noexcept {
    return {SpinEdit_Tol, SpinEdit_MaxIts, SpinEdit_Decs, CheckBox_CI, CheckBox_Dka};
  }
};

// An analysis made with default settings is the window's default analysis.
static_assert(AnalysisSettings{}.tolerance == setting::Tol.byDefault &&
              AnalysisSettings{}.maxIterations == setting::MaxIts.byDefault &&
              AnalysisSettings{}.decimals == setting::Decs.byDefault &&
              AnalysisSettings{}.ci == (setting::CI.byDefault != 0) &&
              AnalysisSettings{}.alternative == (setting::Dka.byDefault != 0));

/// A setting and the RunSettings field it fills: `whole` for a number, `on` for a switch.
struct SettingField {
  const SettingEntry* entry;
  int RunSettings::*whole = nullptr;
  bool RunSettings::*on = nullptr;
};

/// Every setting of a run, in the window's order.
inline constexpr SettingField kRunSettingFields[] = {
    {&setting::n, &RunSettings::SpinEdit_n},
    {&setting::k, &RunSettings::SpinEdit_k},
    {&setting::D0, &RunSettings::SpinEdit_D0},
    {&setting::Iterate, nullptr, &RunSettings::CheckBox_Iterate},
    {&setting::Dmax, &RunSettings::SpinEdit_Dmax},
    {&setting::Step, &RunSettings::SpinEdit_Step},
    {&setting::Test, &RunSettings::SpinEdit_Test},
    {&setting::Text, nullptr, &RunSettings::CheckBox_Text},
    {&setting::full, nullptr, &RunSettings::CheckBox_full},
    {&setting::Unsort, nullptr, &RunSettings::CheckBox_Unsort},
    {&setting::Table, nullptr, &RunSettings::CheckBox_Table},
    {&setting::CI, nullptr, &RunSettings::CheckBox_CI},
    {&setting::Dka, nullptr, &RunSettings::CheckBox_Dka},
    {&setting::Tol, &RunSettings::SpinEdit_Tol},
    {&setting::MaxIts, &RunSettings::SpinEdit_MaxIts},
    {&setting::Decs, &RunSettings::SpinEdit_Decs},
    {&setting::Duncond, nullptr, &RunSettings::CheckBox_Duncond},
    {&setting::Dcond, nullptr, &RunSettings::CheckBox_Dcond},
    {&setting::DLN, nullptr, &RunSettings::cbDLN},
    {&setting::comma, nullptr, &RunSettings::comma},
};

}  // namespace veltrano
