#include "jobs/Platform.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#if defined(__unix__) || defined(__APPLE__)
#define VELTRANO_POSIX 1
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <process.h>
#endif

namespace veltrano::jobs::platform {

std::string ErrorText(int error) { return std::strerror(error); }

bool IsRegularFile(const std::string& path) noexcept {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

#if VELTRANO_POSIX

long ProcessId() noexcept { return static_cast<long>(::getpid()); }

WritableFile OpenWithoutEmptying(const std::string& path) {
  WritableFile w;
  struct stat st {};
  const bool existed = ::stat(path.c_str(), &st) == 0;
  if (existed && S_ISDIR(st.st_mode)) {
    w.error = EISDIR;
    return w;
  }
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    w.error = errno;
    return w;
  }
  w.file = ::fdopen(fd, "wb");
  if (w.file == nullptr) {
    w.error = errno;
    ::close(fd);
    if (!existed) ::unlink(path.c_str());
    return w;
  }
  w.created = !existed;
  return w;
}

std::FILE* EmptyIfRegular(const std::string& /*path*/, std::FILE* file) {
  struct stat st {};
  const int fd = ::fileno(file);
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) (void)::ftruncate(fd, 0);
  return file;
}

int CreateNew(const std::string& path, bool privateFile) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, privateFile ? 0600 : 0666);
  if (fd < 0) return errno != 0 ? errno : EIO;
  ::close(fd);
  return 0;
}

int WriteAccess(const std::string& path) { return ::access(path.c_str(), W_OK) == 0 ? 0 : errno; }

int CreateReplacement(const std::string& staged, const std::string& target, std::optional<unsigned>& mode) {
  mode.reset();
  struct stat old {};
  const bool replacing = ::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);
  const int fd = ::open(staged.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, replacing ? 0600 : 0666);
  if (fd < 0) return errno != 0 ? errno : EIO;
  if (replacing) {
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) (void)::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    mode_t m = old.st_mode & 0777;
    struct stat now {};
    if (::fstat(fd, &now) != 0 || now.st_gid != old.st_gid) m &= ~static_cast<mode_t>(S_IRWXG);
    mode = static_cast<unsigned>(m);
  }
  ::close(fd);
  return 0;
}

void SetMode(const std::string& path, unsigned mode) noexcept { (void)::chmod(path.c_str(), static_cast<mode_t>(mode)); }

int LockFile(const std::string& lockPath, HeldLock& lock, long& holder) {
  holder = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return errno != 0 ? errno : EIO;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      if (error == EWOULDBLOCK) {
        char text[32] = {};
        if (::pread(fd, text, sizeof text - 1, 0) > 0) holder = std::strtol(text, nullptr, 10);
      }
      ::close(fd);
      return error;
    }
    // The file locked must still be the one at the path: a holder that ended may have
    // removed it in between, and another process made a new one.
    struct stat held {}, named {};
    if (::fstat(fd, &held) != 0 || ::stat(lockPath.c_str(), &named) != 0 || held.st_ino != named.st_ino ||
        held.st_dev != named.st_dev) {
      ::close(fd);
      continue;
    }
    const std::string id = std::to_string(ProcessId()) + "\n";
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, id.data(), id.size(), 0) != static_cast<ssize_t>(id.size())) {
      // The lock holds without the id; a refused writer is then told no id.
    }
    lock = {lockPath, fd};
    return 0;
  }
  return EAGAIN;
}

void UnlockFile(HeldLock& lock) noexcept {
  if (lock.handle < 0) return;
  ::unlink(lock.path.c_str());
  ::close(lock.handle);
  lock.handle = -1;
}

namespace {

FileId IdOf(const struct stat& st) {
  return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
          S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)};
}

}  // namespace

std::optional<FileId> StandardOutputFile() noexcept {
  struct stat st {};
  if (::fstat(STDOUT_FILENO, &st) != 0) return std::nullopt;
  return IdOf(st);
}

std::optional<FileId> FileAt(const std::string& path) noexcept {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return IdOf(st);
}

#else  // a system without POSIX calls: the C and C++ libraries alone

long ProcessId() noexcept { return static_cast<long>(::_getpid()); }

WritableFile OpenWithoutEmptying(const std::string& path) {
  namespace fs = std::filesystem;
  WritableFile w;
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (fs::is_directory(status)) {
    w.error = EISDIR;
    return w;
  }
  const bool existed = fs::exists(status);
  errno = 0;
  w.file = std::fopen(path.c_str(), existed ? "r+b" : "wb");
  if (w.file == nullptr) {
    w.error = errno != 0 ? errno : EIO;
    return w;
  }
  w.created = !existed;
  return w;
}

std::FILE* EmptyIfRegular(const std::string& path, std::FILE* file) {
  if (!IsRegularFile(path)) return file;
  std::fclose(file);
  return std::fopen(path.c_str(), "wb");
}

int CreateNew(const std::string& path, bool /*privateFile*/) {
  errno = 0;
  std::FILE* f = std::fopen(path.c_str(), "wbx");
  if (f == nullptr) return errno != 0 ? errno : EEXIST;
  std::fclose(f);
  return 0;
}

int WriteAccess(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (!fs::exists(status)) return ENOENT;
  return (status.permissions() & fs::perms::owner_write) != fs::perms::none ? 0 : EACCES;
}

int CreateReplacement(const std::string& staged, const std::string& target, std::optional<unsigned>& mode) {
  mode.reset();
  namespace fs = std::filesystem;
  std::error_code ec;
  if (fs::is_regular_file(target, ec)) mode = static_cast<unsigned>(fs::status(target, ec).permissions()) & 0777u;
  return CreateNew(staged, true);
}

void SetMode(const std::string& path, unsigned mode) noexcept {
  std::error_code ec;
  std::filesystem::permissions(path, static_cast<std::filesystem::perms>(mode), ec);
}

// Without the system's locks, a lock file is made exclusively; one that a killed process
// left behind must be removed by hand (the message names it).
int LockFile(const std::string& lockPath, HeldLock& lock, long& holder) {
  holder = 0;
  errno = 0;
  std::FILE* f = std::fopen(lockPath.c_str(), "wbx");
  if (f == nullptr) return errno == EEXIST ? EWOULDBLOCK : (errno != 0 ? errno : EIO);
  std::fprintf(f, "%ld\n", ProcessId());
  std::fclose(f);
  lock = {lockPath, 0};
  return 0;
}

void UnlockFile(HeldLock& lock) noexcept {
  if (lock.handle < 0) return;
  std::remove(lock.path.c_str());
  lock.handle = -1;
}

// Without the system's file identities, outputs are told apart by their names alone.
std::optional<FileId> StandardOutputFile() noexcept { return std::nullopt; }
std::optional<FileId> FileAt(const std::string&) noexcept { return std::nullopt; }

#endif

}  // namespace veltrano::jobs::platform
