#pragma once

// clsLogger: writes time-stamped entries to one log file and starts a new file when the
// file has grown past a size limit.
//
// Typical use (a service that owns one logger for its whole life):
//
//   ralvek::pemrod::clsLogger log;
//   try { log.LogPath(program_dir); } catch (const ralvek::pemrod::Error&) { ... }
//   log.LogFile("brastel.log");
//   log.MaxSize(512000);                       // KB
//   log.Log("Service started", "Version:1.0.0");  // the first Log opens the file
//
// Entry format, byte for byte (CR LF line ends, TAB = one tab character):
//   yyyy-mm-dd hh:nn:ss CR LF                    local time (localtime_r, follows TZ)
//   TAB line CR LF                                one per line of the message
//   CR LF                                         every entry ends with an empty line
// The message lines are the arguments of Log joined with CR LF; CR LF inside an argument
// starts a new line too. Empty lines inside the message collapse (a, CR LF, CR LF, b is
// written as TAB a, TAB b); a lone LF is not a line break and is written as it is.
//
// Rollover: before each write the file's size is read; when it is strictly greater than the
// limit, the file is renamed in place to base + "_" + yyyymmddhhnnss + "." + extension
// (svc.log -> svc_20070308142501.log) and a new file is started. A file may therefore
// exceed the limit by one entry. A rolled-over file is never replaced: when that name is
// already taken (two rollovers within one second) the entry goes to the current file and
// the next write tries again.
//
// Errors: every error is a ralvek::pemrod::Error (number + description). Open failures are
// never thrown; they are reported to the system journal (SYSLOG_IDENTIFIER=pemrod,
// PRIORITY=3) and, when $RALVEK_EVENT_LOG names a file, as one JSON line appended to it:
//   {"time":"…","source":"pemrod","type":1,"id":1,"text":"An error occurred during file
//    access: <description>\r\nFile: <full path>"}
// and the log stays closed; every later Log tries to open it again (one report per try).
//
// Threads: one thread at a time per instance; no locks. Two instances writing the same
// file are not coordinated. Each entry is appended with one write(2), unbuffered.

#include <array>
#include <concepts>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "pemrod/api.h"
#include "pemrod/env.h"
#include "pemrod/error.h"

namespace ralvek::pemrod {

class PEMROD_API clsLogger {
 public:
  // Real file system and clock. MaxSize starts at 1024 KB (1,048,576 bytes); LogFile and
  // LogPath start empty; the log starts closed.
  clsLogger();
  // The same with another Env (tests: fault injection, a fixed clock). `env` must not be
  // null; the logger shares its ownership.
  explicit clsLogger(std::shared_ptr<Env> env);
  // Closes the log; never throws.
  ~clsLogger();

  // One logger owns one open file; it is neither copied nor moved (hold it by pointer to
  // pass it around).
  clsLogger(const clsLogger&) = delete;
  clsLogger& operator=(const clsLogger&) = delete;

  // "major.minor.revision" of the library, plain decimal (1.0.0).
  const std::string& Version() const;

  // Size limit, put in KB: below 1 means no limit (stored -1); otherwise kb * 1024 bytes.
  // Throws Error kErrOverflow ("Overflow") when kb * 1024 does not fit in int32_t
  // (kb > 2097151), leaving the limit as it was.
  void MaxSize(std::int32_t kb);
  // The stored limit in BYTES (or -1), not the KB value put: MaxSize(2048) reads 2097152.
  std::int32_t MaxSize() const;

  // Stores the last path component of `s` as the file name. When `s` carried a folder,
  // also puts that folder through LogPath (with its check, which may throw; the file name
  // is stored already). "app.log" leaves LogPath as it was.
  void LogFile(std::string_view s);
  const std::string& LogFile() const;

  // Stores `s` as the folder of the log file, then throws Error kErrProgram (512) with the
  // description "Path doesn't exists: " + s when it is not an existing folder. The path
  // stays stored in either case.
  void LogPath(std::string_view s);
  const std::string& LogPath() const;

  // Writes one entry made of any number of text arguments (none gives an entry of one empty
  // line). Opens the log first when it is closed; writes nothing and returns normally when
  // it cannot be opened (reported as described above). Throws Error when reading the size,
  // the rollover rename or the write fails; the log is then left as the failed step left it
  // (closed after a failed rename) and the next call starts over.
  template <typename... Texts>
  requires(std::convertible_to<const Texts&, std::string_view>&&...) void Log(const Texts&... v) {
    const std::array<std::string_view, sizeof...(Texts)> parts{std::string_view(v)...};
    Log(std::span<const std::string_view>(parts));
  }
  void Log(std::span<const std::string_view> v);
  void Log(std::span<const std::string> v);

  // Closes the log, then, when `strFileName` is not empty, puts it through LogFile; then
  // opens (creating) LogPath/LogFile for appending. Never throws: any failure, including
  // LogFile's path check, is reported as described above and leaves the log closed.
  void OpenLog(std::string_view strFileName = {});

  // Closes the log when it is open; otherwise does nothing.
  void CloseLog();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace ralvek::pemrod
