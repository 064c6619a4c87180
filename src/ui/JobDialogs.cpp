#include "ui/JobDialogs.h"

#include <QDir>

namespace veltrano {
namespace {

QString Native(const std::string& path) { return QDir::toNativeSeparators(QString::fromStdString(path)); }

// A message that starts a sentence in a message box.
QString Sentence(const std::string& message) {
  QString text = QString::fromUtf8(message.data(), static_cast<qsizetype>(message.size()));
  if (!text.isEmpty()) text[0] = text[0].toUpper();
  return text;
}

// The window names settings plainly, by their captions' words ("seed", "k").
QString Text(const std::string& marked) { return QString::fromStdString(Worded(marked, Spelling::Plain)); }

QString Reason(const jobs::JobProblem& p) { return Text(p.reason); }

}  // namespace

QString DialogText(const jobs::JobProblem& p) {
  const std::string worded = jobs::Worded(p, Spelling::Plain);
  const QString message = QString::fromStdString(worded);
  if (p.file.empty()) {
    // A file that is not one of the user's (the temporary copy of a sheet): the sentence
    // as the job words it.
    const bool aboutAFile = p.kind == jobs::ErrorKind::Unreadable || p.kind == jobs::ErrorKind::Output;
    return aboutAFile ? Sentence(worded) : message;
  }
  switch (p.kind) {
    case jobs::ErrorKind::Unreadable: return QStringLiteral("Cannot read \"%1\": %2").arg(Native(p.file), Reason(p));
    case jobs::ErrorKind::Output:
    case jobs::ErrorKind::BrokenPipe: return QStringLiteral("Cannot write \"%1\": %2").arg(Native(p.file), Reason(p));
    case jobs::ErrorKind::Input:
      if (p.role == jobs::InputRole::Key) return QStringLiteral("The key file \"%1\": %2").arg(Native(p.file), Reason(p));
      return QStringLiteral("%1: %2").arg(Native(p.file), Reason(p));
    case jobs::ErrorKind::Usage:
    case jobs::ErrorKind::Stopped:
    case jobs::ErrorKind::Failed: break;
  }
  return message;
}

QString DialogTextOfCurrentError() { return DialogText(jobs::ProblemOf(std::current_exception())); }

}  // namespace veltrano
