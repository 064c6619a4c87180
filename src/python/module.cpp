// veltrano._veltrano: the jobs' data level (jobs/DataJobs.h) for Python. The functions here
// take and give plain arrays and columns; veltrano/__init__.py turns the user's arrays and
// data frames into them and back.
//
// Every job runs on a thread of its own while the calling thread, without the GIL, waits
// for it and looks every 100 ms for Ctrl-C (PyErr_CheckSignals, which only Python's main
// thread may call) and for progress to show. Ctrl-C sets the job's stop token, waits for
// the job to end after its current test, condition or table, and raises KeyboardInterrupt:
// no thread is left running. The family's errors become ValueError (bad input, with the
// command line's message), OSError (files) or RuntimeError (an analysis that failed).
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <chrono>
#include <exception>
#include <fstream>
#include <optional>
#include <sstream>

#include "jobs/DataJobs.h"
#include "jobs/InputFile.h"
#include "jobs/PolledJob.h"
#include "jobs/StudyJob.h"
#include "numeric/UniformGenerator.h"
#include "parallel/Jobs.h"
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
  PyErr_SetString(type, p.message.c_str());
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

int Jobs(const std::optional<int>& count) {
  if (count && (*count < 1 || *count > kMaxJobs))
    throw py::value_error("jobs must be between 1 and " + std::to_string(kMaxJobs) + " (got " +
                          std::to_string(*count) + ")");
  return count.value_or(0);
}

// A setting's value within its range, as the command line's option checks it.
int Setting(const SettingEntry& entry, const char* name, long long value) {
  if (value < entry.min || value > entry.max)
    throw py::value_error(std::string(name) + " must be between " + std::to_string(entry.min) + " and " +
                          std::to_string(entry.max) + " (got " + std::to_string(value) + ")");
  return static_cast<int>(value);
}

