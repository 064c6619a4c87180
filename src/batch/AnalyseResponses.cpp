#include "batch/AnalyseResponses.h"

#include <CLI/CLI.hpp>

#include "batch/Options.h"

namespace veltrano::batch {

CLI::Option* AddResponsesOptions(CLI::App& app, ResponsesOptions& o) {
  const std::string group = "Answer sheets";
  CLI::Option* responses =
      FileOption(app, "--responses", o.responses,
                 "analyse every examinee of an answer sheet instead of tables (- for standard input): CSV or "
                 "tab-separated, the examinee's id then one cell per item, a letter A to J or a number 1 to 10; an "
                 "empty cell or *, - or . is an omission; a row whose id is KEY holds the key, a first row whose id "
                 "is id is a header. Writes the CSV header " +
                     std::string(kSheetCsvHeader) +
                     " and one row per examinee in input order, then ALL for the pooled table; numbers with 17 "
                     "significant digits, undefined values as empty cells (null with --json). A bad row ends the "
                     "work with status 2; files are written only when the whole sheet is good, standard output "
                     "may stop early when --k is given")
          ->group(group);
  CLI::Option* key = FileOption(app, "--key", o.key,
                                "the key, when the sheet has no KEY row: the key's alternatives in item order "
                                "(ABDCA, or A,B,D,C,A, or 1 2 10 3)")
                         ->type_name("KEY")
                         ->needs(responses)
                         ->group(group);
  FileOption(app, "--key-file", o.keyFile,
             "the key, when the sheet has no KEY row, from FILE: one line in the form --key takes")
      ->needs(responses)
      ->excludes(key)
      ->group(group);
  app.add_option("--k", o.k,
                 "alternatives per item, " + std::to_string(kMinAlternatives) + " to " +
                     std::to_string(kMaxAlternatives) + " (default: the largest alternative in the key, at least " +
                     std::to_string(kMinAlternatives) +
                     "; a mark beyond it is refused; the sheet is then read twice, checked before anything is "
                     "written)")
      ->check(WholeNumberIn(static_cast<std::int64_t>(setting::sheetK.min), static_cast<std::int64_t>(setting::sheetK.max)))
      ->needs(responses)
      ->group(group);
  FileOption(app, "--out", o.out, "write the results to FILE (default -, standard output)")
      ->needs(responses)
      ->group(group);
  FileOption(app, "--tables", o.tables,
             "write each examinee's table to FILE in the table format analyse reads, after a comment line with the "
             "id, and the pooled table last (- for standard output)")
      ->needs(responses)
      ->group(group);
  return responses;
}

int AnalyseResponses(const ResponsesOptions& o, Console& c) {
  return RunJob(c, false, {}, [&o](jobs::FileJob& job) { jobs::AnalyseSheetFile(o, job); });
}

}  // namespace veltrano::batch
