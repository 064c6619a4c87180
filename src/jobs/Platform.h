#pragma once
// What the file level of the jobs needs of the system beyond the C++ library: opening a
// file for writing without emptying it, creating a file that must not exist yet, asking
// whether a file or folder may be written, and giving a file that replaces another the
// old one's owner and permissions. On a POSIX system these are the system's own calls;
// elsewhere a portable fallback built on <cstdio> and <filesystem> does what it can (no
// owners, permissions as the library sees them). This is the one file of the jobs that
// includes a system header; everything above and below it stays portable.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace veltrano::jobs::platform {

/// The process's id, for the names of its temporary files.
long ProcessId() noexcept;

/// The text of a system error number (errno's value).
std::string ErrorText(int error);

struct WritableFile {
  std::FILE* file = nullptr;  // null when it could not be opened
  bool created = false;       // the file did not exist before
  int error = 0;              // why it could not be opened (errno's value)
};

/// Opens path for writing from its start without emptying it, creating it when missing
/// (readable and writable for all, less the process's mask). A folder is refused.
WritableFile OpenWithoutEmptying(const std::string& path);

/// Empties a file opened by OpenWithoutEmptying when it is a regular file (a device or a
/// pipe has nothing to empty). Returns the file to write to from now on (the fallback
/// reopens it).
std::FILE* EmptyIfRegular(const std::string& path, std::FILE* file);

/// Creates path, which must not exist yet, and closes it: private (read and write for the
/// owner alone) or open to all (less the process's mask). Returns 0, or errno's value
/// (EEXIST when path exists).
int CreateNew(const std::string& path, bool privateFile);

/// 0 when this process may write the file or folder at path, otherwise the reason (errno's
/// value).
int WriteAccess(const std::string& path);

/// Creates `staged` (which must not exist yet) to replace the regular file `target` once
/// written: private, under the target's owner and group where this process may give them
/// (only root gives a file another owner; others may give it a group they belong to).
/// Returns 0, or errno's value, and sets `mode` to the permissions the file is to have once
/// written: the target's, so that results kept private stay private; the group's
/// permissions only when it got the group (given to another group they would open the file
/// to people the old one was closed to); no set-id bits.
int CreateReplacement(const std::string& staged, const std::string& target, std::optional<unsigned>& mode);

/// Gives the file at path the permission bits mode (best effort).
void SetMode(const std::string& path, unsigned mode) noexcept;

/// Whether path names an existing regular file.
bool IsRegularFile(const std::string& path) noexcept;

/// A lock held on a lock file; see LockFile.
struct HeldLock {
  std::string path;
  int handle = -1;
};

/// Takes the lock of lockPath for this process alone: creates or opens the file, locks it
/// (the system releases the lock when the process ends, however it ends, so a lock file a
/// killed process left behind is taken over) and writes the process's id into it. Returns
/// 0 with `lock` set; or EWOULDBLOCK when another process holds it, with `holder` its id
/// as the file says (0 when unknown); or another errno value.
int LockFile(const std::string& lockPath, HeldLock& lock, long& holder);

/// Removes the lock file and releases its lock.
void UnlockFile(HeldLock& lock) noexcept;

/// Which file a path or the standard output stands for: its device and inode, and whether
/// it keeps or passes on what is written (a regular file, a pipe or a socket, as against a
/// terminal or /dev/null).
struct FileId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool keeps = false;
  friend bool operator==(const FileId& a, const FileId& b) { return a.device == b.device && a.inode == b.inode; }
};

/// The file standard output goes to; none where the system cannot say.
std::optional<FileId> StandardOutputFile() noexcept;
/// The file at path; none when it does not exist (or the system cannot say).
std::optional<FileId> FileAt(const std::string& path) noexcept;

}  // namespace veltrano::jobs::platform
