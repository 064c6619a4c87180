#include "jobs/SheetFileJob.h"

#include <filesystem>

#include "jobs/AnalysisJson.h"
#include "jobs/OutputFile.h"
#include "numeric/NumStr.h"
#include "parallel/Jobs.h"

namespace veltrano::jobs {

namespace fs = std::filesystem;

AnswerKey ParseAnswerKey(const std::string& text, const std::string& option, const std::string& fileOption) {
  try {
    return ParseKey(text);
  } catch (const SheetFormatError& e) {
    std::error_code ec;
    const bool file = fs::is_regular_file(text, ec);
    throw UsageError(option + ": " + e.what() +
                     (file ? " (" + text + " is a file: give it with " + fileOption + ")" : std::string()));
  }
}

AnswerKey ReadAnswerKeyFile(const std::string& path, const std::string& option) {
  std::ifstream file = OpenInput(path);
  try {
    return ReadKeyFile(file);
  } catch (const SheetReadError& e) {
    throw ReadError(path, e.what());
  } catch (const SheetFormatError& e) {
    throw InputError(option + " " + path + ": " + e.what(), path, e.what(), e.line(), e.column(), InputRole::Key);
  }
}

std::optional<AnswerKey> PeekSheetKey(const std::string& path) {
  if (!CanReadAgain(path)) return std::nullopt;
  try {
    std::ifstream in = OpenInput(path);
    SheetReader reader(in, nullptr, 0);
    SheetRow row;
    if (reader.NextRow(row)) return reader.Key();
  } catch (const std::exception&) {
    // No key before the first examinee, or a sheet the analysis will refuse with its reason.
  }
  return std::nullopt;
}

SheetSource::SheetSource(const std::string& path, std::istream& console, std::string keyOption,
                         std::string kOption)
    : path_(path),
      name_(path == "-" ? "standard input" : path),
      keyOption_(std::move(keyOption)),
      kOption_(std::move(kOption)) {
  if (path == "-") {
    in_ = &console;
    return;
  }
  file_ = OpenInput(path);
  in_ = &file_;
}

std::unique_ptr<SheetSource> SheetSource::OfText(std::string text, const std::string& name, std::string keyOption,
                                                 std::string kOption) {
  const std::uint64_t size = text.size();
  auto in = std::make_unique<std::istringstream>(std::move(text));
  auto source = std::make_unique<SheetSource>("-", *in, std::move(keyOption), std::move(kOption));
  source->path_.clear();  // read again from the text itself
  source->name_ = name;
  source->text_ = std::move(in);
  source->textSize_ = size;
  return source;
}

std::uint64_t SheetSource::Size() {
  if (text_) return textSize_;
  if (spool_ && copied_) return spool_->Size();
  std::error_code ec;
  if (path_ == "-" || !fs::is_regular_file(path_, ec)) return 0;
  const std::uintmax_t size = fs::file_size(path_, ec);
  return ec ? 0 : static_cast<std::uint64_t>(size);
}

// The first reading reads the sheet as it comes, copying what cannot be read again when a
// second reading is to follow; every later reading starts again from the beginning, of the
// copy or of the file.
std::istream& SheetSource::Start(bool secondReadingFollows) {
  copying_ = false;
  if (!read_) {
    read_ = true;
    if (secondReadingFollows && !text_ && (path_ == "-" || !CanReadAgain(path_))) {
      spool_ = std::make_unique<InputSpool>(name_);
      copying_ = true;
    }
    return *in_;
  }
  if (spool_) return spool_->Reader();
  Rewind(*in_);
  return *in_;
}

std::optional<int> SheetSource::Check(const AnswerKey* key, int k, const JobContext& job) {
  try {
    std::istream& in = Start(true);
    SheetReader scan(in, key, k, copying_ ? &spool_->Writer() : nullptr);
    try {
      const std::optional<int> k = CheckSheetRows(scan, job, Size());
      copied_ = copying_ && k.has_value();
      return k;
    } catch (const veltrano::MissingKeyError&) {
      // The front end may ask for a key and read the sheet again: then from the copy, made
      // whole now.
      if (copying_ && !(copied_ = spool_->CopyRest(in, [&job] { return job.StopRequested(); }))) return std::nullopt;
      throw;
    }
  } catch (...) {
    RethrowAsJobError();
  }
}

JobEnd SheetSource::Analyse(const AnswerKey* key, const SheetRun& run, const JobContext& job) {
  try {
    SheetReader reader(Start(false), key, run.k);
    return AnalyseSheetRows(reader, run, job, Size());
  } catch (...) {
    RethrowAsJobError();
  }
}

void SheetSource::RethrowAsJobError() const {
  try {
    throw;
  } catch (const JobError&) {
    throw;
  } catch (const veltrano::MissingKeyError& e) {
    std::string reason = e.what();
    if (!keyOption_.empty())
      reason = "line " + std::to_string(e.line()) +
               ": no key before the first examinee; put a KEY row before it or give " + keyOption_ +
               (e.firstRow() ? std::string(kHeaderHint) : "");
    throw NoKeyError(name_ + ": " + reason, name_, reason, e.line());
  } catch (const MarkBeyondKeyError& e) {
    std::string reason = e.what();
    if (!kOption_.empty()) {
      const std::string k = std::to_string(e.mark());
      const bool keyword = kOption_.back() == '=';  // "k=5" rather than "--k 5"
      reason += "; give " + kOption_ + (keyword ? "" : " ") + k + " if the items have " + k + " alternatives";
    }
    throw InputError(name_ + ": " + reason, name_, reason, e.line(), e.column());
  } catch (const SheetFormatError& e) {
    throw InputError(name_ + ": " + e.what(), name_, e.what(), e.line(), e.column());
  } catch (const SheetReadError& e) {
    throw ReadError(name_, e.what());
  }
}

namespace {

// The outputs must not be the files read, nor each other.
void CheckSheetOutputs(const SheetRequest& o, const std::optional<platform::FileId>& console) {
  CheckOutputs({{"--out", o.out}, {"--tables", o.tables}},
               {{"the sheet being read", o.responses}, {"the key file", o.keyFile}}, console);
}

}  // namespace

std::string FavouredLine(const FavouredPosition& f, const ExamineeResult& pooled) {
  const int j = f.position;
  std::string line = "guessing favours position " + std::to_string(j) + " (" + PositionLetter(j) + ")";
  if (pooled.analysed && static_cast<std::size_t>(j) < pooled.analysis->Pi.size()) {
    const double pi = pooled.analysis->Pi[static_cast<std::size_t>(j)].Estimador;
    if (!IsNodefinido(pi))
      line += ": pi_" + std::to_string(j) + " = " + NumStr(pi, 0, 4) + " against 1/k = " +
              NumStr(1.0 / pooled.k, 0, 4) + " on the pooled table;";
  }
  return line + " " + std::to_string(static_cast<std::int64_t>(f.wrong)) +
         " wrong answers fell there where even guessing gives " + NumStr(f.expected, 0, 1) +
         " (z = " + NumStr(f.z, 0, 2) + ")";
}

void CheckKeyAlternatives(const AnswerKey& key, int k, const std::string& option) {
  if (k <= 0) return;
  try {
    CheckKeyWithin(key, k);
  } catch (const SheetFormatError& e) {
    throw UsageError(option + ": " + e.what());
  }
}

void AnalyseSheetFile(const SheetRequest& o, FileJob& job) {
  // The key, the outputs' names and the sheet are checked before anything is written.
  CheckSheetOutputs(o, job.console);
  const OutputLocks locks({o.out, o.tables});
  std::optional<AnswerKey> key;
  if (!o.key.empty()) key = ParseAnswerKey(o.key, "--key", "--key-file");
  if (!o.keyFile.empty()) key = ReadAnswerKeyFile(o.keyFile, "--key-file");
  if (key) CheckKeyAlternatives(*key, o.k, "--key");
  const AnswerKey* const givenKey = key ? &*key : nullptr;
  SheetSource source(o.responses, job.in, "--key", "--k");
  int k = o.k;
  if (k == 0) {
    const std::optional<int> found = source.Check(givenKey, 0, job.context);
    if (!found) {
      job.report.Problem(StoppedProblem(job.context.StopSignal(), "the outputs hold the examinees analysed so far"));
      return;
    }
    k = *found;
  }

  StagedOutput out(o.out, job.out);
  std::unique_ptr<StagedOutput> tables;
  if (!o.tables.empty()) tables = std::make_unique<StagedOutput>(o.tables, job.out);
  if (!o.json) out.File().WriteLine(kSheetCsvHeader);
  bool failed = false;
  std::vector<std::string> notes;  // for the end, once the work is done
  SheetRun run;
  run.analysis = o.analysis;
  run.k = k;
  run.jobs = o.jobs > 0 ? o.jobs : HardwareJobs();
  const bool withTables = tables != nullptr;
  run.format = [&](ExamineeResult& r) {
    if (o.json)
      r.text = ResultJson(r, o.analysis).dump();
    else
      AppendSheetCsvRow(r.text, r, o.analysis);
    if (withTables) AppendSheetTable(r.tableText, r);
  };
  run.hand = [&](const ExamineeResult& r) {
    out.File().WriteLine(r.text);
    if (tables) tables->File().Write(r.tableText);
    failed |= r.failed;
    if (r.line == 0)
      for (const FavouredPosition& f : FavouredPositions(r.cells, r.k)) notes.push_back(FavouredLine(f, r));
    return true;
  };
  const JobEnd end = source.Analyse(givenKey, run, job.context);
  if (end == JobEnd::Stopped) {
    // A stopped analysis leaves the old results as they were: what it wrote is kept apart.
    std::string kept;
    for (StagedOutput* staged : {&out, tables.get()}) {
      if (staged == nullptr) continue;
      const std::string partial = staged->Keep();
      if (!partial.empty())
        kept += (kept.empty() ? "" : "; ") + partial + " (" + staged->Path() + " is unchanged)";
    }
    job.report.Problem(StoppedProblem(job.context.StopSignal(),
                                      kept.empty() ? "the outputs hold the examinees analysed so far"
                                                   : "the examinees analysed so far are in " + kept));
    return;
  }
  out.Commit();
  if (tables) tables->Commit();
  for (const std::string& line : notes) job.report.Note(line);
  if (failed) job.report.Problem(JobProblem{});
}

}  // namespace veltrano::jobs
