// The engine of the browser's page: the in-memory jobs, compiled to WebAssembly and called
// from the page's worker. Each call takes its settings as JSON text and answers JSON text of
// one shape for every job:
//   {"end": "completed" | "error", "message": the reason (an error only), "notes": [sentences],
//    and what the job made: "seed", "tests", "csv" (a run's summary, a sheet's results, a
//    study's rows), a sheet's "report", "favoured", "examinees", "absent" and "failed"}.
// While a run works, its lines go to the worker's sink object in chunks, a few times a
// second, exactly the bytes `veltrano-batch simulate` writes to its files. Everything runs on
// the worker's one thread; the page stops a run by ending the worker.
#include <emscripten.h>
#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <nlohmann/json.hpp>

#include <charconv>
#include <optional>
#include <sstream>
#include <string>

#include "jobs/DataJobs.h"
#include "jobs/JobError.h"
#include "jobs/SheetFileJob.h"
#include "jobs/SheetJob.h"
#include "jobs/SimulateJob.h"
#include "jobs/StreamHost.h"
#include "jobs/StudyJob.h"
#include "numeric/QuotedText.h"
#include "numeric/UniformGenerator.h"
#include "numeric/WholeNumber.h"
#include "sheets/ResponseSheet.h"
#include "simulation/RunSettings.h"
#include "study/RunSummary.h"
#include "study/StudyGenerator.h"

namespace veltrano::web {
namespace {

using emscripten::val;
using Json = nlohmann::json;

// Every setting in the window's order, the diagonal's box (which only the charts read)
// among the graphic ones.
std::vector<const SettingEntry*> PageSettings() {
  std::vector<const SettingEntry*> entries;
  for (const SettingField& f : kRunSettingFields) {
    if (f.entry == &setting::DLN) entries.push_back(&setting::Dtrue);
    entries.push_back(f.entry);
  }
  return entries;
}

std::string OptionName(const SettingEntry& e) { return std::string(e.option.substr(2)); }

std::string SettingsTable() {
  Json table = Json::array();
  for (const SettingEntry* e : PageSettings())
    table.push_back({{"control", e->control},
                     {"caption", e->caption},
                     {"group", e->group},
                     {"option", OptionName(*e)},
                     {"negation", e->negation.empty() ? std::string() : std::string(e->negation.substr(2))},
                     {"min", e->min},
                     {"max", e->max},
                     {"byDefault", e->byDefault},
                     {"help", e->help}});
  return table.dump();
}

// A setting's value from the page: a whole number in the setting's range (a switch 0 or 1,
// true or false). A value out of range is refused, never clamped: the link that carries it
// would otherwise repeat another run than it names.
int SettingValue(const Json& settings, const SettingEntry& e) {
  const std::string name = OptionName(e);
  const auto it = settings.find(name);
  if (it == settings.end() || it->is_null()) return e.byDefault;
  std::int64_t value = 0;
  if (it->is_boolean()) {
    value = it->get<bool>() ? 1 : 0;
  } else if (it->is_number_integer()) {
    value = it->get<std::int64_t>();
  } else {
    const std::string text = it->is_string() ? it->get<std::string>() : it->dump();
    const std::string problem = WholeNumberProblem(text, e.min, e.max, value);
    if (!problem.empty()) throw jobs::UsageError(name + ": " + problem);
  }
  if (value < e.min || value > e.max)
    throw jobs::UsageError(name + ": " + std::to_string(value) + " is out of range (" + std::to_string(e.min) +
                           " to " + std::to_string(e.max) + ")");
  return static_cast<int>(value);
}

RunSettings RunSettingsOf(const Json& settings) {
  RunSettings s;
  for (const SettingField& f : kRunSettingFields) {
    const int value = SettingValue(settings, *f.entry);
    if (f.whole != nullptr) s.*f.whole = value;
    if (f.on != nullptr) s.*f.on = value != 0;
  }
  return s;
}

Json ParseSettings(const std::string& text) {
  if (text.empty()) return Json::object();
  Json settings = Json::parse(text, nullptr, false);
  if (!settings.is_object()) throw jobs::UsageError("the settings are not a JSON object");
  return settings;
}

// The run's seed: the page's decimal text, or one from the clock.
std::uint32_t RunSeed(const std::string& text) {
  if (text.empty()) return ClockSeed();
  std::int64_t value = 0;
  const std::string problem = WholeNumberProblem(text, 0, kMaxLcgSeed, value);
  if (!problem.empty()) throw jobs::UsageError("seed: " + problem);
  return static_cast<std::uint32_t>(value);
}

// A job's answer: `body` fills in what the job made; an exception out of it ends the job
// with the engine's message, keeping what was filled in before (a run's seed).
template <class Body>
std::string Answer(Body&& body) {
  Json result = {{"end", "completed"}, {"notes", Json::array()}};
  try {
    body(result);
  } catch (...) {
    result["end"] = "error";
    result["message"] = jobs::ProblemOf(std::current_exception()).message;
  }
  return result.dump();
}

// The run's host: the three outputs kept as text and handed to the sink in chunks, with
// where the run stands, every 50 ms of work and at its end.
class PageHost final : public RunHost {
public:
  explicit PageHost(val sink) : sink_(std::move(sink)), decoder_(val::global("TextDecoder").new_()) {
    points_.append(jobs::PointRows::kHeader).push_back('\n');
  }

