#include "batch/Commands.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>

#include "analysis/AnalysisSettings.h"
#include "batch/AnalysisJson.h"
#include "simulation/ExamResults.h"
#include "batch/OutputFile.h"
#include "batch/Progress.h"
#include "batch/StreamHost.h"
#include "batch/TableReader.h"
#include "numeric/UniformGenerator.h"
#include "simulation/SimulationRun.h"

namespace veltrano::batch {
namespace {

constexpr const char* kProgram = "veltrano-batch";

void Report(Console& c, const std::string& message) { c.err << kProgram << ": " << message << '\n'; }

// ---- options -------------------------------------------------------------------------

// Accepts a whole number, written in decimal digits with an optional minus sign, from
// lo to hi; the message says which of the two rules the text breaks.
CLI::Validator WholeNumberIn(std::int64_t lo, std::int64_t hi) {
  return CLI::Validator(
      [lo, hi](std::string& text) -> std::string {
        std::int64_t v = 0;
        const char* end = text.data() + text.size();
        const auto r = std::from_chars(text.data(), end, v);
        if (text.empty() || r.ptr != end || r.ec == std::errc::invalid_argument)
          return "\"" + text + "\" is not a whole number";
        if (r.ec == std::errc::result_out_of_range || v < lo || v > hi)
          return text + " is out of range; the value must be from " + std::to_string(lo) + " to " +
                 std::to_string(hi);
        return "";
      },
      "");
}

// A file name: "" would silently mean "no file".
CLI::Validator FileName() {
  return CLI::Validator([](std::string& text) -> std::string { return text.empty() ? "the file name is empty" : ""; },
                        "");
}

void FileOption(CLI::App& app, const char* name, std::string& path, const std::string& what) {
  app.add_option(name, path, what)->type_name("FILE")->check(FileName());
}

// An integer option whose help states its range and default; the range is checked.
void IntOption(CLI::App& app, const char* name, int& value, int lo, int hi, const std::string& what) {
  app.add_option(name, value,
                 what + " (" + std::to_string(lo) + " to " + std::to_string(hi) + ", default " +
                     std::to_string(value) + ")")
      ->check(WholeNumberIn(lo, hi));
}

// A flag, or a "--x,!--no-x" pair, whose help states its default.
void Switch(CLI::App& app, const char* names, bool& value, const std::string& what) {
  app.add_flag(names, value, what + (value ? " (default on)" : " (default off)"));
}

void AnalysisOptions(CLI::App& app, int& tolerance, int& maxIterations, int& decimals, bool& ci, bool& alternative,
                     const std::string& decimalsWhat) {
  IntOption(app, "--tolerance", tolerance, 2, 15, "tolerance of the iterations, as the exponent T of 10^-T");
  IntOption(app, "--max-iterations", maxIterations, 1, 1000, "iteration limit of the analysis");
  IntOption(app, "--decimals", decimals, 1, 8, decimalsWhat);
  Switch(app, "--ci", ci, "confidence interval of delta (IC-(D), IC+(D)) in the record");
  Switch(app, "--alternative,!--no-alternative", alternative,
         "alternative measures: the conditional estimate Dk&a and its SE in the record");
}

void SimulateOptionsTo(CLI::App& app, SimulateOptions& o, std::int64_t& seed) {
  RunSettings& s = o.settings;
  IntOption(app, "--n", s.SpinEdit_n, 1, 100000, "n, items per test");
  IntOption(app, "--k", s.SpinEdit_k, 2, 10, "k, alternatives per item");
  IntOption(app, "--do", s.SpinEdit_D0, 0, 100, "Do, degree of knowledge in percent (the first when iterating)");
  Switch(app, "--iterate", s.CheckBox_Iterate, "walk the degrees Do, Do + step, ... up to Dmax");
  IntOption(app, "--dmax", s.SpinEdit_Dmax, 0, 99, "Dmax, the last degree when iterating, in percent");
  IntOption(app, "--step", s.SpinEdit_Step, 1, 10, "step between degrees, in percent");
  IntOption(app, "--tests", s.SpinEdit_Test, 1, 10000, "tests per degree");
  Switch(app, "--text,!--no-text", s.CheckBox_Text, "write the data lines at all");
  Switch(app, "--full", s.CheckBox_full, "item-by-item listing and observed table for every test");
  Switch(app, "--sort-known", s.CheckBox_Unsort, "list the items in their own order, known items first");
  Switch(app, "--table,!--no-table", s.CheckBox_Table, "the table's cells in the results lines");
  AnalysisOptions(app, s.SpinEdit_Tol, s.SpinEdit_MaxIts, s.SpinEdit_Decs, s.CheckBox_CI, s.CheckBox_Dka,
                  "decimals of Do* and of the analysis record");
  Switch(app, "--comma", s.comma, "decimal comma in the residual lines");
  app.add_option("--seed", seed,
                 "state of the uniform generator before the first draw (0 to 4294967295; default: "
                 "from the clock, reported on standard error)")
      ->check(WholeNumberIn(0, 4294967295))
      ->type_name("S");
  FileOption(app, "--data", o.data, "write the data lines to FILE (- for standard output)");
  FileOption(app, "--residuals", o.residuals, "write the residual lines to FILE (- for standard output)");
  FileOption(app, "--points", o.points, "write every chart point to FILE as CSV series,x,y (- for standard output)");
  FileOption(app, "--graph", o.graph, "draw the estimates chart into FILE (.png or .svg)");
  FileOption(app, "--residual-graph", o.residualGraph, "draw the residual chart into FILE (.png or .svg)");
  Switch(app, "--show-du,!--no-show-du", s.CheckBox_Duncond, "graphs: show Du, the maximum-likelihood estimate");
  Switch(app, "--show-dc,!--no-show-dc", s.CheckBox_Dcond, "graphs: show Dc, the conditioned estimate");
  Switch(app, "--show-d,!--no-show-d", o.showD, "graphs: show the diagonal D = Do*");
  Switch(app, "--show-dln,!--no-show-dln", s.cbDLN, "graphs: show the Lord & Novick measure");
  IntOption(app, "--graph-width", o.graphWidth, 100, 10000, "width of the graphs in pixels");
  IntOption(app, "--graph-height", o.graphHeight, 100, 10000, "height of the graphs in pixels");
  Switch(app, "--quiet", o.quiet, "no progress line on a terminal");
}

// Rules that involve more than one option. Returns the message, or "" when all is well.
std::string CheckOutputs(const SimulateOptions& o) {
  const std::pair<const char*, const std::string*> outputs[] = {
      {"--data", &o.data},   {"--residuals", &o.residuals},          {"--points", &o.points},
      {"--graph", &o.graph}, {"--residual-graph", &o.residualGraph}};
  for (std::size_t i = 0; i < std::size(outputs); ++i) {
    const std::string& path = *outputs[i].second;
    if (path.empty()) continue;
    for (std::size_t j = 0; j < i; ++j)
      if (*outputs[j].second == path)
        return std::string(outputs[i].first) + ": " + path + " is already the output of " + outputs[j].first;
  }
  for (const auto& [name, path] : {outputs[3], outputs[4]})
    if (!path->empty() && !IsGraphPath(*path))
      return std::string(name) + ": " + *path + " must end in .png or .svg";
  return "";
}

// ---- simulate ------------------------------------------------------------------------

std::unique_ptr<OutputFile> Open(const std::string& path, Console& c) {
  return path.empty() ? nullptr : std::make_unique<OutputFile>(path, c.out);
}

// A graph is written after the run; this checks before it that the file can be made.
void CheckWritable(const std::string& path) {
  if (path.empty()) return;
  errno = 0;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) throw OutputError("cannot open " + path + ": " + std::strerror(errno));
  std::fclose(f);
}

// ---- analyse -------------------------------------------------------------------------

AnalysisSettings Settings(const AnalyseOptions& o) {
  return {o.tolerance, o.maxIterations, o.decimals, o.ci, o.alternative};
}

}  // namespace

