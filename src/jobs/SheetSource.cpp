#include "jobs/SheetSource.h"

#include <filesystem>

#include "jobs/JobError.h"
#include "jobs/SheetJob.h"
#include "numeric/NumStr.h"

namespace veltrano::jobs {

namespace fs = std::filesystem;

AnswerKey ParseAnswerKey(const std::string& text) {
  try {
    return ParseKey(text);
  } catch (const SheetFormatError& e) {
    std::error_code ec;
    const bool file = fs::is_regular_file(text, ec);
    throw UsageError("key", e.what() + (file ? " (" + text + " is a file: give it with " + Named("key-file") + ")"
                                             : std::string()));
  }
}

AnswerKey ReadAnswerKeyFile(const std::string& path) {
  std::ifstream file = OpenInput(path);
  try {
    return ReadKeyFile(file);
  } catch (const SheetReadError& e) {
    throw ReadError(path, e.what());
  } catch (const SheetFormatError& e) {
    throw InputError(Named("key-file") + " " + path + ": " + e.what(), path, e.what(), e.line(), e.column(),
                     InputRole::Key);
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

SheetSource::SheetSource(const std::string& path, std::istream& console, bool hints)
    : path_(path), name_(path == "-" ? "standard input" : path), hints_(hints) {
  if (path == "-") {
    in_ = &console;
    return;
  }
  file_ = OpenInput(path);
  in_ = &file_;
}

std::unique_ptr<SheetSource> SheetSource::OfText(std::string text, const std::string& name, bool hints) {
  const std::uint64_t size = text.size();
  auto in = std::make_unique<std::istringstream>(std::move(text));
  auto source = std::make_unique<SheetSource>("-", *in, hints);
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

Ending SheetSource::Analyse(const AnswerKey* key, const SheetRun& run, const JobContext& job) {
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
    if (hints_)
      reason = "line " + std::to_string(e.line()) + ": no key before the first examinee; put a KEY row before it or give " +
               Named("key") + (e.firstRow() ? std::string(kHeaderHint) : "");
    throw NoKeyError(name_ + ": " + reason, name_, reason, e.line());
  } catch (const MarkBeyondKeyError& e) {
    std::string reason = e.what();
    if (hints_) {
      const std::string k = std::to_string(e.mark());
      reason += "; give " + Assigned("k", k) + " if the items have " + k + " alternatives";
    }
    throw InputError(name_ + ": " + reason, name_, reason, e.line(), e.column());
  } catch (const SheetFormatError& e) {
    throw InputError(name_ + ": " + e.what(), name_, e.what(), e.line(), e.column());
  } catch (const SheetReadError& e) {
    throw ReadError(name_, e.what());
  }
}

void CheckKeyAlternatives(const AnswerKey& key, int k) {
  if (k <= 0) return;
  try {
    CheckKeyWithin(key, k);
  } catch (const SheetFormatError& e) {
    throw UsageError("key", e.what());
  }
}

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

}  // namespace veltrano::jobs
