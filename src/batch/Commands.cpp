#include "batch/Commands.h"

#include <CLI/CLI.hpp>

#include <algorithm>

#include "batch/Analyse.h"
#include "batch/Options.h"
#include "batch/Simulate.h"
#include "batch/StudyCommand.h"

namespace veltrano::batch {

int RunBatch(const std::vector<std::string>& args, Console& c, const BatchServices& services) {
  CLI::App app{"veltrano-batch: simulate multiple-choice tests and fit the delta model, without a window"};
  app.require_subcommand(1);
  app.footer(
      "Exit status: 0 done; 1 an error ended the work (what was produced before it is kept) or a file could not "
      "be read or written; 2 bad input, nothing written; 130, 143, 129 ended by SIGINT, SIGTERM, SIGHUP (outputs "
      "complete up to the last finished test); 141 the reader of an output went away.");

  SimulateOptions sim;
  CLI::App* simulate = AddSimulateCommand(app, sim);
  AnalyseOptions an;
  CLI::App* analyse = AddAnalyseCommand(app, an);
  StudyOptions st;
  CLI::App* study = AddStudyCommand(app, st);

  if (!args.empty() && !args.front().empty() && args.front().front() != '-') {
    std::vector<std::string> names;
    for (const CLI::App* command : app.get_subcommands([](CLI::App*) { return true; }))
      names.push_back(command->get_name());
    if (std::find(names.begin(), names.end(), args.front()) == names.end()) {
      std::string list;
      for (std::size_t i = 0; i < names.size(); ++i)
        list += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
      Report(c, "unknown command \"" + args.front() + "\"; the commands are " + list + " (see --help)");
      return kExitUsage;
    }
  }

  std::vector<const char*> argv{kProgram};
  for (const std::string& a : args) argv.push_back(a.c_str());
  try {
    app.parse(static_cast<int>(argv.size()), argv.data());
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e, c.out, c.err);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e, c.out, c.err);
  } catch (const CLI::ParseError& e) {
    // One line naming the option; CLI11's own report adds a second. An option given twice
    // is said so plainly.
    const std::string what = e.what();
    const std::string twice = ": At Most 1 required but received ";
    const std::size_t at = what.find(twice);
    Report(c, at == std::string::npos
                  ? what
                  : what.substr(0, at) + ": given " + what.substr(at + twice.size()) + " times; give it once");
    return kExitUsage;
  }

  if (simulate->parsed()) return Simulate(sim, c, services);
  if (analyse->parsed()) return Analyse(an, c);
  if (study->parsed()) {
    const std::string sub = StudySubcommand(*study);
    if (sub == "merge") return RunStudyMerge(st.merge, c, services);
    if (sub == "plan") return RunStudyPlan(st.plan, c, services);
    return RunStudy(st, c, services);
  }
  return kExitUsage;
}

}  // namespace veltrano::batch
