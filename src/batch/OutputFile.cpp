#include "batch/OutputFile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <ostream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

OutputFile::OutputFile(const std::string& path, std::FILE* file)
    : path_(path), file_(file), buffer_(std::make_unique_for_overwrite<char[]>(kBufferSize)) {
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
  if (error == EPIPE) throw BrokenPipe(message);
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
    errno = 0;
    console_->write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!*console_) Fail("cannot write", errno);
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
    errno = 0;
    console_->write(buffer_.get(), static_cast<std::streamsize>(n));
    if (!*console_) Fail("cannot write", errno);
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
    errno = 0;
    console_->flush();
    if (!*console_ && !failed_) Fail("cannot write", errno);
    return;
  }
  if (file_ == nullptr) return;
  errno = 0;
  const int rc = std::fclose(file_);
  file_ = nullptr;
  if (rc != 0 && !failed_) Fail("cannot close", errno);
}

namespace {

std::string Reason(int error) { return std::strerror(error); }

}  // namespace

std::vector<std::unique_ptr<OutputFile>> OpenOutputs(const std::vector<std::string>& paths,
                                                     std::ostream& console) {
  struct Opened {
    int fd = -1;
    bool created = false;
  };
  std::vector<Opened> opened(paths.size());
  const auto undo = [&] {
    for (std::size_t i = 0; i < paths.size(); ++i) {
      if (opened[i].fd < 0) continue;
      ::close(opened[i].fd);
      if (opened[i].created) ::unlink(paths[i].c_str());
    }
  };
  for (std::size_t i = 0; i < paths.size(); ++i) {
    const std::string& path = paths[i];
    if (path.empty() || path == "-") continue;
    struct stat st {};
    const bool existed = ::stat(path.c_str(), &st) == 0;
    if (existed && S_ISDIR(st.st_mode)) {
      undo();
      throw OutputError("cannot open " + path + ": " + Reason(EISDIR));
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
      const int error = errno;
      undo();
      throw OutputError("cannot open " + path + ": " + Reason(error));
    }
    opened[i] = {fd, !existed};
  }
  // Every output could be opened: now the existing files are emptied.
  std::vector<std::unique_ptr<OutputFile>> files(paths.size());
  for (std::size_t i = 0; i < paths.size(); ++i) {
    const std::string& path = paths[i];
    if (path.empty()) continue;
    if (path == "-") {
      files[i] = std::make_unique<OutputFile>(path, console);
      continue;
    }
    struct stat st {};
    if (::fstat(opened[i].fd, &st) == 0 && S_ISREG(st.st_mode)) (void)::ftruncate(opened[i].fd, 0);
    std::FILE* f = ::fdopen(opened[i].fd, "wb");
    if (f == nullptr) {
      const int error = errno;
      for (std::size_t j = i; j < paths.size(); ++j)
        if (opened[j].fd >= 0) ::close(opened[j].fd);
      throw OutputError("cannot open " + path + ": " + Reason(error));
    }
    opened[i].fd = -1;
    files[i] = std::make_unique<OutputFile>(path, f);
  }
  return files;
}

void CheckWritableLater(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path p(path);
  const fs::file_status status = fs::status(p, ec);
  if (fs::exists(status)) {
    if (fs::is_directory(status)) throw OutputError("cannot open " + path + ": " + Reason(EISDIR));
    if (::access(path.c_str(), W_OK) != 0) throw OutputError("cannot open " + path + ": " + Reason(errno));
  }
  // The file is replaced in one step once written, which needs a writable folder.
  fs::path folder = p.parent_path();
  if (folder.empty()) folder = ".";
  if (!fs::is_directory(folder, ec)) throw OutputError("cannot open " + path + ": " + Reason(ENOENT));
  if (::access(folder.c_str(), W_OK) != 0) throw OutputError("cannot open " + path + ": " + Reason(errno));
}

bool SameFile(const std::string& a, const std::string& b) {
  namespace fs = std::filesystem;
  if (a == b) return true;
  if (a == "-" || b == "-") return false;
  std::error_code ec;
  if (fs::exists(a, ec) && fs::exists(b, ec)) {
    // Two names of one device (/dev/null and a link to it) are no clash: nothing is
    // kept there to be mixed up.
    if (!fs::is_regular_file(a, ec)) return false;
    const bool same = fs::equivalent(a, b, ec);
    return !ec && same;
  }
  // A file not made yet: the same place once both names are made absolute and their
  // links and "." and ".." are resolved ("same.txt" and "./same.txt" alike).
  const fs::path ca = fs::weakly_canonical(fs::absolute(a, ec), ec);
  if (ec) return false;
  const fs::path cb = fs::weakly_canonical(fs::absolute(b, ec), ec);
  return !ec && ca == cb;
}

}  // namespace veltrano::batch
