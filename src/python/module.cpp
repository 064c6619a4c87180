// veltrano._veltrano: the jobs' data level (jobs/DataJobs.h) for Python. The functions here
// take and give plain arrays and columns; veltrano/__init__.py turns the user's arrays and
// data frames into them and back.
//
// Every job runs on a thread of its own while the calling thread, without the GIL, waits
// for it and looks every 100 ms for Ctrl-C (PyErr_CheckSignals, which only Python's main
// thread may call) and for progress to show. Ctrl-C sets the job's stop token, waits for
// the job to end after its current test, condition or table, and raises KeyboardInterrupt:
// no thread is left running. The family's errors become ValueError (bad input, with the
// command line's message, the settings spelt as Python's keyword arguments), OSError
// (files) or RuntimeError (an analysis that failed).
//
// Settings come as the text of their values, by the settings' names (jobs/Settings.h):
// the jobs check them, so a value out of range is refused in the command line's words.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <chrono>
#include <exception>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>

#include "jobs/DataJobs.h"
#include "jobs/AnalyseJob.h"
#include "jobs/InputFile.h"
#include "jobs/JobError.h"
#include "jobs/PolledJob.h"
#include "jobs/SheetJob.h"
#include "jobs/SimulateJob.h"
#include "jobs/StudyJob.h"
#include "simulation/ExamResults.h"

namespace py = pybind11;

