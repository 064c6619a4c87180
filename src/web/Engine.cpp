// The engine of the browser's page: the in-memory jobs, compiled to WebAssembly and called
// from the page's worker. Each call takes its settings as JSON text, by the command line's
// names (the jobs check them: jobs/Settings.h), and answers JSON text of one shape for every
// job:
//   {"end": "completed" | "refused" | "error",
//    "message": the reason (not for completed), "setting": the one setting it is about
//    (where there is one), "notes": [sentences],
//    and what the job made: "seed", "tests", "csv" (a run's summary, a sheet's results, a
//    study's rows), a sheet's "report", "favoured", "examinees", "absent" and "failed"}.
// "refused": the job's settings were refused before anything ran; "error": the job began
// and failed. `check` answers the same for a job's request without running it, so that the
// page refuses a link's values in the engine's words. Messages name settings as the page's
// links do ("max-iterations: 0 is out of range ...").
// While a run works, its lines go to the worker's sink object in chunks, a few times a
// second, exactly the bytes `veltrano-batch simulate` writes to its files. Everything runs on
// the worker's one thread; the page stops a run by ending the worker.
#include <emscripten.h>
#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <optional>
#include <sstream>
#include <string>

#include "jobs/DataJobs.h"
#include "jobs/JobError.h"
#include "jobs/Settings.h"
#include "jobs/SheetJob.h"
#include "jobs/SimulateJob.h"
#include "jobs/StreamHost.h"
#include "jobs/StudyJob.h"
#include "jobs/Throttle.h"
#include "numeric/QuotedText.h"
#include "numeric/UniformGenerator.h"
#include "simulation/RunSettings.h"
#include "study/RunSummary.h"

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

// The settings of the other actions (a study's replications and seed, a sheet's k, the
// threads ...):
// name, the jobs that take it (the run's seed and the study's share a name), range, default
// (null where it is no number, which defaultText words: a seed "from the clock") and help.
// Seeds reach 2^64 − 1, beyond what JavaScript's numbers hold exactly: ranges are given as
// text.
std::string ActionSettings() {
  struct Taken {
    const NumberSetting& setting;
    std::vector<const char*> actions;
  };
  const Taken taken[] = {{setting::replications, {"study"}},
                         {setting::runSeed, {"simulate"}},
                         {setting::studySeed, {"study"}},
                         {setting::sheetK, {"sheet"}},
                         {setting::jobCount, {"simulate", "sheet", "study"}}};
  Json table = Json::array();
  for (const auto& [s, actions] : taken)
    table.push_back({{"option", s.name},
                     {"actions", actions},
                     {"min", std::to_string(s.min)},
                     {"max", std::to_string(s.max)},
                     {"byDefault", s.defaultText.empty() ? Json(s.byDefault) : Json(nullptr)},
                     {"defaultText", s.defaultText},
                     {"help", s.help}});
  return table.dump();
}

// A value from the page as the jobs check it: its text (a number's digits, a switch 1 or
// 0, a list "10,20", or an array's values joined by commas); a JSON number at or above 2^53
// is marked, as JavaScript's numbers do not hold every whole number there.
jobs::Given GivenOf(const Json& v) {
  if (v.is_boolean()) return {v.get<bool>() ? "1" : "0"};
  if (v.is_string()) return {v.get<std::string>()};
  if (v.is_array()) {
    std::string text;
    for (const Json& item : v) text += (text.empty() ? "" : ",") + GivenOf(item).text;
    return {text};
  }
  jobs::Given g{v.dump()};
  if (v.is_number_float()) g.inexact = std::abs(v.get<double>()) >= 9007199254740992.0;
  if (v.is_number_unsigned()) g.inexact = v.get<std::uint64_t>() >= (std::uint64_t{1} << 53);
  return g;
}

// The page's settings by name; a null is a setting not given.
jobs::GivenSettings GivenSettingsOf(const Json& settings) {
  jobs::GivenSettings given;
  for (const auto& [name, value] : settings.items())
    if (!value.is_null()) given[name] = GivenOf(value);
  return given;
}

// A JSON object from the page ("" an empty one); `what` names it in the message when it is
// none.
Json ParseObject(const std::string& text, const char* what = "the settings' text") {
  if (text.empty()) return Json::object();
  Json object = Json::parse(text, nullptr, false);
  if (!object.is_object()) throw jobs::UsageError(std::string(what) + " is not a JSON object");
  return object;
}

