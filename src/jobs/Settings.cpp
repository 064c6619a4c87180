#include "jobs/Settings.h"

#include "jobs/JobError.h"
#include "numeric/QuotedText.h"
#include "numeric/WholeNumber.h"

namespace veltrano::jobs {
namespace {

// Whole numbers at or above 2^53 are not all held by a double: a value that came as one may
// not have the digits the user typed.
constexpr std::uint64_t kExactDoubles = std::uint64_t{1} << 53;

void CheckExact(std::string_view name, const Given& value, std::uint64_t number) {
  if (value.inexact && number >= kExactDoubles)
    throw UsageError(std::string(name), value.text + " is at or above 2^53 = 9007199254740992, where a number "
                                                     "does not hold every whole number exactly; give it as a "
                                                     "string of digits");
}

}  // namespace

std::uint64_t Checked(const NumberSetting& setting, const Given& value) {
  std::uint64_t number = 0;
  const std::string problem = WholeNumberProblem(value.text, setting.min, setting.max, number);
  if (!problem.empty()) throw UsageError(std::string(setting.name), problem);
  CheckExact(setting.name, value, number);
  return number;
}

int Checked(const SettingEntry& setting, const Given& value) {
  std::int64_t number = 0;
  const std::string problem = WholeNumberProblem(value.text, setting.min, setting.max, number);
  if (!problem.empty()) throw UsageError(std::string(SettingName(setting)), problem);
  return static_cast<int>(number);
}

std::string_view Checked(const WordSetting& setting, const Given& value) {
  for (std::string_view word : setting.words)
    if (value.text == word) return word;
  throw UsageError(std::string(setting.name), Quoted(value.text) + " is neither " + std::string(setting.words[0]) +
                                                  " nor " + std::string(setting.words[1]));
}

void CheckStudySeed(std::uint64_t seed, StudyGenerator generator) {
  CheckStudy(StudyDefinition{{}, 1, seed, setting::Tol.byDefault, setting::MaxIts.byDefault, false, generator});
}

const Given* Find(const GivenSettings& given, std::string_view name) {
  const auto it = given.find(name);
  return it == given.end() ? nullptr : &it->second;
}

int ValueOf(const GivenSettings& given, const SettingEntry& setting) {
  const Given* value = Find(given, SettingName(setting));
  return value != nullptr ? Checked(setting, *value) : setting.byDefault;
}

std::uint64_t ValueOf(const GivenSettings& given, const NumberSetting& setting, std::uint64_t otherwise) {
  const Given* value = Find(given, setting.name);
  return value != nullptr ? Checked(setting, *value) : otherwise;
}

AnalysisSettings AnalysisOf(const GivenSettings& given) {
  AnalysisSettings analysis;
  analysis.ci = ValueOf(given, setting::CI) != 0;
  analysis.tolerance = ValueOf(given, setting::Tol);
  analysis.maxIterations = ValueOf(given, setting::MaxIts);
  analysis.decimals = ValueOf(given, setting::Decs);
  analysis.alternative = ValueOf(given, setting::Dka) != 0;
  return analysis;
}

void CheckKnown(const GivenSettings& given, const std::vector<std::string_view>& names) {
  for (const auto& [name, value] : given) {
    bool known = false;
    for (std::string_view n : names) known = known || n == name;
    if (!known) throw UsageError(Quoted(name) + " is no setting here");
  }
}

int Threads(int jobs) noexcept { return jobs > 0 ? jobs : HardwareJobs(); }

}  // namespace veltrano::jobs
