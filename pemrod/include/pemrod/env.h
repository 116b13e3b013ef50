#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>

#include "pemrod/api.h"

namespace ralvek::pemrod {

// An open log file, appending. Closing is destruction.
class PEMROD_API LogStream {
 public:
  virtual ~LogStream() = default;
  // Appends all of `bytes` at the end of the file before returning, or throws Error.
  virtual void write(std::string_view bytes) = 0;
};

// Everything clsLogger asks of the system: the file operations and the clock. The POSIX
// implementation is posix_env(); tests wrap it to inject faults (as root, permissions stop
// nothing). Every failing call throws Error (Error::from_errno for system failures).
// Implementations need not be thread-safe beyond what one clsLogger needs.
class PEMROD_API Env {
 public:
  virtual ~Env() = default;

  // True when `path` names an existing folder; never throws. "" is no folder.
  virtual bool folder_exists(const std::string& path) = 0;
  // Opens `path` for appending, creating it (mode 0644 less umask) when missing.
  virtual std::unique_ptr<LogStream> open_append(const std::string& path) = 0;
  // Size in bytes of the file at `path`.
  virtual std::uint64_t file_size(const std::string& path) = 0;
  // Renames `from` to `to` in place. Never replaces: an existing `to` throws Error
  // with number kErrFileExists and leaves both files as they were.
  virtual void rename_no_replace(const std::string& from, const std::string& to) = 0;
  // The current time; local time is derived from it with localtime_r (follows TZ).
  virtual std::time_t now() = 0;
};

// The real file system and clock. One shared instance; safe to use from any thread.
PEMROD_API std::shared_ptr<Env> posix_env();

}  // namespace ralvek::pemrod