// An answer that ended otherwise than completed: the exception's message, its settings named
// as the page's links name them, and the one setting it is about.
void Fail(Json& result, const char* end) {
  const jobs::JobProblem problem = jobs::ProblemOf(std::current_exception());
  result["end"] = end;
  result["message"] = jobs::Worded(problem, Spelling::Plain);
  if (!problem.setting.empty()) result["setting"] = problem.setting;
}

// A job's answer: `order` checks the request and composes what the job needs (an exception
// out of it refuses the job: nothing ran); `body` runs the job with it and fills in what the
// job made (an exception out of it ends the job with an error, keeping what was filled in
// before, a run's seed).
template <class Order, class Body>
std::string Answer(Order&& order, Body&& body) {
  Json result = {{"end", "completed"}, {"notes", Json::array()}};
  try {
    auto ordered = order();
    try {
      body(result, ordered);
    } catch (...) {
      Fail(result, "error");
    }
  } catch (...) {
    Fail(result, "refused");
  }
  return result.dump();
}

// The orders of the page's jobs, from what the page gives each job call (and `check`).

// A run: the form's settings and the seed's text ("" from the clock).
jobs::RunOrder RunOrderOf(const Json& settings, const std::string& seedText) {
  jobs::GivenSettings given = GivenSettingsOf(settings);
  if (!seedText.empty()) given[std::string(setting::runSeed.name)] = jobs::Given{seedText};
  return jobs::OrderRun(given);
}

// A sheet: the form's settings (the analysis' own are taken), the key given apart ("" the
// sheet's KEY row) and k's text ("" from the key).
jobs::SheetOrder SheetOrderOf(const Json& settings, const std::string& keyText, const std::string& kText) {
  jobs::GivenSettings given;
  for (const SettingEntry* e : {&setting::CI, &setting::Tol, &setting::MaxIts, &setting::Decs}) {
    const auto it = settings.find(OptionName(*e));
    if (it != settings.end() && !it->is_null()) given[OptionName(*e)] = GivenOf(*it);
  }
  if (!kText.empty()) given[std::string(setting::sheetK.name)] = jobs::Given{kText};
  if (!keyText.empty()) given["key"] = jobs::Given{keyText};
  return jobs::OrderSheet(given);
}

// A study: its lists, replications, interval, seed (none: from the clock) and generator
// (philox unless lcg is asked for), by the command line's names.
jobs::StudyOrder StudyOrderOf(const Json& definition) { return jobs::OrderStudy(GivenSettingsOf(definition)); }

std::string TextOf(const Json& request, const char* name) {
  const auto it = request.find(name);
  return it == request.end() || it->is_null() ? std::string() : GivenOf(*it).text;
}

Json ObjectOf(const Json& request, const char* name) {
  const auto it = request.find(name);
  if (it == request.end() || it->is_null()) return Json::object();
  if (!it->is_object()) throw jobs::UsageError(std::string("the request's ") + name + " is not a JSON object");
  return *it;
}

// A job's request checked without running it: {"type": "simulate", "settings", "seed"},
// {"type": "sheet", "settings", "key", "k"} or {"type": "study", "definition"}, as the
// page's worker is given them. Answers "completed" or "refused", with the job's message.
std::string Check(const std::string& requestText) {
  const auto ordered = [&] {
    const Json request = ParseObject(requestText, "the request");
    const std::string type = TextOf(request, "type");
    if (type == "simulate")
      RunOrderOf(ObjectOf(request, "settings"), TextOf(request, "seed"));
    else if (type == "sheet")
      SheetOrderOf(ObjectOf(request, "settings"), TextOf(request, "key"), TextOf(request, "k"));
    else if (type == "study")
      StudyOrderOf(ObjectOf(request, "definition"));
    else
      throw jobs::UsageError(Quoted(type) + " is no job; the jobs are simulate, sheet and study");
    return true;
  };
  return Answer(ordered, [](Json&, bool) {});
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
    ++tests_;
    // The chunks go when 50 ms have passed or they have grown large.
    if (flush_.Due() || data_.size() > kChunk) Flush();
    return true;
  }

  /// The tests finished so far.
  std::uint64_t Tests() const noexcept { return tests_; }

  void Flush() {
    flush_.Restart();
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
  jobs::Throttle flush_{std::chrono::milliseconds(50)};
};

