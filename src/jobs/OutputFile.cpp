#include "jobs/OutputFile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <ostream>

#include "jobs/Platform.h"

namespace veltrano::jobs {

namespace fs = std::filesystem;

std::string OutputName(const std::string& path) { return path == "-" ? "standard output" : path; }

namespace {

// The folder a new file at path would go into.
fs::path FolderOf(const std::string& path) {
  fs::path folder = fs::path(path).parent_path();
  return folder.empty() ? fs::path(".") : folder;
}

// Why a file could not be made or replaced, saying so when the folder is the cause.
std::string FolderReason(const std::string& path, int error) {
  return platform::ErrorText(error) + " (the folder " + FolderOf(path).string() + " cannot be written)";
}

// The name a message gives the output this object writes.
std::string ShownName(const std::string& path, bool console) { return console ? "standard output" : path; }

}  // namespace

OutputFile::OutputFile(const std::string& path, std::ostream& console, Mode mode)
    : path_(path), buffer_(new char[kBufferSize]) {
  if (path == "-")
    console_ = &console;
  else
    Open(mode);
}

OutputFile::OutputFile(const std::string& path, Mode mode)
    : path_(path), buffer_(new char[kBufferSize]) {
  Open(mode);
}

void OutputFile::Open(Mode mode) {
  errno = 0;
  file_ = std::fopen(path_.c_str(), mode == Mode::Append ? "ab" : "wb");
  if (file_ == nullptr) Fail("cannot open", errno);
  // Our own buffer already gathers the lines; a second copy in stdio would only cost.
  std::setvbuf(file_, nullptr, _IONBF, 0);
}

OutputFile::OutputFile(const std::string& path, std::FILE* file)
    : path_(path), file_(file), buffer_(new char[kBufferSize]) {
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
  const std::string reason = error != 0 ? platform::ErrorText(error) : std::string();
  const std::string name = ShownName(path_, console_ != nullptr);
  if (error == EPIPE) throw BrokenPipe(what, name, reason);
  throw OutputError(what, name, reason);
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

void OutputFile::CutBackTo(std::uint64_t mark) noexcept {
  if (console_ != nullptr || mark >= written_) return;
  try {
    Flush();
    if (file_ != nullptr) std::fflush(file_);
  } catch (...) {
    // The file failed already; what reached it is cut back all the same.
  }
  std::error_code ec;
  if (fs::is_regular_file(path_, ec)) fs::resize_file(path_, mark, ec);
}

std::vector<std::unique_ptr<OutputFile>> OpenOutputs(const std::vector<std::string>& paths,
                                                     std::ostream& console) {
  std::vector<platform::WritableFile> opened(paths.size());
  const auto undo = [&] {
    for (std::size_t i = 0; i < paths.size(); ++i) {
      if (opened[i].file == nullptr) continue;
      std::fclose(opened[i].file);
      if (opened[i].created) std::remove(paths[i].c_str());
    }
  };
  for (std::size_t i = 0; i < paths.size(); ++i) {
    const std::string& path = paths[i];
    if (path.empty() || path == "-") continue;
    opened[i] = platform::OpenWithoutEmptying(path);
    if (opened[i].file == nullptr) {
      const int error = opened[i].error;
      undo();
      std::error_code ec;
      const bool newFile = !fs::exists(path, ec);
      throw OutputError("cannot open", path,
                        newFile && (error == EACCES || error == EROFS) ? FolderReason(path, error)
                                                                       : platform::ErrorText(error));
    }
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
    std::FILE* f = platform::EmptyIfRegular(path, opened[i].file);
    opened[i].file = nullptr;
    if (f == nullptr) {
      const int error = errno;
      for (std::size_t j = i + 1; j < paths.size(); ++j)
        if (opened[j].file != nullptr) std::fclose(opened[j].file);
      throw OutputError("cannot open", path, platform::ErrorText(error));
    }
    files[i] = std::make_unique<OutputFile>(path, f);
  }
  return files;
}

void CheckWritableLater(const std::string& path) {
  std::error_code ec;
  const fs::path p(path);
  const fs::file_status status = fs::status(p, ec);
  if (fs::exists(status)) {
    if (fs::is_directory(status)) throw OutputError("cannot open", path, platform::ErrorText(EISDIR));
    if (const int error = platform::WriteAccess(path); error != 0)
      throw OutputError("cannot open", path, platform::ErrorText(error));
  }
  // The file is replaced in one step once written, which needs a writable folder.
  const fs::path folder = FolderOf(path);
  if (!fs::is_directory(folder, ec)) throw OutputError("cannot open", path, platform::ErrorText(ENOENT));
  if (const int error = platform::WriteAccess(folder.string()); error != 0)
    throw OutputError("cannot open", path, FolderReason(path, error));
}

void CheckWritableFolder(const std::string& folder, const std::string& what) {
  std::error_code ec;
  int error = 0;
  if (!fs::is_directory(folder, ec))
    error = ENOENT;
  else
    error = platform::WriteAccess(folder);
  if (error != 0) {
    const std::string reason = platform::ErrorText(error);
    throw OutputError::Described(what + ": cannot write plots into " + folder + ": " + reason, folder, reason);
  }
}

bool SameFile(const std::string& a, const std::string& b) {
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

void CheckOutputs(const std::vector<NamedFile>& outputs, const std::vector<NamedFile>& inputs,
                  const std::optional<platform::FileId>& console) {
  const NamedFile* toConsole = nullptr;  // an output written to standard output
  for (const NamedFile& o : outputs)
    if (o.path == "-" && toConsole == nullptr) toConsole = &o;
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    const NamedFile& o = outputs[i];
    if (o.path.empty()) continue;
    for (std::size_t j = 0; j < i; ++j) {
      const NamedFile& earlier = outputs[j];
      if (!earlier.path.empty() && SameFile(earlier.path, o.path))
        throw UsageError(o.name + ": " + OutputName(o.path) + " is already the output of " + earlier.name +
                         (earlier.path == o.path ? "" : " (" + earlier.path + ")"));
    }
    if (o.path == "-") continue;
    for (const NamedFile& in : inputs)
      if (!in.path.empty() && in.path != "-" && SameFile(o.path, in.path))
        throw UsageError(o.name + ": " + o.path + " is " + in.name);
    if (toConsole != nullptr && console && console->keeps)
      if (const std::optional<platform::FileId> file = platform::FileAt(o.path); file && *file == *console)
        throw UsageError(o.name + ": " + o.path + " is where standard output goes, and " + toConsole->name +
                         " - writes there too");
  }
}

OutputLocks::OutputLocks(const std::vector<std::string>& paths) {
  try {
    for (const std::string& path : paths) {
      if (path.empty() || path == "-") continue;
      std::error_code ec;
      const fs::file_status status = fs::status(path, ec);
      if (fs::exists(status) && !fs::is_regular_file(status)) continue;  // a device, a pipe, a folder
      // One lock per file, however it is named.
      const fs::path canonical = fs::weakly_canonical(fs::absolute(path, ec), ec);
      const std::string lockPath = (ec ? path : canonical.string()) + ".lock";
      if (std::any_of(held_.begin(), held_.end(), [&](const platform::HeldLock& h) { return h.path == lockPath; }))
        continue;
      platform::HeldLock lock;
      long holder = 0;
      const int error = platform::LockFile(lockPath, lock, holder);
      if (error == EWOULDBLOCK)
        throw UsageError(path + " is being written by another veltrano-batch" +
                         (holder > 0 ? " (pid " + std::to_string(holder) + ")" : std::string(" (") + lockPath + ")"));
      // A folder where no lock file can be made cannot take the output either: opening it
      // says why.
      if (error != 0) continue;
      held_.push_back(lock);
    }
  } catch (...) {
    for (platform::HeldLock& h : held_) platform::UnlockFile(h);
    throw;
  }
}

OutputLocks::~OutputLocks() {
  for (platform::HeldLock& h : held_) platform::UnlockFile(h);
}

StagedOutput::StagedOutput(const std::string& path, std::ostream& console) : path_(path) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (path == "-" || (fs::exists(status) && !fs::is_regular_file(status) && !fs::is_directory(status))) {
    file_ = std::make_unique<OutputFile>(path, console);
    return;
  }
  if (fs::is_directory(status)) throw OutputError("cannot open", path, "it is a directory");
  if (fs::is_symlink(fs::symlink_status(path, ec))) {
    const fs::path target = fs::canonical(path, ec);
    if (!ec) path_ = target.string();
  }
  // A file the user may not write is not replaced, and the folder must take the new one.
  CheckWritableLater(path_);
  RemoveLeftovers();
  for (int attempt = 0;; ++attempt) {
    staged_ = path_ + "." + std::to_string(platform::ProcessId());
    if (attempt > 0) staged_.append("-").append(std::to_string(attempt));
    staged_ += ".partial";
    const int error = platform::CreateReplacement(staged_, path_, mode_);
    if (error == 0) break;
    if (error != EEXIST || attempt > 100) {
      staged_.clear();
      throw OutputError("cannot open", path, platform::ErrorText(error));
    }
  }
  try {
    file_ = std::make_unique<OutputFile>(staged_, console);
  } catch (...) {
    Discard();
    throw;
  }
}

// The "<file>.<pid>.partial" (or "<file>.<pid>-<n>.partial") files of runs that were killed
// while they wrote this output.
void StagedOutput::RemoveLeftovers() const noexcept {
  std::error_code ec;
  const fs::path target(path_);
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  const std::string stem = target.filename().string() + ".";
  constexpr std::string_view kSuffix = ".partial";
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() <= stem.size() + kSuffix.size() || name.compare(0, stem.size(), stem) != 0 ||
        name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0)
      continue;
    const std::string_view middle =
        std::string_view(name).substr(stem.size(), name.size() - stem.size() - kSuffix.size());
    if (middle.find_first_not_of("0123456789-") == std::string_view::npos && std::isdigit(middle.front()) != 0) {
      std::error_code ignored;
      fs::remove(it->path(), ignored);
    }
  }
}

void StagedOutput::Commit() {
  file_->Close();
  if (staged_.empty()) return;
  // Left private should this fail: private rather than open.
  if (mode_) platform::SetMode(staged_, *mode_);
  errno = 0;
  if (std::rename(staged_.c_str(), path_.c_str()) != 0)
    throw OutputError("cannot write", path_, platform::ErrorText(errno));
  staged_.clear();
  std::error_code ec;
  fs::remove(path_ + ".partial", ec);
}

std::string StagedOutput::Keep() {
  file_->Close();
  if (staged_.empty()) return {};
  const std::string kept = path_ + ".partial";
  if (mode_) platform::SetMode(staged_, *mode_);
  errno = 0;
  if (std::rename(staged_.c_str(), kept.c_str()) != 0)
    throw OutputError("cannot write", kept, platform::ErrorText(errno));
  staged_.clear();
  return kept;
}

void StagedOutput::Discard() noexcept {
  if (staged_.empty()) return;
  file_.reset();  // closes it, swallowing errors
  std::remove(staged_.c_str());
  staged_.clear();
}

}  // namespace veltrano::jobs
