#include "batch/Analyse.h"

#include <CLI/CLI.hpp>

#include "batch/Options.h"

namespace veltrano::batch {

CLI::App* AddAnalyseCommand(CLI::App& parent, AnalyseOptions& o) {
  CLI::App* app = parent.add_subcommand(
      "analyse", "fit the delta model to k x k tables (rows of counts, tables separated by blank lines)");
  CLI::Option* file = FileOption(
      *app, "file", o.input,
      "the tables: k x k non-negative counts (k " + std::to_string(kMinAlternatives) + " to " +
          std::to_string(kMaxAlternatives) +
          "), one row per line, numbers separated by blanks or tabs, tables separated by blank lines, lines "
          "starting with # ignored; - or nothing for standard input");
  AnalysisOptions(*app, o.analysis, "decimals of the record");
  Switch(*app, "--json", "", o.json,
         "one JSON object per table instead of the record lines; undefined values are null");
  CLI::Option* responses = AddResponsesOptions(*app, o.sheet);
  responses->excludes(file)->each([&o](const std::string&) { o.responses = true; });
  JobsOption(*app, o.jobs, "threads to analyse the tables or examinees on");
  return app;
}

int Analyse(const AnalyseOptions& o, Console& c) {
  if (!o.responses)
    return RunJob(c, false, {}, [&o](jobs::FileJob& job) { jobs::AnalyseTablesFile(o, job); });
  ResponsesOptions sheet = o.sheet;
  sheet.analysis = o.analysis;
  sheet.json = o.json;
  sheet.jobs = o.jobs;
  return AnalyseResponses(sheet, c);
}

}  // namespace veltrano::batch