  void SelectGraphPage() override {}
  void SetDoStarText(std::string_view text) override { doStar_.assign(text); }
  void AppendDataLine(std::string_view line) override { data_.append(line).push_back('\n'); }
  void AppendResidualsLine(std::string_view line) override { residuals_.append(line).push_back('\n'); }
  void AddXY(SeriesId series, double x, double y) override { rows_.Append(points_, series, x, y); }
  void SetSeriesActive(SeriesId, bool) override {}
  void RefreshChart1() override {}
  bool ContinueRun(const RunProgress& progress) override {
    progress_ = progress;
    // The clock is asked every few tests, and the chunks go when 50 ms have passed or
    // they have grown large.
    if ((++tests_ & 15) == 0 || data_.size() > kChunk) {
      const double now = emscripten_get_now();
      if (now - lastFlush_ >= 50 || data_.size() > kChunk) {
        lastFlush_ = now;
        Flush();
      }
    }
    return true;
  }

  /// The tests finished so far.
  std::uint64_t Tests() const noexcept { return tests_; }

  void Flush() {
    Hand("data", data_);
    Hand("residuals", residuals_);
    Hand("points", points_);
    Hand("doStar", doStar_);
    sink_.call<void>("progress", static_cast<double>(progress_.testsDone), static_cast<double>(progress_.testsTotal),
                     progress_.degree);
    data_.clear();
    residuals_.clear();
    points_.clear();
  }

private:
  // The text goes to the sink as one JavaScript string, decoded by the browser's own
  // TextDecoder straight from the engine's memory: the bindings' conversion of a string
  // looks at every byte in JavaScript, and took a quarter of a run's time.
  void Hand(const char* method, const std::string& text) {
    if (text.empty()) return;
    const val bytes(emscripten::typed_memory_view(text.size(), reinterpret_cast<const unsigned char*>(text.data())));
    sink_.call<void>(method, decoder_.call<val>("decode", bytes));
  }

