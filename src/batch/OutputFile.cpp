#include "batch/OutputFile.h"

#include <cerrno>
#include <cstring>
#include <ostream>

namespace veltrano::batch {

OutputFile::OutputFile(const std::string& path, std::ostream& console, Mode mode)
    : path_(path), buffer_(std::make_unique_for_overwrite<char[]>(kBufferSize)) {
  if (path == "-") {
    console_ = &console;
    return;
  }
  errno = 0;
  file_ = std::fopen(path.c_str(), mode == Mode::Append ? "ab" : "wb");
  if (file_ == nullptr) Fail("cannot open", errno);
  // Our own buffer already gathers the lines; a second copy in stdio would only cost.
  std::setvbuf(file_, nullptr, _IONBF, 0);
}

OutputFile::~OutputFile() {
  try {
    Close();
  } catch (const OutputError&) {
    // The caller that wanted to know called Close() itself.
  }
}

void OutputFile::Fail(const char* what, int error) {
  failed_ = true;
  std::string message = std::string(what) + " " + (path_ == "-" ? "standard output" : path_);
  if (error != 0) message += std::string(": ") + std::strerror(error);
  throw OutputError(message);
}

void OutputFile::WriteBlock(std::string_view text) {
  Flush();
  if (text.size() < kBufferSize) {
    text.copy(buffer_.get(), text.size());
    used_ = text.size();
    return;
  }
  // Larger than the buffer: straight through.
  if (failed_) return;
  if (console_ != nullptr) {
    console_->write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!*console_) Fail("cannot write", 0);
  } else {
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) Fail("cannot write", errno);
  }
}

void OutputFile::Flush() {
  if (used_ == 0 || failed_) {
    used_ = 0;
    return;
  }
  const std::size_t n = used_;
  used_ = 0;
  if (console_ != nullptr) {
    console_->write(buffer_.get(), static_cast<std::streamsize>(n));
    if (!*console_) Fail("cannot write", 0);
  } else {
    errno = 0;
    if (std::fwrite(buffer_.get(), 1, n, file_) != n) Fail("cannot write", errno);
  }
}

void OutputFile::Close() {
  if (closed_) return;
  closed_ = true;
  try {
    Flush();
  } catch (const OutputError&) {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    throw;
  }
  if (console_ != nullptr) {
    console_->flush();
    if (!*console_ && !failed_) Fail("cannot write", 0);
    return;
  }
  if (file_ == nullptr) return;
  errno = 0;
  const int rc = std::fclose(file_);
  file_ = nullptr;
  if (rc != 0 && !failed_) Fail("cannot close", errno);
}

}  // namespace veltrano::batch