AnalysisSettings Analysis(bool ci, long long tolerance, long long maxIterations) {
  AnalysisSettings s;
  s.tolerance = Setting(setting::Tol, "tolerance", tolerance);
  s.maxIterations = Setting(setting::MaxIts, "max_iterations", maxIterations);
  s.ci = ci;
  s.alternative = true;
  return s;
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
py::dict AnalyseArray(const py::array_t<double, py::array::c_style | py::array::forcecast>& cells, bool ci,
                      long long tolerance, long long maxIterations, std::optional<int> jobCount) {
  if (cells.ndim() != 3 || cells.shape(1) != cells.shape(2))
    throw py::value_error("tables must be an (m, k, k) array of counts");
  const auto m = static_cast<std::int64_t>(cells.shape(0));
  const int k = static_cast<int>(cells.shape(1));
  const double* data = cells.data();
  const AnalysisSettings settings = Analysis(ci, tolerance, maxIterations);
  const int threads = Jobs(jobCount);
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
py::dict AnalyseList(const std::vector<std::vector<double>>& tables, const std::vector<int>& ks, bool ci,
                     long long tolerance, long long maxIterations, std::optional<int> jobCount) {
  const AnalysisSettings settings = Analysis(ci, tolerance, maxIterations);
  const int threads = Jobs(jobCount);
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

py::dict Simulate(long long n, long long k, long long d, long long tests, long long seed, bool ci,
                  std::optional<long long> dmax, std::optional<long long> step, long long tolerance,
                  long long maxIterations, std::optional<int> jobCount) {
  RunSettings s;
  s.SpinEdit_n = Setting(setting::n, "n", n);
  s.SpinEdit_k = Setting(setting::k, "k", k);
  s.SpinEdit_D0 = Setting(setting::D0, "do", d);
  s.SpinEdit_Test = Setting(setting::Test, "tests", tests);
  s.CheckBox_Iterate = dmax.has_value() || step.has_value();
  if (dmax) s.SpinEdit_Dmax = Setting(setting::Dmax, "dmax", *dmax);
  if (step) s.SpinEdit_Step = Setting(setting::Step, "step", *step);
  s.CheckBox_CI = ci;
  s.SpinEdit_Tol = Setting(setting::Tol, "tolerance", tolerance);
  s.SpinEdit_MaxIts = Setting(setting::MaxIts, "max_iterations", maxIterations);
  if (seed < 0 || seed > 4294967295LL)
    throw py::value_error("seed must be between 0 and 4294967295 (got " + std::to_string(seed) + ")");
  const int threads = Jobs(jobCount);
  jobs::SimulatedTests t = Run([&](const JobContext& context) {
    return jobs::SimulateTestData(s, static_cast<std::uint32_t>(seed), threads, context);
  });
  if (t.end == jobs::JobEnd::Stopped) {
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

// A study's seed: any whole number from 0 to the generator's largest (2^64 - 1 for philox,
// 2^32 - 1 for lcg, whose larger 64-bit seeds CheckStudy refuses with the command line's
// message); None takes one from the clock as the command line does.
std::uint64_t StudySeed(const py::object& seed, StudyGenerator generator) {
  if (seed.is_none()) return generator == StudyGenerator::Philox ? ClockSeed64() : ClockSeed();
  const py::object whole = py::reinterpret_steal<py::object>(PyNumber_Index(seed.ptr()));  // TypeError for 2.5
  if (!whole) throw py::error_already_set();
  const unsigned long long value = PyLong_AsUnsignedLongLong(whole.ptr());
  if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {  // negative, or beyond 2^64 - 1
    PyErr_Clear();
    const std::uint64_t largest = generator == StudyGenerator::Philox ? ~std::uint64_t{0} : kMaxLcgSeed;
    throw py::value_error("seed must be between 0 and " + std::to_string(largest) + " (got " +
                          py::str(whole).cast<std::string>() + ")");
  }
  return value;
}

py::tuple Study(std::optional<std::string> n, std::optional<std::string> k, std::optional<std::string> d,
                std::optional<std::string> designPath, std::optional<std::string> designText, long long replications,
                const py::object& seed, const std::string& generator, bool ci, long long tolerance,
                long long maxIterations, std::optional<int> jobCount,
                std::optional<std::pair<long long, long long>> shard, bool tests, const py::object& progress) {
  StudyDefinition study;
  try {
    study.generator = ParseGenerator(generator);
    std::ifstream file;
    std::istringstream text;
    std::istream* design = nullptr;
    std::string name;
    if (designPath) {
      file = jobs::OpenInput(*designPath);
      design = &file;
      name = *designPath;
    } else if (designText) {
      text.str(*designText);
      design = &text;
      name = "the design";
    }
    study.conditions = jobs::StudyConditionsOf(n, k, d, design, name);
  } catch (...) {
    RaiseJobError(std::current_exception());
  }
  if (replications < 1 || replications > kMaxReplications)
    throw py::value_error("replications must be between 1 and " + std::to_string(kMaxReplications) + " (got " +
                          std::to_string(replications) + ")");
  study.replications = replications;
  study.seed = StudySeed(seed, study.generator);
  try {
    CheckStudy(study);
  } catch (...) {
    RaiseJobError(std::current_exception());
  }
  study.tolerance = Setting(setting::Tol, "tolerance", tolerance);
  study.maxIterations = Setting(setting::MaxIts, "max_iterations", maxIterations);
  study.ci = ci;
  Shard part;
  if (shard) {
    try {
      part = ParseShard(std::to_string(shard->first) + "/" + std::to_string(shard->second));
    } catch (...) {
      RaiseJobError(std::current_exception());
    }
  }
  const int threads = Jobs(jobCount);
  const jobs::StudyFrames frames = Run(
      [&](const JobContext& context) { return jobs::RunStudyData(study, part, tests, threads, context); }, progress);
  if (frames.end == jobs::JobEnd::Stopped) {
    PyErr_SetNone(PyExc_KeyboardInterrupt);
    throw py::error_already_set();
  }
  return py::make_tuple(Columns(frames.summary), tests ? py::object(Columns(frames.tests)) : py::none(), study.seed);
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

py::tuple Responses(std::optional<std::string> path, std::optional<std::string> text, const std::string& name,
                    std::optional<std::string> key, std::optional<std::string> keyFile, long long k, bool ci,
                    std::optional<int> jobCount) {
  const AnalysisSettings settings = Analysis(ci, setting::Tol.byDefault, setting::MaxIts.byDefault);
  if (k != 0) Setting(setting::k, "k", k);
  const int threads = Jobs(jobCount);
  const jobs::SheetFrame sheet = Run([&](const JobContext& context) {
    std::optional<AnswerKey> given;
    if (key) given = jobs::ParseAnswerKey(*key, "key", "key=pathlib.Path(...)");
    if (keyFile) given = jobs::ReadAnswerKeyFile(*keyFile, "key");
    if (given) jobs::CheckKeyAlternatives(*given, static_cast<int>(k), "key");
    std::istringstream none;
    std::unique_ptr<jobs::SheetSource> source =
        path ? std::make_unique<jobs::SheetSource>(*path, none, "key=...", "k=")
             : jobs::SheetSource::OfText(*text, name, "key=...", "k=");
    return jobs::AnalyseSheetData(*source, given ? &*given : nullptr, static_cast<int>(k), settings, threads,
                                  context);
  });
  if (sheet.end == jobs::JobEnd::Stopped) {
    PyErr_SetNone(PyExc_KeyboardInterrupt);
    throw py::error_already_set();
  }
  return py::make_tuple(Columns(sheet.results), sheet.favoured);
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
  m.def("analyse_array", &AnalyseArray, py::arg("cells"), py::arg("ci"), py::arg("tolerance"),
        py::arg("max_iterations"), py::arg("jobs"));
  m.def("analyse_list", &AnalyseList, py::arg("tables"), py::arg("ks"), py::arg("ci"), py::arg("tolerance"),
        py::arg("max_iterations"), py::arg("jobs"));
  m.def("simulate", &Simulate, py::arg("n"), py::arg("k"), py::arg("do"), py::arg("tests"), py::arg("seed"),
        py::arg("ci"), py::arg("dmax"), py::arg("step"), py::arg("tolerance"), py::arg("max_iterations"),
        py::arg("jobs"));
  m.def("study", &Study, py::arg("n"), py::arg("k"), py::arg("do"), py::arg("design_path"), py::arg("design_text"),
        py::arg("replications"), py::arg("seed"), py::arg("generator"), py::arg("ci"), py::arg("tolerance"),
        py::arg("max_iterations"), py::arg("jobs"), py::arg("shard"), py::arg("tests"), py::arg("progress"));
  m.def("merge", &Merge, py::arg("shards"));
  m.def("frame_csv", &FrameCsv, py::arg("names"), py::arg("values"), py::arg("present"));
  m.def("responses", &Responses, py::arg("path"), py::arg("text"), py::arg("name"), py::arg("key"),
        py::arg("key_file"), py::arg("k"), py::arg("ci"), py::arg("jobs"));
  m.def("analyse_loop_seconds", &AnalyseLoopSeconds, py::arg("cells"), py::arg("ci") = false);
}
