#pragma once
// What every command of veltrano-batch shares in reading its options: the validators
// whose messages say which rule a value breaks, and options made from the settings table
// (range, default and help written once, in RunSettings.h).
#include <CLI/CLI.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "analysis/AnalysisSettings.h"
#include "batch/BatchJob.h"
#include "jobs/Settings.h"
#include "simulation/RunSettings.h"

namespace veltrano::batch {

/// Accepts a whole number written in decimal digits with an optional minus sign, from
/// lo to hi; the message says which of the two rules the text breaks.
CLI::Validator WholeNumberIn(std::int64_t lo, std::int64_t hi);

/// --seed: a whole number from 0 to 2^64 − 1 into seed (the command decides which seeds
/// its generator takes).
CLI::Option* SeedOption(CLI::App& app, std::optional<std::uint64_t>& seed, const std::string& what);

/// A file name option ("" would silently mean "no file").
CLI::Option* FileOption(CLI::App& app, const std::string& name, std::string& path, const std::string& what);

/// An integer option whose help states its range and default; the range is checked.
CLI::Option* IntOption(CLI::App& app, const std::string& name, int& value, int lo, int hi, const std::string& what);

/// A switch: its option turns it on; with a negation (for instance --no-text) that one
/// turns it off, and giving both is refused. The help states the default.
void Switch(CLI::App& app, const std::string& option, const std::string& negation, bool& value,
            const std::string& what);

/// The option of a setting of the table: an integer option with the setting's range, or
/// a switch with its negation; help from the table unless `help` is given.
void SettingOption(CLI::App& app, const SettingEntry& entry, int& value, std::string_view help = {});
void SettingOption(CLI::App& app, const SettingEntry& entry, bool& value, std::string_view help = {});

/// --jobs: the threads a command works on, 1 to kMaxJobs; 0 (not given) is every core.
/// The help is "<what> (1 to 256; default: every core). The output is the same for any
/// number" and then `more`.
void JobsOption(CLI::App& app, int& value, const std::string& what, const std::string& more = {});

/// An option whose text goes to the job, which checks it (jobs/Settings.h: Checked), into
/// given under the setting's name. Given twice, the last counts (a seed given twice is refused).
CLI::Option* GivenOption(CLI::App& app, std::string_view name, jobs::GivenSettings& given, const std::string& help);
/// The same for a setting of the table, with its help, range and default; a switch of the
/// table gives "1".
CLI::Option* GivenOption(CLI::App& app, const NumberSetting& setting, jobs::GivenSettings& given,
                         const std::string& more = {});
CLI::Option* GivenOption(CLI::App& app, const SettingEntry& setting, jobs::GivenSettings& given,
                         std::string_view help = {});

/// A setting's range and default for its help: " (1 to 10000000, default 1000)".
std::string RangeHelp(const NumberSetting& setting);

/// The analysis options shared by simulate, analyse and study: tolerance, iteration
/// limit, decimals, interval and alternative measures.
void AnalysisOptions(CLI::App& app, AnalysisSettings& s, std::string_view decimalsHelp = {});

}  // namespace veltrano::batch
