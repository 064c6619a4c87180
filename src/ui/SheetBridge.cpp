#include "ui/SheetBridge.h"

#include "sheets/ResponseSheet.h"
#include "sheets/SheetAnalysis.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace veltrano {
namespace {

// Lines go over in chunks of up to kChunkLines, and whatever there is every
// kHandOverInterval, so that a slow sheet shows its progress too; the work waits while
// kMaxQueuedLines are on their way (as RunBridge does).
constexpr int kChunkLines = 10000;
constexpr std::int64_t kHandOverIntervalNs = 50'000'000;
constexpr int kMaxQueuedLines = 4 * kChunkLines;

QString Native(const QString& path) { return QDir::toNativeSeparators(path); }

/// The work's own failure: a file that cannot be read, a bad key file.
class SheetJobError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

[[noreturn]] void CannotRead(const QString& path, const QString& reason) {
  throw SheetJobError(QStringLiteral("Cannot read \"%1\": %2").arg(Native(path), reason).toStdString());
}

std::ifstream Open(const QString& path) {
  if (QFileInfo(path).isDir()) CannotRead(path, QString::fromUtf8(std::strerror(EISDIR)));
  errno = 0;
  std::ifstream in(QFile::encodeName(path).toStdString(), std::ios::binary);
  if (!in) CannotRead(path, QString::fromUtf8(std::strerror(errno != 0 ? errno : EIO)));
  return in;
}

AnswerKey KeyOfFile(const QString& path) {
  std::ifstream in = Open(path);
  try {
    return ReadKeyFile(in);
  } catch (const SheetReadError& e) {
    CannotRead(path, QString::fromUtf8(e.what()));
  } catch (const SheetFormatError& e) {
    throw SheetJobError(QStringLiteral("The key file \"%1\": %2").arg(Native(path), QString::fromUtf8(e.what()))
                            .toStdString());
  }
}

}  // namespace

// The work, on the bridge's thread: reads, analyses and hands over in batches.
class SheetWorker {
public:
  SheetWorker(SheetBridge& bridge, SheetJob job) : bridge_(bridge), job_(std::move(job)) {}

  void Execute() {
    SheetResult result;
    clock_.start();
    total_ = static_cast<std::uint64_t>(std::max<qint64>(0, QFileInfo(job_.sheet).size()));
    const QString name = Native(job_.sheet);
    try {
      result.end = Analyse() ? SheetResult::End::Completed : SheetResult::End::Cancelled;
      HandOver();
    } catch (const MissingKeyError& e) {
      result.end = SheetResult::End::MissingKey;
      result.message = name + QStringLiteral(": ") + QString::fromUtf8(e.what());
    } catch (const SheetFormatError& e) {
      result.end = SheetResult::End::Failed;
      result.message = name + QStringLiteral(": ") + QString::fromUtf8(e.what());
    } catch (const SheetReadError& e) {
      result.end = SheetResult::End::Failed;
      result.message = QStringLiteral("Cannot read \"%1\": %2").arg(name, QString::fromUtf8(e.what()));
    } catch (const std::exception& e) {
      result.end = SheetResult::End::Failed;
      result.message = QString::fromUtf8(e.what());
    } catch (...) {
      result.end = SheetResult::End::Failed;
      result.message = QStringLiteral("The analysis of the sheet ended with an unknown error.");
    }
    result.examinees = examinees_;
    bridge_.work_.Done([bridge = &bridge_, result] { emit bridge->Finished(result); });
  }

private:
  bool Cancelled() const noexcept { return bridge_.work_.Cancelled(); }

  // Both passes; false when cancelled.
  bool Analyse() {
    std::optional<AnswerKey> key;
    if (!job_.keyFile.isEmpty()) key = KeyOfFile(job_.keyFile);
    const AnswerKey* const givenKey = key ? &*key : nullptr;

    std::optional<int> k;
    {
      std::ifstream in = Open(job_.sheet);
      SheetReader scan(in, givenKey, 0);
      checking_ = true;
      k = ScanSheet(scan, [this](std::uint64_t bytesRead) {
        if (Cancelled()) return false;
        bytesRead_ = bytesRead;
        if (clock_.nsecsElapsed() - lastHandOverNs_ >= kHandOverIntervalNs) HandOver();
        return true;
      });
      checking_ = false;
      if (!k) return false;
    }

    std::ifstream in = Open(job_.sheet);
    SheetReader reader(in, givenKey, *k);
    bytesRead_ = 0;
    Append(kSheetCsvHeader);
    SheetRun run;
    run.analysis = job_.analysis;
    run.k = *k;
    run.jobs = job_.jobs;
    run.format = [this](ExamineeResult& r) { AppendSheetCsvRow(r.text, r, job_.analysis); };
    run.hand = [this](const ExamineeResult& r) {
      Append(r.text);
      if (r.line != 0) ++examinees_;
      bytesRead_ = r.offset;
      if (lines_ >= kChunkLines || clock_.nsecsElapsed() - lastHandOverNs_ >= kHandOverIntervalNs) HandOver();
      return !Cancelled();
    };
    return AnalyseSheet(reader, run) == SheetEnd::Completed;
  }

  void Append(std::string_view line) {
    text_.append(line);
    text_.push_back('\n');
    ++lines_;
  }

  // Sends the lines collected and where the work stands, waiting first while the window
  // is far behind.
  void HandOver() {
    lastHandOverNs_ = clock_.nsecsElapsed();
    auto batch = std::make_shared<SheetBatch>();
    batch->lines = QString::fromUtf8(text_.data(), static_cast<qsizetype>(text_.size()));
    batch->lineCount = lines_;
    batch->checking = checking_;
    batch->examinees = examinees_;
    batch->bytesRead = bytesRead_;
    batch->bytesTotal = total_;
    text_.clear();
    lines_ = 0;
    const int lines = batch->lineCount;
    bridge_.work_.Send(lines, [bridge = &bridge_, batch = std::shared_ptr<const SheetBatch>(std::move(batch))] {
      emit bridge->Output(batch);
    });
  }

  SheetBridge& bridge_;
  const SheetJob job_;
  QElapsedTimer clock_;
  std::int64_t lastHandOverNs_ = 0;
  std::string text_;
  int lines_ = 0;
  bool checking_ = false;
  std::int64_t examinees_ = 0;
  std::uint64_t bytesRead_ = 0;
  std::uint64_t total_ = 0;
};

SheetBridge::SheetBridge(QObject* parent)
    : QObject(parent), work_(*this, QStringLiteral("Sheet"), kMaxQueuedLines) {
  qRegisterMetaType<std::shared_ptr<const SheetBatch>>();
  qRegisterMetaType<SheetResult>();
}

// work_ ends the work and waits for its thread.
SheetBridge::~SheetBridge() = default;

void SheetBridge::Start(const SheetJob& job) {
  if (work_.Running()) return;
  work_.Start([worker = std::make_shared<SheetWorker>(*this, job)] { worker->Execute(); });
}

}  // namespace veltrano