// ---- commands ------------------------------------------------------------------------

int Simulate(const SimulateOptions& o, Console& c, const HostDecorator& decorate) {
  ClearStopRequest();
  std::unique_ptr<OutputFile> data, residuals, points;
  try {
    data = Open(o.data, c);
    residuals = Open(o.residuals, c);
    points = Open(o.points, c);
    CheckWritable(o.graph);
    CheckWritable(o.residualGraph);
  } catch (const OutputError& e) {
    Report(c, e.what());
    return kExitFailure;
  }
  // The charts hold every point in memory, so they exist only when a graph is wanted.
  std::unique_ptr<RunGraphs> graphs;
  if (!o.graph.empty() || !o.residualGraph.empty()) graphs = std::make_unique<RunGraphs>(o.showD);

  std::uint32_t seed = 0;
  if (o.seed) {
    seed = *o.seed;
  } else {
    seed = ClockSeed();
    Report(c, "seed " + std::to_string(seed) + " (repeat this run with --seed " + std::to_string(seed) + ")");
  }

  ProgressMeter meter(c.err, c.errIsTerminal && !o.quiet);
  StreamHost host(data.get(), residuals.get(), points.get(), graphs.get(), &meter);
  std::unique_ptr<RunHost> decorated = decorate ? decorate(host) : nullptr;
  UniformGenerator rng(seed);
  SimulationRun run(rng);

  int status = kExitOk;
  try {
    if (run.Execute(o.settings, decorated ? *decorated : static_cast<RunHost&>(host)) == RunEnd::Cancelled) {
      meter.Finish();
      Report(c, "interrupted; the outputs hold the tests finished so far");
      status = kExitInterrupted;
    }
  } catch (const std::exception& e) {
    meter.Finish();
    Report(c, e.what());
    status = kExitFailure;
  }
  meter.Finish();

  // Whatever the run produced stays, after an error too, as it does in the window.
  for (OutputFile* f : {data.get(), residuals.get(), points.get()}) {
    if (f == nullptr) continue;
    try {
      f->Close();
    } catch (const OutputError& e) {
      Report(c, e.what());
      status = kExitFailure;
    }
  }
  if (graphs) {
    try {
      graphs->Save(o.graph, o.residualGraph, o.graphWidth, o.graphHeight);
    } catch (const std::exception& e) {
      Report(c, e.what());
      status = kExitFailure;
    }
  }
  return status;
}

