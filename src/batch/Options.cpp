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
            const char* end = text.data() + text.size();
            const auto r = std::from_chars(text.data(), end, value);
            const bool negative = text.size() > 1 && text[0] == '-' &&
                                  text.find_first_not_of("0123456789", 1) == std::string::npos;
            if (!negative && (text.empty() || r.ptr != end || r.ec == std::errc::invalid_argument))
              return Quoted(text) + " is not a whole number";
            if (negative || r.ec == std::errc::result_out_of_range)
              return text + " is out of range; the value must be from 0 to 18446744073709551615";
            return "";
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
  app.add_option("--jobs", value,
                 what + " (1 to " + std::to_string(kMaxJobs) +
                     "; default: every core). The output is the same for any number" + more)
      ->check(WholeNumberIn(1, kMaxJobs))
      ->type_name("N");
}

void AnalysisOptions(CLI::App& app, AnalysisSettings& s, std::string_view decimalsHelp) {
  SettingOption(app, setting::Tol, s.tolerance);
  SettingOption(app, setting::MaxIts, s.maxIterations);
  SettingOption(app, setting::Decs, s.decimals, decimalsHelp);
  SettingOption(app, setting::CI, s.ci);
  SettingOption(app, setting::Dka, s.alternative);
}

}  // namespace veltrano::batch
