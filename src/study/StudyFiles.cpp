#include "study/StudyFiles.h"

#include <istream>

namespace veltrano {
namespace {

std::string AtLine(const std::string& name, long line) { return name + ", line " + std::to_string(line) + ": "; }

// The whole lines of an input (those ending in "\n"), with their numbers and the
// offset just after each; a last line without its line end was cut short and is not
// returned.
class LineReader {
public:
  LineReader(std::istream& in, std::string name) : in_(in), name_(std::move(name)) {}

  bool Next() {
    if (pending_) {
      pending_ = false;
      return true;
    }
    if (!std::getline(in_, text_)) {
      if (in_.bad()) throw StudyInputError(name_ + ": read error");
      return false;
    }
    ++number_;
    if (in_.eof()) {  // no "\n": the line was cut short
      cut_ = true;
      return false;
    }
    end_ += text_.size() + 1;
    return true;
  }
  /// Returns the current line again on the next Next().
  void Unread() noexcept { pending_ = true; }

  const std::string& Text() const noexcept { return text_; }
  long Number() const noexcept { return number_; }
  std::uint64_t End() const noexcept { return end_; }  // offset after the current line
  bool Cut() const noexcept { return cut_; }
  const std::string& Name() const noexcept { return name_; }

private:
  std::istream& in_;
  std::string name_;
  std::string text_;
  long number_ = 0;
  std::uint64_t end_ = 0;
  bool cut_ = false;
  bool pending_ = false;
};

// A condition's three rows.
struct Group {
  SummaryRowKey key;     // of its first row
  long firstLine = 0;
  std::uint64_t end = 0; // offset after its last row
  std::string text;      // its rows, line ends included
};

enum class Read : std::uint8_t { Group, End, Partial };

bool SameStudy(const SummaryRowKey& a, const SummaryRowKey& b) {
  return a.study == b.study && a.conditions == b.conditions && a.studySeed == b.studySeed &&
         a.generator == b.generator;
}

// The conditions of a study output, group by group.
class GroupReader {
public:
  GroupReader(std::istream& in, const std::string& name) : lines_(in, name) {}

  // Reads the header or recognises the JSON rows; false for an empty input, and for
  // one whose only line is cut short when that is tolerated (a study killed while
  // writing its first line has nothing to keep).
  bool Start(bool tolerateCut = false) {
    if (!lines_.Next()) {
      if (lines_.Cut() && !tolerateCut) Fail(lines_.Number(), "not a study output: its only line is cut short");
      return false;
    }
    if (lines_.Text() == SummaryHeader(StudyGenerator::Lcg) || lines_.Text() == SummaryHeader(StudyGenerator::Philox)) {
      format_ = RowFormat::Csv;
      header_ = lines_.Text() == SummaryHeader(StudyGenerator::Philox) ? StudyGenerator::Philox : StudyGenerator::Lcg;
    } else if (!lines_.Text().empty() && lines_.Text().front() == '{') {
      format_ = RowFormat::Json;
      lines_.Unread();
    } else {
      Fail(lines_.Number(), "not a study output: the first line is neither the study header nor a JSON row");
    }
    headerEnd_ = format_ == RowFormat::Csv ? lines_.End() : 0;
    return true;
  }

