#pragma once

#include <filesystem>
#include <string>

namespace ralvek::platform {

// One running instance per program and program directory. The lock is an abstract Unix
// socket named after both: the kernel drops it when the process dies, so a crash never leaves
// a stale lock, and it needs no writable file.
class InstanceLock {
 public:
  InstanceLock() = default;
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;
  InstanceLock(InstanceLock&& other) noexcept;
  InstanceLock& operator=(InstanceLock&& other) noexcept;
  ~InstanceLock();

  // Tries once, never waits. True when this process now holds the lock (or already did).
  bool acquire(const std::filesystem::path& dir, const std::string& program);
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace ralvek::platform
