#include "batch/Options.h"

#include <charconv>
#include <ostream>

#include "numeric/QuotedText.h"
#include "numeric/WholeNumber.h"
#include "parallel/Jobs.h"

namespace veltrano::batch {

CLI::Validator WholeNumberIn(std::int64_t lo, std::int64_t hi) {
  return CLI::Validator(
      [lo, hi](std::string& text) -> std::string {
        std::int64_t value = 0;
        return WholeNumberProblem(text, lo, hi, value);
      },
      "");
}

CLI::Option* SeedOption(CLI::App& app, std::optional<std::uint64_t>& seed, const std::string& what) {
  return app
      .add_option_function<std::string>(
          "--seed",
          [&seed](const std::string& text) {
            std::uint64_t value = 0;
            std::from_chars(text.data(), text.data() + text.size(), value);
            seed = value;
          },
          what)
      ->check(CLI::Validator(
          [](std::string& text) -> std::string {
            std::uint64_t value = 0;
            return WholeNumberProblem(text, std::uint64_t{0}, kMaxPhiloxSeed, value);
          },
          ""))
      ->type_name("S");
}

CLI::Option* FileOption(CLI::App& app, const std::string& name, std::string& path, const std::string& what) {
  return app.add_option(name, path, what)
      ->type_name("FILE")
      ->check(CLI::Validator(
          [](std::string& text) -> std::string { return text.empty() ? "the file name is empty" : ""; }, ""));
}

CLI::Option* IntOption(CLI::App& app, const std::string& name, int& value, int lo, int hi, const std::string& what) {
  return app
      .add_option(name, value,
                  what + " (" + std::to_string(lo) + " to " + std::to_string(hi) + ", default " +
                      std::to_string(value) + ")")
      ->check(WholeNumberIn(lo, hi));
}

void Switch(CLI::App& app, const std::string& option, const std::string& negation, bool& value,
            const std::string& what) {
  const bool byDefault = value;
  std::string help = what + (byDefault ? " (default on" : " (default off");
  help += negation.empty() ? ")" : "; " + negation + " turns it off)";
  CLI::Option* on = app.add_flag_callback(option, [&value] { value = true; }, help);
  if (negation.empty()) return;
  // The negation is listed under its switch, not as an option of its own; the two
  // together are refused rather than one silently winning.
  app.add_flag_callback(
         negation,
         [&value, on, option, negation] {
           if (on->count() > 0) throw CLI::ValidationError(negation, "cannot be given together with " + option);
           value = false;
         },
         "")
      ->group("");
}

void SettingOption(CLI::App& app, const SettingEntry& entry, int& value, std::string_view help) {
  IntOption(app, std::string(entry.option), value, entry.min, entry.max, std::string(help.empty() ? entry.help : help))
      ->group(std::string(entry.group));
}

void SettingOption(CLI::App& app, const SettingEntry& entry, bool& value, std::string_view help) {
  Switch(app, std::string(entry.option), std::string(entry.negation), value,
         std::string(help.empty() ? entry.help : help));
  if (CLI::Option* o = app.get_option_no_throw(std::string(entry.option))) o->group(std::string(entry.group));
}

void JobsOption(CLI::App& app, int& value, const std::string& what, const std::string& more) {
  const NumberSetting& jobs = setting::jobCount;
  app.add_option("--" + std::string(jobs.name), value,
                 what + " (" + std::to_string(jobs.min) + " to " + std::to_string(jobs.max) + "; default: " +
                     std::string(jobs.defaultText) + "). The output is the same for any number" + more)
      ->check(WholeNumberIn(static_cast<std::int64_t>(jobs.min), static_cast<std::int64_t>(jobs.max)))
      ->type_name("N");
}

CLI::Option* GivenOption(CLI::App& app, std::string_view name, jobs::GivenSettings& given, const std::string& help) {
  // As for every option of a number, the last one given counts; a seed given twice is
  // refused (which of two seeds was meant cannot be told).
  CLI::Option* option = app.add_option_function<std::string>(
      "--" + std::string(name), [&given, name = std::string(name)](const std::string& text) { given[name] = {text}; },
      help);
  if (name != "seed") option->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  return option;
}

std::string RangeHelp(const NumberSetting& s) {
  return " (" + std::to_string(s.min) + " to " + std::to_string(s.max) + ", default " +
         (s.defaultText.empty() ? std::to_string(s.byDefault) : std::string(s.defaultText)) + ")";
}

CLI::Option* GivenOption(CLI::App& app, const NumberSetting& setting, jobs::GivenSettings& given,
                         const std::string& more) {
  return GivenOption(app, setting.name, given, std::string(setting.help) + RangeHelp(setting) + more);
}

CLI::Option* GivenOption(CLI::App& app, const SettingEntry& entry, jobs::GivenSettings& given,
                         std::string_view help) {
  const std::string what(help.empty() ? entry.help : help);
  const std::string name(SettingName(entry));
  if (entry.max == 1 && entry.min == 0) {
    CLI::Option* on = app.add_flag_callback(
        std::string(entry.option), [&given, name] { given[name] = jobs::Given{"1"}; },
        what + (entry.byDefault != 0 ? " (default on)" : " (default off)"));
    return on->group(std::string(entry.group));
  }
  return GivenOption(app, name, given,
                     what + " (" + std::to_string(entry.min) + " to " + std::to_string(entry.max) + ", default " +
                         std::to_string(entry.byDefault) + ")")
      ->group(std::string(entry.group));
}

void AnalysisOptions(CLI::App& app, AnalysisSettings& s, std::string_view decimalsHelp) {
  SettingOption(app, setting::Tol, s.tolerance);
  SettingOption(app, setting::MaxIts, s.maxIterations);
  SettingOption(app, setting::Decs, s.decimals, decimalsHelp);
  SettingOption(app, setting::CI, s.ci);
  SettingOption(app, setting::Dka, s.alternative);
}

}  // namespace veltrano::batch