  Read Next(Group& g) {
    static constexpr const char* kOrder[] = {"Du", "Dc", "DLN"};
    g.text.clear();
    for (int r = 0; r < 3; ++r) {
      if (!lines_.Next()) {
        if (r == 0 && !lines_.Cut()) return Read::End;
        g.firstLine = r == 0 ? lines_.Number() : g.firstLine;
        return Read::Partial;
      }
      SummaryRowKey key;
      try {
        key = ParseSummaryRow(lines_.Text(), format_);
      } catch (const StudyInputError& e) {
        Fail(lines_.Number(), e.what());
      }
      if (r == 0) {
        g.key = key;
        g.firstLine = lines_.Number();
      } else if (key.condition != g.key.condition || !SameStudy(key, g.key)) {
        Fail(lines_.Number(), "condition " + std::to_string(g.key.condition) + " has " + std::to_string(r) +
                                  " of its 3 rows (Du, Dc, DLN) before a row of another condition");
      } else {
        // The three rows of a condition say the same of it.
        const auto differs = [&](std::size_t column, const std::string& value, const std::string& first) {
          Fail(lines_.Number(), SummaryColumnName(column) + ": " + value + " where the condition's Du row has " + first);
        };
        if (key.values.n != g.key.values.n) differs(1, std::to_string(key.values.n), std::to_string(g.key.values.n));
        if (key.values.k != g.key.values.k) differs(2, std::to_string(key.values.k), std::to_string(g.key.values.k));
        if (key.values.D != g.key.values.D) differs(3, std::to_string(key.values.D), std::to_string(g.key.values.D));
        if (key.replications != g.key.replications)
          differs(7, std::to_string(key.replications), std::to_string(g.key.replications));
      }
      if (format_ == RowFormat::Csv && key.generator != header_)
        Fail(lines_.Number(), std::string("a row of a study drawn from ") + GeneratorName(key.generator) +
                                  " under the header of one drawn from " + GeneratorName(header_));
      if (key.estimator != kOrder[r])
        Fail(lines_.Number(), "the row of estimator \"" + key.estimator + "\" where " + kOrder[r] +
                                  " belongs (each condition has the rows Du, Dc, DLN in this order)");
      g.text.append(lines_.Text());
      g.text.push_back('\n');
    }
    g.end = lines_.End();
    return Read::Group;
  }

  [[noreturn]] void Fail(long line, const std::string& what) const {
    throw StudyInputError(AtLine(lines_.Name(), line) + what);
  }