  static constexpr std::size_t kChunk = std::size_t{4} << 20;
  val sink_;
  val decoder_;
  std::string data_, residuals_, points_, doStar_;
  jobs::PointRows rows_;
  RunProgress progress_;
  std::uint64_t tests_ = 0;
  double lastFlush_ = emscripten_get_now();
};

// A simulation run: the page's settings, the seed's text ("" from the clock) and the sink.
std::string Simulate(const std::string& settingsText, const std::string& seedText, val sink) {
  return Answer([&](Json& result) {
    const RunSettings settings = RunSettingsOf(ParseSettings(settingsText));
    const std::uint32_t seed = RunSeed(seedText);
    result["seed"] = std::to_string(seed);
    if (settings.CheckBox_Iterate && settings.SpinEdit_D0 > settings.SpinEdit_Dmax)
      result["notes"].push_back("Do " + std::to_string(settings.SpinEdit_D0) + " is above Dmax " +
                                std::to_string(settings.SpinEdit_Dmax) + ", so the one degree " +
                                std::to_string(settings.SpinEdit_D0) + " runs");
    PageHost host(sink);
    UniformGenerator rng(seed);
    SimulationRun run(rng, 1);
    RunSummary summary;
    run.SetObserver(&summary);
    try {
      jobs::RunSimulation(run, settings, host, jobs::JobContext{});
    } catch (...) {
      // What the run wrote before the error stays written, as in the window.
      host.Flush();
      throw;
    }
    host.Flush();
    result["tests"] = host.Tests();
    result["csv"] = summary.Rows(RowFormat::Csv);
  });
}

// Where a sheet or a study stands, handed to the sink at most every 50 ms.
class PageProgress final : public jobs::ProgressSink {
public:
  explicit PageProgress(val sink) : sink_(std::move(sink)) {}
  void Study(const StudyProgress& p) override {
    if (Due())
      sink_.call<void>("progress", static_cast<double>(p.testsDone), static_cast<double>(p.testsTotal),
                       static_cast<double>(p.conditionsDone), static_cast<double>(p.conditionsTotal));
  }
  void Sheet(const jobs::SheetProgress& p) override {
    if (Due())
      sink_.call<void>("progress", p.checking, static_cast<double>(p.examinees), static_cast<double>(p.bytesRead),
                       static_cast<double>(p.bytesTotal));
  }

private:
  bool Due() {
    const double now = emscripten_get_now();
    if (now - last_ < 50) return false;
    last_ = now;
    return true;
  }