int Analyse(const AnalyseOptions& o, Console& c) {
  const bool fromConsole = o.input == "-";
  const std::string inputName = fromConsole ? "standard input" : o.input;
  std::vector<ObservedTable> tables;
  try {
    if (fromConsole) {
      tables = ReadTables(c.in);
    } else {
      std::error_code ec;
      if (std::filesystem::is_directory(o.input, ec)) {
        Report(c, "cannot read " + inputName + ": it is a directory");
        return kExitFailure;
      }
      errno = 0;
      std::ifstream file(o.input, std::ios::binary);
      if (!file) {
        Report(c, "cannot read " + inputName + (errno != 0 ? std::string(": ") + std::strerror(errno) : ""));
        return kExitFailure;
      }
      tables = ReadTables(file);
    }
  } catch (const TableFormatError& e) {
    Report(c, inputName + ": " + e.what());
    return kExitUsage;
  } catch (const std::exception& e) {
    Report(c, "cannot read " + inputName + ": " + e.what());
    return kExitFailure;
  }

  int status = kExitOk;
  try {
    OutputFile out("-", c.out);
    std::string line;
    const AnalysisSettings settings = Settings(o);
    if (!o.json) {
      tAnalisisDeltaMET a;
      ConfigureAnalysis(a, settings);
      out.WriteLine(a.output_Header());
    }
    for (const ObservedTable& t : tables) {
      line.clear();
      nlohmann::ordered_json object;
      if (o.json) object["table"] = t.number;
      try {
        const tBfMatriz table = ToMatriz(t);
        tAnalisisDeltaMET a;
        a.Create(table, nullptr, 1, "");
        ConfigureAnalysis(a, settings);
        a.Execute(nullptr);
        if (o.json)
          object.update(AnalysisJson(a, LordNovick(t.k, table.X[0][0], CorrectAnswers(table))));
        else
          a.AppendRecord(line);
      } catch (const std::exception& e) {
        if (o.json)
          object["error"] = e.what();
        else
          line = std::string("error: ") + e.what();
        status = kExitFailure;
      }
      if (o.json) line = object.dump();
      out.WriteLine(line);
    }
    out.Close();
  } catch (const OutputError& e) {
    Report(c, e.what());
    return kExitFailure;
  }
  return status;
}

int RunBatch(const std::vector<std::string>& args, Console& c) {
  CLI::App app{"veltrano-batch: simulate multiple-choice tests and fit the delta model, without a window"};
  app.require_subcommand(1);
  app.footer(
      "Exit status: 0 done; 1 an error ended the work (what was produced before it is kept) or a file could not "
      "be read or written; 2 bad input, nothing written; 130 interrupted.");

  SimulateOptions sim;
  std::int64_t seed = -1;
  CLI::App* simulate = app.add_subcommand(
      "simulate", "run the simulation of the window's Ok button and write its text, points and graphs");
  SimulateOptionsTo(*simulate, sim, seed);

  AnalyseOptions an;
  CLI::App* analyse = app.add_subcommand(
      "analyse", "fit the delta model to k x k tables (rows of counts, tables separated by blank lines)");
  FileOption(*analyse, "file", an.input,
             "the tables: k x k non-negative counts (k 2 to 10), one row per line, numbers separated by blanks or "
             "tabs, tables separated by blank lines, lines starting with # ignored; - or nothing for standard input");
  AnalysisOptions(*analyse, an.tolerance, an.maxIterations, an.decimals, an.ci, an.alternative,
                  "decimals of the record");
  analyse->add_flag("--json", an.json, "one JSON object per table instead of the record lines (default off)");

  if (!args.empty() && !args.front().empty() && args.front().front() != '-' && args.front() != "simulate" &&
      args.front() != "analyse") {
    Report(c, "unknown command \"" + args.front() + "\"; the commands are simulate and analyse (see --help)");
    return kExitUsage;
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
    // One line naming the option; CLI11's own report adds a second.
    Report(c, e.what());
    return kExitUsage;
  }

  if (simulate->parsed()) {
    if (seed >= 0) sim.seed = static_cast<std::uint32_t>(seed);
    if (const std::string problem = CheckOutputs(sim); !problem.empty()) {
      Report(c, problem);
      return kExitUsage;
    }
    return Simulate(sim, c);
  }
  return Analyse(an, c);
}

}  // namespace veltrano::batch
