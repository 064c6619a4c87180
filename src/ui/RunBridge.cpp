#include "ui/RunBridge.h"

#include "jobs/Throttle.h"

#include "jobs/SimulateJob.h"
#include "ui/JobDialogs.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <string>

namespace veltrano {
namespace {

// Lines go over in chunks of up to kChunkLines (one insertion of 10^4 lines costs the
// text document far less per line than inserting them one by one; the text is the
// same), points in chunks of up to kChunkPoints, and whatever there is every
// kHandOverInterval, so the window shows a slow run's progress too.
constexpr int kChunkLines = 10000;
constexpr std::size_t kChunkPoints = 40000;
constexpr std::int64_t kHandOverIntervalNs = 50'000'000;
// The run waits while this many lines are on their way and not yet shown.
constexpr int kMaxQueuedLines = 4 * kChunkLines;

QString Text(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace

// The run's host, on the run's thread: collects, and hands over in batches.
class RunWorker final : public RunHost {
public:
  RunWorker(RunBridge& bridge, RunSettings settings, std::unique_ptr<jobs::OutputFile> dataFile, RunSummary* summary)
      : bridge_(bridge), settings_(std::move(settings)), dataFile_(std::move(dataFile)), summary_(summary) {}

  void Execute() {
    Ending end = Ending::Completed;
    QString error;
    try {
      jobs::RunParts parts;
      parts.jobs = bridge_.run_.Jobs();
      parts.summary = summary_;
      end = jobs::Simulate(bridge_.run_, settings_, parts, *this, {}, {&bridge_.work_.Token(), nullptr}).end;
      HandOver();
    } catch (...) {
      error = DialogTextOfCurrentError();
    }
    // The data file holds every test handed on, after a cancel or an error too.
    if (dataFile_) {
      try {
        dataFile_->Close();
      } catch (...) {
        if (error.isEmpty()) error = DialogTextOfCurrentError();
      }
    }
    if (!error.isEmpty()) {
      // What the run wrote before the error is on show before its message.
      try {
        HandOver();
      } catch (...) {
      }
    }
    bridge_.work_.Done([bridge = &bridge_, end, error] { emit bridge->Finished(end, error); });
  }

  void SelectGraphPage() override { Operation(RunBatch::Operation::SelectGraphPage); }
  int WriteDmax(int value) override {
    // The field keeps the setting's range, so the value it will hold is known.
    const int held = RunHost::WriteDmax(value);
    Operation(RunBatch::Operation::WriteDmax, [held](RunBatch& b) { b.value = held; });
    return held;
  }
  void SetDoStarText(std::string_view text) override {
    doStar_.assign(text);
    doStarChanged_ = true;
  }
  void AppendDataLine(std::string_view line) override {
    if (dataFile_) {
      dataFile_->WriteLine(line);
      return;
    }
    data_.append(line);
    data_.push_back('\n');
    if (++lines_ >= kChunkLines) HandOver();
  }
  void AppendResidualsLine(std::string_view line) override {
    residuals_.append(line);
    residuals_.push_back('\n');
    if (++lines_ >= kChunkLines) HandOver();
  }
  void AddXY(SeriesId series, double x, double y) override {
    points_.push_back({series, x, y});
    if (points_.size() >= kChunkPoints) HandOver();
  }
  void SetSeriesActive(SeriesId series, bool active) override {
    Operation(RunBatch::Operation::SetSeriesActive, [series, active](RunBatch& b) {
      b.series = series;
      b.active = active;
    });
  }
  void RefreshChart1() override { Operation(RunBatch::Operation::RefreshChart1); }

  // Cancel reaches the run through the job's stop token.
  bool ContinueRun(const RunProgress& progress) override {
    progress_ = progress;
    progressChanged_ = true;
    if (handOver_.Due()) HandOver();
    return true;
  }

private:
  // Sends what has been collected, waiting first while the window is far behind.
  void HandOver() {
    handOver_.Restart();
    if (lines_ == 0 && points_.empty() && !doStarChanged_ && !progressChanged_) return;
    auto batch = std::make_shared<RunBatch>();
    batch->data = Text(data_);
    batch->residuals = Text(residuals_);
    batch->lines = lines_;
    batch->points.swap(points_);
    if (doStarChanged_) batch->doStar = Text(doStar_);
    if (progressChanged_) batch->progress = progress_;
    data_.clear();
    residuals_.clear();
    lines_ = 0;
    doStarChanged_ = false;
    progressChanged_ = false;
    const int lines = batch->lines;
    bridge_.work_.Send(lines, Show(std::move(batch)));
  }

  void Operation(RunBatch::Operation op, const std::function<void(RunBatch&)>& fill = {}) {
    HandOver();
    auto batch = std::make_shared<RunBatch>();
    batch->operation = op;
    if (fill) fill(*batch);
    bridge_.work_.Post(Show(std::move(batch)));
  }

  // What shows the batch on the window's thread.
  std::function<void()> Show(std::shared_ptr<const RunBatch> batch) {
    return [bridge = &bridge_, batch = std::move(batch)] { emit bridge->Output(batch); };
  }

  RunBridge& bridge_;
  const RunSettings settings_;
  const std::unique_ptr<jobs::OutputFile> dataFile_;  // the data lines go here when given
  RunSummary* const summary_;                          // the window's, filled on the run's thread
  std::string data_, residuals_, doStar_;
  int lines_ = 0;
  std::vector<RunBatch::Point> points_;
  bool doStarChanged_ = false;
  RunProgress progress_;
  bool progressChanged_ = false;
  jobs::Throttle handOver_{std::chrono::nanoseconds(kHandOverIntervalNs)};
};

RunBridge::RunBridge(SimulationRun& run, QObject* parent)
    : QObject(parent), run_(run), work_(*this, kMaxQueuedLines) {
  qRegisterMetaType<std::shared_ptr<const RunBatch>>();
  qRegisterMetaType<Ending>();
}

// work_ ends the run and waits for its thread.
RunBridge::~RunBridge() = default;

void RunBridge::Start(const RunSettings& settings, std::unique_ptr<jobs::OutputFile> dataFile, RunSummary* summary) {
  if (work_.Running()) return;
  // The worker lives as long as the call on the run's thread that holds it.
  work_.Start([worker = std::make_shared<RunWorker>(*this, settings, std::move(dataFile), summary)] {
    worker->Execute();
  });
}

}  // namespace veltrano
