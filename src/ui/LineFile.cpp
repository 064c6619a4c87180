#include "ui/LineFile.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>

namespace veltrano {

LineFile::LineFile(const QString& path) : path_(path) {
  file_.reset(std::fopen(QFile::encodeName(path).constData(), "wb"));
  if (!file_) Fail(errno);
  buffer_.reserve(kBufferSize + 4096);
}

LineFile::~LineFile() {
  try {
    Close();
  } catch (...) {
  }
}

void LineFile::WriteLine(std::string_view line) {
  if (!file_) Fail(EBADF);
  buffer_.append(line);
  buffer_.push_back('\n');
  if (buffer_.size() >= kBufferSize) Flush();
}

void LineFile::Flush() {
  if (buffer_.empty()) return;
  errno = 0;
  const std::size_t written = std::fwrite(buffer_.data(), 1, buffer_.size(), file_.get());
  if (written != buffer_.size() || std::fflush(file_.get()) != 0) {
    const int error = errno != 0 ? errno : EIO;
    buffer_.clear();
    Fail(error);
  }
  buffer_.clear();
}

void LineFile::Close() {
  if (!file_) return;
  try {
    Flush();
  } catch (...) {
    file_.reset();
    throw;
  }
  std::FILE* const f = file_.release();
  if (std::fclose(f) != 0) Fail(errno);
}

void LineFile::Fail(int error) {
  throw LineFileError(QStringLiteral("Cannot write \"%1\": %2")
                          .arg(QDir::toNativeSeparators(path_), QString::fromLocal8Bit(std::strerror(error)))
                          .toStdString());
}

}  // namespace veltrano
