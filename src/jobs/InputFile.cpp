#include "jobs/InputFile.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <istream>

#include "jobs/JobError.h"
#include "jobs/Platform.h"

namespace veltrano::jobs {

std::ifstream OpenInput(const std::string& path, const std::string& name) {
  const std::string& shown = name.empty() ? path : name;
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) throw ReadError(shown, "it is a directory");
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ReadError(shown, errno != 0 ? platform::ErrorText(errno) : std::string());
  return in;
}

bool CanReadAgain(const std::string& path) { return platform::IsRegularFile(path); }

InputSpool::InputSpool(std::string what) : what_(std::move(what)) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path folder = fs::temp_directory_path(ec);
  if (ec) Fail("cannot make a temporary copy of " + what_ + ": " + ec.message());
  for (int attempt = 0;; ++attempt) {
    path_ = (folder / ("veltrano-input-" + std::to_string(platform::ProcessId()) + "-" + std::to_string(attempt)))
                .string();
    const int error = platform::CreateNew(path_, true);
    if (error == 0) break;
    if (error != EEXIST || attempt > 100) {
      path_.clear();
      Fail("cannot make a temporary copy of " + what_ + ": " + platform::ErrorText(error));
    }
  }
  stream_.open(path_, std::ios::in | std::ios::out | std::ios::trunc | std::ios::binary);
  // The open stream keeps the file; its name goes at once, so nothing is left behind
  // however the program ends.
  std::remove(path_.c_str());
  if (!stream_) Fail("cannot make a temporary copy of " + what_ + " in " + path_);
}

InputSpool::~InputSpool() = default;

void InputSpool::Fail(const std::string& what) const { throw JobError(ErrorKind::Unreadable, what); }

void InputSpool::CopyAll(std::istream& in) {
  char block[1 << 16];
  while (in.read(block, sizeof block) || in.gcount() > 0) stream_.write(block, in.gcount());
  if (in.bad()) Fail("cannot read " + what_ + ": read error");
}

bool InputSpool::CopyRest(std::istream& in, const std::function<bool()>& stop) {
  char block[1 << 16];
  while (!stop()) {
    in.read(block, sizeof block);
    if (in.gcount() > 0 && !stream_.write(block, in.gcount())) Fail("cannot keep a copy of " + what_);
    if (in.bad()) Fail("cannot read " + what_ + ": read error");
    if (!in) return true;
  }
  return false;
}

std::istream& InputSpool::Reader() {
  // A failed write leaves the stream bad; reading to the end only leaves it failed.
  if (stream_.bad()) Fail("cannot write the temporary copy of " + what_ + " " + path_);
  stream_.clear();
  stream_.flush();
  if (!stream_) Fail("cannot write the temporary copy of " + what_ + " " + path_);
  stream_.seekg(0);
  return stream_;
}

std::uint64_t InputSpool::Size() {
  stream_.flush();
  const std::streampos end = stream_.tellp();
  return end < 0 ? 0 : static_cast<std::uint64_t>(end);
}

}  // namespace veltrano::jobs
