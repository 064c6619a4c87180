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

/// The study seed S written in the first row of a study output, if it has a row.
/// Raises StudyInputError naming `name` for a file that is not a study output.
std::optional<std::uint32_t> ReadStudySeed(std::istream& in, const std::string& name);

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
