#pragma once
// Reading a study's output back: to resume it, and to merge the outputs of its shards
// into the output the whole study would have written.
//
// An output is the summary header and then, condition after condition, the three rows
// Du, Dc and DLN of each (CSV), or the same rows as JSON objects one per line without a
// header. Every row carries the study's stamp (fingerprint, condition count, seed), so
// rows of different studies are told apart. A study that was interrupted or killed
// leaves a file whose last condition may lack rows and whose last line may be cut
// short: resuming drops exactly that and keeps every complete condition.
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "study/Study.h"

namespace veltrano {

/// Where a resumed output stands.
struct ResumePoint {
  RowFormat format = RowFormat::Csv;
  bool fresh = true;              // nothing to keep: start the file anew, header included
  std::int64_t complete = 0;      // conditions of the shard it holds complete, in order
  std::uint64_t keepBytes = 0;    // its length up to the end of those conditions
};

/// What the first row of a study output says of its study.
struct StudyOrigin {
  std::uint64_t seed = 0;                          // S
  StudyGenerator generator = StudyGenerator::Lcg;
  std::int64_t replications = 0;
};

/// The origin of the study in a study output, if it has a row. Raises StudyInputError
/// naming `name` for a file that is not a study output.
std::optional<StudyOrigin> ReadStudyOrigin(std::istream& in, const std::string& name);
/// Its seed alone.
std::optional<std::uint64_t> ReadStudySeed(std::istream& in, const std::string& name);

/// Reads the output of `study`'s shard to resume it. Every row must belong to this
/// study and shard, in order. Raises StudyInputError naming `name` and the line, for
/// rows of another study (other settings) too.
ResumePoint ScanForResume(std::istream& in, const std::string& name, const StudyDefinition& study, Shard shard);

/// Reads a test-rows file to resume it with its output, which holds `complete`
/// conditions: the file must hold every test of those conditions, in order; returns
/// its length up to their end (anything after is the unfinished condition's). A file
/// that is empty is fine when complete is 0. Raises StudyInputError.
std::uint64_t ScanTestsForResume(std::istream& in, const std::string& name, const StudyDefinition& study,
                                 Shard shard, std::int64_t complete);

/// Whether an output holds a study that `study` extends: the same study but for fewer
/// replications R1 (the same seed, generator, settings and conditions), with every
/// condition of the shard complete. Returns R1; nothing for an empty output or one whose
/// rows are of `study` itself (to resume as usual with ScanForResume). Raises
/// StudyInputError naming `name` and the line for rows of another study, of more
/// replications, or of an unfinished one.
std::optional<std::int64_t> ScanForExtension(std::istream& in, const std::string& name, const StudyDefinition& study,
                                             Shard shard);

/// The kept replications of a study being extended, read from its test rows (the file
/// --tests-out wrote, header first): every planned condition's R1 rows, in order, are
/// summarised as the study summarised them (the rows hold every estimate to the last bit)
/// and, when asked, copied on unchanged. Rows of conditions the run does not make (those
/// a resumed output already holds) are passed over. The stream is read once, forward.
/// Raises StudyInputError naming the file and line for a row out of place.
class KeptTestRows final : public KeptReplications {
public:
  KeptTestRows(std::istream& in, std::string name, std::int64_t replications);
  std::int64_t Replications() const override { return replications_; }
  SummaryBuilder Take(std::int64_t index, StudySink* tests) override;

private:
  std::istream& in_;
  std::string name_;
  std::int64_t replications_;
  std::string line_;
  long number_ = 0;
  std::int64_t last_ = 0;  // the last condition read
};

/// One output to merge.
struct StudyInput {
  std::string name;
  std::istream* in = nullptr;
};

/// Checks that the inputs are outputs of one study, in one format, that each holds
/// whole conditions in order, and that together they hold every condition of the
/// study exactly once; only then writes the merged output to `write`, when given (the
/// header once, the conditions in order). Reads every input from its start several
/// times, so the streams must be seekable. Raises StudyInputError naming the file and
/// line, before anything is written.
void MergeStudyOutputs(const std::vector<StudyInput>& inputs,
                       const std::function<void(std::string_view)>& write = {});

}  // namespace veltrano
