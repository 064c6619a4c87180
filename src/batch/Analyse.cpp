#include "batch/Analyse.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>

#include "batch/AnalysisJson.h"
#include "batch/Commands.h"
#include "batch/InputSpool.h"
#include "batch/OutputFile.h"
#include "batch/Options.h"
#include "batch/StreamHost.h"
#include "batch/TableReader.h"
#include "parallel/OrderedPipeline.h"
#include "simulation/ExamResults.h"

namespace veltrano::batch {

CLI::App* AddAnalyseCommand(CLI::App& parent, AnalyseOptions& o) {
  CLI::App* app = parent.add_subcommand(
      "analyse", "fit the delta model to k x k tables (rows of counts, tables separated by blank lines)");
  CLI::Option* file = FileOption(
      *app, "file", o.input,
      "the tables: k x k non-negative counts (k 2 to 10), one row per line, numbers separated by blanks or "
      "tabs, tables separated by blank lines, lines starting with # ignored; - or nothing for standard input");
  AnalysisOptions(*app, o.analysis, "decimals of the record");
  Switch(*app, "--json", "", o.json,
         "one JSON object per table instead of the record lines; undefined values are null");
  CLI::Option* responses = AddResponsesOptions(*app, o.sheet);
  responses->excludes(file)->each([&o](const std::string&) { o.responses = true; });
  return app;
}

int Analyse(const AnalyseOptions& o, Console& c) {
  ClearStopRequest();
  if (o.responses) {
    ResponsesOptions sheet = o.sheet;
    sheet.analysis = o.analysis;
    sheet.json = o.json;
    return AnalyseResponses(sheet, c);
  }
  const bool fromConsole = o.input == "-";
  const std::string inputName = fromConsole ? "standard input" : o.input;
  std::ifstream file;
  std::unique_ptr<InputSpool> spool;
  {
    std::error_code ec;
    if (std::filesystem::is_directory(o.input, ec)) {
      Report(c, "cannot read " + inputName + ": it is a directory");
      return kExitFailure;
    }
    errno = 0;
    if (!fromConsole) file.open(o.input, std::ios::binary);
    if (!fromConsole && !file) {
      Report(c, "cannot read " + inputName + (errno != 0 ? std::string(": ") + std::strerror(errno) : ""));
      return kExitFailure;
    }
    // The input is read twice, one table at a time: first to find a malformed table
    // before anything is written, then to analyse. What cannot be read twice (standard
    // input, a pipe named as a file) is copied to a temporary file first. Memory stays
    // flat however many tables.
    try {
      if (fromConsole || !std::filesystem::is_regular_file(o.input, ec)) {
        spool = std::make_unique<InputSpool>();
        spool->CopyAll(fromConsole ? c.in : file);
      }
      TableReader check(spool ? spool->Reader() : file);
      while (check.Next()) {
      }
      if (!spool) {
        file.clear();
        if (!file.seekg(0)) throw std::runtime_error("cannot read it a second time");
      }
    } catch (const TableFormatError& e) {
      Report(c, inputName + ": " + e.what());
      return kExitUsage;
    } catch (const std::exception& e) {
      Report(c, "cannot read " + inputName + ": " + e.what());
      return kExitFailure;
    }
  }

  // Each table is read in order, analysed on any thread and written in order.
  struct Work {
    std::optional<ObservedTable> table;
    std::string line;
    bool failed = false;
  };
  int status = kExitOk;
  try {
    OutputFile out("-", c.out);
    if (!o.json) {
      tAnalisisDeltaMET a;
      ConfigureAnalysis(a, o.analysis);
      out.WriteLine(a.output_Header());
    }
    TableReader reader(spool ? spool->Reader() : file);
    const StopRequestsHonoured honoured;
    RunOrdered<Work>(
        o.sheet.jobs > 0 ? o.sheet.jobs : HardwareJobs(), 64,
        [&](Work& w) {
          w.table = reader.Next();
          return w.table.has_value();
        },
        [&](Work& w) {
          const ObservedTable& t = *w.table;
          w.line.clear();
          w.failed = false;
          nlohmann::ordered_json object;
          if (o.json) object["table"] = t.number;
          try {
            const tBfMatriz table = ToMatriz(t);
            tAnalisisDeltaMET a;
            a.Create(table, nullptr, 1, "");
            ConfigureAnalysis(a, o.analysis);
            a.Execute(nullptr);
            if (o.json)
              object.update(AnalysisJson(a, LordNovick(t.k, table.X[0][0], CorrectAnswers(table))));
            else
              a.AppendRecord(w.line);
          } catch (const std::exception& e) {
            if (o.json)
              object["error"] = e.what();
            else
              w.line = std::string("error: ") + e.what();
            w.failed = true;
          }
          if (o.json) w.line = object.dump();
        },
        [&](Work& w) {
          out.WriteLine(w.line);
          if (w.failed) status = kExitFailure;
          return !StopRequested();  // a signal ends the work after the table written
        });
    out.Close();
    if (StopRequested()) {
      const int signal = StopSignalOrInterrupt();
      Report(c, std::string(StoppedBy(signal)) + "; the output holds the tables analysed so far");
      return 128 + signal;
    }
  } catch (const BrokenPipe&) {
    return kExitBrokenPipe;  // the reader has gone (| head): nothing more to say
  } catch (const OutputError& e) {
    Report(c, e.what());
    return kExitFailure;
  } catch (const std::exception& e) {
    Report(c, "cannot read " + inputName + ": " + e.what());
    return kExitFailure;
  }
  return status;
}

}  // namespace veltrano::batch
