#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

namespace ralvek::platform {

// The instance lock cannot even be tried: the process may not open the lock file (another
// user's program directory) or the system refused. The text names the file and the cause.
class InstanceLockError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One running instance per program and program directory: an flock on `<program>.lock` in the
// program directory, a file of mode 0600 that belongs to the directory's owner. Only a process
// that may write the directory (its owner, or root) can open it, so no other local user can
// take the lock first; the kernel drops the lock when its holder dies, so a crash never leaves
// a stale lock. The descriptor is close-on-exec: programs the service starts never hold it.
class InstanceLock {
 public:
  InstanceLock() = default;
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;
  InstanceLock(InstanceLock&& other) noexcept;
  InstanceLock& operator=(InstanceLock&& other) noexcept;
  ~InstanceLock();

  // Tries once, never waits. True when this process now holds the lock (or already did);
  // false when another process holds it. A directory that does not exist holds no instance,
  // so the answer is then true without a file. Throws InstanceLockError when the lock file
  // cannot be opened.
  bool acquire(const std::filesystem::path& dir, const std::string& program);
  bool held() const { return held_; }

  // The file that `acquire` locks.
  static std::filesystem::path file_for(const std::filesystem::path& dir, const std::string& program);

 private:
  void release();

  int fd_ = -1;
  bool held_ = false;
};

}  // namespace ralvek::platform
