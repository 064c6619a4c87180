#include "batch/InputSpool.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <istream>

#include <fcntl.h>
#include <unistd.h>

namespace veltrano::batch {

InputSpool::InputSpool() {
  namespace fs = std::filesystem;
  for (int attempt = 0;; ++attempt) {
    path_ = (fs::temp_directory_path() / ("veltrano-input-" + std::to_string(::getpid()) + "-" +
                                          std::to_string(attempt)))
                .string();
    errno = 0;
    const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      ::close(fd);
      break;
    }
    if (errno != EEXIST || attempt > 100) {
      const int error = errno;
      path_.clear();
      throw InputSpoolError(std::string("cannot make a temporary copy of standard input: ") + std::strerror(error));
    }
  }
  stream_.open(path_, std::ios::in | std::ios::out | std::ios::trunc | std::ios::binary);
  // The open stream keeps the file; its name goes at once, so nothing is left behind
  // however the program ends.
  std::remove(path_.c_str());
  if (!stream_) throw InputSpoolError("cannot make a temporary copy of standard input in " + path_);
}

InputSpool::~InputSpool() = default;

void InputSpool::CopyAll(std::istream& in) {
  char block[1 << 16];
  while (in.read(block, sizeof block) || in.gcount() > 0) stream_.write(block, in.gcount());
  if (in.bad()) throw InputSpoolError("cannot read standard input: read error");
}

std::istream& InputSpool::Reader() {
  // A failed write leaves the stream bad; reading to the end only leaves it failed.
  if (stream_.bad()) throw InputSpoolError("cannot write the temporary copy of standard input " + path_);
  stream_.clear();
  stream_.flush();
  if (!stream_) throw InputSpoolError("cannot write the temporary copy of standard input " + path_);
  stream_.seekg(0);
  return stream_;
}

}  // namespace veltrano::batch
