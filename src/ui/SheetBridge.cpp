#include "ui/SheetBridge.h"

#include "sheets/ResponseSheet.h"
#include "sheets/SheetAnalysis.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <fstream>
#include <functional>
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

// A copy of a sheet that cannot be read twice, in a temporary file that goes with it.
class SheetCopy {
public:
  SheetCopy() {
    if (!file_.open())
      throw SheetJobError(
          QStringLiteral("Cannot make a temporary copy of the sheet: %1").arg(file_.errorString()).toStdString());
    // The name stays taken, and the file is removed, until file_ goes.
    file_.close();
    stream_.open(QFile::encodeName(file_.fileName()).toStdString(),
                 std::ios::in | std::ios::out | std::ios::trunc | std::ios::binary);
    if (!stream_)
      throw SheetJobError(QStringLiteral("Cannot make a temporary copy of the sheet in \"%1\"")
                              .arg(Native(file_.fileName()))
                              .toStdString());
  }

  /// Where the copy is written while the sheet is checked.
  std::ostream& Writer() { return stream_; }
  /// The copy, once written whole.
  std::istream& Reader() {
    if (!stream_.flush())
      throw SheetJobError(QStringLiteral("Cannot write the temporary copy of the sheet \"%1\"")
                              .arg(Native(file_.fileName()))
                              .toStdString());
    return stream_;
  }
  /// The bytes copied so far and written out.
  std::uint64_t Size() const {
    return static_cast<std::uint64_t>(std::max<qint64>(0, QFileInfo(file_.fileName()).size()));
  }
  /// Copies what is left of in; false when cancelled first.
  bool CopyRest(std::istream& in, const std::function<bool()>& cancelled) {
    char block[1 << 16];
    while (!cancelled()) {
      in.read(block, sizeof block);
      if (in.gcount() > 0 && !stream_.write(block, in.gcount()))
        throw SheetReadError("cannot keep a copy of the input");
      if (in.bad()) throw SheetReadError("read error");
      if (!in) return true;
    }
    return false;
  }

private:
  QTemporaryFile file_;
  std::fstream stream_;
};

// The work, on the bridge's thread: reads, analyses and hands over in batches.
class SheetWorker {
public:
  /// copy: the whole sheet, copied by an earlier reading of a sheet that cannot be read
  /// again; null to open the sheet.
  SheetWorker(SheetBridge& bridge, SheetJob job, std::shared_ptr<SheetCopy> copy)
      : bridge_(bridge), job_(std::move(job)), copy_(std::move(copy)) {}

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
    // A sheet read once and without a key is kept for the reading with a key file.
    std::shared_ptr<SheetCopy> keep = result.end == SheetResult::End::MissingKey && copied_ ? copy_ : nullptr;
    bridge_.work_.Done([bridge = &bridge_, result, sheet = job_.sheet, keep = std::move(keep)] {
      bridge->keptCopy_ = keep;
      bridge->keptSheet_ = keep ? sheet : QString();
      emit bridge->Finished(result);
    });
  }

private:
  bool Cancelled() const noexcept { return bridge_.work_.Cancelled(); }

  // Both passes; false when cancelled.
  bool Analyse() {
    std::optional<AnswerKey> key;
    if (!job_.keyFile.isEmpty()) key = KeyOfFile(job_.keyFile);
    const AnswerKey* const givenKey = key ? &*key : nullptr;

    // A regular file is read again from its start; what gives its bytes only once (a pipe)
    // is copied while it is checked, and the copy is read again.
    std::ifstream file;
    std::istream* in = nullptr;
    bool copying = false;
    if (copy_) {
      in = &copy_->Reader();
      Rewind(*in);
      total_ = copy_->Size();
    } else {
      file = Open(job_.sheet);
      in = &file;
      if (!CanReadAgain(QFile::encodeName(job_.sheet).toStdString())) {
        copy_ = std::make_shared<SheetCopy>();
        copying = true;
      }
    }
    std::optional<int> k;
    {
      SheetReader scan(*in, givenKey, 0, copying ? &copy_->Writer() : nullptr);
      checking_ = true;
      try {
        k = ScanSheet(scan, [this](std::uint64_t bytesRead) {
          if (Cancelled()) return false;
          bytesRead_ = bytesRead;
          if (clock_.nsecsElapsed() - lastHandOverNs_ >= kHandOverIntervalNs) HandOver();
          return true;
        });
      } catch (const MissingKeyError&) {
        // The window asks for a key file and reads the sheet again: then from the copy,
        // made whole now.
        if (copying && !(copied_ = copy_->CopyRest(*in, [this] { return Cancelled(); }))) return false;
        throw;
      }
      checking_ = false;
      if (!k) return false;
    }
    if (copying) {
      in = &copy_->Reader();
      total_ = copy_->Size();
    }
    Rewind(*in);

    SheetReader reader(*in, givenKey, *k);
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
  std::shared_ptr<SheetCopy> copy_;  // the sheet's copy, when it cannot be read again
  bool copied_ = false;              // copy_ holds the whole sheet
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
  std::shared_ptr<SheetCopy> copy = keptSheet_ == job.sheet ? std::move(keptCopy_) : nullptr;
  keptCopy_.reset();
  keptSheet_.clear();
  work_.Start([worker = std::make_shared<SheetWorker>(*this, job, std::move(copy))] { worker->Execute(); });
}

}  // namespace veltrano
