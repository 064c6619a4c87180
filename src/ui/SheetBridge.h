#pragma once
// The bridge between the analysis of an answer sheet and the window, on the same
// BridgeThread as RunBridge: the work runs on a thread of its own (and the analysis' worker
// threads), the window's thread receives its lines in batches through queued signals, in
// input order, and the work waits while more than a few batches' lines are on their way and
// not yet shown.
//
// The work is the jobs' answer-sheet job (jobs/SheetJob.h), as `veltrano-batch analyse
// --responses` runs it without --k: the first reading checks every row and finds the
// number of alternatives (the largest in the key and the marks, at least 2), so that a bad
// sheet is refused before anything is handed on; the second analyses every examinee and
// hands on the command's CSV lines: the header, one line per examinee, then ALL for the
// pooled table. A sheet that gives its bytes only once (a pipe) is copied during the first
// reading, and the second reads the copy; so does a reading with a key file after one that
// found no key. Cancel stops either reading after the examinee at hand; the lines handed on
// stay.
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <sstream>

#include "analysis/AnalysisSettings.h"
#include "jobs/SheetJob.h"
#include "ui/BridgeThread.h"

namespace veltrano {

/// What to analyse, and how.
struct SheetJob {
  QString sheet;    // the sheet's file
  QString keyFile;  // a file holding the key; empty: the sheet's KEY row gives it
  AnalysisSettings analysis;
  int k = 0;        // alternatives per item; 0: the key's largest
  int jobs = 1;     // threads of the analysis
};

/// One hand-over: the lines made since the last one and where the work stands.
struct SheetBatch {
  QString lines;  // each ended by '\n'
  int lineCount = 0;
  bool checking = false;          // the first pass (nothing is handed on yet)
  std::int64_t examinees = 0;     // examinees handed on so far
  std::uint64_t bytesRead = 0;    // of the sheet, in the pass under way
  std::uint64_t bytesTotal = 0;   // the sheet's size when the work started
};

/// How the work ended.
struct SheetResult {
  enum class End { Completed, Cancelled, Failed, MissingKey };
  End end = End::Completed;
  /// Failed: the message (JobDialogs.h), naming the file and, for a bad row, its line and
  /// column. MissingKey: the sheet's file, the line of its first examinee and, when that is
  /// the first row, the hint that a header's first cell must be id.
  QString message;
  /// The examinees handed on, the absent and the failed among them, and (once completed)
  /// the positions guesses favour.
  jobs::SheetOutcome outcome;
};

class SheetWorker;

class SheetBridge : public QObject {
  Q_OBJECT

public:
  explicit SheetBridge(QObject* parent = nullptr);
  /// Ends the work under way (after the examinee at hand) and waits for its thread.
  ~SheetBridge() override;

  /// Starts the work; returns at once. Nothing when work is under way.
  void Start(const SheetJob& job);
  /// Ends the work under way after the examinee at hand; nothing when none works.
  void Cancel() noexcept { work_.Cancel(); }
  bool Running() const noexcept { return work_.Running(); }

signals:
  /// One batch, on the window's thread, in input order.
  void Output(const std::shared_ptr<const veltrano::SheetBatch>& batch);
  /// The work has ended and every batch has been sent.
  void Finished(const veltrano::SheetResult& result);

private:
  friend class SheetWorker;

  // The sheet of work that found no key: the next work on the same sheet (with a key
  // file) reads it again through the same source (its copy, when it cannot be read again).
  std::shared_ptr<jobs::SheetSource> keptSource_;
  QString keptSheet_;
  std::istringstream noConsole_;  // the window reads files only, never standard input
  // The last member: it is destroyed first, ending the work and waiting for its thread.
  BridgeThread work_;
};

}  // namespace veltrano

Q_DECLARE_METATYPE(std::shared_ptr<const veltrano::SheetBatch>)
Q_DECLARE_METATYPE(veltrano::SheetResult)
