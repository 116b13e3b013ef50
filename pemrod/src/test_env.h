#pragma once

// Test helpers: a temporary folder, the event-log file, and an Env over the real file system
// with a fixed clock and switchable faults (as root, permissions refuse nothing).

#include <cerrno>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "pemrod/env.h"

namespace ralvek::pemrod::testing {

// 2007-03-09 10:00:00 UTC.
inline constexpr std::time_t kFixedTime = 1173434400;

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);
std::vector<std::string> read_lines(const std::string& path);  // missing file: none

// Sets TZ (and calls tzset) for the life of the object, then restores the old value.
class ScopedTz {
 public:
  explicit ScopedTz(const char* tz);
  ~ScopedTz();
  ScopedTz(const ScopedTz&) = delete;
  ScopedTz& operator=(const ScopedTz&) = delete;

 private:
  std::string old_;
  bool had_old_;
};

// Points $RALVEK_EVENT_LOG at a file in `dir` for the life of the object.
class ScopedEventLog {
 public:
  explicit ScopedEventLog(const TempDir& dir);
  ~ScopedEventLog();
  ScopedEventLog(const ScopedEventLog&) = delete;
  ScopedEventLog& operator=(const ScopedEventLog&) = delete;
  std::vector<std::string> lines() const { return read_lines(path_); }

 private:
  std::string path_;
};

// The real Env, except: now() returns `clock`, and each fault that is not 0 makes its
// operation fail with that errno. Counts the open attempts.
class FaultEnv : public Env {
 public:
  std::time_t clock = kFixedTime;
  int open_fault = 0;
  int size_fault = 0;
  int rename_fault = 0;
  int write_fault = 0;
  int open_attempts = 0;

  bool folder_exists(const std::string& path) override;
  std::unique_ptr<LogStream> open_append(const std::string& path) override;
  std::uint64_t file_size(const std::string& path) override;
  void rename_no_replace(const std::string& from, const std::string& to) override;
  std::time_t now() override { return clock; }

 private:
  std::shared_ptr<Env> real_ = posix_env();
};

}  // namespace ralvek::pemrod::testing