// A simulation run: the page's settings, the seed's text ("" from the clock) and the sink.
std::string Simulate(const std::string& settingsText, const std::string& seedText, val sink) {
  const auto ordered = [&] { return RunOrderOf(ParseObject(settingsText), seedText); };
  return Answer(ordered, [&](Json& result, const jobs::RunOrder& order) {
    const jobs::NoteSink note = [&result](const std::string& line) {
      result["notes"].push_back(Worded(line, Spelling::Plain));
    };
    // The seed is in the answer before the first test: a run that fails still says it.
    jobs::RunParts parts;
    parts.jobs = 1;
    parts.reseed = true;
    parts.seed = jobs::RunSeed(order.seed, {});
    result["seed"] = std::to_string(*parts.seed);
    RunSummary summary;
    parts.summary = &summary;
    PageHost host(sink);
    UniformGenerator rng;
    SimulationRun run(rng);
    try {
      jobs::Simulate(run, order.settings, parts, host, note, jobs::JobContext{});
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
    if (shown_.Due())
      sink_.call<void>("progress", static_cast<double>(p.testsDone), static_cast<double>(p.testsTotal),
                       static_cast<double>(p.conditionsDone), static_cast<double>(p.conditionsTotal));
  }
  void Sheet(const jobs::SheetProgress& p) override {
    if (shown_.Due())
      sink_.call<void>("progress", p.checking, static_cast<double>(p.examinees), static_cast<double>(p.bytesRead),
                       static_cast<double>(p.bytesTotal));
  }

private:
  val sink_;
  jobs::Throttle shown_{std::chrono::milliseconds(50)};
};

// An answer sheet: its text and name, the key apart ("" the sheet's KEY row), k's text (""
// from the key), the analysis settings and the sink of its progress.
std::string AnalyseSheet(const std::string& text, const std::string& name, const std::string& keyText,
                         const std::string& kText, const std::string& settingsText, val sink) {
  const auto ordered = [&] { return SheetOrderOf(ParseObject(settingsText), keyText, kText); };
  return Answer(ordered, [&](Json& result, const jobs::SheetOrder& order) {
    const std::unique_ptr<jobs::SheetSource> source = jobs::SheetSource::OfText(text, name);
    PageProgress progress(sink);
    const jobs::SheetFrame sheet = jobs::AnalyseSheetData(*source, order, jobs::JobContext{nullptr, &progress});
    const jobs::SheetOutcome& outcome = sheet.outcome;
    result["csv"] = jobs::CsvOfFrame(sheet.results);
    result["favoured"] = outcome.favoured;
    result["report"] = outcome.Line();
    result["examinees"] = outcome.examinees;
    result["absent"] = outcome.absent;
    result["failed"] = outcome.failed;
  });
}

// A study: its definition (StudyOrderOf) and the sink of its progress.
std::string RunStudy(const std::string& definitionText, val sink) {
  const auto ordered = [&] { return StudyOrderOf(ParseObject(definitionText)); };
  return Answer(ordered, [&](Json& result, const jobs::StudyOrder& order) {
    PageProgress progress(sink);
    jobs::StopToken stop;
    const jobs::StudyFrames frames =
        jobs::RunStudyData(order.study, order.shard, false, 1, jobs::JobContext{&stop, &progress});
    result["seed"] = std::to_string(order.study.seed);
    result["csv"] = jobs::CsvOfFrame(frames.summary);
  });
}

std::string Version() { return VELTRANO_VERSION; }

}  // namespace
}  // namespace veltrano::web

EMSCRIPTEN_BINDINGS(veltrano) {
  emscripten::function("version", &veltrano::web::Version);
  emscripten::function("settingsTable", &veltrano::web::SettingsTable);
  emscripten::function("actionSettings", &veltrano::web::ActionSettings);
  emscripten::function("simulate", &veltrano::web::Simulate);
  emscripten::function("analyseSheet", &veltrano::web::AnalyseSheet);
  emscripten::function("study", &veltrano::web::RunStudy);
  emscripten::function("check", &veltrano::web::Check);
}
