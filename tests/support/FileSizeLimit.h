#pragma once
// A full disk on demand: writing past a lowered file-size limit fails with EFBIG.
#include <sys/resource.h>

#include <csignal>

namespace veltrano::testing {

/// Lowers the soft limit on file size so that writing past it fails with EFBIG, as on a
/// full disk; it binds root too. SIGXFSZ is ignored meanwhile so the write just fails.
class FileSizeLimit {
public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previous_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    active_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previous_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  bool active() const { return active_; }

private:
  rlimit saved_{};
  void (*previous_)(int) = SIG_DFL;
  bool active_ = false;
};

}  // namespace veltrano::testing