namespace veltrano::python {
namespace {

using jobs::JobContext;

// Raises the Python exception a job's error calls for.
[[noreturn]] void RaiseJobError(const std::exception_ptr& error) {
  const jobs::JobProblem p = jobs::ProblemOf(error);
  PyObject* type = PyExc_RuntimeError;
  switch (p.kind) {
    case jobs::ErrorKind::Usage:
    case jobs::ErrorKind::Input: type = PyExc_ValueError; break;
    case jobs::ErrorKind::Unreadable:
    case jobs::ErrorKind::Output:
    case jobs::ErrorKind::BrokenPipe: type = PyExc_OSError; break;
    case jobs::ErrorKind::Stopped: type = PyExc_KeyboardInterrupt; break;
    case jobs::ErrorKind::Failed: break;
  }
  PyErr_SetString(type, jobs::Worded(p, Spelling::Python).c_str());
  throw py::error_already_set();
}

// Runs work(context) on a thread of its own as described above (jobs::RunPolled), without
// the GIL; progress, when given, is called with the GIL every time the study's progress has
// moved, and once more at the end. Ctrl-C, or an error of progress, stops the job and is
// raised once it has ended.
template <class Work>
auto Run(Work&& work, const py::object& progress = py::none()) {
  using Result = decltype(work(std::declval<const JobContext&>()));
  std::optional<Result> result;
  std::exception_ptr error;
  {
    py::gil_scoped_release release;
    try {
      result = jobs::RunPolled(work, [&](const std::optional<StudyProgress>& p, bool ended) {
        py::gil_scoped_acquire acquire;
        if (!ended && PyErr_CheckSignals() != 0) return false;
        if (!p || progress.is_none()) return true;
        try {
          progress(p->conditionsDone, p->conditionsTotal, p->testsDone, p->testsTotal);
        } catch (py::error_already_set& e) {
          e.restore();  // raised below
          return false;
        }
        return true;
      });
    } catch (...) {
      error = std::current_exception();
    }
  }
  if (error) RaiseJobError(error);
  if (!result) throw py::error_already_set();  // KeyboardInterrupt, or the callback's error
  return std::move(*result);
}

jobs::GivenSettings Given(const std::map<std::string, std::string>& values) {
  jobs::GivenSettings given;
  for (const auto& [name, text] : values) given[name] = jobs::Given{text};
  return given;
}

// Raises what the checks of the settings raise as Python's exceptions.
template <class F>
auto Checked(F&& f) {
  try {
    return f();
  } catch (const py::error_already_set&) {
    throw;
  } catch (...) {
    RaiseJobError(std::current_exception());
  }
}

// The vector's values as a numpy array, without a copy: the array owns the vector.
template <class T>
py::array_t<T> Array(std::vector<T>&& v) {
  auto* owned = new std::vector<T>(std::move(v));
  py::capsule free(owned, [](void* p) { delete static_cast<std::vector<T>*>(p); });
  return py::array_t<T>(static_cast<py::ssize_t>(owned->size()), owned->data(), free);
}

py::dict EstimatesDict(jobs::EstimateColumns&& e) {
  py::dict d;
  const std::size_t size = e.Size();
  d["du"] = Array(std::move(e.du));
  d["se_du"] = Array(std::move(e.seDu));
  d["ci_lower"] = Array(std::move(e.ciLower));
  d["ci_upper"] = Array(std::move(e.ciUpper));
  d["dc"] = Array(std::move(e.dc));
  d["se_dc"] = Array(std::move(e.seDc));
  d["dln"] = Array(std::move(e.dln));
  d["code"] = Array(std::move(e.code));
  d["code2"] = Array(std::move(e.code2));
  d["k"] = Array(std::move(e.k));
  d["pi"] = Array(std::move(e.pi));
  py::list errors(size);
  for (std::size_t i = 0; i < size; ++i) errors[i] = py::none();
  for (const auto& [at, message] : e.errors) errors[at] = py::str(message);
  d["error"] = errors;
  return d;
}

// (m, k, k) tables of counts in one array.
py::dict AnalyseArray(const py::array_t<double, py::array::c_style | py::array::forcecast>& cells,
                      const std::map<std::string, std::string>& values) {
  if (cells.ndim() != 3 || cells.shape(1) != cells.shape(2))
    throw py::value_error("tables must be an (m, k, k) array of counts");
  const auto m = static_cast<std::int64_t>(cells.shape(0));
  const int k = static_cast<int>(cells.shape(1));
  const double* data = cells.data();
  const jobs::AnalysisOrder order = Checked([&] { return jobs::OrderAnalysis(Given(values)); });
  const AnalysisSettings& settings = order.analysis;
  const int threads = order.jobs;
  jobs::EstimateColumns e = Run([&](const JobContext& context) {
    std::int64_t next = 0;
    return jobs::AnalyseTableData(
        [&](jobs::ObservedTable& t) {
          if (next == m) return false;
          t.number = next + 1;
          t.k = k;
          const double* first = data + next * k * k;
          t.cells.assign(first, first + k * k);
          ++next;
          return true;
        },
        settings, threads, context, static_cast<std::size_t>(m), k);
  });
  return EstimatesDict(std::move(e));
}

// Tables of any sizes: each a flat list of its k × k counts.
py::dict AnalyseList(const std::vector<std::vector<double>>& tables, const std::vector<int>& ks,
                     const std::map<std::string, std::string>& values) {
  const jobs::AnalysisOrder order = Checked([&] { return jobs::OrderAnalysis(Given(values)); });
  const AnalysisSettings& settings = order.analysis;
  const int threads = order.jobs;
  jobs::EstimateColumns e = Run([&](const JobContext& context) {
    std::size_t next = 0;
    return jobs::AnalyseTableData(
        [&](jobs::ObservedTable& t) {
          if (next == tables.size()) return false;
          t.number = static_cast<std::int64_t>(next) + 1;
          t.k = ks[next];
          t.cells = tables[next];
          ++next;
          return true;
        },
        settings, threads, context);
  });
  return EstimatesDict(std::move(e));
}

py::dict Simulate(const std::map<std::string, std::string>& values) {
  const jobs::RunOrder order = Checked([&] { return jobs::OrderRun(Given(values)); });
  jobs::SimulatedTests t = Run([&](const JobContext& context) { return jobs::SimulateTestData(order, context); });
  if (t.end == Ending::Stopped) {
    PyErr_SetNone(PyExc_KeyboardInterrupt);
    throw py::error_already_set();
  }
  py::dict d_ = EstimatesDict(std::move(t.estimates));
  const auto N = static_cast<py::ssize_t>(t.degree.size());
  py::array_t<std::int64_t> cells = Array(std::move(t.cells));
  d_["tables"] = cells.reshape({N, static_cast<py::ssize_t>(t.k), static_cast<py::ssize_t>(t.k)});
  d_["do"] = Array(std::move(t.degree));
  d_["do_star"] = Array(std::move(t.doStar));
  return d_;
}

// A frame as (name, kind, values, present) tuples: reals a float array (NaN where missing),
// counts an int64 array (seeds a uint64 one), texts a list of str; present a bool array.
py::list Columns(const jobs::Frame& frame) {
  py::list out;
  for (const jobs::Column& c : frame.columns) {
    py::array_t<bool> present(static_cast<py::ssize_t>(frame.rows));
    std::copy(c.present.begin(), c.present.end(), present.mutable_data());
    switch (c.type) {
      case jobs::Column::Type::Real:
        out.append(py::make_tuple(c.name, "real", Array(std::vector<double>(c.reals)), present));
        break;
      case jobs::Column::Type::Count:
        out.append(py::make_tuple(c.name, "count", Array(std::vector<std::int64_t>(c.counts)), present));
        break;
      case jobs::Column::Type::Seed:
        out.append(py::make_tuple(c.name, "count", Array(std::vector<std::uint64_t>(c.seeds)), present));
        break;
      case jobs::Column::Type::Text: out.append(py::make_tuple(c.name, "text", py::cast(c.texts), present)); break;
    }
  }
  return out;
}

// A study of the given settings and design (a file, or a design's text); progress, when
// not None, is called with (conditions done, conditions, tests done, tests).
py::tuple Study(const std::map<std::string, std::string>& values, std::optional<std::string> designPath,
                std::optional<std::string> designText, bool tests, const py::object& progress) {
  jobs::StudyDesign design;
  if (designPath) design.path = *designPath;
  design.text = designText;
  const jobs::StudyOrder order = Checked([&] { return jobs::OrderStudy(Given(values), design); });
  const jobs::StudyFrames frames = Run(
      [&](const JobContext& context) {
        return jobs::RunStudyData(order.study, order.shard, tests, order.jobs, context);
      },
      progress);
  if (frames.end == Ending::Stopped) {
    PyErr_SetNone(PyExc_KeyboardInterrupt);
    throw py::error_already_set();
  }
  return py::make_tuple(Columns(frames.summary), tests ? py::object(Columns(frames.tests)) : py::none(),
                        order.study.seed);
}

py::list Merge(const std::vector<std::pair<std::string, std::string>>& shards) {
  const jobs::Frame merged = Run([&](const JobContext&) { return jobs::MergeStudyData(shards); });
  return Columns(merged);
}

// Columns back into the CSV text they were read from (a data frame of a shard).
std::string FrameCsv(const std::vector<std::string>& names, const std::vector<py::object>& values,
                     const std::vector<std::vector<bool>>& present) {
  jobs::Frame frame;
  frame.rows = present.empty() ? 0 : present.front().size();
  for (std::size_t i = 0; i < names.size(); ++i) {
    jobs::Column c;
    c.name = names[i];
    c.type = jobs::ColumnType(names[i]);
    c.present = present[i];
    if (c.present.size() != frame.rows) throw py::value_error("the columns differ in length");
    switch (c.type) {
      case jobs::Column::Type::Real: c.reals = values[i].cast<std::vector<double>>(); break;
      case jobs::Column::Type::Count: c.counts = values[i].cast<std::vector<std::int64_t>>(); break;
      case jobs::Column::Type::Seed: c.seeds = values[i].cast<std::vector<std::uint64_t>>(); break;
      case jobs::Column::Type::Text: c.texts = values[i].cast<std::vector<std::string>>(); break;
    }
    frame.columns.push_back(std::move(c));
  }
  return jobs::CsvOfFrame(frame);
}

// An answer sheet from its file (path) or its text (named `name` in messages).
py::tuple Responses(std::optional<std::string> path, std::optional<std::string> text, const std::string& name,
                    const std::map<std::string, std::string>& values) {
  const jobs::SheetFrame sheet = Run([&](const JobContext& context) {
    const jobs::SheetOrder order = jobs::OrderSheet(Given(values));
    std::istringstream none;
    std::unique_ptr<jobs::SheetSource> source = path ? std::make_unique<jobs::SheetSource>(*path, none)
                                                     : jobs::SheetSource::OfText(*text, name);
    return jobs::AnalyseSheetData(*source, order, context);
  });
  if (sheet.outcome.ending == Ending::Stopped) {
    PyErr_SetNone(PyExc_KeyboardInterrupt);
    throw py::error_already_set();
  }
  return py::make_tuple(Columns(sheet.results), sheet.outcome.favoured);
}

// The settings of every action beyond the run's own, and the run's: name, range, default
// (None where it is no number) and help, for the package's defaults and documentation.
py::list Settings() {
  py::list out;
  const auto add = [&out](std::string_view name, std::uint64_t min, std::uint64_t max, py::object byDefault,
                          std::string_view help) {
    py::dict d;
    d["name"] = std::string(name);
    d["min"] = min;
    d["max"] = max;
    d["default"] = std::move(byDefault);
    d["help"] = std::string(help);
    out.append(d);
  };
  for (const SettingField& f : kRunSettingFields)
    add(SettingName(*f.entry), static_cast<std::uint64_t>(f.entry->min), static_cast<std::uint64_t>(f.entry->max),
        py::int_(f.entry->byDefault), f.entry->help);
  for (const NumberSetting* s : {&setting::replications, &setting::studySeed, &setting::jobCount,
                                 &setting::condition, &setting::sheetK})
    add(s->name, s->min, s->max, s->defaultText.empty() ? py::object(py::int_(s->byDefault)) : py::object(py::none()),
        s->help);
  return out;
}

// The analysis of the same tables by a plain loop on one thread: the benchmarks' measure of
// what the package adds.
double AnalyseLoopSeconds(const py::array_t<double, py::array::c_style | py::array::forcecast>& cells, bool ci) {
  const auto m = static_cast<std::int64_t>(cells.shape(0));
  const int k = static_cast<int>(cells.shape(1));
  const double* data = cells.data();
  AnalysisSettings settings;
  settings.ci = ci;
  py::gil_scoped_release release;
  const auto start = std::chrono::steady_clock::now();
  double sink = 0;
  for (std::int64_t t = 0; t < m; ++t) {
    tBfMatriz table = tBfMatriz::MCReal(k);
    for (int i = 1; i <= k; ++i)
      for (int j = 1; j <= k; ++j) table.X[i][j] = data[t * k * k + (i - 1) * k + (j - 1)];
    table.GetTotales();
    tAnalisisDeltaMET a;
    RunAnalysis(a, table, settings);
    sink += EstimatesOf(a, 0, LordNovick(k, table.X[0][0], CorrectAnswers(table))).du;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return sink == sink ? seconds : seconds;  // the sum keeps the loop from being left out
}

}  // namespace
}  // namespace veltrano::python

PYBIND11_MODULE(_veltrano, m) {
  using namespace veltrano::python;
  m.doc() = "The compiled core of veltrano; use the functions of the veltrano package.";
  m.attr("__version__") = VELTRANO_VERSION;
  namespace py = pybind11;
  m.def("analyse_array", &AnalyseArray, py::arg("cells"), py::arg("settings"));
  m.def("analyse_list", &AnalyseList, py::arg("tables"), py::arg("ks"), py::arg("settings"));
  m.def("simulate", &Simulate, py::arg("settings"));
  m.def("study", &Study, py::arg("settings"), py::arg("design_path"), py::arg("design_text"), py::arg("tests"),
        py::arg("progress"));
  m.def("merge", &Merge, py::arg("shards"));
  m.def("frame_csv", &FrameCsv, py::arg("names"), py::arg("values"), py::arg("present"));
  m.def("responses", &Responses, py::arg("path"), py::arg("text"), py::arg("name"), py::arg("settings"));
  m.def("settings", &Settings);
  m.def("analyse_loop_seconds", &AnalyseLoopSeconds, py::arg("cells"), py::arg("ci") = false);
}