  RowFormat Format() const noexcept { return format_; }
  std::uint64_t HeaderEnd() const noexcept { return headerEnd_; }
  const std::string& Name() const noexcept { return lines_.Name(); }

private:
  LineReader lines_;
  RowFormat format_ = RowFormat::Csv;
  StudyGenerator header_ = StudyGenerator::Lcg;  // of the CSV header
  std::uint64_t headerEnd_ = 0;
};

const char* FormatName(RowFormat f) { return f == RowFormat::Csv ? "CSV" : "JSON"; }

}  // namespace

std::optional<StudyOrigin> ReadStudyOrigin(std::istream& in, const std::string& name) {
  GroupReader reader(in, name);
  if (!reader.Start(true)) return std::nullopt;
  Group g;
  if (reader.Next(g) == Read::End) return std::nullopt;
  if (g.text.empty()) return std::nullopt;  // only a cut row
  return StudyOrigin{g.key.studySeed, g.key.generator, g.key.replications};
}

std::optional<std::uint64_t> ReadStudySeed(std::istream& in, const std::string& name) {
  const std::optional<StudyOrigin> origin = ReadStudyOrigin(in, name);
  return origin ? std::optional<std::uint64_t>(origin->seed) : std::nullopt;
}

// A condition's cells against the study's definition: the fingerprint stands for them all,
// but a cell edited by hand leaves it as it was.
void CheckAgainstStudy(const GroupReader& reader, const Group& g, const StudyDefinition& study,
                       std::int64_t replications) {
  if (g.key.condition > study.conditions.Count()) return;  // refused by the caller's order check
  const Condition c = study.conditions.At(g.key.condition);
  const struct {
    std::size_t column;
    std::int64_t got, wanted;
  } cells[] = {{1, g.key.values.n, c.n}, {2, g.key.values.k, c.k}, {3, g.key.values.D, c.D},
               {7, g.key.replications, replications}};
  for (const auto& cell : cells)
    if (cell.got != cell.wanted)
      reader.Fail(g.firstLine, SummaryColumnName(cell.column) + ": " + std::to_string(cell.got) +
                                   " where this study's condition " + std::to_string(g.key.condition) + " has " +
                                   std::to_string(cell.wanted));
}

ResumePoint ScanForResume(std::istream& in, const std::string& name, const StudyDefinition& study, Shard shard) {
  ResumePoint p;
  GroupReader reader(in, name);
  if (!reader.Start(true)) return p;
  p.fresh = false;
  p.format = reader.Format();
  p.keepBytes = reader.HeaderEnd();
  const StudyStamp stamp = StampOf(study);
  const std::int64_t size = shard.Size(study.conditions.Count());
  Group g;
  for (Read r; (r = reader.Next(g)) != Read::End;) {
    if (r == Read::Partial) break;  // the unfinished condition: dropped
    if (g.key.study != stamp.fingerprint || g.key.conditions != stamp.conditions || g.key.studySeed != stamp.seed)
      reader.Fail(g.firstLine, "a row of another study (study " + g.key.study + " of " +
                                   std::to_string(g.key.conditions) + " conditions, seed " +
                                   std::to_string(g.key.studySeed) + "; these settings make study " +
                                   stamp.fingerprint + "): resume with the settings it was started with");
    CheckAgainstStudy(reader, g, study, study.replications);
    if (p.complete >= size || g.key.condition != shard.Condition(p.complete))
      reader.Fail(g.firstLine, "condition " + std::to_string(g.key.condition) + " where this run's condition " +
                                   (p.complete < size ? std::to_string(shard.Condition(p.complete)) : "(none)") +
                                   " belongs (shard " + std::to_string(shard.index) + "/" +
                                   std::to_string(shard.count) + ")");
    ++p.complete;
    p.keepBytes = g.end;
  }
  return p;
}

std::uint64_t ScanTestsForResume(std::istream& in, const std::string& name, const StudyDefinition& study,
                                 Shard shard, std::int64_t complete) {
  LineReader lines(in, name);
  if (!lines.Next()) {
    if (complete == 0 && !lines.Cut()) return 0;
    throw StudyInputError(name + ": holds no test rows, but the study output holds " + std::to_string(complete) +
                          " complete conditions");
  }
  if (lines.Text() != TestsHeader())
    throw StudyInputError(AtLine(name, lines.Number()) + "not a file of test rows (the header differs)");
  std::uint64_t keep = lines.End();
  const std::int64_t R = study.replications;
  for (std::int64_t j = 0; j < complete; ++j) {
    const std::int64_t condition = shard.Condition(j);
    for (std::int64_t r = 1; r <= R; ++r) {
      if (!lines.Next())
        throw StudyInputError(name + ": ends after " + std::to_string(r - 1) + " of condition " +
                              std::to_string(condition) + "'s " + std::to_string(R) +
                              " replications, but the study output holds " + std::to_string(complete) +
                              " complete conditions");
      TestRow row;
      try {
        row = ParseTestRow(lines.Text());
      } catch (const StudyInputError& e) {
        throw StudyInputError(AtLine(name, lines.Number()) + e.what());
      }
      if (row.condition != condition || row.replication != r)
        throw StudyInputError(AtLine(name, lines.Number()) + "condition " + std::to_string(row.condition) +
                              ", replication " + std::to_string(row.replication) + " where condition " +
                              std::to_string(condition) + ", replication " + std::to_string(r) + " belongs");
      // Rows in their places may still be another study's (another seed, a file of the
      // same design): each condition's first test is made again and must be the row.
      if (r == 1 && std::string(lines.Text()) + '\n' != FirstTestRow(study, condition))
        throw StudyInputError(AtLine(name, lines.Number()) + "the first test of condition " +
                              std::to_string(condition) +
                              " is not the one this study makes: the test rows are another study's; resume with "
                              "the test rows' file of the same study, or without " + Named("tests-out"));
    }
    keep = lines.End();
  }
  return keep;
}

std::optional<std::int64_t> ScanForExtension(std::istream& in, const std::string& name, const StudyDefinition& study,
                                             Shard shard) {
  GroupReader reader(in, name);
  if (!reader.Start(true)) return std::nullopt;
  const StudyStamp stamp = StampOf(study);
  const std::int64_t size = shard.Size(study.conditions.Count());
  std::optional<std::int64_t> kept;  // R1, once the first row is read
  std::string keptPrint;
  std::int64_t complete = 0;
  Group g;
  for (Read r; (r = reader.Next(g)) != Read::End;) {
    if (r == Read::Partial) {
      if (!kept) return std::nullopt;  // a cut first row: nothing kept either way
      reader.Fail(g.firstLine, "the study of " + std::to_string(*kept) +
                                   " replications is unfinished; finish it with " + Named("resume") +
                                   " and those replications before extending it");
    }
    if (!kept) {
      if (g.key.study == stamp.fingerprint && g.key.replications == study.replications) return std::nullopt;
      StudyDefinition smaller = study;
      smaller.replications = g.key.replications;
      keptPrint = StudyFingerprint(smaller);
      if (g.key.study != keptPrint || g.key.conditions != stamp.conditions || g.key.studySeed != stamp.seed ||
          g.key.generator != stamp.generator)
        reader.Fail(g.firstLine, "a row of another study (study " + g.key.study + " of " +
                                     std::to_string(g.key.conditions) + " conditions, seed " +
                                     std::to_string(g.key.studySeed) + "), which these settings with " +
                                     std::to_string(g.key.replications) +
                                     " replications do not make: only the replications may change");
      if (g.key.replications > study.replications)
        reader.Fail(g.firstLine, "the study holds " + std::to_string(g.key.replications) +
                                     " replications of every condition, more than the " +
                                     std::to_string(study.replications) + " asked for");
      kept = g.key.replications;
    } else if (g.key.study != keptPrint || g.key.replications != *kept) {
      reader.Fail(g.firstLine, "a row of another study (study " + g.key.study + ", " +
                                   std::to_string(g.key.replications) + " replications) after rows of study " +
                                   keptPrint);
    }
    CheckAgainstStudy(reader, g, study, *kept);
    if (complete >= size || g.key.condition != shard.Condition(complete))
      reader.Fail(g.firstLine, "condition " + std::to_string(g.key.condition) + " where condition " +
                                   (complete < size ? std::to_string(shard.Condition(complete)) : "(none)") +
                                   " belongs (shard " + std::to_string(shard.index) + "/" +
                                   std::to_string(shard.count) + ")");
    ++complete;
  }
  if (kept && complete < size)
    throw StudyInputError(name + ": the study of " + std::to_string(*kept) + " replications holds " +
                          std::to_string(complete) + " of its " + std::to_string(size) +
                          " conditions; finish it with " + Named("resume") + " and those replications before extending it");
  return kept;
}

KeptTestRows::KeptTestRows(std::istream& in, std::string name, std::int64_t replications)
    : in_(in), name_(std::move(name)), replications_(replications) {
  if (!std::getline(in_, line_) || line_ != TestsHeader())
    throw StudyInputError(name_ + ", line 1: not a file of test rows (the header differs)");
  number_ = 1;
}

SummaryBuilder KeptTestRows::Take(std::int64_t index, StudySink* tests) {
  SummaryBuilder builder;
  std::string copy;
  std::int64_t r = 0;
  while (r < replications_) {
    if (!std::getline(in_, line_) || in_.eof()) {  // a last line without its line end was cut short
      if (in_.bad()) throw StudyInputError(name_ + ": read error");
      throw StudyInputError(name_ + ": ends after " + std::to_string(r) + " of condition " + std::to_string(index) +
                            "'s " + std::to_string(replications_) + " kept replications");
    }
    ++number_;
    TestRow row;
    try {
      row = ParseTestRow(line_);
    } catch (const StudyInputError& e) {
      throw StudyInputError(AtLine(name_, number_) + e.what());
    }
    if (r == 0 && row.condition < index && row.condition >= last_) {
      last_ = row.condition;  // a condition this run does not make (one a resumed output holds)
      continue;
    }
    if (row.condition != index || row.replication != r + 1)
      throw StudyInputError(AtLine(name_, number_) + "condition " + std::to_string(row.condition) +
                            ", replication " + std::to_string(row.replication) + " where condition " +
                            std::to_string(index) + ", replication " + std::to_string(r + 1) + " belongs");
    builder.Add(row.estimates);
    ++r;
    if (tests != nullptr) {
      copy.append(line_);
      copy.push_back('\n');
      if (copy.size() >= 1 << 16) {
        tests->TestRows(copy);
        copy.clear();
      }
    }
  }
  if (tests != nullptr && !copy.empty()) tests->TestRows(copy);
  last_ = index;
  return builder;
}

namespace {

// One input of a merge: its reader and the condition it stands at.
struct Source {
  std::unique_ptr<GroupReader> reader;
  Group group;
  bool more = false;
};

// The pass over the inputs: checks each input's rows and, when all is well, walks the
// conditions 1..N in order, taking each from the one input that holds it and handing
// its rows to write (when given).
void MergePass(const std::vector<StudyInput>& inputs, bool checkOrderOnly,
               const std::function<void(std::string_view)>& write) {
  std::vector<Source> sources;
  std::optional<RowFormat> format;
  const StudyInput* formatFrom = nullptr;
  std::optional<SummaryRowKey> study;  // the first row read
  std::string studyFrom;

  // Advances a source to its next condition, checking it against the study and the
  // file's order.
  const auto advance = [&](Source& s) {
    const std::int64_t before = s.more ? s.group.key.condition : 0;
    const Read r = s.reader->Next(s.group);
    if (r == Read::Partial)
      s.reader->Fail(s.group.firstLine, "the last condition is incomplete (the study was interrupted?); finish it with " +
                                            Named("resume") + " before merging");
    s.more = r == Read::Group;
    if (!s.more) return;
    const SummaryRowKey& key = s.group.key;
    if (!study) {
      study = key;
      studyFrom = s.reader->Name();
    } else if (!SameStudy(key, *study)) {
      const auto described = [](const SummaryRowKey& k) {
        return "study " + k.study + " (" + std::to_string(k.conditions) + " conditions, seed " +
               std::to_string(k.studySeed) + (k.generator == StudyGenerator::Philox ? ", philox" : "") + ")";
      };
      s.reader->Fail(s.group.firstLine, "a row of " + described(key) + ", but " + studyFrom + " holds " +
                                            described(*study) + "; only outputs of one study merge");
    } else if (key.replications != study->replications) {
      s.reader->Fail(s.group.firstLine, SummaryColumnName(7) + ": " + std::to_string(key.replications) +
                                            " where every condition of the study has " +
                                            std::to_string(study->replications));
    }
    if (key.condition <= before)
      s.reader->Fail(s.group.firstLine, "condition " + std::to_string(key.condition) + " after condition " +
                                            std::to_string(before) + "; a study output holds its conditions in order");
  };

  for (const StudyInput& input : inputs) {
    input.in->clear();
    input.in->seekg(0);
    Source s;
    s.reader = std::make_unique<GroupReader>(*input.in, input.name);
    if (s.reader->Start()) {
      if (!format) {
        format = s.reader->Format();
        formatFrom = &input;
      } else if (*format != s.reader->Format()) {
        throw StudyInputError(formatFrom->name + " is " + FormatName(*format) + " and " + input.name + " is " +
                              FormatName(s.reader->Format()) + "; merge outputs of one format");
      }
      advance(s);
      if (checkOrderOnly)
        while (s.more) advance(s);
    }
    sources.push_back(std::move(s));
  }
  if (!study) throw StudyInputError("the files hold no study rows");
  if (checkOrderOnly) return;

  if (write && format == RowFormat::Csv) {
    std::string header(SummaryHeader(study->generator));
    header.push_back('\n');
    write(header);
  }
  const std::int64_t total = study->conditions;
  for (std::int64_t expected = 1; expected <= total; ++expected) {
    Source* from = nullptr;
    for (Source& s : sources) {
      if (!s.more || s.group.key.condition != expected) continue;
      if (from != nullptr)
        throw StudyInputError("condition " + std::to_string(expected) + " is in both " + from->reader->Name() +
                              " (line " + std::to_string(from->group.firstLine) + ") and " + s.reader->Name() +
                              " (line " + std::to_string(s.group.firstLine) + ")");
      from = &s;
    }
    if (from == nullptr)
      throw StudyInputError("condition " + std::to_string(expected) + " of " + std::to_string(total) +
                            " is in none of the files; is a shard missing or unfinished?");
    if (write) write(from->group.text);
    advance(*from);
  }
}

}  // namespace

void MergeStudyOutputs(const std::vector<StudyInput>& inputs, const std::function<void(std::string_view)>& write) {
  MergePass(inputs, true, {});    // every file on its own
  MergePass(inputs, false, {});   // together: every condition once
  MergePass(inputs, false, write);
}

}  // namespace veltrano
