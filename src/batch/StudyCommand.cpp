#include "batch/StudyCommand.h"

#include <CLI/CLI.hpp>

#include "batch/Options.h"
#include "study/Study.h"

namespace veltrano::batch {
namespace {

// Help for a list option of a setting of the table.
std::string ListHelp(const SettingEntry& setting, std::string_view what) {
  return std::string(what) + ": values and ranges lo:hi:step (lo:hi steps by 1) separated by commas (" +
         std::to_string(setting.min) + " to " + std::to_string(setting.max) + ", default " +
         std::to_string(setting.byDefault) + ")";
}

// --plot and the options of its files, for the study and for merge.
void AddPlotOptions(CLI::App& app, StudyPlotOptions& p) {
  const std::string plots = "Plots";
  app.add_option("--plot", p.prefix,
                 "draw from the summary rows, once they are complete, for each k the bias, the RMSE and the "
                 "coverage of the estimators against Do (one line per n and estimator, bars of \u00b11.96 Monte "
                 "Carlo SE) into the files PREFIX-bias-kK, PREFIX-rmse-kK and PREFIX-coverage-kK with the extension "
                 "of --plot-format (--plot out/s gives out/s-bias-k4.png, ...; a PREFIX ending in / is a folder: "
                 "--plot plots/ gives plots/bias-k4.png, ...). A shard plots its own conditions, study merge --plot "
                 "the whole study")
      ->type_name("PREFIX")
      ->check(CLI::Validator(
          [](std::string& text) -> std::string {
            if (text.empty()) return "the prefix is empty";
            if (text == "-") return "plots are files; give the start of their names, not -";
            return "";
          },
          ""))
      ->group(plots);
  app.add_option("--plot-format", p.format, "png or svg: the format and extension of the plots (default png)")
      ->type_name("png|svg")
      ->check(CLI::Validator(
          [](std::string& text) -> std::string {
            return text == "png" || text == "svg" ? "" : "\"" + text + "\" is neither png nor svg";
          },
          ""))
      ->group(plots);
  for (const auto& [setting, value] : {std::pair{&setting::plotWidth, &p.width}, std::pair{&setting::plotHeight, &p.height}})
    IntOption(app, "--" + std::string(setting->name), *value, static_cast<int>(setting->min),
              static_cast<int>(setting->max), std::string(setting->help))
        ->group(plots);
}

}  // namespace

CLI::App* AddStudyCommand(CLI::App& parent, StudyOptions& o) {
  CLI::App* app = parent.add_subcommand(
      "study", "a simulation study: bias, SE, RMSE, MAE and coverage of Du, Dc and D Lord & Novick with their Monte "
               "Carlo errors, for every condition of a grid or design file");
  const std::string conditions = "Conditions";
  CLI::Option* lists[3];
  const struct {
    const SettingEntry* setting;
    std::string_view what;
  } listed[] = {{&setting::n, setting::n.help}, {&setting::k, setting::k.help},
                {&setting::D0, "Do, degree of knowledge in percent"}};
  for (std::size_t i = 0; i < 3; ++i)
    lists[i] = GivenOption(*app, SettingName(*listed[i].setting), o.settings,
                           ListHelp(*listed[i].setting, listed[i].what))
                   ->type_name("LIST")
                   ->group(conditions);
  FileOption(*app, "--design", o.design,
             "the conditions from a CSV file with the header n,k,do and one condition per line, instead of the "
             "grid of --n, --k and --do")
      ->excludes(lists[0])
      ->excludes(lists[1])
      ->excludes(lists[2])
      ->group(conditions);
  GivenOption(*app, setting::replications, o.settings)->type_name("R")->group(conditions);
  GivenOption(*app, setting::studySeed.name, o.settings,
              "seed of the study (philox: 0 to " + std::to_string(kMaxPhiloxSeed) + ", lcg: 0 to " +
                  std::to_string(kMaxLcgSeed) +
                  "; default: the resumed output's, or from the clock, reported on standard error)")
      ->type_name("S")
      ->group(conditions);
  GivenOption(*app, setting::studyGenerator.name, o.settings,
                  "the generator the tests draw from (default philox; a resumed study keeps its own). philox: every "
                  "replication of every condition draws from a stream of its own, keyed by the seed, made on any "
                  "core; simulate --generator philox --seed S --condition I --replications A:B makes replications "
                  "A to B of condition I again. lcg: the run's generator, each condition drawing its replications "
                  "in order from a seed of its own made from the study's, written in its rows (simulate --seed "
                  "<that seed> makes the same tests); the rows of studies made before there was a choice")
      ->type_name("philox|lcg")
      ->group(conditions);
  GivenOption(*app, setting::Tol, o.settings);
  GivenOption(*app, setting::MaxIts, o.settings);
  GivenOption(*app, setting::CI, o.settings, "the test-inversion interval of Du: its coverage and width in the rows")
      ->group(std::string(kAnalysisGroup));

  const std::string files = "Output files";
  FileOption(*app, "--out", o.out,
             "write the rows, one per condition and estimator, to FILE (default - for standard output)")
      ->group(files);
  Switch(*app, "--json", "", o.json, "the rows as JSON objects, one per line, instead of CSV");
  app->get_option("--json")->group(files);
  FileOption(*app, "--tests-out", o.testsOut,
             "write one CSV row per test (its estimates, standard errors, interval and codes) to FILE")
      ->group(files);
  GivenOption(*app, setting::shard, o.settings,
              "run only the conditions whose index is I modulo N (I from 1 to N); join the outputs of all N "
              "with `study merge`")
      ->type_name("I/N")
      ->group("Running");
  Switch(*app, "--resume", "", o.resume,
         "continue the study in the --out file (and --tests-out file): keep its complete conditions and make the "
         "others; a file of other settings is refused. A finished study of fewer replications is extended to "
         "--replications (its --tests-out rows are read back): both files become those of the larger study");
  Switch(*app, "--quiet", "", o.quiet, "no progress line on a terminal");
  GivenOption(*app, setting::jobCount.name, o.settings,
              std::string(setting::jobCount.help) + " (1 to " + std::to_string(kMaxJobs) +
                  "; default: every core). The output is the same for any number")
      ->type_name("N");
  for (const char* name : {"--resume", "--quiet", "--jobs"}) app->get_option(name)->group("Running");
  AddPlotOptions(*app, o.plot);

  CLI::App* merge = app->add_subcommand(
      "merge", "join the outputs of a study's shards into the output of the whole study, byte for byte");
  merge->add_option("files", o.merge.files, "the outputs of the shards")->required()->type_name("FILE");
  FileOption(*merge, "--out", o.merge.out, "write the merged output to FILE (default - for standard output)");
  AddPlotOptions(*merge, o.merge.plot);

  CLI::App* plan = app->add_subcommand(
      "plan", "how many replications each condition needs for a wanted Monte Carlo SE, from a pilot study's rows "
              "(bias: SD\u00b2/MCSE\u00b2; emp_se: 1 + SD\u00b2/(2 MCSE\u00b2); coverage: p(1 \u2212 p)/MCSE\u00b2; each "
              "divided by the share of replications that gave a value)");
  plan->add_option("files", o.plan.files, "the pilot study's output (or its shards' outputs)")
      ->required()
      ->type_name("FILE");
  plan->add_option("--target", o.plan.target,
                   "the Monte Carlo SEs wanted, separated by commas: bias=X, emp_se=X, coverage=X "
                   "(for instance coverage=0.005,bias=0.001)")
      ->required()
      ->type_name("MEASURE=MCSE");
  FileOption(*plan, "--out", o.plan.out,
             "write the plan as CSV, one row per condition, estimator and measure, to FILE (default - for "
             "standard output)");
  return app;
}

std::string StudySubcommand(const CLI::App& study) {
  for (const CLI::App* used : study.get_subcommands())  // the subcommands given on the command line
    return used->get_name();
  return "";
}

int RunStudy(const StudyOptions& o, Console& c, const BatchServices& services) {
  return RunJob(c, ShowProgress(c, o.quiet, {o.out, o.testsOut}), services,
                [&o](jobs::FileJob& job) { jobs::StudyToFiles(o, job); });
}

int RunStudyMerge(const StudyMergeOptions& m, Console& c, const BatchServices& services) {
  return RunJob(c, false, services, [&m](jobs::FileJob& job) { jobs::MergeStudyFiles(m, job); });
}

int RunStudyPlan(const jobs::PlanRequest& p, Console& c, const BatchServices& services) {
  return RunJob(c, false, services, [&p](jobs::FileJob& job) { jobs::PlanStudyFiles(p, job); });
}

}  // namespace veltrano::batch
