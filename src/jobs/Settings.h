#pragma once
// The settings of the actions beyond the run's own, and the one check of every value a user
// gives.
//
// The run's settings (n, k, Do, tests, the analysis ...) are in simulation/RunSettings.h,
// with the window's controls. Here are the others: how many replications a study makes,
// the seeds, the generator, the shard, the threads, a replayed condition. Each is written
// once, with its name, range, default and help; the command line makes its options from
// them, the browser's engine hands them to the page, and Python and R take their defaults
// from them.
//
// Every front end hands the values it was given to the jobs as text (a Python int's or an
// R number's decimal digits, an option's text, a JSON value), and the jobs check them here:
// a value that breaks its setting's rule raises UsageError naming the setting, worded once
// for every front end, each of which spells the setting's name its own way.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jobs/Drawing.h"
#include "parallel/Jobs.h"
#include "simulation/RunSettings.h"
#include "study/StudyConditions.h"
#include "study/StudyGenerator.h"
#include "study/Study.h"

namespace veltrano {

/// A whole-number setting of an action.
struct NumberSetting {
  std::string_view name;        // the command line's option without "--"; Python and R write '-' as '_'
  std::uint64_t min = 0;
  std::uint64_t max = 0;
  std::uint64_t byDefault = 0;  // when defaultText is empty
  std::string_view defaultText; // the default in words where it is no number ("every core")
  std::string_view help;
};

/// A setting that takes one of a few words.
struct WordSetting {
  std::string_view name;
  std::string_view words[2];
  std::string_view byDefault;
  std::string_view help;
};

namespace setting {
inline constexpr NumberSetting replications{"replications", 1, kMaxReplications, 1000, "",
                                            "tests per condition"};
// The run's generator (lcg) has a state of 32 bits; a philox study's key has 64. An lcg
// study takes only the smaller seeds (CheckStudySeed).
inline constexpr NumberSetting runSeed{"seed", 0, kMaxLcgSeed, 0, "from the clock",
                                       "state of the uniform generator before the first draw"};
inline constexpr NumberSetting studySeed{"seed", 0, kMaxPhiloxSeed, 0, "from the clock",
                                         "seed of the study (lcg: up to 4294967295)"};
inline constexpr NumberSetting jobCount{"jobs", 1, kMaxJobs, 0, "every core", "worker threads"};
inline constexpr NumberSetting condition{"condition", 1, static_cast<std::uint64_t>(kMaxConditions), 0, "",
                                         "the study condition I (from 1, as in the study's rows)"};
// An answer sheet's alternatives per item; without it, the largest alternative of the key.
inline constexpr NumberSetting sheetK{"k", kMinAlternatives, kMaxAlternatives, 0,
                                      "the largest alternative in the key", "alternatives per item"};
inline constexpr NumberSetting plotWidth{"plot-width", 100, 10000, jobs::kStudyPlotWidth, "", "width of the plots in pixels"};
inline constexpr NumberSetting plotHeight{"plot-height", 100, 10000, jobs::kStudyPlotHeight, "",
                                          "height of the plots in pixels"};
inline constexpr NumberSetting graphWidth{"graph-width", 100, 10000, jobs::kGraphWidth, "", "width of the graphs in pixels"};
inline constexpr NumberSetting graphHeight{"graph-height", 100, 10000, jobs::kGraphHeight, "",
                                           "height of the graphs in pixels"};
inline constexpr WordSetting studyGenerator{"generator", {"philox", "lcg"}, "philox",
                                            "the generator the tests draw from"};
inline constexpr WordSetting runGenerator{"generator", {"lcg", "philox"}, "lcg",
                                          "lcg: the run's generator; philox: a philox study's replications again"};
// Texts of their own form, checked by the core's readers: "I/N" and "A:B".
inline constexpr std::string_view shard = "shard";
inline constexpr std::string_view replayed = "replications";
}  // namespace setting
}  // namespace veltrano

namespace veltrano::jobs {

/// A value as a front end received it: its text (a number's decimal digits, a word, a list),
/// and whether it came as a floating-point number at or above 2^53 (R's and JavaScript's
/// numbers), whose digits need not be those the user typed.
struct Given {
  std::string text;
  bool inexact = false;
};

/// The values a front end was given, by setting name; a setting not given takes its
/// default.
using GivenSettings = std::map<std::string, Given, std::less<>>;

/// The value of a setting, or a UsageError naming it: "12 is out of range; the value must
/// be from 1 to 10", "\"1e2\" is not a whole number".
std::uint64_t Checked(const NumberSetting& setting, const Given& value);
int Checked(const SettingEntry& setting, const Given& value);
/// One of the setting's words: "\"Philox\" is neither philox nor lcg".
std::string_view Checked(const WordSetting& setting, const Given& value);

/// The study's seed for its generator: an lcg study takes seeds up to kMaxLcgSeed only.
/// Raises UsageError naming seed.
void CheckStudySeed(std::uint64_t seed, StudyGenerator generator);

/// The given value of a setting, when given.
const Given* Find(const GivenSettings& given, std::string_view name);

/// A run setting's value as given, checked, or its default.
int ValueOf(const GivenSettings& given, const SettingEntry& setting);
/// A whole-number setting's value as given, checked, or `otherwise`.
std::uint64_t ValueOf(const GivenSettings& given, const NumberSetting& setting, std::uint64_t otherwise);

/// The analysis the given settings ask for: the interval, the iterations' tolerance and
/// limit, the decimals of the record and the alternative measures (each its default when
/// not given).
AnalysisSettings AnalysisOf(const GivenSettings& given);

/// Refuses a setting the action does not take: "no such setting: replication" (a misspelt
/// name in a link, a keyword no function has).
void CheckKnown(const GivenSettings& given, const std::vector<std::string_view>& names);

/// The threads "jobs" asks for: every core for 0.
int Threads(int jobs) noexcept;

}  // namespace veltrano::jobs