  val sink_;
  double last_ = emscripten_get_now();
};

// The examinees of a sheet's results and, among them, the absent (no item answered) and
// those whose analysis failed; the pooled row ALL, last, is none of them.
struct SheetCounts {
  std::int64_t examinees = 0, absent = 0, failed = 0;
};

SheetCounts CountsOf(const jobs::Frame& results) {
  SheetCounts c;
  if (results.rows == 0) return c;
  c.examinees = static_cast<std::int64_t>(results.rows) - 1;
  const jobs::Column& answered = results.At("answered");
  const jobs::Column& error = results.At("error");
  for (std::size_t i = 0; i + 1 < results.rows; ++i) {
    c.absent += answered.present[i] && answered.counts[i] == 0;
    c.failed += error.present[i] && !error.texts[i].empty();
  }
  return c;
}

// An answer sheet: its text and name, the key apart ("" the sheet's KEY row), k (0 from
// the key), the analysis settings and the sink of its progress.
std::string AnalyseSheet(const std::string& text, const std::string& name, const std::string& keyText, int k,
                         const std::string& settingsText, val sink) {
  return Answer([&](Json& result) {
    const Json settings = ParseSettings(settingsText);
    AnalysisSettings analysis;
    analysis.ci = SettingValue(settings, setting::CI) != 0;
    analysis.tolerance = SettingValue(settings, setting::Tol);
    analysis.maxIterations = SettingValue(settings, setting::MaxIts);
    analysis.decimals = SettingValue(settings, setting::Decs);
    if (k != 0 && (k < setting::k.min || k > setting::k.max))
      throw jobs::UsageError("k: " + std::to_string(k) + " is out of range (" + std::to_string(setting::k.min) +
                             " to " + std::to_string(setting::k.max) + ")");
    std::optional<AnswerKey> key;
    if (!keyText.empty()) {
      key = jobs::ParseAnswerKey(keyText, "key", "key file");
      jobs::CheckKeyAlternatives(*key, k, "key");
    }
    const std::unique_ptr<jobs::SheetSource> source = jobs::SheetSource::OfText(text, name, "the key", "k");
    PageProgress progress(sink);
    const jobs::SheetFrame sheet =
        jobs::AnalyseSheetData(*source, key ? &*key : nullptr, k, analysis, 1, jobs::JobContext{nullptr, &progress});
    const SheetCounts counts = CountsOf(sheet.results);
    result["csv"] = jobs::CsvOfFrame(sheet.results);
    result["favoured"] = sheet.favoured;
    result["report"] = jobs::SheetOutcome(counts.examinees, counts.absent, counts.failed, sheet.favoured);
    result["examinees"] = counts.examinees;
    result["absent"] = counts.absent;
    result["failed"] = counts.failed;
  });
}

// A list of the study's definition as the command line takes it: "10,20,50", "0:100:10",
// or an array of numbers.
std::optional<std::string> ListText(const Json& definition, const char* name) {
  const auto it = definition.find(name);
  if (it == definition.end() || it->is_null()) return std::nullopt;
  if (it->is_string()) return it->get<std::string>();
  if (!it->is_array()) return it->dump();
  std::string text;
  for (const Json& v : *it) text += (text.empty() ? "" : ",") + (v.is_string() ? v.get<std::string>() : v.dump());
  return text;
}

// A study: its lists, replications, interval, seed (text; none: from the clock) and
// generator (philox unless lcg is asked for).
std::string RunStudy(const std::string& definitionText, val sink) {
  return Answer([&](Json& result) {
    const Json d = ParseSettings(definitionText);
    StudyDefinition study;
    study.generator = ParseGenerator(d.value("generator", std::string("philox")));
    study.conditions = jobs::StudyConditionsOf(ListText(d, "n"), ListText(d, "k"), ListText(d, "do"), nullptr, "");
    const Json replications = d.value("replications", Json(1000));
    std::int64_t r = 0;
    const std::string problem = WholeNumberProblem(replications.is_string() ? replications.get<std::string>()
                                                                            : replications.dump(),
                                                   1, kMaxReplications, r);
    if (!problem.empty()) throw jobs::UsageError("replications: " + problem);
    study.replications = r;
    const auto seedCell = d.find("seed");
    const std::string seedText = seedCell == d.end() || seedCell->is_null() ? std::string()
                                 : seedCell->is_string()                    ? seedCell->get<std::string>()
                                                                            : seedCell->dump();
    if (seedText.empty()) {
      study.seed = study.generator == StudyGenerator::Philox ? ClockSeed64() : ClockSeed();
    } else {
      std::uint64_t seed = 0;
      const char* end = seedText.data() + seedText.size();
      const auto r = std::from_chars(seedText.data(), end, seed);
      if (r.ptr != end || r.ec != std::errc())
        throw jobs::UsageError("seed: " + Quoted(seedText) + " is not a whole number from 0 to 18446744073709551615");
      study.seed = seed;
    }
    CheckStudy(study);
    study.ci = SettingValue(d, setting::CI) != 0;
    study.tolerance = SettingValue(d, setting::Tol);
    study.maxIterations = SettingValue(d, setting::MaxIts);
    PageProgress progress(sink);
    jobs::StopToken stop;
    const jobs::StudyFrames frames = jobs::RunStudyData(study, Shard{}, false, 1, jobs::JobContext{&stop, &progress});
    result["seed"] = std::to_string(study.seed);
    result["csv"] = jobs::CsvOfFrame(frames.summary);
  });
}

std::string Version() { return VELTRANO_VERSION; }

}  // namespace
}  // namespace veltrano::web

EMSCRIPTEN_BINDINGS(veltrano) {
  emscripten::function("version", &veltrano::web::Version);
  emscripten::function("settingsTable", &veltrano::web::SettingsTable);
  emscripten::function("simulate", &veltrano::web::Simulate);
  emscripten::function("analyseSheet", &veltrano::web::AnalyseSheet);
  emscripten::function("study", &veltrano::web::RunStudy);
}
