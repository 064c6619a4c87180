#include "ui/SheetBridge.h"

#include <QFile>

#include <optional>
#include <sstream>
#include <string>

#include "jobs/Throttle.h"
#include "ui/JobDialogs.h"

namespace veltrano {
namespace {

// Lines go over in chunks of up to kChunkLines, and whatever there is every
// kHandOverInterval, so that a slow sheet shows its progress too; the work waits while
// kMaxQueuedLines are on their way (as RunBridge does).
constexpr int kChunkLines = 10000;
constexpr std::int64_t kHandOverIntervalNs = 50'000'000;
constexpr int kMaxQueuedLines = 4 * kChunkLines;

std::string Path(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace

// The work, on the bridge's thread: reads, analyses and hands over in batches. It is the
// progress sink of its job.
class SheetWorker final : public jobs::ProgressSink {
public:
  /// source: the sheet as an earlier work that found no key read it; null to open it.
  SheetWorker(SheetBridge& bridge, SheetJob job, std::shared_ptr<jobs::SheetSource> source)
      : bridge_(bridge), job_(std::move(job)), source_(std::move(source)) {}

  void Execute() {
    SheetResult result;
    bool noKey = false;
    try {
      result.end = Analyse() ? SheetResult::End::Completed : SheetResult::End::Cancelled;
      HandOver();
    } catch (const jobs::NoKeyError&) {
      result.end = SheetResult::End::MissingKey;
      result.message = DialogTextOfCurrentError();
      noKey = true;
    } catch (...) {
      result.end = SheetResult::End::Failed;
      result.message = DialogTextOfCurrentError();
    }
    result.outcome = outcome_;
    // The sheet of work that found no key is kept for the reading with a key file.
    std::shared_ptr<jobs::SheetSource> keep = noKey ? source_ : nullptr;
    bridge_.work_.Done([bridge = &bridge_, result, sheet = job_.sheet, keep = std::move(keep)] {
      bridge->keptSource_ = keep;
      bridge->keptSheet_ = keep ? sheet : QString();
      emit bridge->Finished(result);
    });
  }

  void Sheet(const jobs::SheetProgress& progress) override {
    progress_ = progress;
    if (handOver_.Due()) HandOver();
  }

private:
  // Both readings; false when cancelled. The sheet is always checked first, so that a bad
  // sheet is refused before a line reaches the pane.
  bool Analyse() {
    jobs::SheetOrder order;
    if (!job_.keyFile.isEmpty()) order.key = jobs::ReadAnswerKeyFile(Path(job_.keyFile));
    order.k = job_.k;
    order.analysis = job_.analysis;
    order.jobs = job_.jobs;
    // The window asks for a key and for k in dialogs of its own: its messages name no setting.
    if (!source_) source_ = std::make_shared<jobs::SheetSource>(Path(job_.sheet), bridge_.noConsole_, false);
    const jobs::JobContext context{&bridge_.work_.Token(), this};
    jobs::SheetRows rows;
    rows.begin = [this](int) {
      progress_ = jobs::SheetProgress{};  // the second reading, from its start
      Append(kSheetCsvHeader);
    };
    rows.format = [this](ExamineeResult& r) { AppendSheetCsvRow(r.text, r, job_.analysis); };
    rows.hand = [this](const ExamineeResult& r) {
      Append(r.text);
      if (lines_ >= kChunkLines) HandOver();
    };
    outcome_ = jobs::AnalyseSheetJob(*source_, order, true, rows, context);
    return outcome_.ending == Ending::Completed;
  }

  void Append(std::string_view line) {
    text_.append(line);
    text_.push_back('\n');
    ++lines_;
  }

  // Sends the lines collected and where the work stands, waiting first while the window
  // is far behind.
  void HandOver() {
    handOver_.Restart();
    auto batch = std::make_shared<SheetBatch>();
    batch->lines = QString::fromUtf8(text_.data(), static_cast<qsizetype>(text_.size()));
    batch->lineCount = lines_;
    batch->checking = progress_.checking;
    batch->examinees = progress_.examinees;
    batch->bytesRead = progress_.bytesRead;
    batch->bytesTotal = progress_.bytesTotal;
    text_.clear();
    lines_ = 0;
    const int lines = batch->lineCount;
    bridge_.work_.Send(lines, [bridge = &bridge_, batch = std::shared_ptr<const SheetBatch>(std::move(batch))] {
      emit bridge->Output(batch);
    });
  }

  SheetBridge& bridge_;
  const SheetJob job_;
  std::shared_ptr<jobs::SheetSource> source_;
  jobs::Throttle handOver_{std::chrono::nanoseconds(kHandOverIntervalNs)};
  std::string text_;
  int lines_ = 0;
  jobs::SheetProgress progress_;
  jobs::SheetOutcome outcome_;
};

SheetBridge::SheetBridge(QObject* parent)
    : QObject(parent), work_(*this, kMaxQueuedLines) {
  qRegisterMetaType<std::shared_ptr<const SheetBatch>>();
  qRegisterMetaType<SheetResult>();
}

// work_ ends the work and waits for its thread.
SheetBridge::~SheetBridge() = default;

void SheetBridge::Start(const SheetJob& job) {
  if (work_.Running()) return;
  std::shared_ptr<jobs::SheetSource> source = keptSheet_ == job.sheet ? std::move(keptSource_) : nullptr;
  keptSource_.reset();
  keptSheet_.clear();
  work_.Start([worker = std::make_shared<SheetWorker>(*this, job, std::move(source))] { worker->Execute(); });
}

}  // namespace veltrano
